// Text values of the Apple Event Manager as UTF-16, for the text and file coercions.
#ifndef PLATFORM_AE_AETEXTINTERNAL_H
#define PLATFORM_AE_AETEXTINTERNAL_H

#include <string>

#include "platform/AE/AEStorage.h"

namespace ae {

enum class TextStatus { NotText, Invalid, Ok };

// Appends the text of a value of a text type ('TEXT', 'utf8', 'utxt', 'STXT', 'itxt',
// 'sutx', 'aprl', 'bund') to `out`. Invalid for malformed data (bad UTF-8, odd UTF-16
// length, a styled record without its text), NotText for other types.
TextStatus DecodeText(DescType type, const Payload& v, std::u16string& out);

// The text as a value of `toType` ('TEXT', 'utf8', 'utxt', 'STXT', 'itxt', 'sutx'). False
// when a character has no Mac OS Roman form for the 8-bit types, or for another type.
bool EncodeText(const std::u16string& text, DescType toType, Item& out);

}  // namespace ae

#endif

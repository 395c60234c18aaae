// Transcoding between UTF-16 and the byte encodings the stand-in knows, for the stand-in's
// own code (CFString, the property-list readers and writer, the Apple Event Manager's text
// coercions). Uncounted and never fault-injected.
#ifndef PLATFORM_COREFOUNDATION_CFSTRINGENCODINGINTERNAL_H
#define PLATFORM_COREFOUNDATION_CFSTRINGENCODINGINTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace cf::text {

// Appends the UTF-16 form of UTF-8 bytes to `out`. False (out in an unspecified state) when
// the bytes are not valid UTF-8: overlong forms, surrogates, values above U+10FFFF, truncation.
bool AppendUTF16FromUTF8(const uint8_t* bytes, size_t length, std::u16string& out);

// Appends UTF-8 for UTF-16 units. An unpaired surrogate becomes U+FFFD.
void AppendUTF8FromUTF16(const char16_t* units, size_t count, std::string& out);

// Mac OS Roman: every byte has a character, so decoding cannot fail.
void AppendUTF16FromMacRoman(const uint8_t* bytes, size_t length, std::u16string& out);

// Mac OS Roman byte for one UTF-16 unit; false when the character has no Mac OS Roman form.
bool MacRomanByteForUnit(char16_t unit, uint8_t& byte);

}  // namespace cf::text

#endif

// Turning the bytes handed to the property-list text readers into UTF-8: byte-order marks,
// BOM-less UTF-16/UTF-32, and the encoding named by an XML declaration. Both text readers
// parse UTF-8 only, so anything else is transcoded once, up front; a 16- or 32-bit input whose
// first character (after the reader's spaces) cannot start a document is transcoded only up to
// that character, where the reader refuses it.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTINPUTENCODING_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTINPUTENCODING_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace cf::plist {

// The readers' view of their input: UTF-8 bytes in [begin, end). Points into the caller's
// bytes when no transcoding was needed (a UTF-8 BOM is merely skipped), else into `storage`.
struct UTF8Input {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    std::string storage;
};

enum class InputStatus {
    kOK,
    kBadBytes,         // the bytes are not valid in the encoding they were found to be in
    kUnknownEncoding,  // the XML declaration names an encoding we do not know
    kMismatch,         // the declaration names a 16/32-bit encoding but the bytes are 8-bit
    kNoEncodingName,   // the declaration ends before the encoding name does
};

// Input of the XML reader. A UTF-32, UTF-8 or UTF-16 BOM decides and is dropped; without
// one, a zero byte among the first two means BOM-less UTF-16 in the byte order the zero's
// position shows; otherwise a document that starts exactly with "<?xml" may name its
// encoding in the declaration (any case, surrounding spaces ignored): UTF-8, Latin 1,
// Windows-1252, ASCII and Mac OS Roman from built-in tables, anything else through iconv.
// Everything else is UTF-8, checked later where text is made. On failure, `name` (when not NULL)
// gets the offending encoding name.
InputStatus DecodeXMLInput(const uint8_t* bytes, size_t length, UTF8Input& out,
                           std::string* name = nullptr);

// Transcodes [bytes, bytes+length) from the encoding called `name` (one the built-in tables do
// not cover) with the C library's converters.
InputStatus TranscodeWithIconv(const std::string& name, const uint8_t* bytes, size_t length,
                               UTF8Input& out);

// Input of the old-style reader: the same BOM and zero-byte rules, no declaration; the rest
// must be valid UTF-8 (checked here, since old-style text is parsed character by character).
InputStatus DecodeTextInput(const uint8_t* bytes, size_t length, UTF8Input& out);

// True when [bytes, bytes+length) is well-formed UTF-8 (no overlongs, surrogates or values
// beyond U+10FFFF).
bool IsValidUTF8(const uint8_t* bytes, size_t length);

// Appends the UTF-8 form of code point `cp` (which must be a scalar value) to `out`.
void AppendUTF8(uint32_t cp, std::string& out);

}  // namespace cf::plist

#endif

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

// Decodes UTF-8 into `out`, which has room for `length` units (never exceeded: UTF-8 has at
// least one byte per UTF-16 unit). Returns the units written, or kInvalidUTF8 for bytes that
// AppendUTF16FromUTF8 refuses.
inline constexpr size_t kInvalidUTF8 = ~size_t{0};
size_t DecodeUTF8(const uint8_t* bytes, size_t length, char16_t* out);

// Appends UTF-8 for UTF-16 units. An unpaired surrogate becomes U+FFFD.
void AppendUTF8FromUTF16(const char16_t* units, size_t count, std::string& out);

// Mac OS Roman: every byte has a character, so decoding cannot fail.
void AppendUTF16FromMacRoman(const uint8_t* bytes, size_t length, std::u16string& out);

// Mac OS Roman byte for one UTF-16 unit; false when the character has no Mac OS Roman form.
bool MacRomanByteForUnit(char16_t unit, uint8_t& byte);

// ---- Every encoding the stand-in knows (CFString.h lists them) --------------------------

// True for the encodings CFStringCreateWithBytes and CFStringGetBytes accept.
bool IsSupportedEncoding(uint32_t encoding);

// Appends the UTF-16 form of `length` bytes in `encoding` to `out` with the rules of
// CFStringCreateWithBytes: for kCFStringEncodingUnicode a leading BOM picks the byte order
// and is dropped, otherwise the bytes are big-endian when `isExternalRepresentation` and in
// host order when not; UTF-16BE/LE keep a leading U+FEFF; a UTF-8 BOM is dropped only from an
// external representation. False (out unspecified) for invalid bytes, an odd UTF-16 byte
// count, or an unsupported encoding.
bool AppendUTF16FromBytes(const uint8_t* bytes, size_t length, uint32_t encoding,
                          bool isExternalRepresentation, std::u16string& out);

// The same conversion in two steps, so that a caller can size its storage exactly before
// decoding into it. MeasureBytes drops the BOM, checks the bytes and counts their UTF-16
// units, with the same rules and failures as AppendUTF16FromBytes; DecodeBytes then writes
// exactly `units` units (it cannot fail on a measured decoding).
struct Decoding {
    const uint8_t* bytes;
    size_t length;
    uint32_t encoding;
    bool bigEndian;
    size_t units;
};
bool MeasureBytes(const uint8_t* bytes, size_t length, uint32_t encoding,
                  bool isExternalRepresentation, Decoding& decoding);
void DecodeBytes(const Decoding& decoding, char16_t* out);

// UTF-16 units of UTF-8 text, or kInvalidUTF8 for bytes AppendUTF16FromUTF8 refuses.
size_t CountUTF8(const uint8_t* bytes, size_t length);

// Byte for one unit in an 8-bit encoding (Mac OS Roman, ASCII, ISO Latin 1, Windows Latin 1);
// false when the character has no form there.
bool ByteForUnit(uint32_t encoding, char16_t unit, uint8_t& byte);

// The conversion of CFStringGetBytes over `count` units: a character without a form in the
// encoding becomes `lossByte`, or with lossByte 0 ends the conversion; a character whose bytes
// do not fit in `maxLength` ends it (buffer NULL: measure everything, maxLength ignored). A BOM
// (host order) is written first for kCFStringEncodingUnicode when `isExternalRepresentation`.
// Returns the units converted and sets `used` to the bytes written (or needed).
size_t EncodeUnits(const char16_t* units, size_t count, uint32_t encoding, uint8_t lossByte,
                   bool isExternalRepresentation, uint8_t* buffer, size_t maxLength, size_t& used);

}  // namespace cf::text

#endif

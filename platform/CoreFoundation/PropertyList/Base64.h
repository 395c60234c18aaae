// Base64 for property-list <data>: the encoder the XML writer wraps into lines, and the
// lenient decoder the XML reader applies to <data> content.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_BASE64_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_BASE64_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cf::base64 {

// Characters Encode writes for `length` input bytes (padding included).
constexpr size_t EncodedLength(size_t length) {
    return (length + 2) / 3 * 4;
}

// Writes exactly EncodedLength(length) characters of the standard alphabet, '=' padded, to
// `out` (no terminator). Callers wrap lines by encoding one multiple of 3 bytes at a time.
void Encode(const uint8_t* bytes, size_t length, char* out);

// Appends the bytes that `text` decodes to, with the reading rules of property-list <data>:
//  - ASCII bytes outside the alphabet (whitespace, '#', '&', ';', ...) are skipped;
//  - '=' counts as a zero digit; when a quad completes, the run of '=' that ends it (other
//    skipped bytes in between do not break the run) trims 1 byte ('x=') or 2 ('x==' or more);
//  - an incomplete final quad is dropped;
//  - any byte >= 0x80 refuses the whole input: false, *badOffset (when not NULL) set to its
//    offset, and `out` holding an unspecified prefix.
bool Decode(const uint8_t* text, size_t length, std::vector<uint8_t>& out,
            size_t* badOffset = nullptr);

}  // namespace cf::base64

#endif

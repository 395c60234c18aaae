// URL string syntax shared by CFURL's sources: splitting into parts, resolving a reference
// against a base, and percent escapes. Works on ASCII URL text (legal URLs are ASCII).
#ifndef PLATFORM_COREFOUNDATION_CFURLSYNTAX_H
#define PLATFORM_COREFOUNDATION_CFURLSYNTAX_H

#include <string>
#include <string_view>

#include <CoreFoundation/CFURL.h>

namespace cf::url {

struct Parts {
    std::string_view scheme;  // without ':'
    std::string_view authority;
    std::string_view path;
    std::string_view query;     // without '?'
    std::string_view fragment;  // without '#'
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

Parts Split(std::string_view url);

// The absolute URL string for `reference` resolved against the absolute `base` (RFC 3986,
// dot segments removed).
std::string Resolve(std::string_view base, std::string_view reference);

// Legal URL character (a '%' is judged with what follows it, see IsLegalURLString).
bool IsLegalByte(unsigned char c);

// Byte allowed unescaped in a file URL's path: unreserved, sub-delims, ':', '@', '/'.
bool IsPathByte(unsigned char c);

// Appends "%XX" (upper-case hex) for one byte.
void AppendEscape(std::string& out, unsigned char byte);

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes every %XX escape into its byte; false when an escape is malformed.
bool Unescape(std::string_view text, std::string& out);

// The URL's string resolved against its base chain ("" for NULL or a non-URL).
std::string AbsoluteURLText(CFURLRef url);

}  // namespace cf::url

#endif

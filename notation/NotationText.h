// Text helpers of the descriptor notation: strict UTF-8 decoding, UTF-16 to UTF-8, Mac OS
// Roman, and the quoted-string form the printer writes. Internal to host/.
#ifndef NOTATION_NOTATIONTEXT_H
#define NOTATION_NOTATIONTEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace notation {

// Decodes one UTF-8 sequence starting at `p` (p < end). Returns its length (1–4) and the code
// point, or 0 when the bytes are not a well-formed sequence (overlong, surrogate, above
// U+10FFFF, truncated).
size_t DecodeUTF8(const char* p, const char* end, char32_t& codePoint);

// Appends the UTF-8 form of a code point (not a surrogate).
void AppendUTF8(char32_t codePoint, std::string& out);

// Appends the UTF-16 units of a code point.
void AppendUTF16(char32_t codePoint, std::u16string& out);

// Whole-string conversions; false (out unspecified) when the input is not well formed: invalid
// UTF-8, or a lone surrogate in UTF-16 that has no UTF-8 form.
bool UTF8ToUTF16(std::string_view text, std::u16string& out);
bool UTF16ToUTF8(std::u16string_view units, std::string& out);

// Writes the UTF-8 form of `units` at `out`, which has room for three bytes a unit, in one
// pass; returns the bytes written. A lone surrogate has no UTF-8 form: it makes the call return
// kNoUTF8 (`out` then holds a prefix), or with kReplace is written as U+FFFD.
inline constexpr size_t kNoUTF8 = static_cast<size_t>(-1);
enum class LoneSurrogate { kFail, kReplace };
size_t WriteUTF8(std::u16string_view units, char* out, LoneSurrogate lone = LoneSurrogate::kFail);

inline bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Mac OS Roman: every byte has a character (so decoding cannot fail); a character without a
// Mac OS Roman form makes the encoding fail and reports its position in *badIndex.
void MacRomanToUTF16(std::string_view bytes, std::u16string& out);
bool UTF16ToMacRoman(std::u16string_view units, std::string& out, size_t* badIndex);

// Appends `units` as a double-quoted string: printable ASCII as itself except `"` and `\`,
// controls as \n \r \t \b \f or \u00XX, a lone surrogate as \uXXXX, everything else (U+007F
// included) as raw UTF-8.
void AppendQuoted(std::u16string_view units, std::string& out);

// Writes `count` UTF-16 units, read in host order from `units` at any alignment, as they stand
// between the quotes AppendQuoted writes, at `to`, which has room for kMaxQuotedUnitBytes a
// unit; returns the byte past them. A high surrogate that ends the units is written as a lone
// one, so a text split into pieces must not be split inside a pair.
inline constexpr size_t kMaxQuotedUnitBytes = 6;
char* WriteQuotedUnits(const char* units, size_t count, char* to);

// Appends `byteCount` bytes as upper-case hex digits; WriteHex writes them at `to`, which has
// room for two bytes a byte, and returns the byte past them.
void AppendHex(const uint8_t* bytes, size_t byteCount, std::string& out);
char* WriteHex(const uint8_t* bytes, size_t byteCount, char* to);

}  // namespace notation

#endif

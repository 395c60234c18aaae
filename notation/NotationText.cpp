#include "notation/NotationText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "notation/NotationOutput.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace notation {
namespace {

// Characters of Mac OS Roman bytes 0x80–0xFF (0x00–0x7F are ASCII).
constexpr std::array<char16_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// The reverse table, sorted by character, for a binary search per character.
using RomanPair = std::pair<char16_t, uint8_t>;
const std::array<RomanPair, 128>& MacRomanReverse() {
    static const std::array<RomanPair, 128> table = [] {
        std::array<RomanPair, 128> t{};
        for (size_t i = 0; i < 128; ++i) t[i] = {kMacRomanHigh[i], static_cast<uint8_t>(0x80 + i)};
        std::sort(t.begin(), t.end());
        return t;
    }();
    return table;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace

size_t DecodeUTF8(const char* p, const char* end, char32_t& codePoint) {
    const auto b0 = static_cast<uint8_t>(p[0]);
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    size_t length;
    char32_t c;
    char32_t minimum;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, c = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, c = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, c = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto b = static_cast<uint8_t>(p[i]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsSurrogate(c)) return 0;
    codePoint = c;
    return length;
}

void AppendUTF8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUTF16(char32_t c, std::u16string& out) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}

bool UTF8ToUTF16(std::string_view text, std::u16string& out) {
    out.reserve(out.size() + text.size());
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        char32_t c;
        const size_t n = DecodeUTF8(p, end, c);
        if (n == 0) return false;
        AppendUTF16(c, out);
        p += n;
    }
    return true;
}

namespace {

// Length of the run of ASCII units at `p`, eight or sixteen units per test: most text is
// ASCII, and a large XML text is mostly one long run.
size_t ASCIIRunLength(const char16_t* p, const char16_t* end) {
    const char16_t* begin = p;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    while (end - p >= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
        const __m128i zero = _mm_setzero_si128();
        const __m128i any = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(any, zero)) != 0xFFFF) {
            // Where in the block the run ends, found only once it ends.
            const auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(a, high), zero)) |
                (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(b, high), zero)) << 16));
            return static_cast<size_t>(p - begin) + std::countr_one(mask) / 2;
        }
        p += 16;
    }
#endif
    while (end - p >= 4) {
        uint64_t four;
        std::memcpy(&four, p, sizeof four);
        if (four & 0xFF80FF80FF80FF80ull) break;
        p += 4;
    }
    while (p < end && *p < 0x80) ++p;
    return static_cast<size_t>(p - begin);
}

// Writes `n` units below 0x100 as bytes.
void Narrow(const char16_t* from, size_t n, char* to) {
    size_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= n; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), _mm_packus_epi16(a, b));
    }
    if (k + 8 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + k), _mm_packus_epi16(a, a));
        k += 8;
    }
#endif
    for (; k < n; ++k) to[k] = static_cast<char>(from[k]);
}

// Length of the UTF-8 form of `units`, or false when a lone surrogate has none.
bool UTF8Length(std::u16string_view units, size_t& length) {
    const char16_t* p = units.data();
    const char16_t* end = p + units.size();
    length = 0;
    while (p < end) {
        const size_t run = ASCIIRunLength(p, end);
        length += run;
        p += run;
        if (p == end) break;
        const char16_t u = *p++;
        if (u < 0x800) {
            length += 2;
        } else if (IsHighSurrogate(u) && p < end && IsLowSurrogate(*p)) {
            length += 4;
            ++p;
        } else if (IsSurrogate(u)) {
            return false;
        } else {
            length += 3;
        }
    }
    return true;
}

// Writes one code point as UTF-8 at `to`; returns the byte past it.
char* PutUTF8(char32_t c, char* to) {
    if (c < 0x800) {
        to[0] = static_cast<char>(0xC0 | (c >> 6));
        to[1] = static_cast<char>(0x80 | (c & 0x3F));
        return to + 2;
    }
    if (c < 0x10000) {
        to[0] = static_cast<char>(0xE0 | (c >> 12));
        to[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        to[2] = static_cast<char>(0x80 | (c & 0x3F));
        return to + 3;
    }
    to[0] = static_cast<char>(0xF0 | (c >> 18));
    to[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    to[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    to[3] = static_cast<char>(0x80 | (c & 0x3F));
    return to + 4;
}

}  // namespace

// Two passes: the exact length first, so the output grows once to its final size, then the
// bytes.
bool UTF16ToUTF8(std::u16string_view units, std::string& out) {
    size_t length;
    if (!UTF8Length(units, length)) return false;
    const size_t at = out.size();
    out.resize(at + length);
    WriteUTF8(units, out.data() + at);
    return true;
}

// ASCII runs sixteen units at a time.
size_t WriteUTF8(std::u16string_view units, char* out, LoneSurrogate lone) {
    char* to = out;
    const char16_t* p = units.data();
    const char16_t* end = p + units.size();
    while (p < end) {
        const size_t run = ASCIIRunLength(p, end);
        Narrow(p, run, to);
        to += run;
        p += run;
        if (p == end) break;
        char32_t c = *p++;
        if (IsHighSurrogate(c) && p < end && IsLowSurrogate(*p)) {
            c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
        } else if (IsSurrogate(c)) {
            if (lone == LoneSurrogate::kFail) return kNoUTF8;
            c = 0xFFFD;
        }
        to = PutUTF8(c, to);
    }
    return static_cast<size_t>(to - out);
}

void MacRomanToUTF16(std::string_view bytes, std::u16string& out) {
    out.reserve(out.size() + bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<uint8_t>(ch);
        out.push_back(b < 0x80 ? char16_t{b} : kMacRomanHigh[b - 0x80]);
    }
}

bool UTF16ToMacRoman(std::u16string_view units, std::string& out, size_t* badIndex) {
    const auto& reverse = MacRomanReverse();
    out.reserve(out.size() + units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        auto it = std::lower_bound(reverse.begin(), reverse.end(), RomanPair{u, 0});
        if (it == reverse.end() || it->first != u) {
            if (badIndex) *badIndex = i;
            return false;
        }
        out.push_back(static_cast<char>(it->second));
    }
    return true;
}

namespace {

bool IsPlain(char16_t c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
}

char16_t UnitAt(const char* p) {
    char16_t unit;
    std::memcpy(&unit, p, sizeof unit);
    return unit;
}

#if defined(__SSE2__)
// Two bits set for each of the eight units that stands for itself in a quoted string.
[[gnu::always_inline]] inline unsigned PlainMask(__m128i units) {
    // u - 0x20 <= 0x5E, unsigned, is U+0020..U+007E.
    const __m128i offset = _mm_sub_epi16(units, _mm_set1_epi16(0x20));
    const __m128i inRange =
        _mm_cmpeq_epi16(_mm_subs_epu16(offset, _mm_set1_epi16(0x5E)), _mm_setzero_si128());
    const __m128i special = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('"')),
                                         _mm_cmpeq_epi16(units, _mm_set1_epi16('\\')));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(special, inRange)));
}
#endif

char* WriteEscapedUnit(char32_t c, char* to) {
    to[0] = '\\';
    to[1] = 'u';
    for (int i = 0; i < 4; ++i) to[2 + i] = kHexDigits[(c >> (12 - 4 * i)) & 0xF];
    return to + 6;
}

// The escape of a unit below 0x80 that does not stand for itself.
char* WriteASCIISpecial(char32_t c, char* to) {
    char escape;
    switch (c) {
        case '"':
            escape = '"';
            break;
        case '\\':
            escape = '\\';
            break;
        case '\n':
            escape = 'n';
            break;
        case '\r':
            escape = 'r';
            break;
        case '\t':
            escape = 't';
            break;
        case '\b':
            escape = 'b';
            break;
        case '\f':
            escape = 'f';
            break;
        default:
            if (c < 0x20) return WriteEscapedUnit(c, to);
            *to = static_cast<char>(c);  // U+007F is written as itself
            return to + 1;
    }
    to[0] = '\\';
    to[1] = escape;
    return to + 2;
}

// Writes the units from `p` up to the next one that stands for itself, at least one; a
// surrogate pair as the UTF-8 of its character, a lone surrogate escaped.
char* WriteSpecialRun(const char*& p, const char* end, char* to) {
    do {
        char32_t c = UnitAt(p);
        p += 2;
        if (c < 0x80) {
            to = WriteASCIISpecial(c, to);
        } else if (!IsSurrogate(c)) {
            to = PutUTF8(c, to);
        } else if (IsHighSurrogate(c) && p < end && IsLowSurrogate(UnitAt(p))) {
            to = PutUTF8(0x10000 + ((c - 0xD800) << 10) + (UnitAt(p) - 0xDC00), to);
            p += 2;
        } else {
            to = WriteEscapedUnit(c, to);
        }
    } while (p < end && !IsPlain(UnitAt(p)));
    return to;
}

#if defined(__SSE2__)
// Stores the units of `block` narrowed to bytes at `to` (eight bytes, whatever they hold);
// returns how many of its units, from the first, stand for themselves.
[[gnu::always_inline]] inline size_t StorePlain(__m128i block, char* to) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(block, block));
    return static_cast<size_t>(std::countr_one(PlainMask(block)) / 2);
}
#endif

// Writes the units from `p` that stand for themselves, up to the next that does not or the end;
// `run` is where the run they end began, its units before `p` already written at the bytes
// before `to`. The last few units are read again together with units of the run, so that most
// texts end in one step.
char* WritePlainRun(const char*& p, const char* end, const char* run, char* to) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16, to += 8) {
        const size_t plain = StorePlain(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), to);
        if (plain < 8) {
            p += 2 * plain;
            return to + plain;
        }
    }
    if (p < end && end - run < 16 && end - p >= 8) {
        const size_t plain = StorePlain(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), to);
        p += 2 * plain;
        to += plain;
        if (plain < 4) return to;
    }
    if (p < end && end - run >= 8) {
        // Eight (or four) units that end the text: storing them rewrites the bytes of those
        // before `p` as they were.
        const bool eight = end - run >= 16;
        const char* from = end - (eight ? 16 : 8);
        char* at = to - (p - from) / 2;
        const auto* block = reinterpret_cast<const __m128i*>(from);
        const size_t plain =
            StorePlain(eight ? _mm_loadu_si128(block) : _mm_loadl_epi64(block), at);
        p = from + 2 * plain;
        return at + plain;
    }
#else
    (void)run;
#endif
    for (char16_t u; p < end && IsPlain(u = UnitAt(p)); p += 2) *to++ = static_cast<char>(u);
    return to;
}

}  // namespace

// One pass, a run of units that stand for themselves at a time, eight units a step: they are
// narrowed and stored whole, then kept as far as they stand for themselves. The room for six
// bytes a unit covers the eight bytes stored.
char* WriteQuotedUnits(const char* units, size_t count, char* to) {
#if defined(__SSE2__)
    // Most texts are short words that stand for themselves: four to sixteen units are two
    // overlapping blocks, stored without a loop (the second rewrites what they share).
    if (count >= 4 && count <= 16) {
        const bool eight = count >= 8;
        const auto* first = reinterpret_cast<const __m128i*>(units);
        const auto* last = reinterpret_cast<const __m128i*>(units + 2 * count - (eight ? 16 : 8));
        const __m128i a = eight ? _mm_loadu_si128(first) : _mm_loadl_epi64(first);
        const __m128i b = eight ? _mm_loadu_si128(last) : _mm_loadl_epi64(last);
        const unsigned all = eight ? 0xFFFF : 0xFF;
        if ((PlainMask(a) & PlainMask(b) & all) == all) {
            StorePlain(a, to);
            StorePlain(b, to + count - (eight ? 8 : 4));
            return to + count;
        }
    }
#endif
    const char* p = units;
    const char* end = units + 2 * count;
    while (p < end) {
        to = WritePlainRun(p, end, p, to);
        if (p < end) to = WriteSpecialRun(p, end, to);
    }
    return to;
}

void AppendQuoted(std::u16string_view units, std::string& out) {
    TextBuffer buffer(out, TextBuffer::Growth::kExact);
    buffer.PutQuoted(reinterpret_cast<const char*>(units.data()), units.size());
    buffer.Finish();
}

char* WriteHex(const uint8_t* bytes, size_t byteCount, char* to) {
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes a step: each nibble plus '0', plus 7 more above 9.
    const __m128i low = _mm_set1_epi8(0x0F);
    for (; i + 16 <= byteCount; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(block, 4), low);
        const __m128i digits[2] = {_mm_unpacklo_epi8(high, _mm_and_si128(block, low)),
                                   _mm_unpackhi_epi8(high, _mm_and_si128(block, low))};
        for (int half = 0; half < 2; ++half) {
            const __m128i letters =
                _mm_and_si128(_mm_cmpgt_epi8(digits[half], _mm_set1_epi8(9)), _mm_set1_epi8(7));
            const __m128i text =
                _mm_add_epi8(_mm_add_epi8(digits[half], _mm_set1_epi8('0')), letters);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 2 * i + 16 * half), text);
        }
    }
#endif
    for (; i < byteCount; ++i) {
        to[2 * i] = kHexDigits[bytes[i] >> 4];
        to[2 * i + 1] = kHexDigits[bytes[i] & 0xF];
    }
    return to + 2 * byteCount;
}

void AppendHex(const uint8_t* bytes, size_t byteCount, std::string& out) {
    const size_t start = out.size();
    out.resize(start + 2 * byteCount);
    WriteHex(bytes, byteCount, out.data() + start);
}

}  // namespace notation

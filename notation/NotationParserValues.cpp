// The notation parser's value readers: numbers, strings and their escapes, four-char codes and
// hex data, each read from the cursor and checked against its end.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationParser.h"
#include "notation/NotationText.h"

using namespace notation;

namespace notation::detail {

namespace {

// Value of a hex digit, or -1: a table, since data are read two digits a byte.
constexpr auto kHexValues = [] {
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                   : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                   : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                          : int8_t{-1};
    }
    return table;
}();

int HexDigit(char c) {
    return kHexValues[static_cast<uint8_t>(c)];
}

// 1 for a byte a code holds as itself: printable ASCII other than the quote and the
// backslash. A table, so four bytes are checked with four loads and an and.
constexpr auto kPlainCodeBytes = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0x20; c < 0x7F; ++c) table[c] = c != '\'' && c != '\\';
    return table;
}();

void PushCodePoint(char32_t c, Scratch<char16_t>& units) {
    if (c < 0x10000) {
        units.Push(static_cast<char16_t>(c));
        return;
    }
    char16_t* to = units.Room(2);
    to[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    to[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    units.Added(2);
}

}  // namespace

bool Parser::FailOutOfRange(const char* at, const char* what, DescType type) {
    std::string message = what;
    AppendCode(type, message);
    return Fail(at, message);
}

bool Parser::ParseFormValue(const TypedForm& form, Scratch<char>& bytes) {
    switch (form.form) {
        case Form::Integer:
            return ParseIntegerValue(form, bytes);
        case Form::Real:
        case Form::Fixed:
            return ParseRealValue(form, bytes);
        case Form::Code: {
            FourCharCode code;
            if (!At('\'')) return FailUnexpected("a code such as 'yes '");
            if (!ParseCode(code)) return false;
            bytes.Assign(reinterpret_cast<const char*>(&code), sizeof code);
            return true;
        }
        default:
            return ParseTextValue(form, bytes);
    }
}

bool Parser::ParseIntegerValue(const TypedForm& form, Scratch<char>& bytes) {
    const char* start = mCur;
    const bool unsigned64 = form.width == 8 && !form.isSigned;
    int64_t value = 0;
    if (TakeShortInteger(value)) {
        // Read as unsigned, "-0" is no 'ucom' either.
        if (unsigned64 && *start == '-')
            return FailOutOfRange(start, "integer out of range for ", form.type);
    } else {
        NumberToken token;
        if (!ScanNumber(token)) return false;
        if (token.isReal) {
            std::string message;
            AppendCode(form.type, message);
            return Fail(start, message + " takes an integer");
        }
        if (unsigned64) {
            uint64_t unsignedValue = 0;
            const auto read = std::from_chars(token.begin, token.end, unsignedValue);
            if (read.ec != std::errc() || read.ptr != token.end)
                return FailOutOfRange(start, "integer out of range for ", form.type);
            bytes.Assign(reinterpret_cast<const char*>(&unsignedValue), sizeof unsignedValue);
            return true;
        }
        if (std::from_chars(token.begin, token.end, value).ec != std::errc())
            return FailOutOfRange(start, "integer out of range for ", form.type);
    }
    const bool fits =
        (form.width == 8 ||
         (form.width == 4 && form.isSigned && value >= INT32_MIN && value <= INT32_MAX) ||
         (form.width == 4 && !form.isSigned && value >= 0 && value <= UINT32_MAX) ||
         (form.width == 2 && value >= INT16_MIN && value <= INT16_MAX));
    if (!fits) return FailOutOfRange(start, "integer out of range for ", form.type);
    if (form.width == 2) {
        const auto v = static_cast<int16_t>(value);
        bytes.Assign(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (form.width == 4) {
        const auto v = static_cast<uint32_t>(value);
        bytes.Assign(reinterpret_cast<const char*>(&v), sizeof v);
    } else {
        bytes.Assign(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return true;
}

bool Parser::ParseRealValue(const TypedForm& form, Scratch<char>& bytes) {
    const char* start = mCur;
    NumberToken token;
    if (!ScanNumber(token)) return false;
    if (form.form == Form::Real && form.width == 4) {
        float value;
        const auto result = std::from_chars(token.begin, token.end, value);
        if (result.ec != std::errc())
            return FailOutOfRange(start, "real out of range for ", form.type);
        bytes.Assign(reinterpret_cast<const char*>(&value), sizeof value);
        return true;
    }
    double value;
    const auto result = std::from_chars(token.begin, token.end, value);
    if (result.ec != std::errc()) return FailOutOfRange(start, "real out of range for ", form.type);
    if (form.form == Form::Real) {
        bytes.Assign(reinterpret_cast<const char*>(&value), sizeof value);
        return true;
    }
    // 16.16 fixed point: the value must be a whole number of 1/65536 steps within 32 bits.
    const double scaled = value * 65536.0;
    if (!(scaled >= INT32_MIN && scaled <= INT32_MAX) || std::floor(scaled) != scaled)
        return Fail(start, "value has no exact 'fixd' form");
    const auto fixed = static_cast<int32_t>(scaled);
    bytes.Assign(reinterpret_cast<const char*>(&fixed), sizeof fixed);
    return true;
}

bool Parser::ParseTextValue(const TypedForm& form, Scratch<char>& bytes) {
    const char* start = mCur;
    if (!At('"')) return FailUnexpected("a string");
    mUnits.Clear();
    if (!ParseString(mUnits)) return false;
    const std::u16string_view units = mUnits.View();
    if (form.form == Form::UTF16) {
        bytes.Assign(reinterpret_cast<const char*>(units.data()), units.size() * 2);
        return true;
    }
    std::string encoded;
    if (form.form == Form::UTF8) {
        if (!UTF16ToUTF8(units, encoded)) return Fail(start, "a lone surrogate has no UTF-8 form");
        bytes.Assign(encoded.data(), encoded.size());
        return true;
    }
    size_t bad = 0;
    if (!UTF16ToMacRoman(units, encoded, &bad)) {
        char32_t c = units[bad];
        if (c >= 0xD800 && c <= 0xDBFF && bad + 1 < units.size() && units[bad + 1] >= 0xDC00 &&
            units[bad + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[bad + 1] - 0xDC00);
        char hex[12];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
        return Fail(start, std::string("character U+") + hex + " has no Mac OS Roman form");
    }
    bytes.Assign(encoded.data(), encoded.size());
    return true;
}

bool Parser::ParseBareNumber(OwnedDesc& out) {
    const char* start = mCur;
    if (int64_t value; TakeShortInteger(value)) return CreateInteger(value, out, start);
    NumberToken token;
    if (!ScanNumber(token)) return false;
    if (token.isReal) {
        double value;
        if (std::from_chars(token.begin, token.end, value).ec != std::errc())
            return Fail(start, "real out of range");
        return CreateScalar(typeIEEE64BitFloatingPoint, value, out, start);
    }
    int64_t value;
    if (std::from_chars(token.begin, token.end, value).ec != std::errc())
        return Fail(start, "integer out of range (64 bits at most)");
    return CreateInteger(value, out, start);
}

// true, false, nan, inf.
bool Parser::ParseWord(OwnedDesc& out) {
    const char* start = mCur;
    while (mCur < mEnd && IsWordChar(*mCur)) ++mCur;
    const std::string_view word(start, static_cast<size_t>(mCur - start));
    if (word == "true" || word == "false") {
        return CreateScalar(typeBoolean, static_cast<uint8_t>(word == "true"), out, start);
    }
    if (word == "nan" || word == "inf") {
        mCur = start;
        return ParseBareNumber(out);
    }
    return Fail(start, "unknown word '" + std::string(word) + "'");
}

// -?digits(.digits)?([eE][+-]?digits)?, or nan, inf, -inf.
bool Parser::ScanNumber(NumberToken& token) {
    token = {mCur, mCur, false};
    const char* p = mCur;
    if (p < mEnd && *p == '-') ++p;
    auto word = [&](std::string_view w) {
        return static_cast<size_t>(mEnd - p) >= w.size() &&
               std::memcmp(p, w.data(), w.size()) == 0 &&
               (p + w.size() == mEnd || !IsWordChar(p[w.size()]));
    };
    if (word("inf") || (word("nan") && p == mCur)) {
        p += 3;
        token = {mCur, p, true};
        mCur = p;
        return true;
    }
    auto digits = [&]() {
        const char* first = p;
        while (p < mEnd && *p >= '0' && *p <= '9') ++p;
        return p != first;
    };
    if (!digits())
        return Fail(p, p < mEnd && IsWordChar(*p) ? "expected a number" : "expected a digit");
    if (p < mEnd && *p == '.') {
        ++p;
        token.isReal = true;
        if (!digits()) return Fail(p, "expected a digit after '.'");
    }
    if (p < mEnd && (*p == 'e' || *p == 'E')) {
        ++p;
        token.isReal = true;
        if (p < mEnd && (*p == '+' || *p == '-')) ++p;
        if (!digits()) return Fail(p, "expected a digit in the exponent");
    }
    token.end = p;
    // from_chars takes no '+' and reads "1e5" only as a real; both are already settled here.
    mCur = p;
    return true;
}

const char* TakePlainText(const char* p, const char* const end, Scratch<char16_t>& units) {
    for (;;) {
        char16_t* to = units.Room(16);
        char16_t* limit = units.Limit();
        auto put = [&](char16_t unit) {
            if (to == limit) {
                units.SetEnd(to);
                to = units.Room(16);
                limit = units.Limit();
            }
            *to++ = unit;
        };
        // A byte at a time where ASCII mixes with two-byte UTF-8 (always well formed from a
        // lead byte of 0xC2 up: most letters outside ASCII), back to blocks after a long run
        // of ASCII alone.
        for (size_t asciiRun = 0; asciiRun < 16;) {
            const auto b = p < end ? static_cast<uint8_t>(*p) : 0;
            if (b >= 0x20 && b < 0x80 && b != '"' && b != '\\') {
                put(b);
                ++p;
                ++asciiRun;
            } else if (b >= 0xC2 && b <= 0xDF && end - p >= 2 &&
                       (static_cast<uint8_t>(p[1]) & 0xC0) == 0x80) {
                put(static_cast<char16_t>((b & 0x1F) << 6 | (p[1] & 0x3F)));
                p += 2;
                asciiRun = 0;
            } else {
                units.SetEnd(to);
                return p;
            }
        }
        units.SetEnd(to);
        p = TakeASCIIBlocks(p, end, units);
    }
}

bool Parser::ParseStringRest(Scratch<char16_t>& units) {
    const char* p = mCur;
    for (;;) {
        p = TakePlainText(p, mEnd, units);
        mCur = p;
        if (p == mEnd) return Fail(p, "unterminated string");
        const auto c = static_cast<uint8_t>(*p);
        if (c == '"') {
            mCur = p + 1;
            return true;
        }
        if (c == '\\') {
            if (!ParseEscape(units)) return false;
        } else if (c < 0x20) {
            return Fail(p, "control character in a string (write it as an escape)");
        } else {
            char32_t codePoint;
            const size_t n = DecodeUTF8(p, mEnd, codePoint);
            if (n == 0) return Fail(p, "invalid UTF-8 in a string");
            PushCodePoint(codePoint, units);
            mCur = p + n;
        }
        p = mCur;
    }
}

bool Parser::ParseEscape(Scratch<char16_t>& units) {
    const char* start = mCur++;
    if (mCur == mEnd) return Fail(mCur, "unterminated string");
    switch (*mCur++) {
        case '"':
            units.Push(u'"');
            return true;
        case '\\':
            units.Push(u'\\');
            return true;
        case '/':
            units.Push(u'/');
            return true;
        case 'n':
            units.Push(u'\n');
            return true;
        case 'r':
            units.Push(u'\r');
            return true;
        case 't':
            units.Push(u'\t');
            return true;
        case 'b':
            units.Push(u'\b');
            return true;
        case 'f':
            units.Push(u'\f');
            return true;
        case 'u':
            break;
        default:
            return Fail(start, "unknown escape");
    }
    unsigned value = 0;
    for (int i = 0; i < 4; ++i, ++mCur) {
        const int digit = mCur < mEnd ? HexDigit(*mCur) : -1;
        if (digit < 0) return Fail(start, "\\u needs four hex digits");
        value = value * 16 + static_cast<unsigned>(digit);
    }
    units.Push(static_cast<char16_t>(value));
    return true;
}

// Four bytes in single quotes: printable ASCII, \xHH, or \' and \\.
bool Parser::ParseCode(FourCharCode& code) {
    // Most codes are four plain bytes: taken at once.
    if (mEnd - mCur >= 6 && mCur[5] == '\'') {
        const auto* b = reinterpret_cast<const uint8_t*>(mCur + 1);
        if (kPlainCodeBytes[b[0]] & kPlainCodeBytes[b[1]] & kPlainCodeBytes[b[2]] &
            kPlainCodeBytes[b[3]]) {
            code = FourCharCode{b[0]} << 24 | FourCharCode{b[1]} << 16 | FourCharCode{b[2]} << 8 |
                   b[3];
            mCur += 6;
            return true;
        }
    }
    const char* start = mCur++;
    code = 0;
    for (int i = 0; i < 4; ++i) {
        if (mCur == mEnd) return Fail(start, "unterminated code");
        auto b = static_cast<uint8_t>(*mCur);
        if (b == '\\') {
            if (mCur + 1 < mEnd && (mCur[1] == '\'' || mCur[1] == '\\')) {
                b = static_cast<uint8_t>(mCur[1]);
                mCur += 2;
            } else if (mCur + 3 < mEnd && mCur[1] == 'x' && HexDigit(mCur[2]) >= 0 &&
                       HexDigit(mCur[3]) >= 0) {
                b = static_cast<uint8_t>(HexDigit(mCur[2]) * 16 + HexDigit(mCur[3]));
                mCur += 4;
            } else {
                return Fail(mCur, "expected \\xHH, \\' or \\\\ in a code");
            }
        } else if (b == '\'' || b < 0x20 || b >= 0x7F) {
            return Fail(start, "a code is four characters (printable ASCII or \\xHH)");
        } else {
            ++mCur;
        }
        code = (code << 8) | b;
    }
    if (!At('\'')) return Fail(start, "a code is four characters (printable ASCII or \\xHH)");
    ++mCur;
    return true;
}

// Takes whole pairs of hex digits at the cursor into `bytes`: sixteen digits a step where SSE2
// is there, then a pair at a time. Whatever ends them (the '\u00BB', or a fault the caller
// reports) is left at the cursor.
void Parser::TakeHexPairs(Scratch<char>& bytes) {
#if defined(__SSE2__)
    while (mEnd - mCur >= 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mCur));
        // Signed compares: bytes from 0x80 up are negative and fall outside both ranges.
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)),
                                            _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
        const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                             _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
        if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xFFFF) break;
        // '0'-'9' are 0x30-0x39 and the letters 0x41-0x46 or 0x61-0x66: the low four bits, and
        // nine more for a letter.
        const __m128i nibbles = _mm_add_epi8(_mm_and_si128(c, _mm_set1_epi8(0x0F)),
                                             _mm_and_si128(letter, _mm_set1_epi8(9)));
        // Each 16-bit lane holds a pair, the high digit in its low byte.
        const __m128i pairs =
            _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0x00F0)),
                         _mm_srli_epi16(nibbles, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes.Room(8)), _mm_packus_epi16(pairs, pairs));
        bytes.Added(8);
        mCur += 16;
    }
#endif
    for (bool more = true; more;) {
        constexpr size_t kBlock = 32;
        char* to = bytes.Room(kBlock);
        size_t n = 0;
        for (; n < kBlock && mEnd - mCur >= 2; ++n, mCur += 2) {
            const int high = HexDigit(mCur[0]), low = HexDigit(mCur[1]);
            if ((high | low) < 0) break;
            to[n] = static_cast<char>(high << 4 | low);
        }
        bytes.Added(n);
        more = n == kBlock;
    }
}

// «hex digits», an even number of them, either case.
bool Parser::ParseHex(Scratch<char>& bytes) {
    const char* start = mCur;
    mCur += sizeof kOpenData - 1;
    TakeHexPairs(bytes);
    while (!AtText(kCloseData)) {
        if (mCur == mEnd) return Fail(start, "unterminated \u00AB\u00BB data");
        const int high = HexDigit(*mCur);
        if (high < 0) return Fail(mCur, "expected a hex digit or '\u00BB'");
        ++mCur;
        if (mCur == mEnd || AtText(kCloseData))
            return Fail(mCur, "hex data needs an even number of digits");
        const int low = HexDigit(*mCur);
        if (low < 0) return Fail(mCur, "expected a hex digit");
        --mCur;
        bytes.Push(static_cast<char>(high * 16 + low));
        mCur += 2;
    }
    mCur += sizeof kCloseData - 1;
    return true;
}

}  // namespace notation::detail

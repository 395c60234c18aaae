// The notation parser's value readers: numbers, strings and their escapes, four-char codes and
// hex data, each read from the cursor and checked against its end.
#include <algorithm>
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

bool Parser::ParseFormValue(const TypedForm& form, std::string& bytes) {
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
            bytes.assign(reinterpret_cast<const char*>(&code), sizeof code);
            return true;
        }
        default:
            return ParseTextValue(form, bytes);
    }
}

bool Parser::ParseIntegerValue(const TypedForm& form, std::string& bytes) {
    const char* start = mCur;
    NumberToken token;
    if (!ScanNumber(token)) return false;
    int64_t value = 0;
    const auto result = std::from_chars(token.begin, token.end, value);
    std::string type;
    AppendCode(form.type, type);
    if (token.isReal) return Fail(start, type + " takes an integer");
    if (form.width == 8 && !form.isSigned) {
        uint64_t unsignedValue = 0;
        const auto read = std::from_chars(token.begin, token.end, unsignedValue);
        if (read.ec != std::errc() || read.ptr != token.end)
            return Fail(start, "integer out of range for " + type);
        bytes.assign(reinterpret_cast<const char*>(&unsignedValue), sizeof unsignedValue);
        return true;
    }
    const bool fits =
        result.ec == std::errc() &&
        (form.width == 8 ||
         (form.width == 4 && form.isSigned && value >= INT32_MIN && value <= INT32_MAX) ||
         (form.width == 4 && !form.isSigned && value >= 0 && value <= UINT32_MAX) ||
         (form.width == 2 && value >= INT16_MIN && value <= INT16_MAX));
    if (!fits) return Fail(start, "integer out of range for " + type);
    if (form.width == 2) {
        const auto v = static_cast<int16_t>(value);
        bytes.assign(reinterpret_cast<const char*>(&v), sizeof v);
    } else if (form.width == 4) {
        const auto v = static_cast<uint32_t>(value);
        bytes.assign(reinterpret_cast<const char*>(&v), sizeof v);
    } else {
        bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return true;
}

bool Parser::ParseRealValue(const TypedForm& form, std::string& bytes) {
    const char* start = mCur;
    NumberToken token;
    if (!ScanNumber(token)) return false;
    std::string type;
    AppendCode(form.type, type);
    if (form.form == Form::Real && form.width == 4) {
        float value;
        const auto result = std::from_chars(token.begin, token.end, value);
        if (result.ec != std::errc()) return Fail(start, "real out of range for " + type);
        bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
        return true;
    }
    double value;
    const auto result = std::from_chars(token.begin, token.end, value);
    if (result.ec != std::errc()) return Fail(start, "real out of range for " + type);
    if (form.form == Form::Real) {
        bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
        return true;
    }
    // 16.16 fixed point: the value must be a whole number of 1/65536 steps within 32 bits.
    const double scaled = value * 65536.0;
    if (!(scaled >= INT32_MIN && scaled <= INT32_MAX) || std::floor(scaled) != scaled)
        return Fail(start, "value has no exact 'fixd' form");
    const auto fixed = static_cast<int32_t>(scaled);
    bytes.assign(reinterpret_cast<const char*>(&fixed), sizeof fixed);
    return true;
}

bool Parser::ParseTextValue(const TypedForm& form, std::string& bytes) {
    const char* start = mCur;
    if (!At('"')) return FailUnexpected("a string");
    std::u16string units;
    if (!ParseString(units)) return false;
    if (form.form == Form::UTF16) {
        bytes.resize(units.size() * 2);
        if (!units.empty()) std::memcpy(bytes.data(), units.data(), bytes.size());
        return true;
    }
    if (form.form == Form::UTF8) {
        if (!UTF16ToUTF8(units, bytes)) return Fail(start, "a lone surrogate has no UTF-8 form");
        return true;
    }
    size_t bad = 0;
    if (!UTF16ToMacRoman(units, bytes, &bad)) {
        char32_t c = units[bad];
        if (c >= 0xD800 && c <= 0xDBFF && bad + 1 < units.size() && units[bad + 1] >= 0xDC00 &&
            units[bad + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[bad + 1] - 0xDC00);
        char hex[12];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
        return Fail(start, std::string("character U+") + hex + " has no Mac OS Roman form");
    }
    return true;
}

bool Parser::ParseBareNumber(OwnedDesc& out) {
    const char* start = mCur;
    NumberToken token;
    if (!ScanNumber(token)) return false;
    if (token.isReal) {
        double value;
        if (std::from_chars(token.begin, token.end, value).ec != std::errc())
            return Fail(start, "real out of range");
        std::string bytes(reinterpret_cast<const char*>(&value), sizeof value);
        return Create(typeIEEE64BitFloatingPoint, bytes, out, start);
    }
    int64_t value;
    if (std::from_chars(token.begin, token.end, value).ec != std::errc())
        return Fail(start, "integer out of range (64 bits at most)");
    if (value >= INT32_MIN && value <= INT32_MAX) {
        const auto v = static_cast<int32_t>(value);
        return Create(typeSInt32, std::string(reinterpret_cast<const char*>(&v), sizeof v), out,
                      start);
    }
    return Create(typeSInt64, std::string(reinterpret_cast<const char*>(&value), sizeof value), out,
                  start);
}

// true, false, nan, inf.
bool Parser::ParseWord(OwnedDesc& out) {
    const char* start = mCur;
    while (mCur < mEnd && IsWordChar(*mCur)) ++mCur;
    const std::string_view word(start, static_cast<size_t>(mCur - start));
    if (word == "true" || word == "false") {
        return Create(typeBoolean, std::string(1, word == "true" ? '\1' : '\0'), out, start);
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

bool Parser::ParseString(std::u16string& units) {
    ++mCur;  // '"'
    for (;;) {
        // Widened in place: append(first, last) from chars would build a temporary string.
        const size_t run = StringRunLength(mCur, mEnd);
        const size_t at = units.size();
        units.resize(at + run);
        WidenASCII(mCur, run, units.data() + at);
        mCur += run;
        if (mCur == mEnd) return Fail(mCur, "unterminated string");
        const auto c = static_cast<uint8_t>(*mCur);
        if (c == '"') {
            ++mCur;
            return true;
        }
        if (c == '\\') {
            if (!ParseEscape(units)) return false;
        } else if (c < 0x20) {
            return Fail(mCur, "control character in a string (write it as an escape)");
        } else {
            char32_t codePoint;
            const size_t n = DecodeUTF8(mCur, mEnd, codePoint);
            if (n == 0) return Fail(mCur, "invalid UTF-8 in a string");
            AppendUTF16(codePoint, units);
            mCur += n;
        }
    }
}

bool Parser::ParseEscape(std::u16string& units) {
    const char* start = mCur++;
    if (mCur == mEnd) return Fail(mCur, "unterminated string");
    switch (*mCur++) {
        case '"':
            units.push_back(u'"');
            return true;
        case '\\':
            units.push_back(u'\\');
            return true;
        case '/':
            units.push_back(u'/');
            return true;
        case 'n':
            units.push_back(u'\n');
            return true;
        case 'r':
            units.push_back(u'\r');
            return true;
        case 't':
            units.push_back(u'\t');
            return true;
        case 'b':
            units.push_back(u'\b');
            return true;
        case 'f':
            units.push_back(u'\f');
            return true;
        case 'u':
            break;
        default:
            return Fail(start, "unknown escape");
    }
    unsigned value = 0;
    for (int i = 0; i < 4; ++i, ++mCur) {
        const int digit = mCur < mEnd ? HexValue(*mCur) : -1;
        if (digit < 0) return Fail(start, "\\u needs four hex digits");
        value = value * 16 + static_cast<unsigned>(digit);
    }
    units.push_back(static_cast<char16_t>(value));
    return true;
}

// Four bytes in single quotes: printable ASCII, \xHH, or \' and \\.
bool Parser::ParseCode(FourCharCode& code) {
    const char* start = mCur++;
    code = 0;
    for (int i = 0; i < 4; ++i) {
        if (mCur == mEnd) return Fail(start, "unterminated code");
        auto b = static_cast<uint8_t>(*mCur);
        if (b == '\\') {
            if (mCur + 1 < mEnd && (mCur[1] == '\'' || mCur[1] == '\\')) {
                b = static_cast<uint8_t>(mCur[1]);
                mCur += 2;
            } else if (mCur + 3 < mEnd && mCur[1] == 'x' && HexValue(mCur[2]) >= 0 &&
                       HexValue(mCur[3]) >= 0) {
                b = static_cast<uint8_t>(HexValue(mCur[2]) * 16 + HexValue(mCur[3]));
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

// «hex digits», an even number of them, either case.
bool Parser::ParseHex(std::string& bytes) {
    const char* start = mCur;
    mCur += sizeof kOpenData - 1;
    while (!AtText(kCloseData)) {
        if (mCur == mEnd) return Fail(start, "unterminated \u00AB\u00BB data");
        const int high = HexValue(*mCur);
        if (high < 0) return Fail(mCur, "expected a hex digit or '\u00BB'");
        ++mCur;
        if (mCur == mEnd || AtText(kCloseData))
            return Fail(mCur, "hex data needs an even number of digits");
        const int low = HexValue(*mCur);
        if (low < 0) return Fail(mCur, "expected a hex digit");
        --mCur;
        bytes.push_back(static_cast<char>(high * 16 + low));
        mCur += 2;
    }
    mCur += sizeof kCloseData - 1;
    return true;
}

}  // namespace notation::detail

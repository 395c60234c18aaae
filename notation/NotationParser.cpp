// The notation parser: recursive descent over a {begin, cur, end} cursor, every read checked
// against end. The first error is kept and unwinds the parse by returning false; its line and
// column are worked out only then.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationText.h"

using namespace notation;

namespace {

constexpr char kOpenData[] = "\u00AB";   // «
constexpr char kCloseData[] = "\u00BB";  // »

struct NumberToken {
    const char* begin;
    const char* end;
    bool isReal;
};

class Parser {
public:
    Parser(std::string_view text, NotationError& error)
        : mBegin(text.data()), mCur(text.data()), mEnd(text.data() + text.size()), mError(error) {}

    bool ParseDocument(OwnedDesc& out) {
        SkipSpace();
        if (!ParseValue(out, 0)) return false;
        SkipSpace();
        if (mCur != mEnd) return Fail(mCur, "unexpected text after the value");
        return true;
    }

private:
    // `inContainer`: the value is an item or field about to be added, so a scalar may be left
    // pending (see Create) for the container to take with one call.
    bool ParseValue(OwnedDesc& out, int depth, bool inContainer = false);
    bool ParseAfterCode(OwnedDesc& out, int depth);
    bool ParseList(OwnedDesc& out, int depth);
    bool ParseRecord(OwnedDesc& out, int depth, DescType type, const char* typeStart);
    bool ParseTyped(DescType type, const char* typeStart, OwnedDesc& out);
    bool ParseFormValue(const TypedForm& form, std::string& bytes);
    bool ParseIntegerValue(const TypedForm& form, std::string& bytes);
    bool ParseRealValue(const TypedForm& form, std::string& bytes);
    bool ParseTextValue(const TypedForm& form, std::string& bytes);
    bool ParseBareNumber(OwnedDesc& out);
    bool ParseWord(OwnedDesc& out);
    bool ScanNumber(NumberToken& token);
    bool ParseString(std::u16string& units);
    bool ParseEscape(std::u16string& units);
    bool ParseCode(FourCharCode& code);
    bool ParseHex(std::string& bytes);
    bool Create(DescType type, const void* bytes, size_t size, OwnedDesc& out, const char* at);
    bool Create(DescType type, const std::string& bytes, OwnedDesc& out, const char* at) {
        return Create(type, bytes.data(), bytes.size(), out, at);
    }

    bool Fail(const char* at, std::string message, OSStatus status = noErr) {
        mError.offset = static_cast<size_t>(at - mBegin);
        mError.message = std::move(message);
        mError.status = status;
        return false;
    }
    bool FailTooDeep() {
        return Fail(mCur, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
    }
    bool FailUnexpected(const char* expected) {
        if (mCur == mEnd)
            return Fail(mCur, std::string("expected ") + expected + ", found the end");
        return Fail(mCur, std::string("expected ") + expected);
    }
    void SkipSpace() {
        while (mCur < mEnd && (*mCur == ' ' || *mCur == '\t' || *mCur == '\n' || *mCur == '\r'))
            ++mCur;
    }
    bool At(char c) const { return mCur < mEnd && *mCur == c; }
    bool AtText(std::string_view s) const {
        return static_cast<size_t>(mEnd - mCur) >= s.size() &&
               std::memcmp(mCur, s.data(), s.size()) == 0;
    }
    bool Expect(char c, const char* what) {
        SkipSpace();
        if (!At(c)) return FailUnexpected(what);
        ++mCur;
        return true;
    }

    const char* mBegin;
    const char* mCur;
    const char* mEnd;
    std::u16string mUnits;  // the text of a bare string, reused from string to string
    // A scalar item not yet made into a descriptor: the list or record it belongs to adds it
    // with AEPutPtr / AEPutParamPtr, saving a descriptor made, copied and disposed per item.
    bool mMayDefer = false;
    bool mPending = false;
    DescType mPendingType = typeNull;
    std::string mPendingBytes;
    NotationError& mError;
};

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool Parser::ParseValue(OwnedDesc& out, int depth, bool inContainer) {
    mMayDefer = inContainer;
    if (mCur == mEnd) return Fail(mCur, "expected a value, found the end");
    const char c = *mCur;
    if (c == '"') {
        const char* start = mCur;
        mUnits.clear();
        if (!ParseString(mUnits)) return false;
        return Create(typeUnicodeText, mUnits.data(), mUnits.size() * 2, out, start);
    }
    if (c == '\'') return ParseAfterCode(out, depth);
    if (c == '[' || c == '{') {
        if (depth >= kMaxDepth) return FailTooDeep();
        return c == '[' ? ParseList(out, depth) : ParseRecord(out, depth, typeAERecord, nullptr);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return ParseBareNumber(out);
    if (IsWordChar(c)) return ParseWord(out);
    if (AtText(kOpenData))
        return Fail(mCur, "data needs a type in front, as in 'rdat'(\u00AB0AFF\u00BB)");
    return Fail(mCur, "expected a value");
}

// After a code: a typed value, a typed record, or the code alone as a 'type'.
bool Parser::ParseAfterCode(OwnedDesc& out, int depth) {
    const char* start = mCur;
    FourCharCode code;
    if (!ParseCode(code)) return false;
    if (At('(')) {
        ++mCur;
        return ParseTyped(code, start, out);
    }
    if (At('{')) {
        if (depth >= kMaxDepth) return FailTooDeep();
        return ParseRecord(out, depth, code, start);
    }
    std::string bytes(sizeof code, '\0');
    std::memcpy(bytes.data(), &code, sizeof code);
    return Create(typeType, bytes, out, start);
}

bool Parser::ParseList(OwnedDesc& out, int depth) {
    OwnedDesc list;
    if (OSErr err = AECreateList(nullptr, 0, false, list.Out()))
        return Fail(mCur, "cannot make a list", err);
    ++mCur;  // '['
    SkipSpace();
    if (At(']')) {
        ++mCur;
        out = std::move(list);
        return true;
    }
    for (;;) {
        SkipSpace();
        const char* itemStart = mCur;
        OwnedDesc item;
        if (!ParseValue(item, depth + 1, true)) return false;
        if (OSErr err = mPending ? AEPutPtr(list.Mutable(), 0, mPendingType, mPendingBytes.data(),
                                            static_cast<Size>(mPendingBytes.size()))
                                 : AEPutDesc(list.Mutable(), 0, &item.Get()))
            return Fail(itemStart, "cannot add the item to the list", err);
        mPending = false;
        SkipSpace();
        if (At(']')) break;
        if (!At(',')) return FailUnexpected("',' or ']'");
        ++mCur;
    }
    ++mCur;
    out = std::move(list);
    return true;
}

bool Parser::ParseRecord(OwnedDesc& out, int depth, DescType type, const char* typeStart) {
    OwnedDesc record;
    if (OSErr err = AECreateList(nullptr, 0, true, record.Out()))
        return Fail(mCur, "cannot make a record", err);
    ++mCur;  // '{'
    SkipSpace();
    bool empty = At('}');
    while (!empty) {
        SkipSpace();
        const char* keyStart = mCur;
        FourCharCode keyword;
        if (!At('\'')) return FailUnexpected("a keyword such as 'pnam'");
        if (!ParseCode(keyword) || !Expect(':', "':'")) return false;
        SkipSpace();
        OwnedDesc item;
        if (!ParseValue(item, depth + 1, true)) return false;
        DescType existingType;
        Size existingSize;
        if (AESizeOfParam(&record.Get(), keyword, &existingType, &existingSize) == noErr) {
            std::string message = "duplicate keyword ";
            AppendCode(keyword, message);
            return Fail(keyStart, message);
        }
        const OSErr err =
            mPending ? AEPutParamPtr(record.Mutable(), keyword, mPendingType, mPendingBytes.data(),
                                     static_cast<Size>(mPendingBytes.size()))
                     : AEPutParamDesc(record.Mutable(), keyword, &item.Get());
        mPending = false;
        if (err) return Fail(keyStart, "cannot add the field to the record", err);
        SkipSpace();
        if (At('}')) break;
        if (!At(',')) return FailUnexpected("',' or '}'");
        ++mCur;
    }
    ++mCur;
    if (type == typeAERecord) {
        out = std::move(record);
        return true;
    }
    if (OSErr err = AECoerceDesc(&record.Get(), type, out.Out())) {
        std::string message = "cannot make a record of type ";
        AppendCode(type, message);
        return Fail(typeStart, message, err);
    }
    return true;
}

// After "'code'(": nothing, «hex» data, or the value of the type's form; then ')'.
bool Parser::ParseTyped(DescType type, const char* typeStart, OwnedDesc& out) {
    SkipSpace();
    const char* valueStart = mCur;
    std::string bytes;
    bool noData = At(')');
    if (!noData) {
        if (AtText(kOpenData)) {
            if (!ParseHex(bytes)) return false;
        } else if (const TypedForm* form = FindTypedForm(type)) {
            if (!ParseFormValue(*form, bytes)) return false;
        } else if (type == typeBoolean && (AtText("true") || AtText("false"))) {
            bytes.push_back(AtText("true") ? 1 : 0);
            mCur += bytes[0] ? 4 : 5;
        } else {
            std::string message;
            AppendCode(type, message);
            return Fail(mCur, message + " takes \u00ABhex\u00BB data or nothing");
        }
    }
    if (!Expect(')', "')'")) return false;
    if (type == typeNull) {
        if (!noData) return Fail(valueStart, "'null' holds no data");
        out.Dispose();
        return true;
    }
    return Create(type, bytes, out, typeStart);
}

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
        const char* run = mCur;
        while (mCur < mEnd && static_cast<uint8_t>(*mCur) >= 0x20 && *mCur != '"' &&
               *mCur != '\\' && static_cast<uint8_t>(*mCur) < 0x80)
            ++mCur;
        // Widened in place: append(first, last) from chars would build a temporary string.
        const size_t at = units.size();
        units.resize(at + static_cast<size_t>(mCur - run));
        for (size_t k = at; run != mCur; ++run, ++k) units[k] = static_cast<uint8_t>(*run);
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

bool Parser::Create(DescType type, const void* bytes, size_t size, OwnedDesc& out, const char* at) {
    // Container types are made at once: their bytes must be a flat form, and a bad one is
    // reported as such.
    if (mMayDefer && type != typeAEList && type != typeAERecord && type != typeAppleEvent) {
        mPending = true;
        mPendingType = type;
        mPendingBytes.assign(static_cast<const char*>(bytes), size);
        out.Dispose();
        return true;
    }
    if (OSErr err = AECreateDesc(type, bytes, static_cast<Size>(size), out.Out())) {
        std::string message = "cannot make a descriptor of type ";
        AppendCode(type, message);
        return Fail(at, message, err);
    }
    return true;
}

}  // namespace

std::string NotationError::Describe() const {
    std::string where = "at ";
    if (line > 1) where += "line " + std::to_string(line) + ", ";
    return where + "column " + std::to_string(column) + ": " + message +
           (status != noErr ? " (" + std::to_string(status) + ")" : "");
}

bool ParseDesc(std::string_view text, OwnedDesc& out, NotationError& error) {
    out.Dispose();
    error = NotationError{};
    Parser parser(text, error);
    OwnedDesc result;
    if (!parser.ParseDocument(result)) {
        // Cold path: the line and the column (in characters, not bytes) of the offset.
        const size_t offset = std::min(error.offset, text.size());
        size_t lineStart = 0;
        for (size_t i = 0; i < offset; ++i) {
            if (text[i] == '\n') {
                ++error.line;
                lineStart = i + 1;
            }
        }
        for (size_t i = lineStart; i < offset; ++i)
            if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) ++error.column;
        return false;
    }
    out = std::move(result);
    return true;
}

// The old-style (OpenStep) text property-list reader, including the strings-file form.
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPListInputEncoding.h"
#include "platform/CoreFoundation/PropertyList/CFPListReaderSupport.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReaderTables.h"

#include <cstring>
#include <new>

namespace cf::plist {
namespace {

// NeXTSTEP characters 0x80..0xFF, for octal escapes above 0x7F (the old-style format's
// native 8-bit encoding). 0xFE and 0xFF are unassigned and become U+FFFD.
constexpr char16_t kNextStepHigh[128] = {
    0x00A0, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB,
    0x00CC, 0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D9,
    0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00B5, 0x00D7, 0x00F7, 0x00A9, 0x00A1, 0x00A2, 0x00A3,
    0x2044, 0x00A5, 0x0192, 0x00A7, 0x00A4, 0x2019, 0x201C, 0x00AB, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x00AE, 0x2013, 0x2020, 0x2021, 0x00B7, 0x00A6, 0x00B6, 0x2022, 0x201A, 0x201E, 0x201D, 0x00BB,
    0x2026, 0x2030, 0x00AC, 0x00BF, 0x00B9, 0x02CB, 0x00B4, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9,
    0x00A8, 0x00B2, 0x02DA, 0x00B8, 0x00B3, 0x02DD, 0x02DB, 0x02C7, 0x2014, 0x00B1, 0x00BC, 0x00BD,
    0x00BE, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB,
    0x00EC, 0x00C6, 0x00ED, 0x00AA, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x0141, 0x00D8, 0x0152, 0x00BA,
    0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00E6, 0x00F9, 0x00FA, 0x00FB, 0x0131, 0x00FC, 0x00FD,
    0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x00FF, 0xFFFD, 0xFFFD};

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class OldStyleReader {
public:
    OldStyleReader(const UTF8Input& input, CFOptionFlags mutability, bool wantError)
        : mBegin(input.begin),
          mCur(input.begin),
          mEnd(input.end),
          mError(input.begin, wantError),
          mBuilder(mutability, static_cast<size_t>(input.end - input.begin)),
          mMutability(mutability) {}

    CFTypeRef ParseDocument();
    const ReaderError& Error() const { return mError; }

private:
    bool AtEnd() const { return mCur >= mEnd; }
    bool SkipSpace();
    CFTypeRef ParseObject(bool required);
    CFTypeRef ParseString(bool required, bool isKey);
    CFTypeRef ParseQuoted(bool isKey);
    bool ReadEscape();
    CFTypeRef ParseUnquoted(bool isKey);
    CFTypeRef ParseData();
    CFTypeRef ParseArray();
    CFTypeRef ParseDict();
    bool ParseDictContent(size_t& keyStart, size_t& valueStart);
    CFTypeRef ValueForKeyOnly(CFTypeRef key);
    CFTypeRef Made(CFTypeRef object) {
        if (!object) mError.FailNoMemory();
        return object;
    }

    const uint8_t* mBegin;
    const uint8_t* mCur;
    const uint8_t* mEnd;
    int mDepth = 0;
    ReaderError mError;
    Builder mBuilder;
    CFOptionFlags mMutability;
    ObjectStack mValues;
    ObjectStack mKeys;
    std::string mScratch;
    std::vector<uint8_t> mDataScratch;
};

// Whitespace and // or /* */ comments. False only for an unterminated block comment.
bool OldStyleReader::SkipSpace() {
    for (;;) {
        while (mCur < mEnd && Is(*mCur, kOldSpace)) ++mCur;
        if (mEnd - mCur < 2 || mCur[0] != '/') return true;
        if (mCur[1] == '/') {
            mCur += 2;
            while (mCur < mEnd && *mCur != '\n' && *mCur != '\r') ++mCur;
        } else if (mCur[1] == '*') {
            const void* close = memmem(mCur + 2, static_cast<size_t>(mEnd - mCur - 2), "*/", 2);
            if (!close) {
                mError.Fail(mCur, "Unterminated comment");
                return false;
            }
            mCur = static_cast<const uint8_t*>(close) + 2;
        } else {
            return true;
        }
    }
}

// NULL without an error when `required` is false and no object starts here.
CFTypeRef OldStyleReader::ParseObject(bool required) {
    if (!SkipSpace()) return nullptr;
    if (AtEnd()) {
        if (required) mError.Fail(mCur, "Unexpected end of input while parsing a value");
        return nullptr;
    }
    // The limit counts containers that hold something: an empty one at the limit is fine.
    const uint8_t c = *mCur;
    if (mDepth > kMaxDepth &&
        (c == '{' || c == '(' || c == '<' || c == '"' || c == '\'' || Is(c, kUnquoted)))
        return mError.Fail(mCur, "Too many nested arrays or dictionaries"), nullptr;
    switch (c) {
        case '{':
            return ParseDict();
        case '(':
            return ParseArray();
        case '<':
            return ParseData();
        default:
            return ParseString(required, false);
    }
}

CFTypeRef OldStyleReader::ParseString(bool required, bool isKey) {
    if (!SkipSpace()) return nullptr;
    if (AtEnd()) {
        if (required) mError.Fail(mCur, "Unexpected end of input while parsing a string");
        return nullptr;
    }
    uint8_t c = *mCur;
    if (c == '"' || c == '\'') return ParseQuoted(isKey);
    if (Is(c, kUnquoted)) return ParseUnquoted(isKey);
    if (required) mError.Fail(mCur, "Unexpected character %s", ReaderError::Describe(c).c_str());
    return nullptr;
}

CFTypeRef OldStyleReader::ParseQuoted(bool isKey) {
    const uint8_t quote = *mCur;
    const uint8_t* open = mCur++;
    const uint8_t* start = mCur;
    while (mCur < mEnd && !Is(*mCur, kQuotedStop)) ++mCur;
    bool stable = mCur < mEnd && *mCur == quote;
    if (!stable) {
        mScratch.assign(start, mCur);
        while (mCur < mEnd && *mCur != quote) {
            if (*mCur == '\\') {
                if (!ReadEscape()) return nullptr;
            } else {
                mScratch.push_back(static_cast<char>(*mCur++));
            }
        }
        if (AtEnd()) {
            mError.Fail(open, "Unterminated quoted string");
            return nullptr;
        }
    }
    const uint8_t* text = stable ? start : reinterpret_cast<const uint8_t*>(mScratch.data());
    size_t length = stable ? static_cast<size_t>(mCur - start) : mScratch.size();
    ++mCur;
    return Made(isKey ? mBuilder.CreateKey(text, length, stable)
                      : mBuilder.CreateString(text, length, stable));
}

// At '\\' inside quotes: C escapes, up to three octal digits (a NeXTSTEP byte), or \U and up
// to four hex digits (a UTF-16 unit; a surrogate pair is two such escapes).
bool OldStyleReader::ReadEscape() {
    const uint8_t* at = mCur++;
    if (AtEnd()) return mError.Fail(at, "Unterminated quoted string"), false;
    uint8_t c = *mCur++;
    static constexpr char kSimple[] = "a\ab\bf\fn\nr\rt\tv\v";
    for (size_t i = 0; i + 1 < sizeof kSimple; i += 2) {
        if (c == static_cast<uint8_t>(kSimple[i])) {
            mScratch.push_back(kSimple[i + 1]);
            return true;
        }
    }
    if (c >= '0' && c <= '7') {
        unsigned value = c - '0';
        for (int n = 1; n < 3 && mCur < mEnd && *mCur >= '0' && *mCur <= '7'; ++n)
            value = value * 8 + (*mCur++ - '0');
        value &= 0xFF;
        AppendUTF8(value < 0x80 ? value : kNextStepHigh[value - 0x80], mScratch);
        return true;
    }
    if (c != 'U') {
        mScratch.push_back(static_cast<char>(c));  // \" \' \\ and any other: the character
        return true;
    }
    auto readUnit = [this]() {
        uint32_t unit = 0;
        for (int n = 0; n < 4 && mCur < mEnd && HexDigit(*mCur) >= 0; ++n)
            unit = unit * 16 + static_cast<uint32_t>(HexDigit(*mCur++));
        return unit;
    };
    uint32_t unit = readUnit();
    if (unit >= 0xD800 && unit <= 0xDBFF && mEnd - mCur >= 2 && mCur[0] == '\\' && mCur[1] == 'U') {
        const uint8_t* save = mCur;
        mCur += 2;
        uint32_t low = readUnit();
        if (low >= 0xDC00 && low <= 0xDFFF) {
            AppendUTF8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), mScratch);
            return true;
        }
        mCur = save;
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        mError.Fail(at, "Unpaired surrogate in a \\U escape");
        return false;
    }
    AppendUTF8(unit, mScratch);
    return true;
}

CFTypeRef OldStyleReader::ParseUnquoted(bool isKey) {
    const uint8_t* start = mCur;
    while (mCur < mEnd && Is(*mCur, kUnquoted)) ++mCur;
    size_t length = static_cast<size_t>(mCur - start);
    return Made(isKey ? mBuilder.CreateKey(start, length, true)
                      : mBuilder.CreateString(start, length, true));
}

// <hex pairs>, whitespace allowed between pairs.
CFTypeRef OldStyleReader::ParseData() {
    const uint8_t* open = mCur++;
    mDataScratch.clear();
    for (;;) {
        while (mCur < mEnd && Is(*mCur, kOldSpace)) ++mCur;
        if (AtEnd()) return mError.Fail(open, "Unterminated data"), nullptr;
        if (*mCur == '>') break;
        int high = HexDigit(*mCur);
        int low = mEnd - mCur >= 2 ? HexDigit(mCur[1]) : -1;
        if (high < 0 || low < 0) {
            const uint8_t* bad = high < 0 ? mCur : mCur + 1;
            if (bad >= mEnd) return mError.Fail(open, "Unterminated data"), nullptr;
            mError.Fail(bad, "Malformed data byte group: unexpected character %s",
                        ReaderError::Describe(*bad).c_str());
            return nullptr;
        }
        mDataScratch.push_back(static_cast<uint8_t>(high << 4 | low));
        mCur += 2;
    }
    ++mCur;
    return Made(mBuilder.CreateData(mDataScratch.data(), mDataScratch.size()));
}

CFTypeRef OldStyleReader::ParseArray() {
    const uint8_t* open = mCur++;
    ++mDepth;
    const size_t start = mValues.Size();
    // Items separated by commas; a trailing comma is allowed.
    for (CFTypeRef item = ParseObject(false); item; item = ParseObject(false)) {
        mValues.Push(item);
        if (!SkipSpace()) return nullptr;
        if (AtEnd() || *mCur != ',') break;
        ++mCur;
    }
    if (mError.Failed() || !SkipSpace()) return nullptr;
    if (AtEnd() || *mCur != ')') {
        mError.Fail(AtEnd() ? open : mCur, "Expected terminating ')' for array");
        return nullptr;
    }
    ++mCur;
    --mDepth;
    return Made(mBuilder.CreateArray(mValues, start));
}

CFTypeRef OldStyleReader::ParseDict() {
    const uint8_t* open = mCur++;
    ++mDepth;
    size_t keyStart = 0, valueStart = 0;
    if (!ParseDictContent(keyStart, valueStart) || !SkipSpace()) return nullptr;
    if (AtEnd() || *mCur != '}') {
        mError.Fail(AtEnd() ? open : mCur, "Expected terminating '}' for dictionary");
        return nullptr;
    }
    ++mCur;
    --mDepth;
    return Made(mBuilder.CreateDictionary(mKeys, keyStart, mValues, valueStart));
}

// "key = value;" pairs, or "key;" (the value is the key); every pair ends in ';'. Stops at
// anything that does not read as a key, an unterminated quoted string included (the real reader
// takes a key it cannot read for the end of the dictionary, not for an error).
bool OldStyleReader::ParseDictContent(size_t& keyStart, size_t& valueStart) {
    keyStart = mKeys.Size();
    valueStart = mValues.Size();
    for (;;) {
        CFTypeRef key = ParseString(false, true);
        if (!key) {
            mError.ForgetInputFailure();
            break;
        }
        mKeys.Push(key);
        if (!SkipSpace()) return false;
        CFTypeRef value = nullptr;
        if (!AtEnd() && *mCur == ';') {
            value = ValueForKeyOnly(key);
        } else if (!AtEnd() && *mCur == '=') {
            ++mCur;
            value = ParseObject(true);
        } else {
            if (AtEnd())
                mError.Fail(mCur, "Unexpected end of input after a key; expected '=' or ';'");
            else
                mError.Fail(mCur, "Unexpected character %s after a key; expected '=' or ';'",
                            ReaderError::Describe(*mCur).c_str());
            return false;
        }
        if (!value) return false;
        mValues.Push(value);
        if (!SkipSpace()) return false;
        if (AtEnd() || *mCur != ';') {
            mError.Fail(mCur, "Missing ';' after a dictionary entry");
            return false;
        }
        ++mCur;
    }
    return !mError.Failed();
}

CFTypeRef OldStyleReader::ValueForKeyOnly(CFTypeRef key) {
    if (mMutability != kCFPropertyListMutableContainersAndLeaves) return Retain(key);
    std::u16string_view units = StringUnits(static_cast<CFStringRef>(key));
    return Made(CreateStringFromUTF16(units.data(), units.size(), true));
}

CFTypeRef OldStyleReader::ParseDocument() {
    if (!SkipSpace()) return nullptr;
    if (AtEnd()) {
        // Whitespace (or comments) only: an empty dictionary, as for an empty strings file.
        return Made(mBuilder.CreateDictionary(mKeys, 0, mValues, 0));
    }
    Ref<CFTypeRef> first(ParseObject(true));
    if (!first || !SkipSpace()) return nullptr;
    if (AtEnd()) return first.Detach();
    if (!IsString(first.Get())) {
        mError.Fail(mCur, "Unexpected character %s after the property list",
                    ReaderError::Describe(*mCur).c_str());
        return nullptr;
    }
    // A string followed by more: read the whole input again as a strings file, a dictionary
    // without braces. Whatever follows its last entry is ignored, as by the real reader.
    first.Reset();
    mCur = mBegin;
    size_t keyStart = 0, valueStart = 0;
    if (!ParseDictContent(keyStart, valueStart)) return nullptr;
    return Made(mBuilder.CreateDictionary(mKeys, keyStart, mValues, valueStart));
}

}  // namespace

CFPropertyListRef ReadOldStyle(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                               CFStringRef* error) {
    return ReadTextDocument(bytes, length, error, [&](std::string& failure) -> CFTypeRef {
        UTF8Input input;
        if (DecodeTextInput(bytes, length, input) != InputStatus::kOK) {
            failure = "Unable to convert the text from its encoding";
            return nullptr;
        }
        OldStyleReader reader(input, mutability, error != nullptr);
        CFTypeRef result = reader.ParseDocument();
        if (!result) failure = reader.Error().Text();
        return result;
    });
}

}  // namespace cf::plist

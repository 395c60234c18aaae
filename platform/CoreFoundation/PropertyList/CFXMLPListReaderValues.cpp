// The XML property-list reader: character data (entities, CDATA) and the scalar elements.
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/Base64.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReader.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReaderTables.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListScalars.h"

namespace cf::plist::xml {

// Content ended by something other than "</".
bool XMLReader::FailCloseAfterText() {
    if (mEnd - mCur < 2) return FailUnexpected("close tag");
    mError.Fail(mCur + 1,
                "Encountered unexpected character %s on line {line} while looking for close tag",
                ReaderError::Describe(mCur[1]).c_str());
    return false;
}

// Character data of <string>, <key> and <real> up to the close tag. Plain text is returned
// as a span of the input (`stable`); entities or CDATA send it through mScratch.
bool XMLReader::ReadText(Kind kind, const uint8_t*& text, size_t& length, bool& stable) {
    const uint8_t* start = mCur;
    mCur = FindTextStop(mCur, mEnd);
    if (mCur < mEnd && *mCur == '<' && !(mCur + 1 < mEnd && mCur[1] == '!')) {
        text = start;
        length = static_cast<size_t>(mCur - start);
        stable = true;
        return CloseAfterText(kind);
    }
    mScratch.assign(start, mCur);
    for (;;) {
        if (AtEnd()) return FailUnexpected("close tag");
        if (*mCur == '&') {
            if (!ReadEntity()) return false;
        } else if (mCur + 1 < mEnd && mCur[1] == '!') {
            if (!ReadCDATA()) return false;
        } else {
            break;
        }
        const uint8_t* run = mCur;
        mCur = FindTextStop(mCur, mEnd);
        mScratch.append(run, mCur);
    }
    text = reinterpret_cast<const uint8_t*>(mScratch.data());
    length = mScratch.size();
    stable = false;
    return CloseAfterText(kind);
}

bool XMLReader::ReadCDATA() {
    const uint8_t* start = mCur;
    if (!StartsWith("<![CDATA[")) {
        mError.Fail(start, "Encountered improper CDATA opening");
        return false;
    }
    mCur += 9;
    const void* close = memmem(mCur, static_cast<size_t>(mEnd - mCur), "]]>", 3);
    if (!close) {
        mError.Fail(start, "Could not find end of CDATA started on line {line}");
        return false;
    }
    const uint8_t* stop = static_cast<const uint8_t*>(close);
    mScratch.append(mCur, stop);
    mCur = stop + 3;
    return true;
}

// At '&': one of the five predefined entities or a numeric reference (at most eight
// characters between '#' and ';', lower-case 'x' for hex).
bool XMLReader::ReadEntity() {
    static constexpr struct {
        std::string_view name;
        char value;
    } kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    const uint8_t* start = mCur;
    for (const auto& entity : kEntities) {
        if (StartsWith(entity.name)) {
            mScratch.push_back(entity.value);
            mCur += entity.name.size();
            return true;
        }
    }
    if (!StartsWith("&#")) {
        mError.Fail(start, "Encountered unknown ampersand-escape sequence");
        return false;
    }
    mCur += 2;
    const bool hex = mCur < mEnd && *mCur == 'x';
    if (hex) ++mCur;
    // At most eight digits, however many of them are leading zeros.
    const uint8_t* digits = mCur;
    uint32_t cp = 0;
    for (;; ++mCur) {
        if (AtEnd()) return FailUnexpected("';'");
        if (*mCur == ';') break;
        if (mCur - digits >= 8) {
            mError.Fail(
                start,
                "Encountered unparseable unicode sequence on line {line} while parsing data "
                "(too large of a value for a Unicode sequence)");
            return false;
        }
        int d = -1;
        uint8_t c = *mCur;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) {
            mError.Fail(mCur,
                        "Encountered unexpected character %s on line {line} while parsing data",
                        ReaderError::Describe(c).c_str());
            return false;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    ++mCur;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        mError.Fail(start,
                    "Encountered unparseable Unicode sequence on line {line} while parsing data "
                    "(input did not result in a real string)");
        return false;
    }
    AppendUTF8(cp, mScratch);
    return true;
}

// Content of <integer>, <date> and <data>: raw bytes up to the next '<', no entities.
bool XMLReader::ReadRaw(Kind kind, const uint8_t*& text, size_t& length) {
    text = mCur;
    const void* lt = std::memchr(mCur, '<', static_cast<size_t>(mEnd - mCur));
    mCur = lt ? static_cast<const uint8_t*>(lt) : mEnd;
    length = static_cast<size_t>(mCur - text);
    return CloseAfterText(kind);
}

CFTypeRef XMLReader::ParseString(const Tag& tag, bool isKey) {
    const uint8_t* text = nullptr;
    size_t length = 0;
    bool stable = true;
    if (!tag.empty && !ReadText(tag.kind, text, length, stable)) return nullptr;
    CFTypeRef made = isKey ? mBuilder.CreateKey(text, length, stable)
                           : mBuilder.CreateString(text, length, stable);
    if (!made) {
        if (!IsValidUTF8(text, length)) {
            mError.FailNoPlace("Unable to convert string to correct encoding");
        } else {
            mError.FailNoMemory();
        }
    }
    return made;
}

CFTypeRef XMLReader::ParseInteger(const Tag& tag) {
    const uint8_t* at = mCur;
    const uint8_t* text = nullptr;
    size_t length = 0;
    if (tag.empty) return mError.Fail(at, "Encountered empty <integer> on line {line}"), nullptr;
    if (!ReadRaw(tag.kind, text, length)) return nullptr;
    IntegerValue value;
    const uint8_t* bad = text;
    switch (ParseXMLInteger(text, text + length, value, &bad)) {
        case IntegerStatus::kOK:
            return Made(mBuilder.CreateInteger(value));
        case IntegerStatus::kEmpty:
            mError.Fail(at, "Encountered empty <integer> on line {line}");
            break;
        case IntegerStatus::kIncomplete:
            mError.Fail(at, "Incomplete <integer> on line {line}");
            break;
        case IntegerStatus::kHexInDecimal:
            mError.Fail(at, "Hex digit in non-hex <integer> on line {line}");
            break;
        case IntegerStatus::kBadCharacter:
            mError.Fail(bad, "Unknown character '%c' (0x%x) in <integer> on line {line}", *bad,
                        *bad);
            break;
        case IntegerStatus::kOverflow:
            mError.Fail(at, "Integer overflow in <integer> on line {line}");
            break;
        case IntegerStatus::kUnderflow:
            mError.Fail(at, "Integer underflow in <integer> on line {line}");
            break;
    }
    return nullptr;
}

CFTypeRef XMLReader::ParseReal(const Tag& tag) {
    const uint8_t* at = mCur;
    const uint8_t* text = nullptr;
    size_t length = 0;
    bool stable = true;
    if (tag.empty) return mError.Fail(at, "Encountered empty <real> on line {line}"), nullptr;
    if (!ReadText(tag.kind, text, length, stable)) return nullptr;
    // Text that went through entities or CDATA may also start with no-break spaces, as in the
    // real reader, which scans such text as a string of its own.
    const uint8_t* end = text + length;
    if (!stable) text = SkipDecodedRealSpace(text, end);
    double value = 0;
    if (!ParseXMLReal(text, end, value))
        return mError.Fail(at, "Encountered misformatted real on line {line}"), nullptr;
    return Made(mBuilder.CreateReal(value));
}

CFTypeRef XMLReader::ParseDate(const Tag& tag) {
    const uint8_t* at = mCur;
    const uint8_t* text = nullptr;
    size_t length = 0;
    if (tag.empty) return mError.Fail(at, "Encountered empty <date> on line {line}"), nullptr;
    if (!ReadRaw(tag.kind, text, length)) return nullptr;
    double value = 0;
    if (!ParseXMLDate(text, text + length, value))
        return mError.Fail(at, "Could not interpret <date>"), nullptr;
    return Made(mBuilder.CreateDate(value));
}

CFTypeRef XMLReader::ParseData(const Tag& tag) {
    const uint8_t* at = mCur;
    const uint8_t* text = nullptr;
    size_t length = 0;
    if (tag.empty) return mError.Fail(at, "Encountered empty <data> on line {line}"), nullptr;
    if (!ReadRaw(tag.kind, text, length)) return nullptr;
    mDataScratch.clear();
    size_t bad = 0;
    if (!base64::Decode(text, length, mDataScratch, &bad)) {
        mError.Fail(text + bad,
                    "Could not interpret <data> on line {line} (invalid character 0x%02X)",
                    text[bad]);
        return nullptr;
    }
    return Made(mBuilder.CreateData(mDataScratch.data(), mDataScratch.size()));
}

CFTypeRef XMLReader::ParseBoolean(const Tag& tag) {
    if (!tag.empty) {
        if (mEnd - mCur < 2 || mCur[0] != '<' || mCur[1] != '/') {
            mError.Fail(mCur, "Encountered non-empty <%s> on line {line}",
                        tag.kind == Kind::kTrue ? "true" : "false");
            return nullptr;
        }
        if (!ReadCloseTag(tag.kind)) return nullptr;
    }
    return Made(mBuilder.CreateBoolean(tag.kind == Kind::kTrue));
}

}  // namespace cf::plist::xml

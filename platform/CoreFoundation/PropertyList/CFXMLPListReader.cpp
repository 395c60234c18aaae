// The XML property-list reader: one pass over UTF-8 bytes, straight into CF objects.
#include "platform/CoreFoundation/PropertyList/CFXMLPListReader.h"

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReaderTables.h"

#include <new>

namespace cf::plist {
namespace xml {

bool XMLReader::SkipMiscInFull(bool prolog) {
    for (;;) {
        mCur = SkipXMLSpace(mCur, mEnd);
        if (mEnd - mCur < 2 || mCur[0] != '<') return true;
        if (mCur[1] != '!' && mCur[1] != '?') return true;  // a tag, the common case
        const uint8_t* start = mCur;
        if (StartsWith("<!--")) {
            const void* close = memmem(mCur + 4, static_cast<size_t>(mEnd - mCur - 4), "-->", 3);
            if (!close) {
                mError.Fail(start, "Unterminated comment started on line {line}");
                return false;
            }
            mCur = static_cast<const uint8_t*>(close) + 3;
        } else if (mCur[1] == '?') {
            const void* close = memmem(mCur + 2, static_cast<size_t>(mEnd - mCur - 2), "?>", 2);
            if (!close) {
                mError.Fail(start, "Unterminated processing instruction");
                return false;
            }
            mCur = static_cast<const uint8_t*>(close) + 2;
        } else if (prolog && StartsWith("<!DOCTYPE")) {
            if (!SkipDoctype()) return false;
        } else {
            return true;
        }
    }
}

// A DOCTYPE without an internal subset. It ends at the first '>', quoted or not, as in the
// real reader.
bool XMLReader::SkipDoctype() {
    const uint8_t* start = mCur;
    for (mCur += 9; mCur < mEnd; ++mCur) {
        uint8_t c = *mCur;
        if (c == '>') {
            ++mCur;
            return true;
        }
        if (c == '[') {
            mError.Fail(mCur,
                        "Encountered unexpected character [ on line {line} while parsing DTD");
            return false;
        }
    }
    mError.Fail(start, "Unterminated DOCTYPE");
    return false;
}

// At '<' + name: reads the name, skips attributes, notes "/>".
bool XMLReader::ReadTag(Tag& tag) {
    // Nearly every tag of a document is a known name right before '>': taken by one word
    // compare where eight bytes remain.
    if constexpr (std::endian::native == std::endian::little) {
        const uint8_t* name = mCur + 1;
        const uint8_t* end = FindNameEnd(name, mEnd);
        const auto length = static_cast<size_t>(end - name);
        if (mEnd - name >= 8 && length < 8 && *end == '>') {
            uint64_t word;
            std::memcpy(&word, name, sizeof word);
            word &= ~uint64_t{0} >> (56 - 8 * length);  // the name and its '>'
            tag.kind = KindOfTagWord(word, length);
            if (tag.kind != Kind::kUnknown) {
                tag.empty = false;
                mCur = end + 1;
                return true;
            }
        }
    }
    return ReadTagInFull(tag);
}

bool XMLReader::ReadTagInFull(Tag& tag) {
    const uint8_t* start = mCur++;
    const uint8_t* name = mCur;
    mCur = FindNameEnd(mCur, mEnd);
    if (mCur == name) {
        mError.Fail(start, "Malformed tag on line {line}");
        return false;
    }
    std::string_view nameView(reinterpret_cast<const char*>(name),
                              static_cast<size_t>(mCur - name));
    tag.kind = KindOf(nameView);
    if (tag.kind == Kind::kUnknown) {
        mError.Fail(start, "Encountered unknown tag %.*s on line {line}",
                    static_cast<int>(nameView.size()), nameView.data());
        return false;
    }
    // A '/' right after the name must close the tag; after attributes, the tag runs to the
    // first '>' (quotes are not special, as in the real reader) and is empty when a '/' is
    // just before it.
    if (mCur < mEnd && *mCur == '/') {
        if (mCur + 1 < mEnd && mCur[1] == '>') {
            tag.empty = true;
            mCur += 2;
            return true;
        }
        if (mCur + 1 < mEnd) {
            mError.Fail(mCur + 1, "Encountered unexpected character %s after '/' in tag %.*s",
                        ReaderError::Describe(mCur[1]).c_str(), static_cast<int>(nameView.size()),
                        nameView.data());
            return false;
        }
    }
    for (; mCur < mEnd; ++mCur) {
        if (*mCur == '>') {
            tag.empty = mCur[-1] == '/';
            ++mCur;
            return true;
        }
    }
    mError.Fail(start, "Encountered unexpected EOF inside tag %.*s",
                static_cast<int>(nameView.size()), nameView.data());
    return false;
}

bool XMLReader::ReadCloseTagInFull(Kind kind) {
    std::string_view name = NameOf(kind);
    const uint8_t* start = mCur;
    mCur += 2;
    if (static_cast<size_t>(mEnd - mCur) < name.size() ||
        std::memcmp(mCur, name.data(), name.size()) != 0) {
        mError.Fail(start, "Close tag on line {line} does not match open tag %.*s",
                    static_cast<int>(name.size()), name.data());
        return false;
    }
    mCur += name.size();
    if (mCur < mEnd && *mCur == '>') {  // no whitespace before '>', the common case
        ++mCur;
        return true;
    }
    mCur = SkipXMLSpace(mCur, mEnd);
    if (mCur < mEnd && *mCur == '>') {
        ++mCur;
        return true;
    }
    if (mCur >= mEnd) {
        mError.Fail(start, "Encountered unexpected EOF in close tag");
    } else {
        mError.Fail(
            mCur, "Encountered unexpected character %s on line {line} while looking for close tag",
            ReaderError::Describe(*mCur).c_str());
    }
    return false;
}

// Text, a stray "<!" or the end where a tag was expected.
bool XMLReader::FailUnexpected(const char* where) {
    if (AtEnd()) {
        mError.Fail(mCur, "Encountered unexpected EOF on line {line}");
    } else {
        const uint8_t* at = *mCur == '<' && mCur + 1 < mEnd ? mCur + 1 : mCur;
        mError.Fail(at, "Encountered unexpected character %s on line {line} while looking for %s",
                    ReaderError::Describe(*at).c_str(), where);
    }
    return false;
}

CFTypeRef XMLReader::ParseDocument() {
    if (!SkipMisc(true)) return nullptr;
    if (AtEnd()) {
        mError.Fail(mCur, "Encountered unexpected EOF before the root element");
        return nullptr;
    }
    if (*mCur != '<' || mCur + 1 >= mEnd || mCur[1] == '/' || mCur[1] == '!') {
        mError.Fail(mCur, "Unexpected character %s", ReaderError::Describe(*mCur).c_str());
        return nullptr;
    }
    Tag tag;
    if (!ReadTag(tag)) return nullptr;
    // Whatever follows the root element is ignored.
    return ParseValue(tag);
}

CFTypeRef XMLReader::ParseValue(const Tag& tag) {
    switch (tag.kind) {
        case Kind::kPlist:
            return tag.empty ? (mError.FailNoPlace("Encountered empty plist tag"), nullptr)
                             : ParsePlist();
        case Kind::kArray:
        case Kind::kDict: {
            // A self-closed <array/> or <dict/> is not counted against the limit.
            const int level = tag.empty ? 0 : 1;
            if ((mDepth += level) > kMaxDepth) {
                mError.Fail(mCur, "Too many nested arrays or dictionaries, failing on line {line}");
                return nullptr;
            }
            CFTypeRef made =
                tag.kind == Kind::kArray ? ParseArray(tag.empty) : ParseDict(tag.empty);
            mDepth -= level;
            return made;
        }
        case Kind::kKey:
            return ParseString(tag, false);
        case Kind::kString:
            return ParseString(tag, false);
        case Kind::kData:
            return ParseData(tag);
        case Kind::kDate:
            return ParseDate(tag);
        case Kind::kInteger:
            return ParseInteger(tag);
        case Kind::kReal:
            return ParseReal(tag);
        case Kind::kTrue:
        case Kind::kFalse:
            return ParseBoolean(tag);
        case Kind::kUnknown:
            break;
    }
    return nullptr;
}

// <plist> wraps exactly one value and may itself be wrapped; handled as a loop so that no
// input can nest it deeper than the stack allows.
CFTypeRef XMLReader::ParsePlist() {
    size_t open = 1;
    Tag tag;
    for (;;) {
        if (!SkipMisc(false)) return nullptr;
        if (AtEnd() || *mCur != '<' || mEnd - mCur < 2 || mCur[1] == '!') {
            FailUnexpected("open tag");
            return nullptr;
        }
        if (mCur[1] == '/') {
            mError.FailNoPlace("Encountered empty plist tag");
            return nullptr;
        }
        if (!ReadTag(tag)) return nullptr;
        if (tag.kind != Kind::kPlist) break;
        if (tag.empty) {
            mError.FailNoPlace("Encountered empty plist tag");
            return nullptr;
        }
        ++open;
    }
    Ref<CFTypeRef> value(ParseValue(tag));
    if (!value) return nullptr;
    for (; open > 0; --open) {
        const uint8_t* end = mCur;  // the real reader names the line where the value ended
        if (!SkipMisc(false)) return nullptr;
        if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] == '/') {
            if (!ReadCloseTag(Kind::kPlist)) return nullptr;
        } else if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] != '!') {
            mError.Fail(end,
                        "Encountered unexpected element on line {line} (plist can only "
                        "include one object)");
            return nullptr;
        } else {
            FailUnexpected("close tag");
            return nullptr;
        }
    }
    return value.Detach();
}

CFTypeRef XMLReader::ParseArray(bool empty) {
    const size_t start = mValues.Size();
    while (!empty) {
        if (!SkipMisc(false)) return nullptr;
        if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] == '/') {
            if (!ReadCloseTag(Kind::kArray)) return nullptr;
            break;
        }
        if (mEnd - mCur < 2 || mCur[0] != '<' || mCur[1] == '!') {
            FailUnexpected("open tag");
            return nullptr;
        }
        Tag tag;
        if (!ReadTag(tag)) return nullptr;
        CFTypeRef value = ParseValue(tag);
        if (!value) return nullptr;
        mValues.Push(value);
    }
    return Made(mBuilder.CreateArray(mValues, start));
}

// Pairs of <key> and one value. Keys wait on mKeys and values on mValues until the close tag,
// so the dictionary is made once, at its final size.
CFTypeRef XMLReader::ParseDict(bool empty) {
    const size_t keyStart = mKeys.Size();
    const size_t valueStart = mValues.Size();
    while (!empty) {
        if (!SkipMisc(false)) return nullptr;
        if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] == '/') {
            if (!ReadCloseTag(Kind::kDict)) return nullptr;
            break;
        }
        if (mEnd - mCur < 2 || mCur[0] != '<' || mCur[1] == '!')
            return FailUnexpected("open tag"), nullptr;
        const uint8_t* at = mCur;
        Tag tag;
        if (!ReadTag(tag)) return nullptr;
        if (tag.kind != Kind::kKey) {
            mError.Fail(at, "Found non-key inside <dict>");
            return nullptr;
        }
        CFTypeRef key = ParseString(tag, true);
        if (!key) return nullptr;
        mKeys.Push(key);
        if (!SkipMisc(false)) return nullptr;
        if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] == '/') {
            mError.Fail(mCur, "Value missing for key inside <dict>");
            return nullptr;
        }
        if (mEnd - mCur < 2 || mCur[0] != '<' || mCur[1] == '!')
            return FailUnexpected("open tag"), nullptr;
        at = mCur;
        if (!ReadTag(tag)) return nullptr;
        if (tag.kind == Kind::kKey) {
            mError.Fail(at, "Found non-key inside <dict>");
            return nullptr;
        }
        CFTypeRef value = ParseValue(tag);
        if (!value) return nullptr;
        mValues.Push(value);
    }
    if (mKeys.Size() - keyStart == 1 && !NarrowUID(keyStart, valueStart)) return nullptr;
    return Made(mBuilder.CreateDictionary(mKeys, keyStart, mValues, valueStart));
}

// A dictionary of CF$UID and an integer alone is a keyed archiver's UID, whose value the real
// reader reads as 32 bits: an integer beyond them keeps only its low 32.
// False only when memory runs out.
bool XMLReader::NarrowUID(size_t keyStart, size_t valueStart) {
    CFTypeRef* value = mValues.At(valueStart);
    if (!IsNumber(*value) ||
        StringUnits(static_cast<CFStringRef>(*mKeys.At(keyStart))) != u"CF$UID")
        return true;
    const NumberValue number = GetNumberValue(static_cast<CFNumberRef>(*value));
    if (number.kind == NumberValue::kReal ||
        (number.kind == NumberValue::kSigned && number.s >= 0 && number.s <= UINT32_MAX))
        return true;
    const uint64_t bits =
        number.kind == NumberValue::kUnsigned ? number.u : static_cast<uint64_t>(number.s);
    IntegerValue narrowed;
    narrowed.value = static_cast<int64_t>(bits & UINT32_MAX);
    CFTypeRef made = Made(mBuilder.CreateInteger(narrowed));
    if (!made) return false;
    Release(*value);
    *value = made;
    return true;
}

}  // namespace xml

namespace {

const char* DescribeInputFailure(InputStatus status) {
    switch (status) {
        case InputStatus::kBadBytes:
            return "Unable to convert the data from its encoding";
        case InputStatus::kUnknownEncoding:
            return "Encountered unknown encoding";
        case InputStatus::kMismatch:
            return "The declared encoding does not match the data";
        case InputStatus::kNoEncodingName:
            return "End of buffer while looking for encoding name";
        case InputStatus::kOK:
            break;
    }
    return "";
}

}  // namespace

CFPropertyListRef ReadXML(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                          CFStringRef* error) {
    return ReadTextDocument(bytes, length, error, [&](std::string& failure) -> CFTypeRef {
        UTF8Input input;
        std::string name;
        InputStatus status = DecodeXMLInput(bytes, length, input, &name);
        if (status != InputStatus::kOK) {
            failure = DescribeInputFailure(status);
            if (!name.empty()) failure += " (" + name + ")";
            return nullptr;
        }
        xml::XMLReader reader(input, mutability, error != nullptr);
        CFTypeRef result = reader.ParseDocument();
        if (!result) failure = reader.Error().Text();
        return result;
    });
}

}  // namespace cf::plist

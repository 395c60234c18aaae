// The XML property-list reader's parser, shared by its two source files: the structure
// (prolog, tags, containers) in CFXMLPListReader.cpp, character data and scalar elements in
// CFXMLPListReaderValues.cpp. Private to the reader.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTREADER_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTREADER_H

#include "platform/CoreFoundation/PropertyList/CFPListInputEncoding.h"
#include "platform/CoreFoundation/PropertyList/CFPListReaderSupport.h"
#include "platform/CoreFoundation/PropertyList/CFXMLPListReaderTables.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace cf::plist::xml {

enum class Kind {
    kUnknown,
    kPlist,
    kArray,
    kDict,
    kKey,
    kString,
    kData,
    kDate,
    kInteger,
    kReal,
    kTrue,
    kFalse
};

inline constexpr std::string_view kNames[] = {"",     "plist", "array",   "dict", "key",  "string",
                                              "data", "date",  "integer", "real", "true", "false"};

inline std::string_view NameOf(Kind kind) {
    return kNames[static_cast<int>(kind)];
}

// A close tag's name and '>' as one little-endian word, with the mask of its bytes (every
// name is at most seven letters).
struct CloseWord {
    uint64_t word = 0;
    uint64_t mask = 0;
};

constexpr std::array<CloseWord, std::size(kNames)> MakeCloseWords() {
    std::array<CloseWord, std::size(kNames)> words{};
    for (size_t k = 1; k < std::size(kNames); ++k) {
        std::string_view name = kNames[k];
        for (size_t i = 0; i <= name.size(); ++i) {
            const uint64_t byte = i < name.size() ? static_cast<uint8_t>(name[i]) : '>';
            words[k].word |= byte << (8 * i);
            words[k].mask |= uint64_t{0xFF} << (8 * i);
        }
    }
    return words;
}

inline constexpr std::array<CloseWord, std::size(kNames)> kCloseWords = MakeCloseWords();

// The kind of a plain tag from its name and '>' as one little-endian word (as in
// kCloseWords, unused bytes zero); kUnknown when no name matches.
inline Kind KindOfTagWord(uint64_t word, size_t nameLength) {
    auto is = [word](Kind kind) { return word == kCloseWords[static_cast<size_t>(kind)].word; };
    switch (nameLength) {
        case 3:
            return is(Kind::kKey) ? Kind::kKey : Kind::kUnknown;
        case 4:
            for (Kind kind : {Kind::kDict, Kind::kData, Kind::kDate, Kind::kReal, Kind::kTrue})
                if (is(kind)) return kind;
            return Kind::kUnknown;
        case 5:
            for (Kind kind : {Kind::kPlist, Kind::kArray, Kind::kFalse})
                if (is(kind)) return kind;
            return Kind::kUnknown;
        case 6:
            return is(Kind::kString) ? Kind::kString : Kind::kUnknown;
        case 7:
            return is(Kind::kInteger) ? Kind::kInteger : Kind::kUnknown;
    }
    return Kind::kUnknown;
}

// The kind of an element name, through the same table: packed with its '>' as a tag word.
inline Kind KindOf(std::string_view name) {
    if (name.size() >= sizeof(uint64_t)) return Kind::kUnknown;  // longer than every name
    uint64_t word = uint64_t{'>'} << (8 * name.size());
    for (size_t i = 0; i < name.size(); ++i)
        word |= uint64_t{static_cast<uint8_t>(name[i])} << (8 * i);
    return KindOfTagWord(word, name.size());
}

struct Tag {
    Kind kind = Kind::kUnknown;
    bool empty = false;  // <name/>
};

class XMLReader {
public:
    XMLReader(const UTF8Input& input, CFOptionFlags mutability, bool wantError)
        : mCur(input.begin),
          mEnd(input.end),
          mError(input.begin, wantError),
          mBuilder(mutability, static_cast<size_t>(input.end - input.begin)) {}

    CFTypeRef ParseDocument();
    const ReaderError& Error() const { return mError; }

private:
    bool AtEnd() const { return mCur >= mEnd; }
    bool StartsWith(std::string_view s) const {
        return static_cast<size_t>(mEnd - mCur) >= s.size() &&
               std::memcmp(mCur, s.data(), s.size()) == 0;
    }
    // Skips whitespace, comments and processing instructions (and, before the root,
    // DOCTYPE). Stops at anything else: a tag, text or the end, which the caller judges.
    bool SkipMisc(bool prolog) {
        mCur = SkipXMLSpace(mCur, mEnd);
        if (mEnd - mCur >= 2 && mCur[0] == '<' && mCur[1] != '!' && mCur[1] != '?')
            return true;  // a tag, the common case
        return SkipMiscInFull(prolog);
    }
    [[gnu::noinline]] bool SkipMiscInFull(bool prolog);
    bool SkipDoctype();
    bool ReadTag(Tag& tag);
    [[gnu::noinline]] bool ReadTagInFull(Tag& tag);
    // At "</": the close tag of `kind`, with optional whitespace before '>'.
    bool ReadCloseTag(Kind kind) {
        // The common "</name>" in one compare of the eight bytes after "</".
        if constexpr (std::endian::native == std::endian::little) {
            if (mEnd - mCur >= 10) {
                uint64_t bytes;
                std::memcpy(&bytes, mCur + 2, sizeof bytes);
                const CloseWord& close = kCloseWords[static_cast<size_t>(kind)];
                if (kind != Kind::kUnknown && (bytes & close.mask) == close.word) {
                    mCur += 3 + NameOf(kind).size();
                    return true;
                }
            }
        }
        return ReadCloseTagInFull(kind);
    }
    [[gnu::noinline]] bool ReadCloseTagInFull(Kind kind);
    bool FailUnexpected(const char* where);
    CFTypeRef ParseValue(const Tag& tag);
    CFTypeRef ParsePlist();
    CFTypeRef ParseArray(bool empty);
    CFTypeRef ParseDict(bool empty);
    bool NarrowUID(size_t keyStart, size_t valueStart);
    bool ReadText(Kind kind, const uint8_t*& text, size_t& length, bool& stable);
    bool ReadCDATA();
    bool ReadEntity();
    bool ReadRaw(Kind kind, const uint8_t*& text, size_t& length);
    // At '<' after content: must be the close tag of `kind`.
    bool CloseAfterText(Kind kind) {
        if (mEnd - mCur >= 2 && mCur[1] == '/') return ReadCloseTag(kind);
        return FailCloseAfterText();
    }
    [[gnu::noinline]] bool FailCloseAfterText();
    CFTypeRef ParseString(const Tag& tag, bool isKey);
    CFTypeRef ParseInteger(const Tag& tag);
    CFTypeRef ParseReal(const Tag& tag);
    CFTypeRef ParseDate(const Tag& tag);
    CFTypeRef ParseData(const Tag& tag);
    CFTypeRef ParseBoolean(const Tag& tag);
    CFTypeRef Made(CFTypeRef object) {
        if (!object) mError.FailNoMemory();
        return object;
    }

    const uint8_t* mCur;
    const uint8_t* mEnd;
    int mDepth = 0;
    ReaderError mError;
    Builder mBuilder;
    ObjectStack mValues;
    ObjectStack mKeys;
    std::string mScratch;               // text with entities or CDATA, one buffer per parse
    std::vector<uint8_t> mDataScratch;  // decoded <data>
};

}  // namespace cf::plist::xml

#endif

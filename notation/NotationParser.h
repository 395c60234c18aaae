// The notation parser's cursor and its parse steps, shared by the structure
// (NotationParser.cpp: values, lists, records, typed forms) and the value readers
// (NotationParserValues.cpp: numbers, strings, codes, hex data).
#ifndef NOTATION_NOTATIONPARSER_H
#define NOTATION_NOTATIONPARSER_H

#include <cstring>
#include <string>
#include <string_view>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"

namespace notation::detail {

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
    const void* mPendingData = nullptr;  // mUnits, or mPendingBytes
    size_t mPendingSize = 0;
    std::string mPendingBytes;
    NotationError& mError;
};

inline bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace notation::detail

#endif

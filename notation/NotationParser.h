// The notation parser's cursor and its parse steps, shared by the structure
// (NotationParser.cpp: values, lists, records, typed forms) and the value readers
// (NotationParserValues.cpp: numbers, strings, codes, hex data).
#ifndef NOTATION_NOTATIONPARSER_H
#define NOTATION_NOTATIONPARSER_H

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"

namespace notation::detail {

constexpr char kOpenData[] = "\u00AB";   // «
constexpr char kCloseData[] = "\u00BB";  // »

// A growable array whose new room is left unwritten, unlike std::basic_string::resize, which
// zero-fills what the parser overwrites at once. Kept from value to value, so it allocates only
// to grow; never empty of storage, so Data() is never NULL.
template <class T>
class Scratch {
public:
    Scratch() : mData(std::make_unique_for_overwrite<T[]>(kFirstCapacity)) {}

    void Clear() { mSize = 0; }
    size_t Size() const { return mSize; }
    const T* Data() const { return mData.get(); }
    std::basic_string_view<T> View() const { return {mData.get(), mSize}; }
    // Room for `n` more elements after the last; they count once Added.
    T* Room(size_t n) {
        if (mCapacity - mSize < n) Grow(n);
        return mData.get() + mSize;
    }
    void Added(size_t n) { mSize += n; }
    void Push(T value) {
        *Room(1) = value;
        ++mSize;
    }
    void Assign(const T* from, size_t n) {
        mSize = 0;
        if (n) std::memcpy(Room(n), from, n * sizeof(T));
        mSize = n;
    }

private:
    static constexpr size_t kFirstCapacity = 64;
    void Grow(size_t n) {
        const size_t capacity = std::max(mCapacity * 2, mSize + n);
        auto data = std::make_unique_for_overwrite<T[]>(capacity);
        if (mSize) std::memcpy(data.get(), mData.get(), mSize * sizeof(T));
        mData = std::move(data);
        mCapacity = capacity;
    }

    std::unique_ptr<T[]> mData;
    size_t mSize = 0;
    size_t mCapacity = kFirstCapacity;
};

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
    // Adds the value just parsed (pending, or in `item`) to a list or record; `item` is left
    // null for the next one.
    OSErr AddItem(OwnedDesc& list, OwnedDesc& item);
    OSErr AddField(OwnedDesc& record, AEKeyword keyword, OwnedDesc& item);
    bool ParseTyped(DescType type, const char* typeStart, OwnedDesc& out);
    bool ParseFormValue(const TypedForm& form, Scratch<char>& bytes);
    bool ParseIntegerValue(const TypedForm& form, Scratch<char>& bytes);
    bool ParseRealValue(const TypedForm& form, Scratch<char>& bytes);
    bool ParseTextValue(const TypedForm& form, Scratch<char>& bytes);
    bool TakeShortInteger(int64_t& value);
    bool ParseBareNumber(OwnedDesc& out);
    bool ParseWord(OwnedDesc& out);
    bool ScanNumber(NumberToken& token);
    bool ParseString(Scratch<char16_t>& units);
    [[gnu::always_inline]] inline void TakePlainRun(Scratch<char16_t>& units);
    bool ParseEscape(Scratch<char16_t>& units);
    bool ParseCode(FourCharCode& code);
    bool ParseHex(Scratch<char>& bytes);
    void TakeHexPairs(Scratch<char>& bytes);
    // `bytes` must stay put until the item is added (mUnits, mBytes or mScalar): a pending
    // item keeps pointing at them.
    bool Create(DescType type, const void* bytes, size_t size, OwnedDesc& out, const char* at) {
        // Container types are made at once: their bytes must be a flat form, and a bad one is
        // reported as such.
        if (!mMayDefer || type == typeAEList || type == typeAERecord || type == typeAppleEvent)
            return CreateNow(type, bytes, size, out, at);
        // `out` is the container's holder, left null by the item before.
        mPending = true;
        mPendingType = type;
        mPendingData = bytes;
        mPendingSize = size;
        return true;
    }
    bool CreateNow(DescType type, const void* bytes, size_t size, OwnedDesc& out, const char* at);
    template <class T>
    bool CreateScalar(DescType type, T value, OwnedDesc& out, const char* at) {
        static_assert(sizeof value <= sizeof mScalar);
        std::memcpy(mScalar, &value, sizeof value);
        return Create(type, mScalar, sizeof value, out, at);
    }
    bool FailOutOfRange(const char* at, const char* what, DescType type);

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
        // Most bytes are above the space: one test to leave.
        while (mCur < mEnd && static_cast<uint8_t>(*mCur) <= ' ' &&
               (*mCur == ' ' || *mCur == '\t' || *mCur == '\n' || *mCur == '\r'))
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
    // The data of the value being parsed, reused from value to value: the units of a string,
    // the bytes of a typed value, a number, code or boolean.
    Scratch<char16_t> mUnits;
    Scratch<char> mBytes;
    alignas(8) unsigned char mScalar[8] = {};
    // A scalar item not yet made into a descriptor: the list or record it belongs to adds it
    // with AEPutPtr / AEPutParamPtr straight from the buffers above, saving a descriptor made,
    // copied and disposed per item.
    bool mMayDefer = false;
    bool mPending = false;
    DescType mPendingType = typeNull;
    const void* mPendingData = nullptr;
    size_t mPendingSize = 0;
    NotationError& mError;
};

inline bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace notation::detail

#endif

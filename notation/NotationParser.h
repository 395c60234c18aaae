// The notation parser's cursor and its parse steps, shared by the structure
// (NotationParser.cpp: values, lists, records, typed forms) and the value readers
// (NotationParserValues.cpp: numbers, strings, codes, hex data).
#ifndef NOTATION_NOTATIONPARSER_H
#define NOTATION_NOTATIONPARSER_H

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // For loops that write through a pointer of their own: the end of the room made by the
    // last Room call, and the new end of the elements once written up to `end`.
    T* Limit() { return mData.get() + mCapacity; }
    void SetEnd(const T* end) { mSize = static_cast<size_t>(end - mData.get()); }
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

// How many of the eight bytes of `word` (the first in its low byte) are ASCII digits before
// the first that is not. Subtracting '0' from every byte leaves a digit's byte 0-9; any other
// byte gets its high bit set either by the subtraction or by adding 0x76 after it. A borrow or
// carry only runs upwards, from the first byte that is not a digit, so it never hides that one.
inline unsigned LeadingDigits(uint64_t word) {
    const uint64_t less = word - 0x3030303030303030ull;
    const uint64_t notDigit = (less | (less + 0x7676767676767676ull)) & 0x8080808080808080ull;
    return notDigit ? static_cast<unsigned>(std::countr_zero(notDigit)) / 8 : 8;
}

// The value of the first `count` (1-8) bytes of `word`, all ASCII digits: they are moved to
// the top of the word, zeros below becoming leading zeros, and combined in pairs, fours, eights.
inline uint64_t DigitsValue(uint64_t word, unsigned count) {
    uint64_t v = (word - 0x3030303030303030ull) << (8 * (8 - count));
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
    return (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
}

// Most numbers are short integers: up to 18 digits cannot overflow, and the byte after them
// shows there is no fraction or exponent. Reads one at `p` in one pass and returns the end of
// it; NULL for anything else, which the full number reader takes.
inline const char* ReadShortInteger(const char* p, const char* end, int64_t& value) {
    const bool negative = p < end && *p == '-';
    p += negative;
    const char* const digits = p;
    const char* const limit = end - p > 18 ? p + 18 : end;
    uint64_t magnitude = 0;
    if (end - p >= 8) {
        // The first eight bytes at once: most numbers end within them.
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        const unsigned count = LeadingDigits(word);
        if (count == 0) return nullptr;
        magnitude = DigitsValue(word, count);
        p += count;
    }
    while (p < limit && static_cast<unsigned>(*p - '0') < 10)
        magnitude = magnitude * 10 + static_cast<unsigned>(*p++ - '0');
    if (p == digits ||
        (p < end && (static_cast<unsigned>(*p - '0') < 10 || *p == '.' || *p == 'e' || *p == 'E')))
        return nullptr;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return p;
}

// Takes the ASCII a string holds as itself (from the space up, DEL included, other than '"'
// and '\\') from `p` into `units` sixteen bytes a step, each block widened whole into spare
// room and only its run kept; returns where the run ends, or the start of the last fifteen
// bytes or fewer before `end` (left to the caller, as is all of it without SSE2). Works on
// locals: the vector stores may alias anything and would make members be read again.
[[gnu::always_inline]] inline const char* TakeASCIIBlocks(const char* p, const char* end,
                                                          Scratch<char16_t>& units) {
#if defined(__SSE2__)
    if (end - p < 16) return p;
    char16_t* to = units.Room(16);
    char16_t* limit = units.Limit();
    // Bytes from 0x80 up are negative as signed bytes, so one signed test keeps 0x20-0x7F.
    const __m128i belowSpace = _mm_set1_epi8(0x1F);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i zero = _mm_setzero_si128();
    for (;;) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i special =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash));
        const __m128i plain = _mm_andnot_si128(special, _mm_cmpgt_epi8(bytes, belowSpace));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(plain));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 8), _mm_unpackhi_epi8(bytes, zero));
        if (mask != 0xFFFF) {
            // The first byte that is not plain; ~mask has bits set from 16 up, so never 0.
            const auto run = static_cast<size_t>(__builtin_ctz(~mask));
            units.SetEnd(to + run);
            return p + run;
        }
        to += 16;
        p += 16;
        if (end - p < 16) break;
        if (limit - to < 16) [[unlikely]] {
            units.SetEnd(to);
            to = units.Room(16);
            limit = units.Limit();
        }
    }
    units.SetEnd(to);
#else
    (void)end;
    (void)units;
#endif
    return p;
}

// Takes the run of text a string holds as itself from `p` into `units`: ASCII as above, and
// two-byte UTF-8 sequences. Returns where the run ends. For where TakeASCIIBlocks stops.
const char* TakePlainText(const char* p, const char* end, Scratch<char16_t>& units);

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
    // Parses the next item of a list at `depth` and appends it; strings and short integers,
    // most items, go straight from the scratch to AEPutPtr.
    [[gnu::always_inline]] inline bool ParseItem(OwnedDesc& list, OwnedDesc& item, int depth);
    [[gnu::always_inline]] inline bool PutItem(OwnedDesc& list, DescType type, const void* bytes,
                                               size_t size, const char* itemStart);
    bool CreateInteger(int64_t value, OwnedDesc& out, const char* at) {
        if (value >= INT32_MIN && value <= INT32_MAX)
            return CreateScalar(typeSInt32, static_cast<int32_t>(value), out, at);
        return CreateScalar(typeSInt64, value, out, at);
    }
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
    // Takes a short integer at the cursor (see ReadShortInteger), or leaves the cursor.
    bool TakeShortInteger(int64_t& value) {
        const char* after = ReadShortInteger(mCur, mEnd, value);
        if (!after) return false;
        mCur = after;
        return true;
    }
    bool ParseBareNumber(OwnedDesc& out);
    bool ParseWord(OwnedDesc& out);
    bool ScanNumber(NumberToken& token);
    bool ParseString(Scratch<char16_t>& units) {
        mCur = TakeASCIIBlocks(mCur + 1, mEnd, units);  // past '"'
        return ParseStringRest(units);
    }
    // The rest of a string, its units so far in `units`, from the cursor to past its '"'.
    bool ParseStringRest(Scratch<char16_t>& units);
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

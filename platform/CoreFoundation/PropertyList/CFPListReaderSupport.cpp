// Errors, the object stack and the object builder of the property-list text readers.
#include "platform/CoreFoundation/PropertyList/CFPListReaderSupport.h"

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/PropertyList/CFPListInputEncoding.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace cf::plist {

void ReaderError::Fail(const uint8_t* at, const char* format, ...) {
    if (mFailed) return;
    mFailed = true;
    if (!mWanted) return;
    // Lines are counted only now, on the way out of a failed parse.
    long line = 1;
    for (const uint8_t* p = mBegin; p < at;) {
        const void* lf = std::memchr(p, '\n', static_cast<size_t>(at - p));
        if (!lf) break;
        ++line;
        p = static_cast<const uint8_t*>(lf) + 1;
    }
    // The line goes where the format names it, else at the end. It is put into the format
    // (our own text, so the digits add no conversions), never into what the arguments quote.
    std::string withLine(format);
    const size_t place = withLine.find(kLine);
    if (place != std::string::npos) withLine.replace(place, kLine.size(), std::to_string(line));
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, withLine.c_str(), args);
    va_end(args);
    mText = buffer;
    if (place == std::string::npos) mText += " on line " + std::to_string(line);
    // Names quoted from the input may be invalid UTF-8; the message must still be a string.
    if (!IsValidUTF8(reinterpret_cast<const uint8_t*>(mText.data()), mText.size()))
        for (char& c : mText)
            if (static_cast<uint8_t>(c) >= 0x80) c = '?';
}

void ReaderError::FailNoPlace(const char* text) {
    if (mFailed) return;
    mFailed = true;
    if (mWanted) mText = text;
}

std::string ReaderError::Describe(uint8_t c) {
    char buffer[8];
    if (c > 0x20 && c < 0x7F) {
        std::snprintf(buffer, sizeof buffer, "%c", c);
    } else if (c >= 0x80) {
        std::string latin1;
        AppendUTF8(c, latin1);  // the byte as a Latin-1 character, as the real reader shows it
        return latin1;
    } else {
        std::snprintf(buffer, sizeof buffer, "0x%02X", c);
    }
    return buffer;
}

CFStringRef CreateErrorString(const std::string& text) {
    return CreateStringFromUTF8(text);
}

void ObjectStack::ReleaseFrom(size_t index) {
    for (size_t i = index; i < mItems.size(); ++i) Release(mItems[i]);
    mItems.resize(index);
}

std::vector<CFTypeRef> ObjectStack::Take(size_t index) {
    std::vector<CFTypeRef> taken(mItems.begin() + static_cast<std::ptrdiff_t>(index), mItems.end());
    mItems.resize(index);
    return taken;
}

namespace {

// A power of two from 16 to `most`, about one entry per 64 bytes of input.
size_t CacheSizeFor(size_t inputLength, size_t most) {
    return std::clamp(std::bit_ceil(inputLength / 64 + 1), size_t{16}, most);
}

}  // namespace

Builder::Builder(CFOptionFlags mutability, size_t inputLength)
    : mMutability(mutability),
      mStrings(CacheSizeFor(inputLength, kTextCacheSize)),
      mKeyStrings(CacheSizeFor(inputLength, kTextCacheSize)),
      mIntegers(CacheSizeFor(inputLength, kScalarCacheSize)),
      mDates(CacheSizeFor(inputLength, kScalarCacheSize)) {}

Builder::~Builder() {
    for (TextEntry& entry : mStrings) Release(entry.string);
    for (TextEntry& entry : mKeyStrings) Release(entry.string);
    for (ScalarEntry& entry : mIntegers) Release(entry.object);
    for (ScalarEntry& entry : mDates) Release(entry.object);
}

CFTypeRef Builder::CachedString(std::vector<TextEntry>& cache, const uint8_t* utf8, size_t length) {
    static constexpr uint8_t kEmpty[1] = {0};
    if (length == 0) utf8 = kEmpty;  // an empty span may come with no pointer at all
    // Hash the first and last eight bytes and the length: cheap, and repeated values that
    // differ only in the middle merely evict each other.
    uint64_t head = 0, tail = 0;
    if (length >= 8) {
        std::memcpy(&head, utf8, 8);
        std::memcpy(&tail, utf8 + length - 8, 8);
    } else {
        std::memcpy(&head, utf8, length);
    }
    const uint64_t hash = MixHash(head ^ MixHash(tail + length));
    TextEntry& entry = cache[hash & (cache.size() - 1)];
    // Head and tail cover every byte of a text up to 16 bytes long (zero-padded below 8), so
    // only longer ones compare their middle.
    if (entry.string && entry.length == length && entry.head == head && entry.tail == tail &&
        (length <= 16 || std::memcmp(entry.bytes + 8, utf8 + 8, length - 16) == 0))
        return Retain(entry.string);
    CFTypeRef made = CreateStringFromUTF8(utf8, length);
    if (!made) return nullptr;
    Release(entry.string);
    entry = {utf8, length, head, tail, Retain(made)};
    return made;
}

template <class Make>
CFTypeRef Builder::CachedScalar(std::vector<ScalarEntry>& cache, uint64_t bits, Make make) {
    ScalarEntry& entry = cache[MixHash(bits) & (cache.size() - 1)];
    if (entry.object && entry.bits == bits) return Retain(entry.object);
    CFTypeRef made = make();
    if (!made) return nullptr;
    Release(entry.object);
    entry = {bits, Retain(made)};
    return made;
}

CFTypeRef Builder::CreateString(const uint8_t* utf8, size_t length, bool stable) {
    if (mMutability == kCFPropertyListMutableContainersAndLeaves)
        return CreateStringFromUTF8(utf8, length, true);
    if (!stable || length > kMaxCachedLength) return CreateStringFromUTF8(utf8, length);
    return CachedString(mStrings, utf8, length);
}

CFTypeRef Builder::CreateKey(const uint8_t* utf8, size_t length, bool stable) {
    if (!stable || length > kMaxCachedLength) return CreateStringFromUTF8(utf8, length);
    return CachedString(mKeyStrings, utf8, length);
}

CFTypeRef Builder::CreateInteger(const IntegerValue& value) {
    if (value.isUnsigned) return CreateNumberUInt64(value.magnitude);
    return CachedScalar(mIntegers, static_cast<uint64_t>(value.value),
                        [&] { return CreateNumberSInt64(value.value); });
}

CFTypeRef Builder::CreateDate(double absoluteTime) {
    uint64_t bits;
    std::memcpy(&bits, &absoluteTime, sizeof bits);
    return CachedScalar(mDates, bits, [&] { return cf::CreateDate(absoluteTime); });
}

CFTypeRef Builder::CreateReal(double value) {
    return CreateNumberFloat64(value);
}

CFTypeRef Builder::CreateData(const uint8_t* bytes, size_t length) {
    return cf::CreateData(bytes, length, mMutability == kCFPropertyListMutableContainersAndLeaves);
}

CFTypeRef Builder::CreateBoolean(bool value) {
    return BooleanFor(value);
}

CFTypeRef Builder::CreateArray(ObjectStack& values, size_t start) {
    return CreateArrayAdopting(values.Take(start), mMutability != kCFPropertyListImmutable);
}

CFTypeRef Builder::CreateDictionary(ObjectStack& keys, size_t keyStart, ObjectStack& values,
                                    size_t valueStart) {
    const size_t count = values.Size() - valueStart;
    CFTypeRef dict = CreateDictionaryAdopting(keys.At(keyStart), values.At(valueStart), count,
                                              mMutability != kCFPropertyListImmutable);
    keys.Forget(keyStart);  // adopted, or released on failure
    values.Forget(valueStart);
    return dict;
}

}  // namespace cf::plist

// What the property-list text readers share: the sticky first error with its line, the owner
// of everything a parse has built so far, and the object builder (with the key cache) that
// makes CF objects through the object model's internal, uncounted calls.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTREADERSUPPORT_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTREADERSUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include "platform/CoreFoundation/PropertyList/CFXMLPListScalars.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace cf::plist {

// The first failure of a parse. Text is formatted only when the caller wants it, and the
// line is counted then, by a rescan of the input up to the failure.
class ReaderError {
public:
    ReaderError(const uint8_t* begin, bool wanted) : mBegin(begin), mWanted(wanted) {}

    // Where a format puts the line number; without it, " on line N" is appended.
    static constexpr std::string_view kLine = "{line}";

    // Records a failure at `at` (inside the UTF-8 input) unless one is already recorded, its
    // line where the format says (see kLine).
    void Fail(const uint8_t* at, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Records a failure that has no place in the input.
    void FailNoPlace(const char* text);
    void FailNoMemory() {
        FailNoPlace("Out of memory while building the property list");
        mNoMemory = true;
    }
    // Forgets a recorded failure of the input (never one of memory), for a caller that reads a
    // failed attempt as the end of a list.
    void ForgetInputFailure() {
        if (mNoMemory) return;
        mFailed = false;
        mText.clear();
    }

    bool Failed() const { return mFailed; }
    const std::string& Text() const { return mText; }

    // "Unexpected character X" helper: X printable ASCII as itself, a byte above 0x7F as its
    // Latin-1 character (as the real reader shows it), anything else 0xNN.
    static std::string Describe(uint8_t c);

private:
    const uint8_t* mBegin;
    bool mWanted;
    bool mFailed = false;
    bool mNoMemory = false;
    std::string mText;
};

// +1 CFString of `text` (UTF-8) for an error out-parameter; NULL when it cannot be made.
CFStringRef CreateErrorString(const std::string& text);

// The frame the text readers share: refuses empty input, runs `parse` (a +1 object, or NULL
// with its message in the string it is given), turns an allocation failure into NULL, and
// fills *error when the caller asked for it.
template <class Parse>
CFTypeRef ReadTextDocument(const uint8_t* bytes, size_t length, CFStringRef* error, Parse&& parse) {
    if (error) *error = nullptr;
    std::string failure;
    CFTypeRef result = nullptr;
    if (!bytes || length == 0) {
        failure = "Cannot parse a NULL or zero-length data";
    } else {
        try {
            result = parse(failure);
        } catch (const std::bad_alloc&) {
            failure = "Out of memory while building the property list";
        }
    }
    if (!result && error) *error = CreateErrorString(failure);
    return result;
}

// Every +1 object a parse holds before its container exists: values of open arrays and
// dictionaries, keys of open dictionaries. Released on destruction (a failed parse).
class ObjectStack {
public:
    ObjectStack() = default;
    ObjectStack(const ObjectStack&) = delete;
    ObjectStack& operator=(const ObjectStack&) = delete;
    ~ObjectStack() { ReleaseFrom(0); }

    size_t Size() const { return mItems.size(); }
    CFTypeRef* At(size_t index) { return mItems.data() + index; }
    void Push(CFTypeRef object) { mItems.push_back(object); }
    // Releases and drops the items from `index` on.
    void ReleaseFrom(size_t index);
    // Drops the items from `index` on, which someone else has taken over.
    void Forget(size_t index) { mItems.resize(index); }
    // Hands the items from `index` on to the caller, who now owns them.
    std::vector<CFTypeRef> Take(size_t index);

private:
    std::vector<CFTypeRef> mItems;
};

// Makes the readers' objects, honouring the mutability option. Every Create returns +1 or
// NULL (allocation failure, or for strings invalid UTF-8).
class Builder {
public:
    // The caches grow with the input's length up to their full size: a small file needs few
    // entries, and clearing and sweeping the full tables would cost more than reading it.
    Builder(CFOptionFlags mutability, size_t inputLength);
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;
    ~Builder();

    // Strings, keys, numbers and dates that repeat are shared through small direct-mapped
    // caches: large documents repeat a few keys and many values (a media library's kinds,
    // genres, bit rates), and an allocation saved is most of a value's cost. Only immutable
    // objects are shared. `stable` says the bytes outlive the parse (they point into the
    // input, not into a scratch buffer), which a cached entry needs.
    CFTypeRef CreateString(const uint8_t* utf8, size_t length, bool stable);
    // A dictionary key: immutable under every option.
    CFTypeRef CreateKey(const uint8_t* utf8, size_t length, bool stable);
    CFTypeRef CreateInteger(const IntegerValue& value);
    CFTypeRef CreateReal(double value);
    CFTypeRef CreateDate(double absoluteTime);
    CFTypeRef CreateData(const uint8_t* bytes, size_t length);
    CFTypeRef CreateBoolean(bool value);
    // Containers adopt their items: the array takes values [start, end) off `values`, the
    // dictionary takes the keys and values from the given starts (equal counts); the items
    // are consumed also on failure. Duplicate keys: the last value wins.
    CFTypeRef CreateArray(ObjectStack& values, size_t start);
    CFTypeRef CreateDictionary(ObjectStack& keys, size_t keyStart, ObjectStack& values,
                               size_t valueStart);

private:
    struct TextEntry {
        const uint8_t* bytes = nullptr;
        size_t length = 0;
        uint64_t head = 0, tail = 0;  // first and last eight bytes, as hashed
        CFTypeRef string = nullptr;
    };
    struct ScalarEntry {
        uint64_t bits = 0;
        CFTypeRef object = nullptr;
    };
    static constexpr size_t kTextCacheSize = 1024;  // at most; powers of two
    static constexpr size_t kScalarCacheSize = 512;
    static constexpr size_t kMaxCachedLength = 48;

    CFTypeRef CachedString(std::vector<TextEntry>& cache, const uint8_t* utf8, size_t length);
    template <class Make>
    CFTypeRef CachedScalar(std::vector<ScalarEntry>& cache, uint64_t bits, Make make);

    CFOptionFlags mMutability;
    std::vector<TextEntry> mStrings;
    // Keys apart from values, so that many distinct values never evict the few keys.
    std::vector<TextEntry> mKeyStrings;
    std::vector<ScalarEntry> mIntegers;
    std::vector<ScalarEntry> mDates;
};

}  // namespace cf::plist

#endif

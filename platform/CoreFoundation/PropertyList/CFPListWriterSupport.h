// What both property-list writers share: one growing output buffer and the table of containers
// met so far (self-containment and the visit limit).
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTWRITERSUPPORT_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPLISTWRITERSUPPORT_H

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/CarbonCore/HugePages.h"
#include "platform/CoreFoundation/CFInternal.h"

namespace cf::plist {

// The real writer refuses a container instance met more often than this; it also bounds the
// work on a shared-container graph whose tree form is exponential.
inline constexpr uint32_t kMaxContainerVisits = 1536;

// Indentation is one tab per level; a static run serves every level without per-line work.
inline constexpr char kTabs[] =
    "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t"
    "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
inline constexpr size_t kTabRun = sizeof(kTabs) - 1;

// One growing byte buffer: a small append is a capacity check and a copy. It grows with
// realloc, which moves large blocks by remapping pages instead of copying them, and is never
// zero-filled.
class OutputBuffer {
public:
    OutputBuffer() = default;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer() { std::free(mBytes); }

    void Append(const void* bytes, size_t count) {
        if (mCapacity - mLength < count) Grow(count);
        std::memcpy(mBytes + mLength, bytes, count);
        mLength += count;
    }
    template <size_t N>
    void Literal(const char (&text)[N]) {
        Append(text, N - 1);
    }
    void Indent(size_t level) {
        while (level > kTabRun) {
            Append(kTabs, kTabRun);
            level -= kTabRun;
        }
        Append(kTabs, level);
    }
    size_t Length() const { return mLength; }
    const uint8_t* Bytes() const { return mBytes; }
    uint8_t* Bytes() { return mBytes; }
    void Truncate(size_t length) { mLength = length; }
    // Room for `count` more bytes at the end; Commit says how many were written.
    uint8_t* Reserve(size_t count) {
        if (mCapacity - mLength < count) Grow(count);
        return mBytes + mLength;
    }
    void Commit(uint8_t* end) { mLength = static_cast<size_t>(end - mBytes); }
    // Hands the bytes to a data object that frees them: no final copy of a large output.
    CFDataRef CreateData() {
        uint8_t* bytes = std::exchange(mBytes, nullptr);
        size_t length = std::exchange(mLength, 0);
        mCapacity = 0;
        // Give back the unused tail of the last doubling (mremap for a large block: no copy).
        if (auto* fitted = static_cast<uint8_t*>(std::realloc(bytes, length ? length : 1)))
            bytes = fitted;
        return CreateDataAdoptingMalloc(bytes, length);
    }

private:
    void Grow(size_t count) {
        size_t capacity = std::max({mCapacity * 2, mLength + count, size_t{1} << 16});
        auto* bytes = static_cast<uint8_t*>(std::realloc(mBytes, capacity));
        if (!bytes) throw std::bad_alloc();
        mm::OfferHugePages(bytes, capacity);
        mBytes = bytes;
        mCapacity = capacity;
    }

    uint8_t* mBytes = nullptr;
    size_t mLength = 0;
    size_t mCapacity = 0;
};

// Containers met so far: how often each was written and whether it is on the current path.
// Open addressing keyed by address, so a 10^5-dictionary document costs no node allocations.
class ContainerVisits {
public:
    ContainerVisits() : mSlots(1024) {}

    // False when `container` contains itself or has been written too often.
    bool Enter(CFTypeRef container) {
        Slot& slot = Find(container);
        if (slot.onPath || slot.visits >= kMaxContainerVisits) return false;
        ++slot.visits;
        slot.onPath = true;
        return true;
    }
    void Leave(CFTypeRef container) { Find(container).onPath = false; }

private:
    struct Slot {
        CFTypeRef key = nullptr;
        uint32_t visits = 0;
        bool onPath = false;
    };

    Slot& Find(CFTypeRef key) {
        if (mUsed * 2 >= mSlots.size()) Grow();
        size_t mask = mSlots.size() - 1;
        size_t i = AddressHash(key) & mask;
        while (mSlots[i].key && mSlots[i].key != key) i = (i + 1) & mask;
        if (!mSlots[i].key) {
            mSlots[i].key = key;
            ++mUsed;
        }
        return mSlots[i];
    }
    void Grow() {
        std::vector<Slot> old(mSlots.size() * 2);
        old.swap(mSlots);
        size_t mask = mSlots.size() - 1;
        for (const Slot& slot : old) {
            if (!slot.key) continue;
            size_t i = AddressHash(slot.key) & mask;
            while (mSlots[i].key) i = (i + 1) & mask;
            mSlots[i] = slot;
        }
    }

    static size_t AddressHash(CFTypeRef key) {
        uint64_t x = reinterpret_cast<uintptr_t>(key);
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdULL;
        return static_cast<size_t>(x ^ (x >> 29));
    }

    std::vector<Slot> mSlots;
    size_t mUsed = 0;
};

// The sorted order of a dictionary's keys, as CFStringCompare without options orders them:
// UTF-16 units, a prefix first. Each key's first eight units, packed into two integers, decide
// most comparisons without touching the strings (a zero pad ties with a U+0000 unit, and ties
// fall back to the whole keys).
class KeyOrder {
public:
    // Sorts the keys whose units are `units`; Positions()[i] is then the position of the i-th
    // smallest.
    void Sort(const std::u16string_view* units, size_t count) {
        mItems.resize(count);
        for (size_t i = 0; i < count; ++i) {
            uint64_t packed[2] = {0, 0};
            const size_t n = std::min<size_t>(units[i].size(), 8);
            for (size_t k = 0; k < n; ++k)
                packed[k / 4] |= uint64_t{units[i][k]} << (48 - 16 * (k % 4));
            mItems[i] = {packed[0], packed[1], static_cast<uint32_t>(i)};
        }
        std::sort(mItems.begin(), mItems.end(), [units](const Item& a, const Item& b) {
            if (a.high != b.high) return a.high < b.high;
            if (a.low != b.low) return a.low < b.low;
            return units[a.index] < units[b.index];
        });
        mPositions.resize(count);
        for (size_t i = 0; i < count; ++i) mPositions[i] = mItems[i].index;
    }
    const std::vector<uint32_t>& Positions() const { return mPositions; }

    // Puts the Positions().size() entries of `column` from `first` on in the sorted order.
    void Apply(std::vector<CFTypeRef>& column, size_t first) {
        CFTypeRef* items = column.data() + first;
        mScratch.assign(items, items + mPositions.size());
        for (size_t i = 0; i < mPositions.size(); ++i) items[i] = mScratch[mPositions[i]];
    }

private:
    struct Item {
        uint64_t high, low;  // the key's first eight units
        uint32_t index;
    };
    std::vector<Item> mItems;
    std::vector<uint32_t> mPositions;
    std::vector<CFTypeRef> mScratch;
};

// True when two of the `count` string keys become the same key once each unpaired surrogate is
// written as U+FFFD, as both writers write it: one value would be lost on reading, so the
// dictionary is refused. Only asked of a dictionary with such a key, which real data rarely has.
inline bool KeysMergeWhenWritten(const CFTypeRef* keys, size_t count) {
    std::vector<std::u16string> written(count);
    for (size_t k = 0; k < count; ++k) {
        std::u16string_view units = StringUnits(static_cast<CFStringRef>(keys[k]));
        std::u16string& out = written[k];
        out.assign(units);
        for (size_t i = 0; i < out.size(); ++i) {
            if (out[i] < 0xD800 || out[i] >= 0xE000) continue;
            if (out[i] < 0xDC00 && i + 1 < out.size() && out[i + 1] >= 0xDC00 &&
                out[i + 1] < 0xE000)
                ++i;  // a pair
            else
                out[i] = 0xFFFD;
        }
    }
    std::sort(written.begin(), written.end());
    return std::adjacent_find(written.begin(), written.end()) != written.end();
}

// Runs a writer (a class with Write(plist) and CreateData()) over `plist`: +1 data, or NULL
// when the list is refused or its document does not fit in memory (a refusal, not a crash).
template <class Writer>
CFDataRef WriteWith(CFPropertyListRef plist) {
    try {
        Writer writer;
        if (!writer.Write(plist)) return nullptr;
        return writer.CreateData();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace cf::plist

#endif

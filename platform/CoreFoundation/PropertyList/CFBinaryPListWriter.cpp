// The binary property-list writer ("bplist00"): the real framework's layout, with keys sorted
// as the XML writer sorts them, leaves shared by value (not by object identity), and every
// container written once per occurrence with no unreferenced copies. A dictionary {"CF$UID": n}
// is written as the UID it stands for, so keyed archives keep their UIDs. An unpaired surrogate
// is written as U+FFFD, and a dictionary two of whose keys would then be one is refused.
//
// Two passes. The first walks the tree in the final object order, encodes every leaf into an
// arena (a repeated leaf is found by hashing its encoding and truncated away again) and notes
// each container's references. The reference width depends on the object count, so the
// containers can only be written in the second pass, which merges them with the arena into one
// output buffer and appends the offset table and the trailer.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/PropertyList/CFPListWriterSupport.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

namespace cf::plist {
namespace {

inline CFTypeID KindOf(CFTypeRef value) {
    return value ? ObjectOf(value)->TypeID() : 0;
}

inline bool IsContainer(CFTypeRef value) {
    const CFTypeID kind = KindOf(value);
    return kind == kArrayTypeID || kind == kDictionaryTypeID;
}

// Fewest of 1, 2, 4 or 8 bytes that hold `value`.
unsigned WidthFor(uint64_t value) {
    if (value <= 0xFF) return 1;
    if (value <= 0xFFFF) return 2;
    if (value <= 0xFFFFFFFF) return 4;
    return 8;
}

uint8_t* PutBigEndian(uint8_t* p, uint64_t value, unsigned width) {
    for (unsigned i = width; i-- > 0;) *p++ = static_cast<uint8_t>(value >> (8 * i));
    return p;
}

// An integer object: 0x1N and 2^N big-endian bytes, N from the value taken as unsigned.
uint8_t* PutInteger(uint8_t* p, uint64_t value) {
    unsigned width = WidthFor(value);
    *p++ = static_cast<uint8_t>(0x10 | std::countr_zero(width));
    return PutBigEndian(p, value, width);
}

// A marker with its count: in the low nibble below 15, else nibble F and an integer object.
uint8_t* PutMarker(uint8_t* p, uint8_t marker, uint64_t count) {
    if (count < 15) {
        *p++ = static_cast<uint8_t>(marker | count);
        return p;
    }
    *p++ = static_cast<uint8_t>(marker | 0x0F);
    return PutInteger(p, count);
}

// A UID object: 0x8N and N + 1 big-endian bytes, 1, 2 or 4 of them by the value.
uint8_t* PutUID(uint8_t* p, uint32_t value) {
    unsigned width = WidthFor(value);
    *p++ = static_cast<uint8_t>(0x80 | (width - 1));
    return PutBigEndian(p, value, width);
}

// The reader makes a UID {"CF$UID": n}, the XML writer prints one so, and a keyed archive read
// from XML holds such dictionaries: a dictionary of that one entry, n an integer of 32 bits, is
// the UID it stands for.
bool IsUIDDictionary(CFDictionaryRef dictionary, uint32_t& uid) {
    if (DictionaryCount(dictionary) != 1) return false;
    CFTypeRef key, value;
    DictionaryGetKeysAndValues(dictionary, &key, &value);
    if (KindOf(key) != kStringTypeID || KindOf(value) != kNumberTypeID) return false;
    if (StringUnits(static_cast<CFStringRef>(key)) != u"CF$UID") return false;
    NumberValue number = GetNumberValue(static_cast<CFNumberRef>(value));
    if (number.kind != NumberValue::kSigned || number.s < 0 || number.s > UINT32_MAX) return false;
    uid = static_cast<uint32_t>(number.s);
    return true;
}

// Word-at-a-time hash of an encoded leaf.
uint64_t HashBytes(const uint8_t* p, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    h = (h ^ tail) * 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 29);
}

// A growable array of plain values in one malloc'd block: growing a large one moves no bytes
// (realloc remaps its pages) and clears none, where a vector copies and zero-fills. Items that
// resize() adds are left for the caller to fill.
template <class T>
class PlainArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    PlainArray() = default;
    PlainArray(const PlainArray&) = delete;
    PlainArray& operator=(const PlainArray&) = delete;
    ~PlainArray() { std::free(mItems); }

    size_t size() const { return mSize; }
    T& operator[](size_t i) { return mItems[i]; }
    void push_back(const T& item) {
        if (mSize == mCapacity) Grow(mSize + 1);
        mItems[mSize++] = item;
    }
    void resize(size_t size) {
        if (size > mCapacity) Grow(size);
        mSize = size;
    }

private:
    void Grow(size_t need) {
        const size_t capacity = std::max({mCapacity * 2, need, size_t{1024}});
        if (capacity > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* items = std::realloc(mItems, capacity * sizeof(T));
        if (!items) throw std::bad_alloc();
        mItems = static_cast<T*>(items);
        mCapacity = capacity;
    }

    T* mItems = nullptr;
    size_t mSize = 0;
    size_t mCapacity = 0;
};

struct Object {
    uint64_t start;       // leaf: offset in the arena; container: first reference in mRefs
    uint64_t count : 56;  // leaf: encoded length; container: entries (pairs for a dictionary)
    uint64_t marker : 8;  // 0 for a leaf, 0xA0 array, 0xD0 dictionary
};

class BinaryWriter {
public:
    bool Write(CFTypeRef plist) {
        if (!Collect(plist, 0, nullptr)) return false;
        Emit();
        return true;
    }
    CFDataRef CreateData() { return mOut.CreateData(); }

private:
    bool Collect(CFTypeRef value, size_t level, uint64_t* ref);
    bool CollectArray(CFArrayRef array, size_t level);
    bool CollectDictionary(CFDictionaryRef dictionary, size_t level);
    bool EncodeLeaf(CFTypeRef value, CFTypeID kind);
    void EncodeNumber(CFNumberRef number);
    void EncodeString(CFStringRef string);
    uint64_t InternLeaf(size_t start);
    uint64_t Intern(size_t start, size_t length, uint32_t hash, bool& added);
    bool CollectLeaves(const CFTypeRef* values, size_t count, size_t firstRef);
    void SortPairs(size_t first, size_t count);
    void Emit();

    // No tree in memory has 2^32 objects: their indices fit the references' 32 bits.
    void NewContainer(const Object& object) {
        if (mObjects.size() >= UINT32_MAX) throw std::bad_alloc();
        mObjects.push_back(object);
    }
    uint8_t* ArenaReserve(size_t n) { return mArena.Reserve(n); }
    size_t ArenaSize() const { return mArena.Length(); }
    void ArenaCommit(uint8_t* end) { mArena.Commit(end); }
    struct LeafSlot {
        CFTypeRef object = nullptr;
        uint64_t index = 0;
    };
    LeafSlot& LeafSlotFor(CFTypeRef value);

    PlainArray<Object> mObjects;
    PlainArray<uint32_t> mRefs;  // every container's references, object indices (Intern and
                                 // NewContainer keep them below 2^32)
    OutputBuffer mArena;         // every distinct leaf's encoding, in object order
    // Open-addressed table of leaf object indices (+1; 0 is empty), keyed by their encoding.
    // Each slot 8 bytes: the table is the writer's largest structure after its output.
    struct LeafEntry {
        uint32_t index;  // + 1; 0 for an empty slot
        uint32_t hash;   // the low half of the encoding's hash, which places it
    };
    std::vector<LeafEntry> mSlots = std::vector<LeafEntry>(1024);
    size_t mLeafCount = 0;
    // The last leaf given an index for each of a few thousand addresses: an object met again
    // (a shared key, a repeated value) is neither encoded nor hashed again.
    static constexpr size_t kRecentLeaves = 4096;
    std::vector<LeafSlot> mRecentLeaves = std::vector<LeafSlot>(kRecentLeaves);
    ContainerVisits mVisits;
    // Stacks of the open dictionaries' keys and values, each in sorted order.
    std::vector<CFTypeRef> mKeys, mValues;
    // Set when EncodeString writes an unpaired surrogate as U+FFFD: a dictionary's keys are
    // checked for merging only then.
    bool mLoneSurrogate = false;
    KeyOrder mKeyOrder;
    // A run of leaves encoded before any is looked up, so that their table slots are fetched
    // from memory together rather than one after another.
    struct PendingLeaf {
        size_t start;   // in the arena; SIZE_MAX for a leaf the recent ones gave
        size_t length;  // encoded length; the index when start is SIZE_MAX
        uint32_t hash;
    };
    std::vector<PendingLeaf> mPending;
    std::vector<std::u16string_view> mUnits;
    OutputBuffer mOut;
};

// Gives `value` its object index (written to *ref) and collects its subtree.
bool BinaryWriter::Collect(CFTypeRef value, size_t level, uint64_t* ref) {
    CFTypeID kind = KindOf(value);
    uint32_t uid;
    if (kind == kDictionaryTypeID && IsUIDDictionary(static_cast<CFDictionaryRef>(value), uid)) {
        size_t start = ArenaSize();
        ArenaCommit(PutUID(ArenaReserve(5), uid));
        uint64_t index = InternLeaf(start);
        if (ref) *ref = index;
        return true;
    }
    if (kind == kArrayTypeID || kind == kDictionaryTypeID) {
        if (level >= static_cast<size_t>(kMaxDepth) || !mVisits.Enter(value)) return false;
        if (ref) *ref = mObjects.size();
        bool ok = kind == kArrayTypeID
                      ? CollectArray(static_cast<CFArrayRef>(value), level)
                      : CollectDictionary(static_cast<CFDictionaryRef>(value), level);
        mVisits.Leave(value);
        return ok;
    }
    LeafSlot& known = LeafSlotFor(value);
    if (known.object == value && value) {
        if (ref) *ref = known.index;
        return true;
    }
    size_t start = ArenaSize();
    if (!EncodeLeaf(value, kind)) return false;
    uint64_t index = InternLeaf(start);
    if (value) known = {value, index};
    if (ref) *ref = index;
    return true;
}

// The recent-leaf slot of object `value`: holding it when it has an index, else to be filled.
BinaryWriter::LeafSlot& BinaryWriter::LeafSlotFor(CFTypeRef value) {
    return mRecentLeaves[MixHash(reinterpret_cast<uintptr_t>(value)) & (kRecentLeaves - 1)];
}

bool BinaryWriter::CollectArray(CFArrayRef array, size_t level) {
    size_t count = ArrayCount(array);
    size_t first = mRefs.size();
    NewContainer({first, count, 0xA0});
    mRefs.resize(first + count);
    for (size_t i = 0; i < count; ++i) {
        uint64_t ref;
        if (!Collect(ArrayValue(array, i), level + 1, &ref)) return false;
        mRefs[first + i] = static_cast<uint32_t>(ref);
    }
    return true;
}

// All keys first, then each value with its subtree: the real writer's object order.
bool BinaryWriter::CollectDictionary(CFDictionaryRef dictionary, size_t level) {
    size_t count = DictionaryCount(dictionary);
    size_t firstRef = mRefs.size();
    NewContainer({firstRef, count, 0xD0});
    mRefs.resize(firstRef + 2 * count);
    size_t first = mKeys.size();
    mKeys.resize(first + count);
    mValues.resize(first + count);
    DictionaryGetKeysAndValues(dictionary, mKeys.data() + first, mValues.data() + first);
    for (size_t i = first; i < first + count; ++i)
        if (KindOf(mKeys[i]) != kStringTypeID) return false;
    SortPairs(first, count);
    mLoneSurrogate = false;
    for (size_t i = 0; i < count; ++i) {
        uint64_t ref;
        if (!Collect(mKeys[first + i], level + 1, &ref)) return false;
        mRefs[firstRef + i] = static_cast<uint32_t>(ref);
    }
    if (mLoneSurrogate && KeysMergeWhenWritten(mKeys.data() + first, count)) return false;
    // Indices, not references: nested dictionaries push onto the same stacks. Runs of leaves
    // go together; each container in its place.
    for (size_t i = 0; i < count;) {
        size_t end = i;
        while (end < count && !IsContainer(mValues[first + end])) ++end;
        if (end > i) {
            if (!CollectLeaves(mValues.data() + first + i, end - i, firstRef + count + i))
                return false;
            i = end;
            continue;
        }
        uint64_t ref;
        if (!Collect(mValues[first + i], level + 1, &ref)) return false;
        mRefs[firstRef + count + i] = static_cast<uint32_t>(ref);
        ++i;
    }
    mKeys.resize(first);
    mValues.resize(first);
    return true;
}

// Gives each of `count` leaves its object index (into mRefs from `firstRef`), as Collect would
// one after another: all are encoded and hashed first, their slots fetched, then each is
// interned in order, its encoding moved down over those of the repeated leaves before it.
bool BinaryWriter::CollectLeaves(const CFTypeRef* values, size_t count, size_t firstRef) {
    mPending.resize(count);
    const size_t mask = mSlots.size() - 1;
    for (size_t i = 0; i < count; ++i) {
        const LeafSlot& known = LeafSlotFor(values[i]);
        if (known.object == values[i] && values[i]) {
            mPending[i] = {SIZE_MAX, known.index, 0};
            continue;
        }
        const size_t start = ArenaSize();
        if (!EncodeLeaf(values[i], KindOf(values[i]))) return false;
        const size_t length = ArenaSize() - start;
        const auto hash = static_cast<uint32_t>(HashBytes(mArena.Bytes() + start, length));
        __builtin_prefetch(&mSlots[hash & mask]);
        mPending[i] = {start, length, hash};
    }
    size_t end = SIZE_MAX;  // where the arena's kept encodings end, once one was looked up
    for (size_t i = 0; i < count; ++i) {
        const PendingLeaf leaf = mPending[i];
        if (leaf.start == SIZE_MAX) {
            mRefs[firstRef + i] = static_cast<uint32_t>(leaf.length);
            continue;
        }
        if (end == SIZE_MAX) end = leaf.start;
        if (end != leaf.start)
            std::memmove(mArena.Bytes() + end, mArena.Bytes() + leaf.start, leaf.length);
        bool added = false;
        const uint64_t index = Intern(end, leaf.length, leaf.hash, added);
        if (added) end += leaf.length;
        if (values[i]) LeafSlotFor(values[i]) = {values[i], index};
        mRefs[firstRef + i] = static_cast<uint32_t>(index);
    }
    if (end != SIZE_MAX) mArena.Truncate(end);
    return true;
}

// Keys in CFStringCompare order without options (see KeyOrder), values alongside.
void BinaryWriter::SortPairs(size_t first, size_t count) {
    mUnits.resize(count);
    bool sorted = true;
    for (size_t i = 0; i < count; ++i) {
        mUnits[i] = StringUnits(static_cast<CFStringRef>(mKeys[first + i]));
        if (i > 0 && !(mUnits[i - 1] < mUnits[i])) sorted = false;
    }
    if (sorted) return;  // a reader's or an earlier writer's dictionaries often are
    mKeyOrder.Sort(mUnits.data(), count);
    mKeyOrder.Apply(mKeys, first);
    mKeyOrder.Apply(mValues, first);
}

bool BinaryWriter::EncodeLeaf(CFTypeRef value, CFTypeID kind) {
    switch (kind) {
        case kStringTypeID:
            EncodeString(static_cast<CFStringRef>(value));
            return true;
        case kNumberTypeID:
            EncodeNumber(static_cast<CFNumberRef>(value));
            return true;
        case kBooleanTypeID: {
            uint8_t* p = ArenaReserve(1);
            *p = value == kCFBooleanTrue ? 0x09 : 0x08;
            ArenaCommit(p + 1);
            return true;
        }
        case kDateTypeID: {
            uint8_t* p = ArenaReserve(9);
            *p++ = 0x33;
            ArenaCommit(PutBigEndian(
                p, std::bit_cast<uint64_t>(DateTime(static_cast<CFDateRef>(value))), 8));
            return true;
        }
        case kDataTypeID: {
            CFDataRef data = static_cast<CFDataRef>(value);
            size_t length = DataLength(data);
            uint8_t* p = PutMarker(ArenaReserve(length + 10), 0x40, length);
            if (length) std::memcpy(p, DataBytes(data), length);
            ArenaCommit(p + length);
            return true;
        }
        default:
            return false;  // NULL, kCFNull, URLs and every other non-property-list object
    }
}

// Reals: a 32-bit float keeps 4 bytes unless it is NaN or infinite; every NaN is the one
// quiet NaN. Integers: 1, 2, 4 or 8 bytes by the value taken as unsigned, 16 above INT64_MAX.
void BinaryWriter::EncodeNumber(CFNumberRef number) {
    NumberValue value = GetNumberValue(number);
    uint8_t* p = ArenaReserve(17);
    if (value.kind == NumberValue::kReal) {
        double d = value.d;
        if (NumberType(number) == kCFNumberFloat32Type && std::isfinite(d)) {
            *p++ = 0x22;
            p = PutBigEndian(p, std::bit_cast<uint32_t>(static_cast<float>(d)), 4);
        } else {
            *p++ = 0x23;
            p = PutBigEndian(p, std::isnan(d) ? 0x7FF8000000000000ULL : std::bit_cast<uint64_t>(d),
                             8);
        }
    } else if (value.kind == NumberValue::kUnsigned) {
        *p++ = 0x14;
        p = PutBigEndian(PutBigEndian(p, 0, 8), value.u, 8);
    } else {
        p = PutInteger(p, static_cast<uint64_t>(value.s));
    }
    ArenaCommit(p);
}

// ASCII (every unit below 0x80) as bytes, anything else as UTF-16 big-endian, an unpaired
// surrogate as U+FFFD: the readers refuse one, and the XML writer writes the same.
void BinaryWriter::EncodeString(CFStringRef string) {
    std::u16string_view units = StringUnits(string);
    size_t n = units.size();
    if (StringIsASCII(string)) {
        uint8_t* p = PutMarker(ArenaReserve(n + 10), 0x50, n);
        for (char16_t u : units) *p++ = static_cast<uint8_t>(u);
        ArenaCommit(p);
        return;
    }
    uint8_t* p = PutMarker(ArenaReserve(2 * n + 10), 0x60, n);
    for (size_t i = 0; i < n; ++i) {
        char16_t u = units[i];
        if (u >= 0xD800 && u < 0xE000) {
            const bool paired =
                u < 0xDC00 && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
            if (!paired) {
                u = 0xFFFD;
                mLoneSurrogate = true;
            } else {
                p = PutBigEndian(p, u, 2);
                u = units[++i];
            }
        }
        p = PutBigEndian(p, u, 2);
    }
    ArenaCommit(p);
}

// The index of the leaf just encoded at mArena[start…]: an earlier equal one (and the new
// encoding is dropped), or a new object.
uint64_t BinaryWriter::InternLeaf(size_t start) {
    const size_t length = ArenaSize() - start;
    const auto hash = static_cast<uint32_t>(HashBytes(mArena.Bytes() + start, length));
    bool added = false;
    const uint64_t index = Intern(start, length, hash, added);
    if (!added) mArena.Truncate(start);
    return index;
}

// The index of the leaf encoded at mArena[start…start+length) with that hash: an earlier equal
// one, or a new object (`added`) whose encoding stays where it is.
uint64_t BinaryWriter::Intern(size_t start, size_t length, uint32_t hash, bool& added) {
    const uint8_t* bytes = mArena.Bytes() + start;
    size_t mask = mSlots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const LeafEntry slot = mSlots[i];
        if (slot.index == 0) {
            uint64_t index = mObjects.size();
            if (index >= UINT32_MAX) throw std::bad_alloc();  // no tree in memory is that large
            mObjects.push_back({start, length, 0});
            mSlots[i] = {static_cast<uint32_t>(index + 1), hash};
            break;
        }
        const Object& other = mObjects[slot.index - 1];
        if (slot.hash == hash && other.count == length &&
            std::memcmp(mArena.Bytes() + other.start, bytes, length) == 0)
            return slot.index - 1;
    }
    added = true;
    if (++mLeafCount * 2 > mSlots.size()) {
        std::vector<LeafEntry> slots(mSlots.size() * 2);
        size_t newMask = slots.size() - 1;
        for (const LeafEntry& slot : mSlots) {
            if (!slot.index) continue;
            size_t j = slot.hash & newMask;
            while (slots[j].index) j = (j + 1) & newMask;
            slots[j] = slot;
        }
        mSlots.swap(slots);
    }
    return mObjects.size() - 1;
}

// Header, the objects in index order, the offset table, the trailer.
void BinaryWriter::Emit() {
    const uint64_t objectCount = mObjects.size();
    const unsigned refSize = WidthFor(objectCount);
    PlainArray<uint64_t> offsets;
    offsets.resize(objectCount);
    // All of it at once: the objects with their widest markers, the table and the trailer.
    mOut.Reserve(8 + ArenaSize() + mRefs.size() * refSize + mObjects.size() * 18 + 32);
    mOut.Append("bplist00", 8);
    for (uint64_t i = 0; i < objectCount; ++i) {
        const Object& object = mObjects[i];
        offsets[i] = mOut.Length();
        if (object.marker == 0) {
            mOut.Append(mArena.Bytes() + object.start, object.count);
            continue;
        }
        uint64_t refCount = object.marker == 0xD0 ? 2 * object.count : object.count;
        uint8_t* p = PutMarker(mOut.Reserve(10 + refCount * refSize), object.marker, object.count);
        for (uint64_t r = 0; r < refCount; ++r)
            p = PutBigEndian(p, mRefs[object.start + r], refSize);
        mOut.Commit(p);
    }
    const uint64_t tableStart = mOut.Length();
    const unsigned offsetSize = WidthFor(tableStart);
    uint8_t* p = mOut.Reserve(objectCount * offsetSize + 32);
    for (uint64_t i = 0; i < objectCount; ++i) p = PutBigEndian(p, offsets[i], offsetSize);
    std::memset(p, 0, 6);
    p += 6;
    *p++ = static_cast<uint8_t>(offsetSize);
    *p++ = static_cast<uint8_t>(refSize);
    p = PutBigEndian(p, objectCount, 8);
    p = PutBigEndian(p, 0, 8);  // the top object: the root is always object 0
    p = PutBigEndian(p, tableStart, 8);
    mOut.Commit(p);
}

}  // namespace

CFDataRef WriteBinary(CFPropertyListRef plist) {
    return WriteWith<BinaryWriter>(plist);
}

}  // namespace cf::plist

// Storage behind AEDesc.dataHandle: type-tagged bytes or a shared container of items.
// Internal to the Apple Event Manager stand-in; nothing here is counted or fault-injected.
#ifndef PLATFORM_AE_AESTORAGE_H
#define PLATFORM_AE_AESTORAGE_H

#include <CoreServices/CoreServices.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <unordered_set>
#include <vector>

#include "common/FourCharCode.h"

namespace ae {

class Container;

// Intrusive, copy-on-write reference to a container.
class NodeRef {
public:
    NodeRef() = default;
    explicit NodeRef(Container* adopted) : mNode(adopted) {}
    NodeRef(const NodeRef& other);
    NodeRef(NodeRef&& other) noexcept : mNode(other.mNode) { other.mNode = nullptr; }
    NodeRef& operator=(NodeRef other) noexcept {
        std::swap(mNode, other.mNode);
        return *this;
    }
    ~NodeRef();

    const Container* Get() const { return mNode; }
    Container* Get() { return mNode; }
    // The container, made private to this reference first when others share it.
    Container& Mutable();
    explicit operator bool() const { return mNode != nullptr; }
    // Gives up the reference without releasing it.
    Container* Release() {
        Container* node = mNode;
        mNode = nullptr;
        return node;
    }

private:
    Container* mNode = nullptr;
};

// The value of one descriptor or item: bytes (eight or fewer kept inline, since most items
// are numbers and codes) or a container. 24 bytes with the two codes of an Item, so a list
// of 10^7 numbers stays near 240 MB.
class Payload {
public:
    Payload() { mInline[0] = 0; }
    Payload(const Payload& other);
    Payload(Payload&& other) noexcept : mSize(other.mSize), mKind(other.mKind) {
        std::memcpy(mInline, other.mInline, sizeof mInline);  // moves whichever member is active
        other.mKind = kInline;
        other.mSize = 0;
    }
    Payload& operator=(Payload other) noexcept {
        Swap(other);
        return *this;
    }
    // Inline: most payloads are numbers and codes, which own nothing.
    ~Payload() {
        if (mKind != kInline) Release();
    }

    // Throws std::bad_alloc, also for more than 4 GB of bytes.
    static Payload FromBytes(const void* bytes, size_t size) {
        Payload p;
        p.SetBytes(bytes, size);
        return p;
    }
    // Fills an empty payload (as made by Payload()) with a copy of the bytes; on a throw it
    // stays empty. Throws as FromBytes.
    void SetBytes(const void* bytes, size_t size) {
        if (size <= sizeof mInline) {
            mSize = static_cast<uint32_t>(size);
            CopyInline(static_cast<const uint8_t*>(bytes), size);
        } else {
            SetHeapBytes(bytes, size);
        }
    }
    static Payload FromNode(NodeRef node);
    // A payload sharing the bytes of a long immutable string's units (see
    // CFStringSharedUnits.h) when `bytes` and `size` are exactly such a block; otherwise
    // copies them as FromBytes. Throws as FromBytes.
    static Payload FromBytesSharingUnits(const void* bytes, size_t size);

    bool IsNode() const { return mKind == kNode; }
    const Container* Node() const { return IsNode() ? mNode : nullptr; }
    // The container, unshared first; only for a node payload.
    Container& MutableNode();
    // The container when this payload holds the only reference to it, else NULL: it may then
    // be changed in place.
    inline Container* UnsharedNode();
    NodeRef NodeReference() const;  // a new reference to the container
    // Gives back a node's spare item capacity (see Container::Compact); no-op for bytes. Safe
    // while shared: the items stay the same.
    void CompactNode();
    // Gives up a node payload's reference without releasing it and leaves the payload empty;
    // NULL for a byte payload.
    Container* ReleaseNode();

    // Bytes of a byte payload (empty for a node).
    const uint8_t* Bytes() const { return (mKind & kOutside) ? mHeap : mInline; }
    size_t Size() const { return mKind == kNode ? 0 : mSize; }

    void Swap(Payload& other) noexcept {
        std::swap(mSize, other.mSize);
        std::swap(mKind, other.mKind);
        uint8_t tmp[sizeof mInline];
        std::memcpy(tmp, mInline, sizeof mInline);
        std::memcpy(mInline, other.mInline, sizeof mInline);
        std::memcpy(other.mInline, tmp, sizeof mInline);
    }

private:
    // kOutside is set in the kinds whose bytes are behind mHeap.
    enum : uint8_t { kInline = 0, kHeap = 1, kNode = 2, kSharedUnits = 3, kOutside = 1 };
    // Copies up to eight bytes with fixed-size moves: a call to memcpy for a length known
    // only at run time costs more than the copy. Two overlapping words from four bytes up.
    void CopyInline(const uint8_t* from, size_t n) {
        if (n >= 4) {
            std::memcpy(mInline, from, 4);
            std::memcpy(mInline + n - 4, from + n - 4, 4);
        } else if (n) {
            mInline[0] = from[0];
            mInline[n / 2] = from[n / 2];
            mInline[n - 1] = from[n - 1];
        }
    }
    void Release();
    void SetHeapBytes(const void* bytes, size_t size);
    class RecentBytes;

    uint32_t mSize = 0;
    uint8_t mKind = kInline;
    union {
        uint8_t mInline[8];
        uint8_t* mHeap;
        Container* mNode;
    };
};

struct Item {
    AEKeyword key = typeWildCard;  // typeWildCard for list items
    DescType type = typeNull;
    Payload value;
};

// The items of a container in one block of the C heap. An item holds no pointer into itself,
// so it may be moved as plain bytes: growing reallocates without constructing and destroying
// every item, and giving back spare capacity shrinks the block in place, which is what makes
// compacting a finished container cheap.
class ItemVector {
public:
    ItemVector() = default;
    ItemVector(const ItemVector& other);
    ItemVector& operator=(const ItemVector&) = delete;
    ~ItemVector();

    size_t size() const { return mSize; }
    size_t capacity() const { return mCapacity; }
    Item& operator[](size_t i) { return mData[i]; }
    const Item& operator[](size_t i) const { return mData[i]; }
    Item* begin() { return mData; }
    Item* end() { return mData + mSize; }
    const Item* begin() const { return mData; }
    const Item* end() const { return mData + mSize; }

    // Throw std::bad_alloc, leaving the items as they were. `args` must not refer to an item
    // of this vector.
    template <class... Args>
    void emplace_back(Args&&... args) {
        if (mSize == mCapacity) Resize(mCapacity ? mCapacity * 2 : 1);
        ::new (static_cast<void*>(mData + mSize)) Item{std::forward<Args>(args)...};
        ++mSize;
    }
    // Appends an item of bytes built where it lands, with no payload made and moved in.
    // Throws std::bad_alloc, leaving the items as they were.
    void EmplaceBytes(AEKeyword key, DescType type, const void* bytes, size_t size) {
        if (mSize == mCapacity) Resize(mCapacity ? mCapacity * 2 : 1);
        Item* item = ::new (static_cast<void*>(mData + mSize)) Item{key, type, Payload()};
        item->value.SetBytes(bytes, size);  // a throw leaves the slot empty and uncounted
        ++mSize;
    }
    void reserve(size_t n) {
        if (n > mCapacity) Resize(n);
    }
    void shrink_to_fit() {
        if (mCapacity != mSize) Resize(mSize);
    }
    void erase(size_t i);

private:
    void Resize(size_t capacity);

    Item* mData = nullptr;
    size_t mSize = 0;
    size_t mCapacity = 0;
};

enum class Shape : uint8_t { List, Record, Event };

// Deepest nesting of containers a descriptor may have; deeper data are refused. Four times the
// property lists' 512 levels: a dictionary is a record plus its user-field list, inside an event
// inside a reply.
constexpr unsigned kMaxDepth = 2048;

// Depth a value adds when it becomes an item: 0 for bytes.
inline unsigned DepthOf(const Payload& value);

// Items in order. Records and events index their keywords once they grow past a few
// fields, so lookup and replacement stay O(1) amortised.
class Container {
public:
    explicit Container(Shape shape) : mShape(shape) {}
    Container(const Container& other);
    Container& operator=(const Container&) = delete;
    ~Container();

    Shape GetShape() const { return mShape; }
    bool IsKeyed() const { return mShape != Shape::List; }
    size_t Count() const { return mItems.size(); }
    const Item& At(size_t i) const { return mItems[i]; }
    std::span<const Item> Items() const { return {mItems.begin(), mItems.end()}; }

    // Every change of the items goes through these. Appends add to the cached size; every
    // other change forgets it.
    void Reserve(size_t n) { mItems.reserve(n); }
    void Append(Item item) {
        const size_t added = FlatSizeOf(item);
        NoteDepth(item);
        if (mItems.capacity() == 0) mItems.reserve(FirstCapacity());
        mItems.emplace_back(std::move(item));
        Grew(added);
        if (IsKeyed()) IndexFrom(mItems.size() - 1);
    }
    // Appends a byte item built in place: the common put of a number or short text.
    void AppendBytes(AEKeyword key, DescType type, const void* bytes, size_t size) {
        if (mItems.capacity() == 0) mItems.reserve(FirstCapacity());
        mItems.EmplaceBytes(key, type, bytes, size);  // throws before any change of the items
        Grew(kFlatItemHead + kFlatLength + size);
        if (IsKeyed()) IndexFrom(mItems.size() - 1);
    }
    void Erase(size_t i);
    // Replaces item i (keeping its keyword's place in the index: callers replace list items).
    void Replace(size_t i, Item item);
    // Position of the first item with `key`, or -1.
    long Find(AEKeyword key) const;
    // Replaces the item with item.key in place, or appends it.
    void Put(Item item);

    // Gives back the item vector's spare capacity once the container is complete (put into a
    // parent), when more than a quarter of it is spare: a nearly full vector is not worth
    // moving every item for. Leaves the items as they are; a later append regrows as usual.
    void Compact() {
        if (mItems.capacity() - mItems.size() > mItems.capacity() / 4) mItems.shrink_to_fit();
    }

    // Size of the items' flat form (without the shape and count), kept up to date by appends
    // and remembered after any other change once worked out again, so sizing a container
    // built by appends costs O(1). Nested containers are never changed in place while shared
    // (copy-on-write), and a change through this container's own items goes through the
    // calls above, so the cache cannot go stale.
    static constexpr size_t kSizeUnknown = ~size_t{0};
    // Parts of the flat form (see AEFlat.h): an item's keyword, type and tag; the length
    // before bytes; a nested container's shape and count.
    static constexpr size_t kFlatItemHead = 4 + 4 + 1;
    static constexpr size_t kFlatLength = 4;
    static constexpr size_t kFlatContainerHead = 1 + 4;
    size_t CachedItemsSize() const { return mItemsSize.load(std::memory_order_relaxed); }
    void CacheItemsSize(size_t size) const { mItemsSize.store(size, std::memory_order_relaxed); }

    // Nesting depth: 1 for a container of plain items. Never lowered by a removal, so it is
    // an upper bound; kept at most kMaxDepth by the callers (ItemFits).
    unsigned Depth() const { return mDepth; }
    void NoteDepth(unsigned childDepth) { mDepth = std::max(mDepth, childDepth + 1u); }

    // Attributes of an event (a keyed container), made on first use.
    // The attributes keep their own cached size, so changing them leaves this one valid.
    const Container* Attributes() const { return mAttributes.Get(); }
    Container& MutableAttributes();

    std::atomic<long> mRefs{1};

private:
    // Slots of a container's first growth: most hold a few items or a few dozen, and the
    // steps to 1, 2 and 4 would each move every item.
    static constexpr size_t kFirstCapacity = 8;
    // Most records hold one field (a dictionary is a record of its 'usrf' list): they start
    // with room for it alone, which compacting then leaves as it is, and grow as lists do.
    size_t FirstCapacity() const { return mShape == Shape::Record ? 1 : kFirstCapacity; }

    void IndexFrom(size_t first);
    void Rehash(size_t slots);
    size_t Slot(AEKeyword key) const {
        return static_cast<size_t>((uint64_t(key) * 0x9E3779B97F4A7C15ull) >> mIndex->shift);
    }
    void NoteDepth(const Item& item) {
        if (const Container* child = item.value.Node())
            mDepth = std::max<unsigned>(mDepth, child->Depth() + 1u);
    }
    // Drops this container's references to nested containers, pushing those it held last
    // onto `doomed` (linked through mNextDoomed).
    void DetachChildren(Container*& doomed);
    void Changed() { mItemsSize.store(kSizeUnknown, std::memory_order_relaxed); }
    // Bytes an item adds to the flat form of the items, or kSizeUnknown when a nested
    // container has not been sized (or is an event, whose attributes count too).
    static size_t FlatSizeOf(const Item& item) {
        const Container* child = item.value.Node();
        if (!child) return kFlatItemHead + kFlatLength + item.value.Size();
        const size_t inner = child->CachedItemsSize();
        if (inner == kSizeUnknown || child->GetShape() == Shape::Event) return kSizeUnknown;
        return kFlatItemHead + kFlatContainerHead + inner;
    }
    void Grew(size_t added) {
        const size_t size = CachedItemsSize();
        if (size != kSizeUnknown) CacheItemsSize(added == kSizeUnknown ? added : size + added);
    }

    Shape mShape;
    unsigned mDepth = 1;
    ItemVector mItems;
    mutable std::atomic<size_t> mItemsSize{0};  // no items take no bytes
    // Open-addressed keyword index: position + 1 per slot, 0 for empty; at most half full.
    // Four bytes a slot keeps a 10^6-field record's index in cache far better than nodes.
    // Behind a pointer: most containers are lists or one-field records and never have one.
    struct KeywordIndex {
        std::vector<uint32_t> slots;
        size_t shift = 0;
    };
    std::unique_ptr<KeywordIndex> mIndex;
    NodeRef mAttributes;
    Container* mNextDoomed = nullptr;  // link in the teardown work list
};

inline Container* Payload::UnsharedNode() {
    return mKind == kNode && mNode->mRefs.load(std::memory_order_acquire) == 1 ? mNode : nullptr;
}

inline unsigned DepthOf(const Payload& value) {
    const Container* node = value.Node();
    return node ? node->Depth() : 0;
}

// True when `value` may become an item of a container without exceeding kMaxDepth.
inline bool ItemFits(const Payload& value) {
    return DepthOf(value) + 1 <= kMaxDepth;
}

// One descriptor's storage: a slot of the handle pool. Only handles are tracked as live
// descriptors; items inside containers are plain values. A slot is never given back to the
// system: once disposed it keeps an even generation until it is reused, so a stale handle is
// told from a live one by reading memory that is still ours. A power-of-two size keeps the
// check that a pointer is a slot a mask, and the value and generation share a cache line.
struct alignas(128) Storage {
    Payload value;
    uint32_t generation = 0;  // odd while the slot holds a live descriptor
    Storage* nextFree = nullptr;
    // Parameters of an event read through AEGetParamDesc/AEGetParamPtr; kept with the handle
    // because the read marks belong to this event, not to the shared container.
    mutable std::unordered_set<AEKeyword> readParams;
};
static_assert(std::has_single_bit(sizeof(Storage)));

// A descriptor's handle is the address of its slot. The real manager's handle points to a
// master pointer; nobody dereferences the stand-in's handles but the stand-in, through these.
inline Storage* StorageOf(AEDataStorage handle) {
    return reinterpret_cast<Storage*>(handle);
}
inline AEDataStorage HandleOf(Storage* storage) {
    return reinterpret_cast<AEDataStorage>(storage);
}

// Wraps a value in new storage and fills `out` with it; {typeNull, NULL} for typeNull.
// Throws std::bad_alloc.
void MakeDesc(DescType type, Payload value, AEDesc* out);

// Frees a live handle: counted as disposed. False when `handle` is not live.
bool FreeHandle(Storage* handle);

// The address range of the handle pool's committed slots, kept by the pool as it grows. Read
// inline by every call that takes a descriptor, so checking a handle costs two loads.
struct SlotRange {
    std::atomic<uintptr_t> base{0};
    std::atomic<size_t> bytes{0};
};
extern SlotRange gSlots;

// True when `handle` is a slot of the handle pool holding a live descriptor. Never reads
// memory outside the pool: a foreign pointer is refused by its address alone.
inline bool IsLive(const Storage* handle) {
    const uintptr_t offset =
        reinterpret_cast<uintptr_t>(handle) - gSlots.base.load(std::memory_order_acquire);
    return offset < gSlots.bytes.load(std::memory_order_acquire) && offset % sizeof(Storage) == 0 &&
           (handle->generation & 1) != 0;
}

// The storage of a descriptor: NULL for a null handle (zero bytes); sets `status` to
// errAENotAEDesc for a dead or foreign handle and paramErr for a NULL descriptor.
inline const Storage* Resolve(const AEDesc* desc, OSErr& status) {
    if (!desc) {
        status = paramErr;
        return nullptr;
    }
    const Storage* h = StorageOf(desc->dataHandle);
    if (h && !IsLive(h)) {
        status = errAENotAEDesc;
        return nullptr;
    }
    status = noErr;
    return h;
}
inline Storage* ResolveMutable(AEDesc* desc, OSErr& status) {
    return const_cast<Storage*>(Resolve(desc, status));
}

// The container of a descriptor, or NULL (with errAEWrongDataType) when it holds bytes.
inline const Container* ContainerOf(const AEDesc* desc, OSErr& status) {
    const Storage* h = Resolve(desc, status);
    if (status != noErr) return nullptr;
    if (!h || !h->value.IsNode()) {
        status = errAEWrongDataType;
        return nullptr;
    }
    return h->value.Node();
}

// An empty payload for NULL storage.
const Payload& EmptyPayload();

// Runs `body`, turning an allocation failure into memFullErr: no exception leaves the C API.
template <class F>
OSErr Guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return memFullErr;
    }
}

// Clears an out descriptor; no-op for NULL.
inline void ClearDesc(AEDesc* desc) {
    if (desc) {
        desc->descriptorType = typeNull;
        desc->dataHandle = nullptr;
    }
}

}  // namespace ae

#endif

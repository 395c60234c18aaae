// Descriptor storage, shared containers and the registry of live handles.
#include "platform/AE/AEStorage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/CarbonCore/HugePages.h"
#include "platform/CarbonCore/SmallBlockPool.h"
#include "platform/CoreFoundation/CFStringSharedUnits.h"
#include "platform/Testing/PTInternal.h"

namespace ae {

// ---- NodeRef

NodeRef::NodeRef(const NodeRef& other) : mNode(other.mNode) {
    if (mNode) mNode->mRefs.fetch_add(1, std::memory_order_relaxed);
}

NodeRef::~NodeRef() {
    if (mNode && mNode->mRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete mNode;
}

Container& NodeRef::Mutable() {
    if (mNode->mRefs.load(std::memory_order_acquire) != 1) {
        NodeRef copy(new Container(*mNode));
        std::swap(mNode, copy.mNode);
    }
    return *mNode;
}

// ---- Payload

namespace {

// Most payloads are short strings: a list push or pop takes and gives a pooled block.
constexpr size_t kSmallLimit = 128;
// Constant-initialised and never destroyed: payloads may die at exit.
constinit mm::SmallBlockPool<kSmallLimit> gSmallBlocks;

// Heap bytes carry a reference count in front of them, so copying a descriptor (into a
// reply, out of a list) shares its bytes instead of duplicating them.
constexpr size_t kSharedHeader = 8;  // keeps the bytes 8-aligned

std::atomic<uint32_t>& SharedCount(uint8_t* bytes) {
    return *std::launder(reinterpret_cast<std::atomic<uint32_t>*>(bytes - kSharedHeader));
}

bool IsSmall(size_t size) {
    return mm::kPoolSmallBlocks && kSharedHeader + size <= kSmallLimit;
}

uint8_t* AllocateShared(size_t size) {
    void* raw = IsSmall(size) ? gSmallBlocks.Take(kSharedHeader + size)
                              : ::operator new(kSharedHeader + size);
    auto* block = static_cast<uint8_t*>(raw);
    mm::OfferHugePages(block, kSharedHeader + size);
    ::new (block) std::atomic<uint32_t>(1);
    return block + kSharedHeader;
}

void FreeShared(uint8_t* bytes, size_t size) {
    SharedCount(bytes).~atomic();
    if (IsSmall(size)) {
        gSmallBlocks.Give(bytes - kSharedHeader, kSharedHeader + size);
    } else {
        ::operator delete(bytes - kSharedHeader);
    }
}

}  // namespace

Payload::Payload(const Payload& other) : mSize(other.mSize), mKind(other.mKind) {
    if (mKind == kHeap) {
        mHeap = other.mHeap;  // bytes never change once made: copies share them
        SharedCount(mHeap).fetch_add(1, std::memory_order_relaxed);
    } else if (mKind == kSharedUnits) {
        mHeap = other.mHeap;
        cf::RetainSharedUnits(mHeap, mSize);  // live: `other` holds a reference
    } else if (mKind == kNode) {
        mNode = other.mNode;
        mNode->mRefs.fetch_add(1, std::memory_order_relaxed);
    } else {
        std::memcpy(mInline, other.mInline, sizeof mInline);
    }
}

void Payload::Release() {
    if (mKind == kHeap) {
        if (SharedCount(mHeap).fetch_sub(1, std::memory_order_acq_rel) == 1)
            FreeShared(mHeap, mSize);
    } else if (mKind == kSharedUnits) {
        cf::ReleaseSharedUnits(mHeap);
    } else {
        NodeRef release(mNode);
    }
}

// Short byte values repeat: the keys of every record in a list of records, and values such as
// a kind or a genre. The last few made are kept by their contents, and a new one equal to a
// kept one shares its bytes (which never change once made), so a large tree holds a repeated
// string about once. One table for all threads; a thread that finds it in use by another
// simply makes its bytes anew, so nobody waits.
class Payload::RecentBytes {
public:
    static constexpr size_t kMaxSize = 64;

    static RecentBytes& Table() {
        static RecentBytes* table = new RecentBytes;  // never destroyed: payloads die at exit
        return *table;
    }
    // From the size and the first and last eight bytes (values kept here are longer than the
    // eight a payload holds inline).
    static uint64_t HashOf(const void* bytes, size_t size) {
        const auto* p = static_cast<const uint8_t*>(bytes);
        uint64_t head, tail;
        std::memcpy(&head, p, 8);
        std::memcpy(&tail, p + size - 8, 8);
        return ((head * 0x9E3779B97F4A7C15ull) ^ tail ^ size) * 0xFF51AFD7ED558CCDull;
    }
    // Makes `into` (empty) share a kept payload equal to the bytes; false when none is kept.
    // The slot's hash is compared first: a kept value's bytes are read only when it is likely
    // the one, as most are cold by the time their slot comes round again.
    bool Share(const void* bytes, size_t size, uint64_t hash, Payload& into) {
        if (mBusy.test_and_set(std::memory_order_acquire)) return false;
        const Slot& slot = mSlots[SlotOf(hash)];
        const Payload& kept = slot.payload;
        const bool same = slot.hash == hash && kept.mKind == kHeap && kept.mSize == size &&
                          std::memcmp(kept.mHeap, bytes, size) == 0;
        if (same) into = kept;
        mBusy.clear(std::memory_order_release);
        return same;
    }
    void Keep(const Payload& made, uint64_t hash) {
        if (mBusy.test_and_set(std::memory_order_acquire)) return;
        Payload dropped(made);
        Slot& slot = mSlots[SlotOf(hash)];
        slot.payload.Swap(dropped);
        slot.hash = hash;
        mBusy.clear(std::memory_order_release);
    }  // the payload it replaced is released here, outside the table

private:
    static constexpr unsigned kSlotBits = 10;
    struct Slot {
        Payload payload;
        uint64_t hash = 0;
    };
    static size_t SlotOf(uint64_t hash) { return static_cast<size_t>(hash >> (64 - kSlotBits)); }
    std::atomic_flag mBusy;
    Slot mSlots[size_t{1} << kSlotBits];
};

void Payload::SetHeapBytes(const void* bytes, size_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    const bool shareable = size <= RecentBytes::kMaxSize;
    const uint64_t hash = shareable ? RecentBytes::HashOf(bytes, size) : 0;
    if (shareable && RecentBytes::Table().Share(bytes, size, hash, *this)) return;
    mHeap = AllocateShared(size);
    mKind = kHeap;
    mSize = static_cast<uint32_t>(size);
    std::memcpy(mHeap, bytes, size);
    if (shareable) RecentBytes::Table().Keep(*this, hash);
}

Payload Payload::FromBytesSharingUnits(const void* bytes, size_t size) {
    Payload p;
    if (size >= cf::kSharedUnitsMin * sizeof(char16_t) &&
        size <= std::numeric_limits<uint32_t>::max() && cf::RetainSharedUnits(bytes, size)) {
        p.mHeap = static_cast<uint8_t*>(const_cast<void*>(bytes));  // never written through
        p.mKind = kSharedUnits;
        p.mSize = static_cast<uint32_t>(size);
    } else {
        p.SetBytes(bytes, size);
    }
    return p;
}

Payload Payload::FromNode(NodeRef node) {
    Payload p;
    p.mKind = kNode;
    p.mNode = node.Release();  // the reference now lives in the payload
    return p;
}

Container& Payload::MutableNode() {
    NodeRef ref(mNode);  // adopt our reference for the copy-on-write step
    try {
        ref.Mutable();
    } catch (...) {
        ref.Release();  // the payload still owns it
        throw;
    }
    mNode = ref.Release();
    return *mNode;
}

NodeRef Payload::NodeReference() const {
    mNode->mRefs.fetch_add(1, std::memory_order_relaxed);
    return NodeRef(mNode);
}

void Payload::CompactNode() {
    if (mKind == kNode) mNode->Compact();
}

Container* Payload::ReleaseNode() {
    if (mKind != kNode) return nullptr;
    Container* node = mNode;
    mKind = kInline;
    mSize = 0;
    return node;
}

// ---- ItemVector

ItemVector::ItemVector(const ItemVector& other) {
    reserve(other.mSize);
    for (const Item& item : other) emplace_back(item);  // copies share bytes: no throw
}

ItemVector::~ItemVector() {
    for (Item& item : *this) item.~Item();
    std::free(mData);
}

void ItemVector::erase(size_t i) {
    mData[i].~Item();
    std::memmove(static_cast<void*>(mData + i), mData + i + 1, (mSize - i - 1) * sizeof(Item));
    --mSize;
}

// Items move as bytes here (see the class comment); realloc shrinks a block in place.
void ItemVector::Resize(size_t capacity) {
    if (capacity == 0) {
        std::free(mData);
        mData = nullptr;
        mCapacity = 0;
        return;
    }
    if (capacity > std::numeric_limits<size_t>::max() / sizeof(Item)) throw std::bad_alloc();
    void* grown = std::realloc(static_cast<void*>(mData), capacity * sizeof(Item));
    if (!grown) throw std::bad_alloc();
    mData = static_cast<Item*>(grown);
    mCapacity = capacity;
}

// ---- Container

namespace {
constexpr size_t kIndexThreshold = 16;  // below this a scan beats hashing
}

Container::Container(const Container& other)
    : mShape(other.mShape),
      mDepth(other.mDepth),
      mItems(other.mItems),
      mItemsSize(other.CachedItemsSize()),
      mIndex(other.mIndex ? std::make_unique<KeywordIndex>(*other.mIndex) : nullptr),
      mAttributes(other.mAttributes) {}

// Nested containers are freed from a work list rather than by recursion, so tearing down the
// deepest descriptor needs no more stack than a flat one; the list is linked through the
// doomed containers themselves, so teardown never allocates.
Container::~Container() {
    Container* doomed = nullptr;
    DetachChildren(doomed);
    while (doomed) {
        Container* next = doomed;
        doomed = next->mNextDoomed;
        next->DetachChildren(doomed);
        delete next;  // holds no nested containers any more
    }
}

void Container::DetachChildren(Container*& doomed) {
    auto drop = [&doomed](Container* child) {
        if (child && child->mRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            child->mNextDoomed = doomed;
            doomed = child;
        }
    };
    for (Item& item : mItems) drop(item.value.ReleaseNode());
    drop(mAttributes.Release());
}

void Container::Rehash(size_t slots) {
    auto index = std::make_unique<KeywordIndex>();  // made whole before it replaces the old one
    index->slots.assign(slots, 0);
    index->shift = 64 - static_cast<size_t>(std::countr_zero(slots));
    mIndex = std::move(index);
    IndexFrom(0);
}

// Adds items [first, end) of a keyed container to the index, growing it to stay at most half full.
// The first item with a keyword wins, as Find promises.
void Container::IndexFrom(size_t first) {
    if (!mIndex) {
        if (mItems.size() <= kIndexThreshold) return;
        Rehash(std::bit_ceil(mItems.size() * 4));
        return;
    }
    std::vector<uint32_t>& index = mIndex->slots;
    if (mItems.size() * 2 > index.size()) {
        Rehash(index.size() * 4);
        return;
    }
    const size_t mask = index.size() - 1;
    for (size_t i = first; i < mItems.size(); ++i) {
        AEKeyword key = mItems[i].key;
        size_t slot = Slot(key);
        while (index[slot] != 0 && mItems[index[slot] - 1].key != key) slot = (slot + 1) & mask;
        if (index[slot] == 0) index[slot] = static_cast<uint32_t>(i + 1);
    }
}

void Container::Erase(size_t i) {
    Changed();
    mItems.erase(i);
    if (mIndex) {
        // Positions after i moved; erase is O(n) anyway, so rebuild.
        mIndex.reset();
        IndexFrom(0);
    }
}

long Container::Find(AEKeyword key) const {
    if (mIndex) {
        const std::vector<uint32_t>& index = mIndex->slots;
        const size_t mask = index.size() - 1;
        for (size_t slot = Slot(key); index[slot] != 0; slot = (slot + 1) & mask)
            if (mItems[index[slot] - 1].key == key) return static_cast<long>(index[slot] - 1);
        return -1;
    }
    for (size_t i = 0; i < mItems.size(); ++i)
        if (mItems[i].key == key) return static_cast<long>(i);
    return -1;
}

void Container::Replace(size_t i, Item item) {
    Changed();
    NoteDepth(item);
    mItems[i] = std::move(item);
}

void Container::Put(Item item) {
    long at = Find(item.key);
    if (at < 0) {
        Append(std::move(item));
    } else {
        Replace(static_cast<size_t>(at), std::move(item));
    }
}

Container& Container::MutableAttributes() {
    if (!mAttributes) mAttributes = NodeRef(new Container(Shape::Record));
    // Attributes nest like an item, so a deep attribute deepens the event.
    return mAttributes.Mutable();
}

// ---- Handles

namespace {

// Slots in one reserved range of address space, committed as it fills and never given back
// (descriptors may die at exit, and a stale handle must stay readable), so whether a pointer
// is a slot is two comparisons. Disposed slots are reused last-in first-out. One short spin
// lock guards the pool: descriptors are made from one thread at a time in practice.
class HandlePool {
public:
    Storage* Take() {
        mm::SpinGuard guard(mLock);
        if (!mFree) Grow();
        Storage* slot = mFree;
        mFree = slot->nextFree;
        slot->nextFree = nullptr;
        ++slot->generation;
        return slot;
    }
    void Give(Storage* slot) {
        mm::SpinGuard guard(mLock);
        ++slot->generation;
        slot->nextFree = mFree;
        mFree = slot;
    }

private:
    // Descriptors alive at once, at most; only address space is reserved for them, and less
    // when a limit on address space refuses that much.
    static constexpr size_t kMaxSlots = size_t{1} << 24;
    static constexpr size_t kMinSlots = size_t{1} << 12;

    void Reserve() {
        for (size_t slots = kMaxSlots; slots >= kMinSlots; slots /= 2) {
            void* range = mmap(nullptr, slots * sizeof(Storage), PROT_NONE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (range == MAP_FAILED) continue;
            mCapacity = slots;
            gSlots.base.store(reinterpret_cast<uintptr_t>(range), std::memory_order_release);
            return;
        }
        throw std::bad_alloc();
    }

    void Grow() {
        const size_t slotSize = sizeof(Storage);
        if (gSlots.base.load(std::memory_order_relaxed) == 0) Reserve();
        const size_t committed = gSlots.bytes.load(std::memory_order_relaxed) / slotSize;
        const size_t count = std::min(std::max<size_t>(committed, 1024), mCapacity - committed);
        if (count == 0) throw std::bad_alloc();
        const uintptr_t base = gSlots.base.load(std::memory_order_relaxed);
        const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const uintptr_t from = (base + committed * slotSize) & ~(page - 1);
        const uintptr_t to = (base + (committed + count) * slotSize + page - 1) & ~(page - 1);
        if (mprotect(reinterpret_cast<void*>(from), to - from, PROT_READ | PROT_WRITE) != 0)
            throw std::bad_alloc();
        auto* slots = reinterpret_cast<Storage*>(base) + committed;
        for (size_t i = count; i-- > 0;) {
            Storage* slot = ::new (static_cast<void*>(slots + i)) Storage;
            slot->nextFree = mFree;
            mFree = slot;
        }
        gSlots.bytes.store((committed + count) * slotSize, std::memory_order_release);
    }

    std::atomic_flag mLock = ATOMIC_FLAG_INIT;
    Storage* mFree = nullptr;
    size_t mCapacity = 0;
};

// Constant-initialised and never destroyed (trivial destructor): descriptors may die at exit.
constinit HandlePool gPool;

HandlePool& ThePool() {
    return gPool;
}

}  // namespace

constinit SlotRange gSlots;

void MakeDesc(DescType type, Payload value, AEDesc* out) {
    if (type == typeNull) {
        ClearDesc(out);
        return;
    }
    Storage* handle = ThePool().Take();
    handle->value = std::move(value);
    pt::DescriptorCreated();
    out->descriptorType = type;
    out->dataHandle = HandleOf(handle);
}

bool FreeHandle(Storage* handle) {
    if (!IsLive(handle)) return false;
    Payload doomed;
    doomed.Swap(handle->value);
    if (!handle->readParams.empty()) std::unordered_set<AEKeyword>().swap(handle->readParams);
    ThePool().Give(handle);
    pt::DescriptorDisposed();
    return true;  // `doomed` frees the value, the slot already reusable
}

const Payload& EmptyPayload() {
    static const Payload* empty = new Payload;
    return *empty;
}

}  // namespace ae

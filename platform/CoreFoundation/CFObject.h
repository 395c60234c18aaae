// The header every CF object starts with, and the one allocator that makes them. Private to
// the CoreFoundation stand-in's sources.
#ifndef PLATFORM_COREFOUNDATION_CFOBJECT_H
#define PLATFORM_COREFOUNDATION_CFOBJECT_H

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "platform/CarbonCore/SmallBlockPool.h"

namespace cf {

class Object {
public:
    static constexpr uint32_t kLiveMagic = 0xCF0B1EC7;
    static constexpr uint32_t kDeadMagic = 0xDEADCF00;

    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual constexpr ~Object() = default;

    CFTypeID TypeID() const { return mType; }
    bool IsImmortal() const { return mImmortal; }
    bool IsMutableObject() const { return mMutable; }
    bool IsLive() const { return mMagic == kLiveMagic; }

    // Called only with another object of the same type.
    virtual bool EqualTo(const Object& other) const = 0;
    virtual CFHashCode HashValue() const = 0;
    // Appends a short human-readable form (for CFCopyDescription).
    virtual void Describe(std::string& out) const = 0;
    // Called, under RecentLock(), by the last release of an object marked with MarkRemembered,
    // for the table that remembers it to drop it.
    virtual void Forget() const {}

protected:
    constexpr Object(CFTypeID type, bool isMutable, bool immortal = false)
        : mType(static_cast<uint8_t>(type)), mMutable(isMutable), mImmortal(immortal) {}

private:
    friend struct ObjectAccess;
    // Packed behind the vtable pointer in 24 bytes: every string, number and container
    // carries this header.
    std::atomic<long> mRefCount{1};
    uint32_t mMagic = kLiveMagic;
    uint8_t mType;         // every type ID fits
    uint8_t mStorage = 0;  // where the object's memory came from (see AllocateObject)
    bool mMutable;
    bool mImmortal;
};
static_assert(sizeof(Object) == sizeof(void*) + sizeof(long) + 8);

// Raw storage for counted objects: fails on an armed CF allocation fault, counts the object
// as live and registers it for double-release detection. Small objects come from a pool of
// size classes, larger ones from malloc.
void* AllocateObject(size_t size);
// Undoes AllocateObject(size) when the constructor failed.
void AbandonObject(void* memory, size_t size);
// Notes in the object constructed in AllocateObject(size)'s memory where that memory came from,
// so that its release gives it back there.
void NoteStorage(Object* object, size_t size);
// Records an immortal object (a static constant or a CFSTR string) so that retain and
// release recognise it; never counted, never freed.
void RegisterImmortal(const Object* object);
// Raw storage for an immortal object made at run time (CFSTR strings): not counted and not
// subject to allocation faults. Construct with `immortal = true`, then RegisterImmortal.
void* AllocateImmortal(size_t size);

// Objects that a table of recently made ones remembers without holding a reference, so that an
// equal object made next can be the same one. The table's lookups and the last release of a
// remembered object hold this one lock, so a lookup never revives an object being freed.
std::atomic_flag& RecentLock();
// Marks an object just made, not yet handed out, as remembered: its last release calls Forget.
void MarkRemembered(Object* object);
// A new reference to a remembered object found in a table; only under RecentLock().
CFTypeRef RetainRemembered(const Object* object);

// Such a table: one slot per hash of the contents, the last object made for it. A new object
// equal to one still remembered is that one, retained, so a large tree holds a repeated value
// once. Only immutable objects, made by the public calls, are remembered. Each slot keeps the
// 64-bit hash of its object's contents, so a lookup reads the object itself only when that
// matches: most objects of a large tree are cold by the time their slot is looked at again.
template <class T, unsigned kSlotBits>
class RecentObjects {
public:
    // The object remembered for `hash` when `same(object)` holds, retained; else nullptr.
    template <class Same>
    CFTypeRef Share(uint64_t hash, Same same) {
        const Slot& slot = mSlots[SlotOf(hash)];
        mm::SpinGuard guard(RecentLock());
        return slot.object && slot.hash == hash && same(*slot.object)
                   ? RetainRemembered(slot.object)
                   : nullptr;
    }
    // Remembers an object just made in place of the slot's last one, which is merely no
    // longer found.
    void Remember(uint64_t hash, T* made) {
        MarkRemembered(made);
        Slot& slot = mSlots[SlotOf(hash)];
        mm::SpinGuard guard(RecentLock());
        slot = {made, hash};
    }
    // From Forget, under RecentLock().
    void Forget(uint64_t hash, const T* dying) {
        Slot& slot = mSlots[SlotOf(hash)];
        if (slot.object == dying) slot = {};
    }

private:
    struct Slot {
        const T* object = nullptr;
        uint64_t hash = 0;
    };
    static size_t SlotOf(uint64_t hash) { return static_cast<size_t>(hash >> (64 - kSlotBits)); }
    Slot mSlots[size_t{1} << kSlotBits] = {};
};

// Constructs a counted T in the allocator's storage; nullptr when allocation fails.
template <class T, class... Args>
T* New(Args&&... args) {
    void* memory = AllocateObject(sizeof(T));
    if (!memory) return nullptr;
    try {
        T* object = ::new (memory) T(std::forward<Args>(args)...);
        NoteStorage(object, sizeof(T));
        return object;
    } catch (const std::bad_alloc&) {
        AbandonObject(memory, sizeof(T));
        return nullptr;
    }
}

// Constructs a counted T followed by `trailing` bytes of storage it owns (one allocation for
// an object and its contents); nullptr when allocation fails.
template <class T, class... Args>
T* NewWithTrailing(size_t trailing, Args&&... args) {
    void* memory = AllocateObject(sizeof(T) + trailing);
    if (!memory) return nullptr;
    try {
        T* object = ::new (memory) T(std::forward<Args>(args)...);
        NoteStorage(object, sizeof(T) + trailing);
        return object;
    } catch (const std::bad_alloc&) {
        AbandonObject(memory, sizeof(T) + trailing);
        return nullptr;
    }
}

// Storage for a constant-initialised immortal object that is never destroyed, so it stays
// usable by code that runs during exit.
template <class T>
union Static {
    T object;
    template <class... Args>
    constexpr explicit Static(Args... args) : object(args...) {}
    constexpr ~Static() {}
};

inline const Object* ObjectOf(CFTypeRef ref) {
    return static_cast<const Object*>(ref);
}

// The object as T when it is one of kind `type`, else nullptr.
template <class T>
inline T* As(CFTypeRef ref, CFTypeID type) {
    if (!ref || ObjectOf(ref)->TypeID() != type) return nullptr;
    return static_cast<T*>(const_cast<Object*>(ObjectOf(ref)));
}

// Hash mixing shared by the types (so equal numbers of any type hash alike).
inline CFHashCode MixHash(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<CFHashCode>(x);
}

// True when `range` lies within [0, length).
inline bool RangeInside(CFRange range, size_t length) {
    return range.location >= 0 && range.length >= 0 &&
           static_cast<size_t>(range.location) <= length &&
           static_cast<size_t>(range.length) <= length - static_cast<size_t>(range.location);
}

// The callbacks behind kCFTypeArrayCallBacks and the kCFType dictionary callbacks: the
// uncounted internal calls, so containers never go through counted entry points.
namespace callbacks {
const void* Retain(CFAllocatorRef, const void* value);
void Release(CFAllocatorRef, const void* value);
CFStringRef CopyDescription(const void* value);
Boolean Equal(const void* a, const void* b);
CFHashCode Hash(const void* value);
// Retains an immutable string, copies a mutable one (kCFCopyStringDictionaryKeyCallBacks).
const void* CopyStringRetain(CFAllocatorRef, const void* value);
}  // namespace callbacks

// Type names for descriptions.
const char* TypeName(CFTypeID type);

}  // namespace cf

#endif

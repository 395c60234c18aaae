// The object model: allocation, reference counting with double-release detection, identity,
// kCFNull and the allocators; the public CFBase entry points.
#include "platform/CoreFoundation/CFObject.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <unordered_map>

#include "platform/CarbonCore/SmallBlockPool.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/Testing/PTInternal.h"

struct __CFNull final : cf::Object {
    constexpr __CFNull() : Object(cf::kNullTypeID, false, true) {}
    bool EqualTo(const Object&) const override { return true; }
    CFHashCode HashValue() const override { return cf::kNullTypeID; }
    void Describe(std::string& out) const override { out += "<CFNull>"; }
};

struct __CFAllocator final : cf::Object {
    constexpr explicit __CFAllocator(const char* name)
        : Object(cf::kAllocatorTypeID, false, true), mName(name) {}
    bool EqualTo(const Object& other) const override { return this == &other; }
    CFHashCode HashValue() const override { return cf::MixHash(reinterpret_cast<uintptr_t>(this)); }
    void Describe(std::string& out) const override { out += mName; }
    const char* mName;
};

namespace cf {

struct ObjectAccess {
    static std::atomic<long>& Count(const Object* o) { return const_cast<Object*>(o)->mRefCount; }
    static void Kill(const Object* o) { const_cast<Object*>(o)->mMagic = Object::kDeadMagic; }
    static uint8_t& Storage(Object* o) { return o->mStorage; }
    // Kept in the storage byte, above every storage value.
    static constexpr uint8_t kRemembered = 0x80;
    static bool IsRemembered(const Object* o) { return o->mStorage & kRemembered; }
};

namespace {

constinit Static<__CFNull> gNull;
constinit Static<__CFAllocator> gSystemDefault("<CFAllocator system default>");
constinit Static<__CFAllocator> gMalloc("<CFAllocator malloc>");
constinit Static<__CFAllocator> gNullAllocator("<CFAllocator null>");
constinit Static<__CFAllocator> gUseContext("<CFAllocator use context>");

// Double releases are caught from a registry of live and freed objects, never by reading an
// object after it was freed. Builds without NDEBUG keep it from the start; release builds keep
// it only once the testing facility is armed, so a production run pays nothing and detects
// nothing (like the real platform). A pointer the registry has never seen (an object made
// before tracking began, or an immortal one) is taken as live.
bool Tracking() {
#ifndef NDEBUG
    return true;
#else
    return pt::gArmed;
#endif
}

struct Registry {
    std::mutex lock;
    // Every address seen: true while an object lives there, false once freed (until the
    // address is handed out again). One lookup per allocation, release and check.
    std::unordered_map<const void*, bool> live;
};
Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: objects die during exit too
    return *registry;
}
void Register(const void* p) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.live[p] = true;
}
void Unregister(const void* p) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.live.find(p);
    if (it != r.live.end()) it->second = false;
}
bool WasFreed(const void* p) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.live.find(p);
    return it != r.live.end() && !it->second;
}

// CheckLive's registry lookup, out of line so that the untracked check stays a flag test.
[[gnu::noinline]] bool CheckTracked(const Object* o, bool isRelease) {
    if (!WasFreed(o)) return true;
    if (isRelease) {
        char what[64];
        std::snprintf(what, sizeof what, "CF object %p", static_cast<const void*>(o));
        pt::DoubleRelease(what);
    }
    return false;
}

// Whether `o` may be used; reports a release of a freed object.
inline bool CheckLive(const Object* o, bool isRelease) {
    return !Tracking() || CheckTracked(o, isRelease);
}

// Objects up to this size come from the pool: a document's strings, numbers, dates and
// dictionaries.
constexpr size_t kPooledLimit = 256;
using ObjectPool = mm::SmallBlockPool<kPooledLimit>;
// Constant-initialised and never destroyed: objects may die at exit.
constinit ObjectPool gObjectPool;

// 0 for memory from malloc, else the pool's size class plus one.
uint8_t StorageOf(size_t size) {
    if (!mm::kPoolSmallBlocks || size > kPooledLimit) return 0;
    return static_cast<uint8_t>(ObjectPool::ClassOf(size) + 1);
}

void GiveBack(void* memory, uint8_t storage) {
    if (storage == 0) return std::free(memory);
    gObjectPool.Give(memory, storage * ObjectPool::kGranule);
}

void Free(const Object* o) {
    ObjectAccess::Kill(o);
    Object* mutableObject = const_cast<Object*>(o);
    const uint8_t storage = ObjectAccess::Storage(mutableObject) & ~ObjectAccess::kRemembered;
    mutableObject->~Object();
    if (Tracking()) Unregister(o);
    GiveBack(mutableObject, storage);
    pt::CFObjectFreed();
}

[[maybe_unused]] const bool gStaticsRegistered = [] {
    for (const Object* o : std::initializer_list<const Object*>{
             &gNull.object, &gSystemDefault.object, &gMalloc.object, &gNullAllocator.object,
             &gUseContext.object})
        RegisterImmortal(o);
    return true;
}();

}  // namespace

void* AllocateObject(size_t size) {
    if (pt::CFAllocationFails()) return nullptr;
    void* memory = nullptr;
    if (StorageOf(size) == 0) {
        memory = std::malloc(size);
    } else {
        try {
            memory = gObjectPool.Take(size);
        } catch (const std::bad_alloc&) {
        }
    }
    if (!memory) return nullptr;
    if (Tracking()) Register(memory);
    pt::CFObjectCreated();
    return memory;
}

void AbandonObject(void* memory, size_t size) {
    if (Tracking()) Unregister(memory);
    GiveBack(memory, StorageOf(size));
    pt::CFObjectFreed();
}

void NoteStorage(Object* object, size_t size) {
    ObjectAccess::Storage(object) = StorageOf(size);
}

void RegisterImmortal(const Object* object) {
    // Its memory may once have held an object that was freed.
    if (Tracking()) Register(object);
}

void* AllocateImmortal(size_t size) {
    void* memory = std::malloc(size);
    if (!memory) std::abort();  // a constant string cannot fail on the real platform either
    return memory;
}

CFTypeRef Retain(CFTypeRef ref) {
    if (!ref) return ref;
    const Object* o = ObjectOf(ref);
    if (!CheckLive(o, false) || o->IsImmortal()) return ref;
    ObjectAccess::Count(o).fetch_add(1, std::memory_order_relaxed);
    return ref;
}

std::atomic_flag& RecentLock() {
    static constinit std::atomic_flag lock = ATOMIC_FLAG_INIT;
    return lock;
}

void MarkRemembered(Object* object) {
    ObjectAccess::Storage(object) |= ObjectAccess::kRemembered;
}

CFTypeRef RetainRemembered(const Object* object) {
    ObjectAccess::Count(object).fetch_add(1, std::memory_order_relaxed);
    return object;
}

namespace {

// A reference that is not the last goes as any other: a lookup only ever adds to a count it
// finds above zero. The last one drops under the lock, and the table forgets the object before
// anyone could look it up again.
[[gnu::noinline]] void ReleaseRemembered(const Object* o) {
    std::atomic<long>& count = ObjectAccess::Count(o);
    for (long seen = count.load(std::memory_order_relaxed); seen > 1;)
        if (count.compare_exchange_weak(seen, seen - 1, std::memory_order_acq_rel)) return;
    bool last = false;
    {
        mm::SpinGuard guard(RecentLock());
        last = count.fetch_sub(1, std::memory_order_acq_rel) == 1;
        if (last) o->Forget();
    }
    if (last) Free(o);
}

}  // namespace

void Release(CFTypeRef ref) {
    if (!ref) return;
    const Object* o = ObjectOf(ref);
    if (!CheckLive(o, true) || o->IsImmortal()) return;
    if (ObjectAccess::IsRemembered(o)) return ReleaseRemembered(o);
    std::atomic<long>& count = ObjectAccess::Count(o);
    // A count of 1 means the caller holds the only reference: nobody else may touch the count,
    // so the object goes without a locked read-modify-write (most objects of a freed tree).
    if (count.load(std::memory_order_acquire) == 1 ||
        count.fetch_sub(1, std::memory_order_acq_rel) == 1)
        Free(o);
}

long RetainCount(CFTypeRef ref) {
    if (!ref) return 0;
    const Object* o = ObjectOf(ref);
    if (o->IsImmortal()) return 0x7fffffffL;
    return ObjectAccess::Count(o).load(std::memory_order_relaxed);
}

CFTypeID TypeOf(CFTypeRef ref) {
    return ref ? ObjectOf(ref)->TypeID() : 0;
}

bool IsMutable(CFTypeRef ref) {
    return ref && ObjectOf(ref)->IsMutableObject();
}

bool Equal(CFTypeRef a, CFTypeRef b) {
    if (!a || !b) return false;
    if (a == b) return true;
    const Object* x = ObjectOf(a);
    const Object* y = ObjectOf(b);
    return x->TypeID() == y->TypeID() && x->EqualTo(*y);
}

CFHashCode Hash(CFTypeRef ref) {
    return ref ? ObjectOf(ref)->HashValue() : 0;
}

const char* TypeName(CFTypeID type) {
    switch (type) {
        case kAllocatorTypeID:
            return "CFAllocator";
        case kNullTypeID:
            return "CFNull";
        case kBooleanTypeID:
            return "CFBoolean";
        case kNumberTypeID:
            return "CFNumber";
        case kDateTypeID:
            return "CFDate";
        case kDataTypeID:
            return "CFData";
        case kStringTypeID:
            return "CFString";
        case kArrayTypeID:
            return "CFArray";
        case kDictionaryTypeID:
            return "CFDictionary";
        case kURLTypeID:
            return "CFURL";
        case kBundleTypeID:
            return "CFBundle";
        default:
            return nullptr;
    }
}

CFStringRef CopyDescription(CFTypeRef ref) {
    if (!ref) return nullptr;
    std::string text;
    ObjectOf(ref)->Describe(text);
    return CreateStringFromUTF8(text);
}

namespace callbacks {

const void* Retain(CFAllocatorRef, const void* value) {
    return cf::Retain(value);
}
void Release(CFAllocatorRef, const void* value) {
    cf::Release(value);
}
CFStringRef CopyDescription(const void* value) {
    return cf::CopyDescription(value);
}
Boolean Equal(const void* a, const void* b) {
    return cf::Equal(a, b);
}
CFHashCode Hash(const void* value) {
    return cf::Hash(value);
}

const void* CopyStringRetain(CFAllocatorRef, const void* value) {
    if (IsString(value) && IsMutable(value)) {
        std::u16string_view units = StringUnits(static_cast<CFStringRef>(value));
        // On allocation failure keep the original: a key must not vanish.
        if (CFStringRef copy = CreateStringFromUTF16(units.data(), units.size())) return copy;
    }
    return cf::Retain(value);
}

}  // namespace callbacks

}  // namespace cf

extern "C" {

const CFNullRef kCFNull = &cf::gNull.object;
const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = &cf::gSystemDefault.object;
const CFAllocatorRef kCFAllocatorMalloc = &cf::gMalloc.object;
const CFAllocatorRef kCFAllocatorNull = &cf::gNullAllocator.object;
const CFAllocatorRef kCFAllocatorUseContext = &cf::gUseContext.object;

CFTypeID CFNullGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFNullGetTypeID", injected)) return 0;
    return cf::kNullTypeID;
}

CFAllocatorRef CFAllocatorGetDefault(void) {
    int32_t injected;
    if (PT_ENTER("CFAllocatorGetDefault", injected)) return nullptr;
    return kCFAllocatorSystemDefault;
}

CFAllocatorRef CFGetAllocator(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFGetAllocator", injected) || !cf) return nullptr;
    return kCFAllocatorSystemDefault;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFGetTypeID", injected)) return 0;
    return cf::TypeOf(cf);
}

CFStringRef CFCopyTypeIDDescription(CFTypeID type_id) {
    int32_t injected;
    if (PT_ENTER("CFCopyTypeIDDescription", injected)) return nullptr;
    const char* name = cf::TypeName(type_id);
    return name ? cf::CreateStringFromUTF8(name) : nullptr;
}

CFTypeRef CFRetain(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFRetain", injected)) return nullptr;
    return cf::Retain(cf);
}

void CFRelease(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFRelease", injected)) return;
    cf::Release(cf);
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFGetRetainCount", injected)) return 0;
    return cf::RetainCount(cf);
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    int32_t injected;
    if (PT_ENTER("CFEqual", injected)) return false;
    return cf::Equal(cf1, cf2);
}

CFHashCode CFHash(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFHash", injected)) return 0;
    return cf::Hash(cf);
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
    int32_t injected;
    if (PT_ENTER("CFCopyDescription", injected)) return nullptr;
    return cf::CopyDescription(cf);
}

}  // extern "C"

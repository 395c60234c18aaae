// CFDictionary: entries kept in insertion order in one vector, found through an open-addressed
// index of entry positions (or, up to a few dozen entries, by a scan of their hashes). Removal
// marks an entry dead; dead entries are squeezed out when the index is rebuilt, so every operation
// stays amortised O(1) and order is preserved.
#include <CoreFoundation/CFDictionary.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "platform/CoreFoundation/CFDictionaryCallBacks.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

namespace {

using namespace cf::dictionary;

// The stored hash filters comparisons and places the entry in the index. Its low 32 bits are
// enough for both (positions are 32-bit too), and keep an entry at 24 bytes: a document's
// dictionaries hold hundreds of thousands of them.
using StoredHash = uint32_t;

struct Entry {
    const void* key;
    const void* value;
    StoredHash hash;
    bool live;
};

}  // namespace

struct __CFDictionary final : cf::Object {
    // Throws std::bad_alloc when callbacks of its own cannot be copied.
    __CFDictionary(const CFDictionaryKeyCallBacks* keys, const CFDictionaryValueCallBacks* values,
                   bool isMutable)
        : Object(cf::kDictionaryTypeID, isMutable) {
        mCallBacks = &Adopt(keys, values);  // once every member is made: it may fill one
    }
    bool StandardKeys() const { return mCallBacks->standardKeys; }
    bool StandardValues() const { return mCallBacks->standardValues; }
    const CFDictionaryKeyCallBacks& KeyCallBacks() const { return mCallBacks->keys; }
    const CFDictionaryValueCallBacks& ValueCallBacks() const { return mCallBacks->values; }
    ~__CFDictionary() override {
        if (StandardKeys() && StandardValues()) {  // a parsed document's dictionaries
            for (const Entry& e : mEntries) {
                if (!e.live) continue;
                cf::Release(e.key);
                cf::Release(e.value);
            }
            return;
        }
        for (const Entry& e : mEntries)
            if (e.live) ReleasePair(e.key, e.value);
    }

    // The shared callbacks these are, or a copy this dictionary owns.
    const CallBacks& Adopt(const CFDictionaryKeyCallBacks* keys,
                           const CFDictionaryValueCallBacks* values) {
        const CFDictionaryKeyCallBacks& k = keys ? *keys : kNoKeyCallBacks;
        const CFDictionaryValueCallBacks& v = values ? *values : kNoValueCallBacks;
        const CallBacks& shared = SharedCallBacks(IsStandard(k), IsStandard(v));
        if (SameFunctions(k, shared.keys) && SameFunctions(v, shared.values)) return shared;
        mOwnCallBacks = std::make_unique<CallBacks>(CallBacks{k, v, IsStandard(k), IsStandard(v)});
        return *mOwnCallBacks;
    }

    CFHashCode HashKey(const void* key) const {
        if (StandardKeys()) return key ? cf::ObjectOf(key)->HashValue() : 0;
        return KeyCallBacks().hash ? KeyCallBacks().hash(key)
                                   : cf::MixHash(reinterpret_cast<uintptr_t>(key));
    }
    bool KeysEqual(const void* a, const void* b) const {
        if (a == b) return true;
        if (StandardKeys()) {
            if (!a || !b) return false;
            const cf::Object& x = *cf::ObjectOf(a);
            const cf::Object& y = *cf::ObjectOf(b);
            return x.TypeID() == y.TypeID() && x.EqualTo(y);
        }
        return KeyCallBacks().equal && KeyCallBacks().equal(a, b);
    }
    bool ValuesEqual(const void* a, const void* b) const {
        return a == b || (ValueCallBacks().equal && ValueCallBacks().equal(a, b));
    }
    const void* RetainKey(const void* k) const {
        if (StandardKeys()) return cf::Retain(k);
        return KeyCallBacks().retain ? KeyCallBacks().retain(nullptr, k) : k;
    }
    const void* RetainValue(const void* v) const {
        if (StandardValues()) return cf::Retain(v);
        return ValueCallBacks().retain ? ValueCallBacks().retain(nullptr, v) : v;
    }
    void ReleaseKey(const void* k) const {
        if (StandardKeys()) return cf::Release(k);
        if (KeyCallBacks().release) KeyCallBacks().release(nullptr, k);
    }
    void ReleaseValue(const void* v) const {
        if (StandardValues()) return cf::Release(v);
        if (ValueCallBacks().release) ValueCallBacks().release(nullptr, v);
    }
    void ReleasePair(const void* k, const void* v) const {
        ReleaseKey(k);
        ReleaseValue(v);
    }

    // Position of the live entry with this key, or -1.
    long Find(const void* key) const { return mEntries.empty() ? -1 : Find(key, HashKey(key)); }
    // The small case inline (the one a document's records take), the index out of line.
    [[gnu::always_inline]] long Find(const void* key, CFHashCode fullHash) const {
        auto h = static_cast<StoredHash>(fullHash);
        if (!mSlots.empty()) return FindIndexed(key, h);
        if (!(mKeyBits & KeyBit(h))) return -1;  // most lookups of a new key end here
        for (size_t p = 0; p < mEntries.size(); ++p) {
            const Entry& e = mEntries[p];
            if (e.live && e.hash == h && KeysEqual(e.key, key)) return static_cast<long>(p);
        }
        return -1;
    }
    long FindIndexed(const void* key, StoredHash h) const {
        size_t mask = mSlots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            uint32_t slot = mSlots[i];
            if (slot == 0) return -1;
            const Entry& e = mEntries[slot - 1];
            if (e.live && e.hash == h && KeysEqual(e.key, key)) return static_cast<long>(slot - 1);
        }
    }

    void PlaceInIndex(size_t position) {
        size_t mask = mSlots.size() - 1;
        size_t i = mEntries[position].hash & mask;
        while (mSlots[i] != 0) i = (i + 1) & mask;
        mSlots[i] = static_cast<uint32_t>(position + 1);
    }

    // Squeezes out dead entries and rebuilds the index for `room` more entries. Throws
    // bad_alloc with the dictionary unchanged.
    void Rebuild(size_t room) {
        // Up to kLinearMax entries need no index (one block fewer per record of a document).
        size_t want = 0;
        if (mLive + room > kLinearMax)
            for (want = 8; want < (mLive + room) * 2;) want *= 2;
        std::vector<uint32_t> slots(want, 0);
        std::vector<Entry> entries;
        entries.reserve(mLive + room);
        for (const Entry& e : mEntries)
            if (e.live) entries.push_back(e);
        mEntries.swap(entries);
        mSlots.swap(slots);
        mKeyBits = 0;
        for (const Entry& e : mEntries) mKeyBits |= KeyBit(e.hash);
        if (!mSlots.empty())
            for (size_t p = 0; p < mEntries.size(); ++p) PlaceInIndex(p);
    }

    // Appends a new entry holding key and value as given (already retained or adopted).
    void Insert(const void* key, const void* value) { Insert(key, value, HashKey(key)); }
    void Insert(const void* key, const void* value, CFHashCode h) {
        if (mEntries.size() == mEntries.capacity() || !mSlots.empty()) MakeRoom();
        mEntries.push_back(Entry{key, value, static_cast<StoredHash>(h), true});
        mKeyBits |= KeyBit(static_cast<StoredHash>(h));
        if (!mSlots.empty()) PlaceInIndex(mEntries.size() - 1);
        ++mLive;
    }

    // Sets a pair whose references the dictionary takes over (already retained or adopted): a
    // key already present keeps its first key object and place and gets the new value. Throws
    // bad_alloc, key and value still the caller's, when there is no room for a new key.
    void SetAdopting(const void* key, const void* value) {
        const CFHashCode h = HashKey(key);
        const long p = Find(key, h);
        if (p < 0) return Insert(key, value, h);
        ReleaseValue(std::exchange(mEntries[static_cast<size_t>(p)].value, value));
        cf::Release(key);  // an adopted reference, whatever the callbacks
    }

    bool Full() const {
        return mSlots.empty() ? mEntries.size() + 1 > kLinearMax
                              : (mEntries.size() + 1) * 4 > mSlots.size() * 3;
    }
    // Room for one more entry; out of line, as a dictionary made at its final size never
    // needs it.
    [[gnu::noinline]] void MakeRoom() {
        if (Full()) {
            Rebuild(mLive + 1);  // doubles
        } else if (mEntries.size() == mEntries.capacity() && mSlots.empty()) {
            // Small dictionaries (a record's fields) grow 8, 16, 24 and then get their index,
            // never past the scan's limit to a capacity they would leave mostly empty.
            mEntries.reserve(std::clamp(mEntries.size() * 2, kFirstRoom, kLinearMax));
        }
    }

    void Remove(size_t position) {
        Entry& e = mEntries[position];
        const void* k = e.key;
        const void* v = e.value;
        e.live = false;
        --mLive;
        if (mEntries.size() - mLive > 16 && mEntries.size() - mLive > mLive) {
            try {
                Rebuild(0);
            } catch (const std::bad_alloc&) {
                // The index stays valid with dead entries in it; try again on a later removal.
            }
        }
        ReleasePair(k, v);  // last: releasing may run arbitrary code
    }

    bool EqualTo(const Object& other) const override {
        const auto& o = static_cast<const __CFDictionary&>(other);
        if (mLive != o.mLive) return false;
        for (const Entry& e : mEntries) {
            if (!e.live) continue;
            long p = o.Find(e.key);
            if (p < 0 || !ValuesEqual(e.value, o.mEntries[static_cast<size_t>(p)].value))
                return false;
        }
        return true;
    }
    CFHashCode HashValue() const override { return mLive; }
    void Describe(std::string& out) const override {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "<CFDictionary %zu pairs>", size_t{mLive});
        out += buffer;
    }

    // The shared callbacks, or mOwnCallBacks: a pointer where a copy would take 88 bytes.
    const CallBacks* mCallBacks = nullptr;
    std::unique_ptr<const CallBacks> mOwnCallBacks;
    std::vector<Entry> mEntries;
    static constexpr size_t kLinearMax = 24;
    static constexpr size_t kFirstRoom = 8;
    static constexpr size_t kRoomHintMax = 1024;
    std::vector<uint32_t> mSlots;  // 0: empty, else entry position + 1; none when small
    // 32 bits, as the index's positions are; the pair fills the word the count took.
    uint32_t mLive = 0;
    // One bit per key present, chosen by the top bits of its hash (a bit may stay set after a
    // removal): a small dictionary without a key's bit does not hold it, without a scan.
    uint32_t mKeyBits = 0;
    static uint32_t KeyBit(StoredHash h) {
        return uint32_t{1} << (h >> (sizeof(StoredHash) * 8 - 5));
    }
};
// Growing it moves a large tree's dictionaries to the next malloc size class, which costs a
// library's store thousands more page faults.
static_assert(sizeof(__CFDictionary) == sizeof(cf::Object) + 72);

namespace cf {
namespace {

__CFDictionary* AsDictionary(CFTypeRef ref) {
    return As<__CFDictionary>(ref, kDictionaryTypeID);
}

__CFDictionary* MutableDictionary(CFMutableDictionaryRef ref) {
    __CFDictionary* d = AsDictionary(ref);
    return d && d->IsMutableObject() ? d : nullptr;
}

// Set through the dictionary's callbacks; `replace`/`add` choose which cases act. Inline, so
// that each entry point gets the code of its own case.
[[gnu::always_inline]] inline void Store(__CFDictionary* d, const void* key, const void* value,
                                         bool add, bool replace) {
    CFHashCode h = d->HashKey(key);
    long p = d->mEntries.empty() ? -1 : d->Find(key, h);
    if (p >= 0) {
        if (!replace) return;
        Entry& e = d->mEntries[static_cast<size_t>(p)];
        const void* held = d->RetainValue(value);  // before releasing: it may be the old one
        d->ReleaseValue(std::exchange(e.value, held));
        return;
    }
    if (!add) return;
    const void* k = d->RetainKey(key);
    const void* v = d->RetainValue(value);
    try {
        d->Insert(k, v, k == key ? h : d->HashKey(k));  // a retain callback may copy
    } catch (const std::bad_alloc&) {
        d->ReleasePair(k, v);
    }
}

__CFDictionary* Copy(const __CFDictionary* source, bool isMutable) {
    __CFDictionary* copy =
        New<__CFDictionary>(&source->KeyCallBacks(), &source->ValueCallBacks(), isMutable);
    if (!copy) return nullptr;
    try {
        copy->Rebuild(source->mLive);
        for (const Entry& e : source->mEntries)
            if (e.live) copy->Insert(copy->RetainKey(e.key), copy->RetainValue(e.value));
    } catch (const std::bad_alloc&) {  // cannot happen after the reserve; kept for safety
        Release(copy);
        return nullptr;
    }
    return copy;
}

}  // namespace

CFDictionaryRef CreateDictionary(size_t capacity, bool isMutable) {
    __CFDictionary* d = New<__CFDictionary>(&kCFTypeDictionaryKeyCallBacks,
                                            &kCFTypeDictionaryValueCallBacks, isMutable);
    if (d && capacity) {
        try {
            d->Rebuild(capacity);
        } catch (const std::bad_alloc&) {
            Release(d);
            return nullptr;
        }
    }
    return d;
}

bool DictionarySetAdopting(CFDictionaryRef dictionary, CFTypeRef key, CFTypeRef value) {
    __CFDictionary* d = AsDictionary(dictionary);
    try {
        if (d) {
            d->SetAdopting(key, value);
            return true;
        }
    } catch (const std::bad_alloc&) {
    }
    Release(key);
    Release(value);
    return false;
}

CFDictionaryRef CreateDictionaryAdopting(const CFTypeRef* keys, const CFTypeRef* values,
                                         size_t count, bool isMutable) {
    auto releaseFrom = [&](size_t i) {
        for (; i < count; ++i) Release(keys[i]), Release(values[i]);
    };
    __CFDictionary* d = New<__CFDictionary>(&kCFTypeDictionaryKeyCallBacks,
                                            &kCFTypeDictionaryValueCallBacks, isMutable);
    if (!d) return releaseFrom(0), nullptr;
    size_t i = 0;
    try {
        d->Rebuild(count);  // every insert below then fits
        for (; i < count; ++i) d->SetAdopting(keys[i], values[i]);
    } catch (const std::bad_alloc&) {
        releaseFrom(i);
        Release(d);
        return nullptr;
    }
    return d;
}

CFDictionaryRef CreateDictionaryAdoptingDistinct(const CFTypeRef* keys, const CFTypeRef* values,
                                                 size_t count, bool isMutable) {
    __CFDictionary* d = New<__CFDictionary>(&kCFTypeDictionaryKeyCallBacks,
                                            &kCFTypeDictionaryValueCallBacks, isMutable);
    try {
        if (d) d->Rebuild(count);  // every insert below then fits, so none can throw
    } catch (const std::bad_alloc&) {
        Release(d);
        d = nullptr;
    }
    for (size_t i = 0; i < count; ++i) {
        if (d) {
            d->Insert(keys[i], values[i]);
        } else {
            Release(keys[i]);
            Release(values[i]);
        }
    }
    return d;
}

size_t DictionaryCount(CFDictionaryRef dictionary) {
    const __CFDictionary* d = AsDictionary(dictionary);
    return d ? d->mLive : 0;
}

void DictionaryGetKeysAndValues(CFDictionaryRef dictionary, CFTypeRef* keys, CFTypeRef* values) {
    const __CFDictionary* d = AsDictionary(dictionary);
    if (!d) return;
    for (const Entry& e : d->mEntries) {
        if (!e.live) continue;
        *keys++ = e.key;
        *values++ = e.value;
    }
}

CFTypeRef DictionaryGetValue(CFDictionaryRef dictionary, CFTypeRef key) {
    const __CFDictionary* d = AsDictionary(dictionary);
    if (!d) return nullptr;
    long p = d->Find(key);
    return p >= 0 ? d->mEntries[static_cast<size_t>(p)].value : nullptr;
}

void DictionaryApply(CFDictionaryRef dictionary, CFDictionaryApplierFunction applier,
                     void* context) {
    const __CFDictionary* d = AsDictionary(dictionary);
    if (!d || !applier) return;
    // By position, so a misbehaving applier that grows the dictionary cannot invalidate us.
    for (size_t i = 0; i < d->mEntries.size(); ++i) {
        const Entry& e = d->mEntries[i];
        if (e.live) applier(e.key, e.value, context);
    }
}

}  // namespace cf

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,
                                                                cf::callbacks::Retain,
                                                                cf::callbacks::Release,
                                                                cf::callbacks::CopyDescription,
                                                                cf::callbacks::Equal,
                                                                cf::callbacks::Hash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0,
    cf::callbacks::CopyStringRetain,
    cf::callbacks::Release,
    cf::callbacks::CopyDescription,
    cf::callbacks::Equal,
    cf::callbacks::Hash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, cf::callbacks::Retain, cf::callbacks::Release, cf::callbacks::CopyDescription,
    cf::callbacks::Equal};

CFTypeID CFDictionaryGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryGetTypeID", injected)) return 0;
    return cf::kDictionaryTypeID;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryCreate", injected)) return nullptr;
    if (numValues < 0 || (numValues > 0 && (!keys || !values))) return nullptr;
    __CFDictionary* d = cf::New<__CFDictionary>(keyCallBacks, valueCallBacks, false);
    if (!d) return nullptr;
    try {
        d->Rebuild(static_cast<size_t>(numValues));
    } catch (const std::bad_alloc&) {
        cf::Release(d);
        return nullptr;
    }
    for (CFIndex i = 0; i < numValues; ++i) cf::Store(d, keys[i], values[i], true, true);
    return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryCreateCopy", injected)) return nullptr;
    const __CFDictionary* d = cf::AsDictionary(theDict);
    return d ? cf::Copy(d, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryCreateMutable", injected) || capacity < 0) return nullptr;
    __CFDictionary* d = cf::New<__CFDictionary>(keyCallBacks, valueCallBacks, true);
    // The capacity is the most the caller means to put in: room for it (up to a bound) spares
    // growing. It limits nothing, and without memory for it the dictionary just starts empty.
    if (d && capacity > 0) {
        try {
            d->Rebuild(std::min(static_cast<size_t>(capacity), __CFDictionary::kRoomHintMax));
        } catch (const std::bad_alloc&) {
        }
    }
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex capacity,
                                                     CFDictionaryRef theDict) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryCreateMutableCopy", injected) || capacity < 0) return nullptr;
    const __CFDictionary* d = cf::AsDictionary(theDict);
    return d ? cf::Copy(d, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryGetCount", injected)) return 0;
    return static_cast<CFIndex>(cf::DictionaryCount(theDict));
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryContainsKey", injected)) return false;
    const __CFDictionary* d = cf::AsDictionary(theDict);
    return d && d->Find(key) >= 0;
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryContainsValue", injected)) return false;
    const __CFDictionary* d = cf::AsDictionary(theDict);
    if (!d) return false;
    for (const Entry& e : d->mEntries)
        if (e.live && d->ValuesEqual(e.value, value)) return true;
    return false;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryGetValue", injected)) return nullptr;
    return cf::DictionaryGetValue(theDict, key);
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryGetValueIfPresent", injected)) {
        if (value) *value = nullptr;
        return false;
    }
    const __CFDictionary* d = cf::AsDictionary(theDict);
    long p = d ? d->Find(key) : -1;
    if (p < 0) return false;
    if (value) *value = d->mEntries[static_cast<size_t>(p)].value;
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryGetKeysAndValues", injected)) return;
    const __CFDictionary* d = cf::AsDictionary(theDict);
    if (!d) return;
    size_t i = 0;
    for (const Entry& e : d->mEntries) {
        if (!e.live) continue;
        if (keys) keys[i] = e.key;
        if (values) values[i] = e.value;
        ++i;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier,
                               void* context) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryApplyFunction", injected)) return;
    cf::DictionaryApply(theDict, applier, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryAddValue", injected)) return;
    if (__CFDictionary* d = cf::MutableDictionary(theDict)) cf::Store(d, key, value, true, false);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFDictionarySetValue", injected)) return;
    if (__CFDictionary* d = cf::MutableDictionary(theDict)) cf::Store(d, key, value, true, true);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryReplaceValue", injected)) return;
    if (__CFDictionary* d = cf::MutableDictionary(theDict)) cf::Store(d, key, value, false, true);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryRemoveValue", injected)) return;
    __CFDictionary* d = cf::MutableDictionary(theDict);
    long p = d ? d->Find(key) : -1;
    if (p >= 0) d->Remove(static_cast<size_t>(p));
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
    int32_t injected;
    if (PT_ENTER("CFDictionaryRemoveAllValues", injected)) return;
    __CFDictionary* d = cf::MutableDictionary(theDict);
    if (!d) return;
    std::vector<Entry> old;
    old.swap(d->mEntries);
    d->mSlots.clear();
    d->mLive = 0;
    d->mKeyBits = 0;
    for (const Entry& e : old)
        if (e.live) d->ReleasePair(e.key, e.value);
}

}  // extern "C"

// CFArray: a vector of values whose lifetime and equality follow the array's callbacks.
#include <CoreFoundation/CFArray.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

struct __CFArray final : cf::Object {
    __CFArray(const CFArrayCallBacks* callBacks, bool isMutable)
        : Object(cf::kArrayTypeID, isMutable),
          mCallBacks(callBacks ? *callBacks
                               : CFArrayCallBacks{0, nullptr, nullptr, nullptr, nullptr}) {}
    ~__CFArray() override {
        if (mCallBacks.release == cf::callbacks::Release) {  // without the dispatch per value
            for (const void* v : mValues) cf::Release(v);
        } else if (mCallBacks.release) {
            for (const void* v : mValues) mCallBacks.release(nullptr, v);
        }
    }

    const void* RetainValue(const void* v) const {
        return mCallBacks.retain ? mCallBacks.retain(nullptr, v) : v;
    }
    void ReleaseValue(const void* v) const {
        if (mCallBacks.release) mCallBacks.release(nullptr, v);
    }
    bool ValuesEqual(const void* a, const void* b) const {
        return a == b || (mCallBacks.equal && mCallBacks.equal(a, b));
    }

    bool EqualTo(const Object& other) const override {
        const auto& o = static_cast<const __CFArray&>(other);
        if (mValues.size() != o.mValues.size()) return false;
        for (size_t i = 0; i < mValues.size(); ++i)
            if (!ValuesEqual(mValues[i], o.mValues[i])) return false;
        return true;
    }
    CFHashCode HashValue() const override { return mValues.size(); }
    void Describe(std::string& out) const override {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "<CFArray %zu values>", mValues.size());
        out += buffer;
    }

    CFArrayCallBacks mCallBacks;
    std::vector<const void*> mValues;
};

namespace cf {
namespace {

__CFArray* AsArray(CFTypeRef ref) {
    return As<__CFArray>(ref, kArrayTypeID);
}

__CFArray* MutableArray(CFMutableArrayRef ref) {
    __CFArray* a = AsArray(ref);
    return a && a->IsMutableObject() ? a : nullptr;
}

// A copy of `source` with its callbacks; values retained through them.
__CFArray* Copy(const __CFArray* source, bool isMutable) {
    __CFArray* copy = New<__CFArray>(&source->mCallBacks, isMutable);
    if (!copy) return nullptr;
    try {
        copy->mValues.reserve(source->mValues.size());
    } catch (const std::bad_alloc&) {
        Release(copy);
        return nullptr;
    }
    for (const void* v : source->mValues) copy->mValues.push_back(copy->RetainValue(v));
    return copy;
}

}  // namespace

CFArrayRef CreateArray(size_t capacity, bool isMutable) {
    __CFArray* array = New<__CFArray>(&kCFTypeArrayCallBacks, isMutable);
    if (array && capacity) {
        try {
            array->mValues.reserve(capacity);
        } catch (const std::bad_alloc&) {
            Release(array);
            return nullptr;
        }
    }
    return array;
}

CFArrayRef CreateArrayAdopting(std::vector<CFTypeRef>&& values, bool isMutable) {
    __CFArray* array = New<__CFArray>(&kCFTypeArrayCallBacks, isMutable);
    if (!array) {
        for (CFTypeRef v : values) Release(v);
        return nullptr;
    }
    array->mValues = std::move(values);
    return array;
}

bool ArrayAppendAdopting(CFArrayRef array, CFTypeRef value) {
    __CFArray* a = AsArray(array);
    if (!a) {
        Release(value);
        return false;
    }
    try {
        a->mValues.push_back(value);
    } catch (const std::bad_alloc&) {
        Release(value);
        return false;
    }
    return true;
}

size_t ArrayCount(CFArrayRef array) {
    const __CFArray* a = AsArray(array);
    return a ? a->mValues.size() : 0;
}

CFTypeRef ArrayValue(CFArrayRef array, size_t index) {
    const __CFArray* a = AsArray(array);
    return a && index < a->mValues.size() ? a->mValues[index] : nullptr;
}

void ArrayApply(CFArrayRef array, CFArrayApplierFunction applier, void* context) {
    const __CFArray* a = AsArray(array);
    if (!a || !applier) return;
    for (const void* v : a->mValues) applier(v, context);
}

}  // namespace cf

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, cf::callbacks::Retain, cf::callbacks::Release,
                                                cf::callbacks::CopyDescription,
                                                cf::callbacks::Equal};

CFTypeID CFArrayGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFArrayGetTypeID", injected)) return 0;
    return cf::kArrayTypeID;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
    int32_t injected;
    if (PT_ENTER("CFArrayCreate", injected)) return nullptr;
    if (numValues < 0 || (!values && numValues > 0)) return nullptr;
    __CFArray* array = cf::New<__CFArray>(callBacks, false);
    if (!array) return nullptr;
    try {
        array->mValues.reserve(static_cast<size_t>(numValues));
    } catch (const std::bad_alloc&) {
        cf::Release(array);
        return nullptr;
    }
    for (CFIndex i = 0; i < numValues; ++i) array->mValues.push_back(array->RetainValue(values[i]));
    return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
    int32_t injected;
    if (PT_ENTER("CFArrayCreateCopy", injected)) return nullptr;
    const __CFArray* source = cf::AsArray(theArray);
    return source ? cf::Copy(source, false) : nullptr;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
    int32_t injected;
    if (PT_ENTER("CFArrayCreateMutable", injected) || capacity < 0) return nullptr;
    return cf::New<__CFArray>(callBacks, true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFArrayRef theArray) {
    int32_t injected;
    if (PT_ENTER("CFArrayCreateMutableCopy", injected) || capacity < 0) return nullptr;
    const __CFArray* source = cf::AsArray(theArray);
    return source ? cf::Copy(source, true) : nullptr;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    int32_t injected;
    if (PT_ENTER("CFArrayGetCount", injected)) return 0;
    return static_cast<CFIndex>(cf::ArrayCount(theArray));
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    int32_t injected;
    if (PT_ENTER("CFArrayGetValueAtIndex", injected) || idx < 0) return nullptr;
    return cf::ArrayValue(theArray, static_cast<size_t>(idx));
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values) {
    int32_t injected;
    if (PT_ENTER("CFArrayGetValues", injected)) return;
    const __CFArray* a = cf::AsArray(theArray);
    if (!a || !values || !cf::RangeInside(range, a->mValues.size())) return;
    for (CFIndex i = 0; i < range.length; ++i) values[i] = a->mValues[range.location + i];
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier,
                          void* context) {
    int32_t injected;
    if (PT_ENTER("CFArrayApplyFunction", injected)) return;
    const __CFArray* a = cf::AsArray(theArray);
    if (!a || !applier || !cf::RangeInside(range, a->mValues.size())) return;
    for (CFIndex i = 0; i < range.length; ++i) applier(a->mValues[range.location + i], context);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFArrayGetFirstIndexOfValue", injected)) return kCFNotFound;
    const __CFArray* a = cf::AsArray(theArray);
    if (!a || !cf::RangeInside(range, a->mValues.size())) return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (a->ValuesEqual(a->mValues[i], value)) return i;
    return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFArrayContainsValue", injected)) return false;
    const __CFArray* a = cf::AsArray(theArray);
    if (!a || !cf::RangeInside(range, a->mValues.size())) return false;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (a->ValuesEqual(a->mValues[i], value)) return true;
    return false;
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFArrayAppendValue", injected)) return;
    __CFArray* a = cf::MutableArray(theArray);
    if (!a) return;
    const void* held = a->RetainValue(value);
    try {
        a->mValues.push_back(held);
    } catch (const std::bad_alloc&) {
        a->ReleaseValue(held);
    }
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFArrayInsertValueAtIndex", injected)) return;
    __CFArray* a = cf::MutableArray(theArray);
    if (!a || idx < 0 || static_cast<size_t>(idx) > a->mValues.size()) return;
    const void* held = a->RetainValue(value);
    try {
        a->mValues.insert(a->mValues.begin() + idx, held);
    } catch (const std::bad_alloc&) {
        a->ReleaseValue(held);
    }
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
    int32_t injected;
    if (PT_ENTER("CFArraySetValueAtIndex", injected)) return;
    __CFArray* a = cf::MutableArray(theArray);
    if (!a || idx < 0 || static_cast<size_t>(idx) > a->mValues.size()) return;
    const void* held = a->RetainValue(value);  // before releasing: value may be the old one
    if (static_cast<size_t>(idx) == a->mValues.size()) {  // one past the end appends
        try {
            a->mValues.push_back(held);
        } catch (const std::bad_alloc&) {
            a->ReleaseValue(held);
        }
        return;
    }
    a->ReleaseValue(std::exchange(a->mValues[static_cast<size_t>(idx)], held));
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
    int32_t injected;
    if (PT_ENTER("CFArrayRemoveValueAtIndex", injected)) return;
    __CFArray* a = cf::MutableArray(theArray);
    if (!a || idx < 0 || static_cast<size_t>(idx) >= a->mValues.size()) return;
    const void* old = a->mValues[static_cast<size_t>(idx)];
    a->mValues.erase(a->mValues.begin() + idx);
    a->ReleaseValue(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
    int32_t injected;
    if (PT_ENTER("CFArrayRemoveAllValues", injected)) return;
    __CFArray* a = cf::MutableArray(theArray);
    if (!a) return;
    std::vector<const void*> old;
    old.swap(a->mValues);
    for (const void* v : old) a->ReleaseValue(v);
}

}  // extern "C"

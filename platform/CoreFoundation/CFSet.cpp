// CFSet: distinct CF values, kept in the order they were first added. Made only by the binary
// property-list reader; the XML writer refuses it, as the real one does.
#include <CoreFoundation/CFSet.h>

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

struct __CFSet final : cf::Object {
    __CFSet() : Object(cf::kSetTypeID, false) {}
    ~__CFSet() override {
        for (CFTypeRef v : mValues) cf::Release(v);
    }

    bool EqualTo(const Object& other) const override {
        const auto& o = static_cast<const __CFSet&>(other);
        if (mValues.size() != o.mValues.size()) return false;
        for (CFTypeRef v : mValues)
            if (!o.Contains(v)) return false;
        return true;
    }
    CFHashCode HashValue() const override { return mValues.size(); }
    void Describe(std::string& out) const override {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "<CFSet %zu values>", mValues.size());
        out += buffer;
    }

    bool Contains(CFTypeRef value) const {
        auto [first, last] = mByHash.equal_range(cf::Hash(value));
        for (auto it = first; it != last; ++it)
            if (cf::Equal(mValues[it->second], value)) return true;
        return false;
    }

    std::vector<CFTypeRef> mValues;
    std::unordered_multimap<CFHashCode, size_t> mByHash;  // hash -> index in mValues
};

namespace cf {

CFSetRef CreateSetAdopting(std::vector<CFTypeRef>&& values) {
    __CFSet* set = New<__CFSet>();
    if (!set) {
        for (CFTypeRef v : values) Release(v);
        return nullptr;
    }
    try {
        set->mValues.reserve(values.size());
        for (CFTypeRef& v : values) {
            if (set->Contains(v)) continue;  // released below with the rest
            set->mByHash.emplace(Hash(v), set->mValues.size());
            set->mValues.push_back(v);
            v = nullptr;
        }
    } catch (const std::bad_alloc&) {
        for (CFTypeRef v : values) Release(v);
        Release(set);
        return nullptr;
    }
    for (CFTypeRef v : values) Release(v);
    return set;
}

}  // namespace cf

extern "C" {

CFTypeID CFSetGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFSetGetTypeID", injected)) return 0;
    return cf::kSetTypeID;
}

CFIndex CFSetGetCount(CFSetRef theSet) {
    int32_t injected;
    if (PT_ENTER("CFSetGetCount", injected)) return 0;
    const __CFSet* set = cf::As<__CFSet>(theSet, cf::kSetTypeID);
    return set ? static_cast<CFIndex>(set->mValues.size()) : 0;
}

void CFSetApplyFunction(CFSetRef theSet, CFSetApplierFunction applier, void* context) {
    int32_t injected;
    if (PT_ENTER("CFSetApplyFunction", injected)) return;
    const __CFSet* set = cf::As<__CFSet>(theSet, cf::kSetTypeID);
    if (!set || !applier) return;
    for (CFTypeRef v : set->mValues) applier(v, context);
}

}  // extern "C"

#include "tools/formats/ExpandedSize.h"

#include <algorithm>
#include <limits>

namespace plisttext {
namespace {

constexpr uint64_t kAll = std::numeric_limits<uint64_t>::max();
// Deeper nesting is refused by every reader and writer; the walk does not follow it either.
constexpr int kMaxDepth = 512;

struct FormCosts {
    std::string_view form;
    ExpansionCosts costs;
};

// A line of XML is at least "<true/>" and its newline, indented one tab a level; JSON, print
// and old-style text put at least a separator or a newline between values, JSON and print two
// spaces a level, old-style text a tab; the binary writer keeps at least four bytes for each
// reference of a container it writes; print shows the first 16 bytes of data; diff compares
// every appearance of a string or data whole.
constexpr FormCosts kForms[] = {
    {"xml", {8, 1, kAll, false}},  {"binary", {4, 0, 0, true}},
    {"json", {2, 2, kAll, false}}, {"openstep", {2, 1, kAll, false}},
    {"print", {2, 2, 16, false}},  {"compare", {1, 0, kAll, false}},
};

class ExpansionWalk {
public:
    ExpansionWalk(const ExpansionCosts& costs, uint64_t limit) : mCosts(costs), mLimit(limit) {}

    void Add(CFTypeRef value, int depth) {
        if (mTotal > mLimit) return;
        Charge(mCosts.perValue + mCosts.perLevel * static_cast<uint64_t>(depth));
        const CFTypeID type = CFGetTypeID(value);
        if (type == CFStringGetTypeID()) {
            if (!mCosts.contentShared) Charge(StringLength(value));
        } else if (type == CFDataGetTypeID()) {
            if (!mCosts.contentShared)
                Charge(std::min<uint64_t>(
                    static_cast<uint64_t>(CFDataGetLength(static_cast<CFDataRef>(value))),
                    mCosts.dataBytes));
        } else if (depth < kMaxDepth && type == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            const CFIndex count = CFArrayGetCount(array);
            for (CFIndex i = 0; i < count && mTotal <= mLimit; ++i)
                Add(CFArrayGetValueAtIndex(array, i), depth + 1);
        } else if (depth < kMaxDepth && type == CFDictionaryGetTypeID()) {
            Context context{this, depth + 1};
            CFDictionaryApplyFunction(static_cast<CFDictionaryRef>(value), AddEntry, &context);
        }
    }
    uint64_t Total() const { return mTotal; }

private:
    struct Context {
        ExpansionWalk* walk;
        int depth;
    };
    static void AddEntry(const void* key, const void* value, void* context) {
        const auto& c = *static_cast<Context*>(context);
        // A key shares its value's line: its own length and a separator, no indentation.
        if (c.walk->mTotal > c.walk->mLimit) return;
        if (!c.walk->mCosts.contentShared && CFGetTypeID(key) == CFStringGetTypeID())
            c.walk->Charge(StringLength(key));
        c.walk->Charge(c.walk->mCosts.perValue);
        c.walk->Add(value, c.depth);
    }
    // UTF-16 units: no form writes a unit in less than a byte.
    static uint64_t StringLength(CFTypeRef string) {
        return static_cast<uint64_t>(CFStringGetLength(static_cast<CFStringRef>(string)));
    }
    // Saturates rather than wrapping past a limit near the top of the range.
    void Charge(uint64_t bytes) { mTotal = bytes > kAll - mTotal ? kAll : mTotal + bytes; }

    const ExpansionCosts& mCosts;
    uint64_t mLimit;
    uint64_t mTotal = 0;
};

}  // namespace

const ExpansionCosts& CostsOf(std::string_view form) {
    for (const FormCosts& entry : kForms)
        if (entry.form == form) return entry.costs;
    return kForms[0].costs;
}

uint64_t ExpandedSize(CFPropertyListRef plist, const ExpansionCosts& costs, uint64_t limit) {
    ExpansionWalk walk(costs, limit);
    walk.Add(plist, 0);
    return walk.Total();
}

uint64_t MeasuredSize(uint64_t appearances, uint64_t depths, uint64_t contentUnits,
                      const ExpansionCosts& costs) {
    uint64_t total = 0;
    const auto add = [&total](uint64_t count, uint64_t cost) {
        const uint64_t bytes = cost != 0 && count > kAll / cost ? kAll : count * cost;
        total = bytes > kAll - total ? kAll : total + bytes;
    };
    add(appearances, costs.perValue);
    add(depths, costs.perLevel);
    if (!costs.contentShared) add(contentUnits, 1);
    return total;
}

}  // namespace plisttext

#include "tools/edit/PlistDiff.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tools/edit/PlistPrint.h"
#include "tools/formats/TextFormatSupport.h"

namespace plistedit {

namespace {

bool SameType(CFTypeRef a, CFTypeRef b) {
    return std::string_view(TypeName(a)) == TypeName(b);
}

std::string KeyText(CFTypeRef key) {
    std::string text, error;
    if (!RawText(key, text, error)) text = ShortText(key);
    return text;
}

// "date 2024-01-05T10:00:26Z", "an array of 2 items": a value whose type changed.
std::string TypedText(CFTypeRef value) {
    const std::string text = ShortText(value);
    const CFTypeID type = CFGetTypeID(value);
    // "UID 5" names its type already.
    if (type == CFArrayGetTypeID() || type == CFDictionaryGetTypeID()) return text;
    return std::string(TypeName(value)) + " " + text;
}

// Array items are matched by a fingerprint of their value: equal values have equal
// fingerprints. Each item's costs at most kFingerprintBudget nodes, so a container shared from
// many places (a binary list's [x, x] nested deep) costs no more than any other; values that
// differ only past that budget may look alike, which only pairs them for the item-by-item
// comparison, which finds their differences.
constexpr size_t kFingerprintBudget = 256;
// The longest-common-subsequence table is kept under this many cells (8 MB of 16-bit lengths:
// its shorter side is then at most 2048 items). Past it, the items between the common start
// and end are compared by index.
constexpr size_t kMaxAlignmentCells = size_t(1) << 22;

uint64_t Mix(uint64_t hash, uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15ULL + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDULL;
}

// Every child of a container gets an equal share of what the container has left, so the
// fingerprint does not depend on the order a dictionary lists its pairs in.
uint64_t Fingerprint(CFTypeRef value, size_t budget) {
    const CFTypeID type = CFGetTypeID(value);
    uint64_t hash = Mix(0, type);
    if (type == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        const auto count = static_cast<size_t>(CFArrayGetCount(array));
        hash = Mix(hash, count);
        if (count == 0 || count > budget) return hash;
        const size_t share = (budget - count) / count;
        for (size_t i = 0; i < count; ++i)
            hash = Mix(hash, Fingerprint(CFArrayGetValueAtIndex(array, CFIndex(i)), share));
        return hash;
    }
    if (type == CFDictionaryGetTypeID()) {
        const auto dictionary = static_cast<CFDictionaryRef>(value);
        const auto count = static_cast<size_t>(CFDictionaryGetCount(dictionary));
        hash = Mix(hash, count);
        if (count == 0 || count > budget) return hash;
        std::vector<const void*> keys(count), values(count);
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        const size_t share = (budget - count) / count;
        uint64_t pairs = 0;  // a sum: the same whatever the order
        for (size_t i = 0; i < count; ++i)
            pairs += Mix(CFHash(keys[i]), Fingerprint(values[i], share));
        return Mix(hash, pairs);
    }
    return Mix(hash, CFHash(value));
}

std::vector<uint64_t> Fingerprints(CFArrayRef array, size_t from, size_t to) {
    std::vector<uint64_t> prints;
    prints.reserve(to - from);
    for (size_t i = from; i < to; ++i)
        prints.push_back(
            Fingerprint(CFArrayGetValueAtIndex(array, CFIndex(i)), kFingerprintBudget));
    return prints;
}

// The pairs of matching items of `a` and `b`, in order: a longest common subsequence, found
// with a table of lengths (at most kMaxAlignmentCells).
std::vector<std::pair<size_t, size_t>> CommonItems(const std::vector<uint64_t>& a,
                                                   const std::vector<uint64_t>& b) {
    const size_t n = a.size(), m = b.size(), width = m + 1;
    std::vector<uint16_t> length((n + 1) * width, 0);  // of a[i..] and b[j..]
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            length[i * width + j] =
                a[i] == b[j] ? uint16_t(length[(i + 1) * width + j + 1] + 1)
                             : std::max(length[(i + 1) * width + j], length[i * width + j + 1]);
    std::vector<std::pair<size_t, size_t>> common;
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (a[i] == b[j]) {
            common.emplace_back(i++, j++);
        } else if (length[(i + 1) * width + j] >= length[i * width + j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return common;
}

// One step of the comparison of two arrays: items compared (both), removed (no `after`) or
// added (no `before`).
struct ArrayStep {
    std::optional<size_t> before, after;
};

// The items between two matches, [beforeFrom, beforeTo) and [afterFrom, afterTo): paired in
// order for comparison, the rest removed or added.
void AppendGap(size_t beforeFrom, size_t beforeTo, size_t afterFrom, size_t afterTo,
               std::vector<ArrayStep>& steps) {
    while (beforeFrom < beforeTo && afterFrom < afterTo)
        steps.push_back({beforeFrom++, afterFrom++});
    while (beforeFrom < beforeTo) steps.push_back({beforeFrom++, std::nullopt});
    while (afterFrom < afterTo) steps.push_back({std::nullopt, afterFrom++});
}

// How the items of two arrays correspond: the common start and end by index, and the middle
// by a longest common subsequence of fingerprints when it fits the table, else by index.
std::vector<ArrayStep> AlignArrays(CFArrayRef before, CFArrayRef after) {
    const auto n = static_cast<size_t>(CFArrayGetCount(before));
    const auto m = static_cast<size_t>(CFArrayGetCount(after));
    auto same = [&](size_t i, size_t j) {
        return Fingerprint(CFArrayGetValueAtIndex(before, CFIndex(i)), kFingerprintBudget) ==
               Fingerprint(CFArrayGetValueAtIndex(after, CFIndex(j)), kFingerprintBudget);
    };
    size_t start = 0, end = 0;
    while (start < n && start < m && same(start, start)) ++start;
    while (end < n - start && end < m - start && same(n - 1 - end, m - 1 - end)) ++end;
    std::vector<ArrayStep> steps;
    for (size_t i = 0; i < start; ++i) steps.push_back({i, i});
    size_t i = start, j = start;
    if ((n - start - end) * (m - start - end) <= kMaxAlignmentCells) {
        const std::vector<uint64_t> a = Fingerprints(before, start, n - end);
        const std::vector<uint64_t> b = Fingerprints(after, start, m - end);
        for (const auto& [ai, bj] : CommonItems(a, b)) {
            AppendGap(i, start + ai, j, start + bj, steps);
            steps.push_back({start + ai, start + bj});
            i = start + ai + 1;
            j = start + bj + 1;
        }
    }
    AppendGap(i, n - end, j, m - end, steps);
    for (size_t k = 0; k < end; ++k) steps.push_back({n - end + k, m - end + k});
    return steps;
}

class Differ {
public:
    explicit Differ(const std::function<void(const Difference&)>& report) : mReport(report) {}

    void Compare(CFTypeRef before, CFTypeRef after) {
        if (mRefused) return;
        if (!SameType(before, after)) return Report(DifferenceKind::ChangedType, before, after);
        const CFTypeID type = CFGetTypeID(before);
        // A UID is one value, not a dictionary to walk into.
        if (type == CFDictionaryGetTypeID() && UIDNumber(before)) {
            if (UIDNumber(before) != UIDNumber(after))
                Report(DifferenceKind::ChangedValue, before, after);
            return;
        }
        // A container shared from many places (a binary list's [x, x] nested 30 deep) would be
        // compared billions of times: refused past the writers' bound instead.
        if ((type == CFArrayGetTypeID() || type == CFDictionaryGetTypeID()) &&
            (!mBeforeVisits.Enter(before) || !mAfterVisits.Enter(after))) {
            mRefused = true;
            mRefusedAt = mPath;
            return;
        }
        if (type == CFArrayGetTypeID())
            return CompareArrays(static_cast<CFArrayRef>(before), static_cast<CFArrayRef>(after));
        if (type == CFDictionaryGetTypeID())
            return CompareDictionaries(static_cast<CFDictionaryRef>(before),
                                       static_cast<CFDictionaryRef>(after));
        if (!CFEqual(before, after)) Report(DifferenceKind::ChangedValue, before, after);
    }

    size_t Count() const { return mCount; }
    bool Refused() const { return mRefused; }
    const KeyPath& RefusedAt() const { return mRefusedAt; }

private:
    void Report(DifferenceKind kind, CFTypeRef before, CFTypeRef after) {
        ++mCount;
        mReport(Difference{kind, mPath, before, after});
    }

    // Removed and compared items are named by their index in `before`, added ones by theirs
    // in `after`.
    void CompareArrays(CFArrayRef before, CFArrayRef after) {
        for (const ArrayStep& step : AlignArrays(before, after)) {
            mPath.components.push_back(std::to_string(step.before ? *step.before : *step.after));
            const void* item =
                step.before ? CFArrayGetValueAtIndex(before, CFIndex(*step.before)) : nullptr;
            const void* other =
                step.after ? CFArrayGetValueAtIndex(after, CFIndex(*step.after)) : nullptr;
            if (!other)
                Report(DifferenceKind::Removed, item, nullptr);
            else if (!item)
                Report(DifferenceKind::Added, nullptr, other);
            else
                Compare(item, other);
            mPath.components.pop_back();
        }
    }

    void CompareDictionaries(CFDictionaryRef before, CFDictionaryRef after) {
        const auto beforeCount = static_cast<size_t>(CFDictionaryGetCount(before));
        const auto afterCount = static_cast<size_t>(CFDictionaryGetCount(after));
        std::vector<const void*> keys(beforeCount), values(beforeCount);
        CFDictionaryGetKeysAndValues(before, keys.data(), values.data());
        for (size_t i = 0; i < beforeCount; ++i) {
            mPath.components.push_back(KeyText(keys[i]));
            const void* other = nullptr;
            if (CFDictionaryGetValueIfPresent(after, keys[i], &other))
                Compare(values[i], other);
            else
                Report(DifferenceKind::Removed, values[i], nullptr);
            mPath.components.pop_back();
        }
        keys.resize(afterCount);
        values.resize(afterCount);
        CFDictionaryGetKeysAndValues(after, keys.data(), values.data());
        for (size_t i = 0; i < afterCount; ++i) {
            if (CFDictionaryContainsKey(before, keys[i])) continue;
            mPath.components.push_back(KeyText(keys[i]));
            Report(DifferenceKind::Added, nullptr, values[i]);
            mPath.components.pop_back();
        }
    }

    const std::function<void(const Difference&)>& mReport;
    KeyPath mPath;
    size_t mCount = 0;
    plisttext::ContainerVisits mBeforeVisits, mAfterVisits;
    bool mRefused = false;
    KeyPath mRefusedAt;
};

}  // namespace

size_t DiffPlists(CFPropertyListRef before, CFPropertyListRef after,
                  const std::function<void(const Difference&)>& report, std::string* error) {
    Differ differ(report);
    differ.Compare(before, after);
    if (differ.Refused() && error)
        *error = DescribeKeyPath(differ.RefusedAt()) + " is a container repeated more than " +
                 std::to_string(plisttext::ContainerVisits::kMaxVisits) + " times";
    return differ.Count();
}

std::string DescribeDifference(const Difference& difference) {
    const std::string where =
        difference.path.IsRoot() ? std::string("(top)") : ShownKeyPath(difference.path);
    switch (difference.kind) {
        case DifferenceKind::Added:
            return "added " + where + ": " + ShortText(difference.after);
        case DifferenceKind::Removed:
            return "removed " + where + ": " + ShortText(difference.before);
        case DifferenceKind::ChangedValue:
            return "changed " + where + ": " + ShortText(difference.before) + " -> " +
                   ShortText(difference.after);
        case DifferenceKind::ChangedType:
            break;
    }
    return "changed type " + where + ": " + TypedText(difference.before) + " -> " +
           TypedText(difference.after);
}

}  // namespace plistedit

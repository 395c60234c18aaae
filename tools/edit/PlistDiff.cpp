#include "tools/edit/PlistDiff.h"

#include <algorithm>
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

    void CompareArrays(CFArrayRef before, CFArrayRef after) {
        const CFIndex beforeCount = CFArrayGetCount(before);
        const CFIndex afterCount = CFArrayGetCount(after);
        for (CFIndex i = 0; i < std::max(beforeCount, afterCount); ++i) {
            mPath.components.push_back(std::to_string(i));
            if (i >= afterCount)
                Report(DifferenceKind::Removed, CFArrayGetValueAtIndex(before, i), nullptr);
            else if (i >= beforeCount)
                Report(DifferenceKind::Added, nullptr, CFArrayGetValueAtIndex(after, i));
            else
                Compare(CFArrayGetValueAtIndex(before, i), CFArrayGetValueAtIndex(after, i));
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
        difference.path.IsRoot() ? std::string("(top)") : FormatKeyPath(difference.path);
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

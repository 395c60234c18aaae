// Comparing two property lists by value: what diff prints. Formats do not matter (an XML and a
// binary list of the same value are equal); an integer and a real are different types even
// when they are the same number.
#ifndef TOOLS_EDIT_PLISTDIFF_H
#define TOOLS_EDIT_PLISTDIFF_H

#include <CoreFoundation/CoreFoundation.h>

#include <functional>
#include <string>

#include "tools/edit/KeyPath.h"

namespace plistedit {

enum class DifferenceKind { Added, Removed, ChangedValue, ChangedType };

struct Difference {
    DifferenceKind kind;
    const KeyPath& path;  // valid during the call only
    CFTypeRef before;     // NULL for Added
    CFTypeRef after;      // NULL for Removed
};

// Calls `report` for each difference between `before` and `after`, in the order of `before`
// (dictionary keys in their own order, then the keys only `after` has; array items by index,
// then the items one array has beyond the other's end). A container that is the same type on
// both sides is compared item by item; anything else is one difference. Returns how many.
// A container met more than ContainerVisits::kMaxVisits times on one side stops the comparison
// with `error` (when given) saying where.
size_t DiffPlists(CFPropertyListRef before, CFPropertyListRef after,
                  const std::function<void(const Difference&)>& report,
                  std::string* error = nullptr);

// One line for a difference, without a newline:
//   added Tracks.4: "x"
//   removed Tracks.5: an array of 2 items
//   changed Name: "a" -> "b"
//   changed type Added: date 2024-01-05T10:00:26Z -> string "2024"
// The top value is named "(top)", an empty key at the top "".
std::string DescribeDifference(const Difference& difference);

}  // namespace plistedit

#endif

// How many bytes a property list comes to once every shared object is written out in full. A
// binary list may reference one object from many places: 400 KB can name a 10 KB string
// 100,000 times, which every text writer then writes 100,000 times. The measure lets a command
// refuse such a list before it writes or builds anything.
#ifndef TOOLS_FORMATS_EXPANDEDSIZE_H
#define TOOLS_FORMATS_EXPANDEDSIZE_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <string_view>

namespace plisttext {

// What each appearance of a value costs in one output form, at the least: the measure is a
// lower bound of what the form writes (or, for binary, of the writer's memory per reference),
// so a list it refuses really is that large.
struct ExpansionCosts {
    uint64_t perValue;   // every value, key and container, each time it appears
    uint64_t perLevel;   // and this much for each level it is nested (indentation)
    uint64_t dataBytes;  // of a data value's bytes, at most this many count
    bool contentShared;  // leaves are written once by value, whatever their count (binary)
};

// The costs of "xml", "binary", "json", "openstep", "print" (the print command's listing) and
// "compare" (diff, whose work is comparing every appearance); xml's for any other name.
const ExpansionCosts& CostsOf(std::string_view form);

// The measure of `plist` in bytes, counting every appearance of a shared value again; once it
// passes `limit`, the walk stops and returns a value above it. Its work is bounded by `limit`
// divided by the cost of a value, and by the size of the value when nothing is shared.
uint64_t ExpandedSize(CFPropertyListRef plist, const ExpansionCosts& costs, uint64_t limit);

// No less than ExpandedSize of a value in which no container appears twice, from counts over
// every appearance of a value or key: how many, the sum of their depths, and their string
// units and data bytes. No walk: the binary reader counts them as it reads.
uint64_t MeasuredSize(uint64_t appearances, uint64_t depths, uint64_t contentUnits,
                      const ExpansionCosts& costs);

}  // namespace plisttext

#endif

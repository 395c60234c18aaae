// The UTF-16 units of a long immutable string, kept in a block of their own that descriptors
// made from the string's characters may share instead of copying. The string and each such
// descriptor hold a reference; the block goes with the last of them. Nobody can tell a shared
// block from a copy: an immutable string never changes its units, and a descriptor never
// changes its bytes in place. Private to the platform stand-in.
#ifndef PLATFORM_COREFOUNDATION_CFSTRINGSHAREDUNITS_H
#define PLATFORM_COREFOUNDATION_CFSTRINGSHAREDUNITS_H

#include <cstddef>

namespace cf {

// Immutable strings of this many units or more keep them in a shared block: below it a copy
// costs less than the bookkeeping.
constexpr size_t kSharedUnitsMin = 16384;

// A block for `count` units (filled in by the caller before anyone reads it) with one
// reference; NULL without memory.
char16_t* NewSharedUnits(size_t count);

// One more reference to the live block that starts at `bytes` and holds exactly `size` bytes;
// false, with nothing retained, when no block does.
bool RetainSharedUnits(const void* bytes, size_t size);

// Drops a reference taken by NewSharedUnits or RetainSharedUnits.
void ReleaseSharedUnits(const void* units);

// Blocks alive now (for tests: a block outliving every owner is a leak).
size_t LiveSharedUnitBlocks();

}  // namespace cf

#endif

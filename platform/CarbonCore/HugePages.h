// Large blocks offered for 2 MB pages.
//
// A command's few large blocks (the XML it writes, that text as UTF-16, a value's long bytes) are
// each written once from start to end. Faulting them in 4 KB at a time costs more system time
// than writing them; offered for huge pages (MADV_HUGEPAGE), the system maps them 2 MB at a
// time where it can. Nothing else changes: where the call is unavailable or declined, pages come
// as before.
#ifndef PLATFORM_CARBONCORE_HUGEPAGES_H
#define PLATFORM_CARBONCORE_HUGEPAGES_H

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace mm {

// Blocks at least this large are worth the call.
inline constexpr size_t kHugePageWorthIt = size_t{4} << 20;

// Offers the pages of [block, block + size) for huge pages; call it before the block is written.
// Every page the block touches is offered, not only its whole 2 MB pages: a mapping offered in
// part would be split in two, and the system could then no longer move it whole when the block
// grows (realloc would copy it instead).
inline void OfferHugePages(void* block, size_t size) {
#if defined(MADV_HUGEPAGE)
    if (!block || size < kHugePageWorthIt) return;
    constexpr uintptr_t kPage = 4096;  // every page size divides this or is a multiple of it
    const auto begin = reinterpret_cast<uintptr_t>(block) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size + kPage - 1) & ~(kPage - 1);
    (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace mm

#endif

// Large blocks offered for 2 MB pages.
//
// A command's few large blocks (the XML it writes, that text as UTF-16, a value's long bytes) are
// each written once from start to end. Faulting them in 4 KB at a time costs more system time
// than writing them; offered for huge pages (MADV_HUGEPAGE), the system maps them 2 MB at a
// time where it can. Nothing else changes: where the call is unavailable or declined, pages come
// as before.
//
// Only blocks up to kHugePageMost are offered. Measured on `store` of a 20 MB library (blocks of
// 25 and 49 MB), huge pages cut its system time from 0.068 s to 0.040 s; on a 100 MB library
// (blocks of 123 and 245 MB) they raised it from 0.33-0.37 s to 0.50-0.55 s, run between other
// large commands: that many fresh 2 MB pages at once cost the system more than the 4 KB faults.
#ifndef PLATFORM_CARBONCORE_HUGEPAGES_H
#define PLATFORM_CARBONCORE_HUGEPAGES_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace mm {

// Blocks at least this large are worth the call, and at most this large gain by it.
inline constexpr size_t kHugePageWorthIt = size_t{4} << 20;
inline constexpr size_t kHugePageMost = size_t{64} << 20;

// Offers the pages of [block, block + size) for huge pages; call it before the block is written.
// Every page the block touches is offered, not only its whole 2 MB pages: a mapping offered in
// part would be split in two, and the system could then no longer move it whole when the block
// grows (realloc would copy it instead).
inline void OfferHugePages(void* block, size_t size) {
#if defined(MADV_HUGEPAGE)
    if (!block || size < kHugePageWorthIt || size > kHugePageMost) return;
    static const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(block) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size + page - 1) & ~(page - 1);
    (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace mm

#endif

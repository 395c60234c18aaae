// Large inputs: the heap grown once, and offered for huge pages; the last value left to the exit.
//
// Parsing a 20 MB list makes about a million small objects; touching their memory 4 KB page by
// page costs as much system time as the parse costs user time. The heap is therefore grown by
// what the tree will need before the parse, and that range is offered for 2 MB pages
// (MADV_HUGEPAGE), which the system grants where it can. Nothing here changes what the program
// computes; where the calls are not available or are declined, it simply runs as before.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tools/cli/ToolSupport.h"

void PrepareHeapFor(size_t inputBytes, size_t treeBytesPerByte) {
    // Below this, faulting pages in one by one costs less than preparing.
    constexpr size_t kWorthIt = size_t{8} << 20;
    if (inputBytes < kWorthIt) return;
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD) && defined(MADV_HUGEPAGE)
    constexpr size_t kBlock = size_t{15} << 20;  // below the threshold set next, header included
    constexpr size_t kMaxReserve = size_t{2} << 30;
    const size_t reserve = std::min(inputBytes * treeBytesPerByte, kMaxReserve);
    // Blocks this size come from the heap (not from separate mappings) while the heap is grown,
    // and freeing them must not give the memory straight back.
    if (!mallopt(M_MMAP_THRESHOLD, static_cast<int>(size_t{16} << 20)) ||
        !mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min<size_t>(kMaxReserve * 2, INT32_MAX))))
        return;
    auto* heapStart = static_cast<uint8_t*>(sbrk(0));
    std::vector<void*> blocks;
    for (size_t grown = 0; grown < reserve; grown += kBlock) {
        void* block = std::malloc(kBlock);  // never touched: no page is faulted in
        if (!block) break;
        blocks.push_back(block);
    }
    auto* heapEnd = static_cast<uint8_t*>(sbrk(0));
    for (void* block : blocks) std::free(block);
    // Large blocks go to their own mappings again (the output buffer grows in place there).
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(heapStart) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(heapEnd) & ~(kHuge - 1);
    if (end > start) (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

void PrepareHeapForFile(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        PrepareHeapFor(static_cast<size_t>(status.st_size));
}

void PrepareHeapForList(std::string_view bytes) {
    constexpr size_t kBinaryDensity = 3;
    const bool binary = bytes.starts_with("bplist");
    PrepareHeapFor(binary && bytes.size() <= SIZE_MAX / kBinaryDensity
                       ? bytes.size() * kBinaryDensity
                       : bytes.size());
}

namespace {
CFPropertyListRef gLeftUntilExit = nullptr;  // released only by the exit
}  // namespace

void LeaveUntilExit(CFRef<CFPropertyListRef>& value) {
    if (gLeftUntilExit) CFRelease(gLeftUntilExit);
    gLeftUntilExit = value.Detach();
}

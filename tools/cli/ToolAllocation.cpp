// The tool's own operator new: the library's, plus a count of the allocations that failed, so
// that a command the addition answers with a bare status (-10000 for an exception, -4960 for a
// list that could not be written, -43 for a file that could not be read) is named as running
// out of memory when that is what happened. The addition and the platform allocate through
// this operator too: it is the process's. Left out under AddressSanitizer, whose own operators
// check that every block is freed the way it was made.
#include <atomic>
#include <cstdlib>
#include <new>

#include "common/Sanitizers.h"
#include "tools/cli/ToolSupport.h"

namespace {

std::atomic<unsigned long> gFailedAllocations{0};

}  // namespace

unsigned long FailedAllocations() {
    return gFailedAllocations.load(std::memory_order_relaxed);
}

#ifndef PLISTBRIDGE_ASAN
namespace {

void* Allocate(std::size_t size) {
    for (;;) {
        if (void* block = std::malloc(size ? size : 1)) return block;
        gFailedAllocations.fetch_add(1, std::memory_order_relaxed);
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void* AllocateOrNull(std::size_t size) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrNull(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
#endif

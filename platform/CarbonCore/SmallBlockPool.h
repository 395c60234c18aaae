// The platform's allocator for small blocks: descriptor payloads and CF objects. Internal to
// the platform library.
#ifndef PLATFORM_CARBONCORE_SMALLBLOCKPOOL_H
#define PLATFORM_CARBONCORE_SMALLBLOCKPOOL_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

#include "common/Sanitizers.h"

namespace mm {

// A short spin lock: the pools are held for a few instructions at a time, and objects are made
// from one thread at a time in practice.
class SpinGuard {
public:
    explicit SpinGuard(std::atomic_flag& flag) : mFlag(flag) {
        while (mFlag.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinGuard() { mFlag.clear(std::memory_order_release); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;

private:
    std::atomic_flag& mFlag;
};

// Under AddressSanitizer every block comes from the C++ heap, so misuse is still caught.
#ifdef PLISTBRIDGE_ASAN
inline constexpr bool kPoolSmallBlocks = false;
#else
inline constexpr bool kPoolSmallBlocks = true;
#endif

// Blocks of up to kLimit bytes in 16-byte size classes, carved from 64 KB slabs and kept on a
// free list per class once released; slabs are never given back. A large document is hundreds
// of thousands of short strings, numbers and descriptors: taking and giving back a block costs a
// fraction of malloc and free, carries no chunk header, and freeing a whole tree merges nothing.
// Constant-initialisable, so a pool can outlive every object in it.
template <size_t kLimit>
class SmallBlockPool {
public:
    static constexpr size_t kGranule = 16;
    static_assert(kLimit % kGranule == 0);

    // The size class of a block of `bytes` (1 to kLimit).
    static constexpr size_t ClassOf(size_t bytes) { return (bytes - 1) / kGranule; }

    void* Take(size_t bytes) {  // throws std::bad_alloc
        const size_t sizeClass = ClassOf(bytes);
        SpinGuard guard(mLock);
        if (FreeBlock* block = mFree[sizeClass]) {
            mFree[sizeClass] = block->next;
            return block;
        }
        const size_t size = (sizeClass + 1) * kGranule;
        if (mLeft < size) NewSlab();
        void* block = mCursor;
        mCursor += size;
        mLeft -= size;
        return block;
    }
    void Give(void* p, size_t bytes) {
        const size_t sizeClass = ClassOf(bytes);
        SpinGuard guard(mLock);
        auto* block = ::new (p) FreeBlock{mFree[sizeClass]};
        mFree[sizeClass] = block;
    }

private:
    static constexpr size_t kSlab = 64 * 1024;
    struct FreeBlock {
        FreeBlock* next;
    };
    // Each slab starts with a link to the one before, so all stay reachable.
    struct alignas(kGranule) Slab {
        Slab* previous;
    };

    void NewSlab() {
        auto* slab = ::new (::operator new(kSlab)) Slab{mSlabs};
        mSlabs = slab;
        mCursor = reinterpret_cast<uint8_t*>(slab) + sizeof(Slab);
        mLeft = kSlab - sizeof(Slab);
    }

    std::atomic_flag mLock = ATOMIC_FLAG_INIT;
    FreeBlock* mFree[kLimit / kGranule] = {};
    Slab* mSlabs = nullptr;
    uint8_t* mCursor = nullptr;
    size_t mLeft = 0;
};

}  // namespace mm

#endif

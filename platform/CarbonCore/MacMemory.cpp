// Pointer blocks on the C heap, with the last status per thread.
#include <CoreServices/MacMemory.h>

#include <cstdlib>
#include <cstring>

#include "platform/Testing/PTInternal.h"

namespace {
thread_local OSErr tMemError = noErr;

Ptr Allocate(const char* name, Size byteCount, bool clear) {
    (void)name;
    if (byteCount < 0) {
        tMemError = paramErr;
        return nullptr;
    }
    // malloc(0) may return NULL; a zero-byte block is still a block.
    void* p = clear ? std::calloc(byteCount ? static_cast<size_t>(byteCount) : 1, 1)
                    : std::malloc(byteCount ? static_cast<size_t>(byteCount) : 1);
    tMemError = p ? OSErr{noErr} : OSErr{memFullErr};
    return static_cast<Ptr>(p);
}
}  // namespace

extern "C" {

Ptr NewPtr(Size byteCount) {
    int32_t injected;
    if (PT_ENTER("NewPtr", injected)) {
        tMemError = static_cast<OSErr>(injected);
        return nullptr;
    }
    return Allocate("NewPtr", byteCount, false);
}

Ptr NewPtrClear(Size byteCount) {
    int32_t injected;
    if (PT_ENTER("NewPtrClear", injected)) {
        tMemError = static_cast<OSErr>(injected);
        return nullptr;
    }
    return Allocate("NewPtrClear", byteCount, true);
}

void DisposePtr(Ptr p) {
    int32_t injected;
    if (PT_ENTER("DisposePtr", injected)) {
        // An injected failure still frees: a leak would only hide the caller's real path.
    }
    std::free(p);
    tMemError = noErr;
}

OSErr MemError(void) {
    int32_t injected;
    if (PT_ENTER("MemError", injected)) return static_cast<OSErr>(injected);
    return tMemError;
}

}  // extern "C"

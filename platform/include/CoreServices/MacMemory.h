/*
 * MacMemory.h — pointer blocks.
 */
#ifndef __MACMEMORY__
#define __MACMEMORY__

#include <CoreServices/MacErrors.h>
#include <CoreServices/MacTypes.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

/* NewPtr: a block of byteCount bytes the caller frees with DisposePtr, or NULL with
   MemError() memFullErr (a negative size gives NULL and paramErr). */
Ptr NewPtr(Size byteCount);

/* NewPtrClear: as NewPtr, the bytes zeroed. */
Ptr NewPtrClear(Size byteCount);

/* DisposePtr: frees a block from NewPtr; NULL is accepted and does nothing. */
void DisposePtr(Ptr p);

/* MemError: the status of this thread's last NewPtr, NewPtrClear or DisposePtr. */
OSErr MemError(void);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif

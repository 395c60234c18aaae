/* CFData.h — immutable and mutable byte buffers. */
#ifndef __COREFOUNDATION_CFDATA__
#define __COREFOUNDATION_CFDATA__

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef const struct __CFData* CFDataRef;
typedef struct __CFData* CFMutableDataRef;

CF_EXPORT CFTypeID CFDataGetTypeID(void);

/* +1 data holding a copy of `length` bytes (bytes may be NULL when length is 0); NULL for a
   negative length. */
CF_EXPORT CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);

/*
 * +1 data that adopts `bytes` without copying. When the data is freed the bytes are passed to
 * free() unless bytesDeallocator is kCFAllocatorNull (the caller keeps them alive then). The
 * stand-in's allocators are all malloc-based, so any other deallocator means free(). On
 * failure the bytes are not freed.
 */
CF_EXPORT CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8* bytes,
                                                CFIndex length, CFAllocatorRef bytesDeallocator);

/* +1 immutable copy. */
CF_EXPORT CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData);

/* +1 empty mutable data; capacity is a hint (0 = no limit). */
CF_EXPORT CFMutableDataRef CFDataCreateMutable(CFAllocatorRef allocator, CFIndex capacity);

/* +1 mutable copy of theData (empty when theData is NULL). */
CF_EXPORT CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                                   CFDataRef theData);

/* Byte count; 0 for NULL. */
CF_EXPORT CFIndex CFDataGetLength(CFDataRef theData);

/* The bytes (never NULL for a data object, even when empty); valid until the data is freed
   or a mutable data is resized. */
CF_EXPORT const UInt8* CFDataGetBytePtr(CFDataRef theData);

/* NULL for an immutable data. */
CF_EXPORT UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData);

/* Copies the bytes of `range`; nothing when the range lies outside the data. */
CF_EXPORT void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer);

/* Mutators do nothing on an immutable data or with invalid arguments; new bytes are zero. */
CF_EXPORT void CFDataSetLength(CFMutableDataRef theData, CFIndex length);
CF_EXPORT void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength);
CF_EXPORT void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length);
CF_EXPORT void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                                  CFIndex newLength);
CF_EXPORT void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range);

CF_EXTERN_C_END

#endif

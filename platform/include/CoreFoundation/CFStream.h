/* CFStream.h — write streams, as far as property lists are written to them. */
#ifndef __COREFOUNDATION_CFSTREAM__
#define __COREFOUNDATION_CFSTREAM__

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef struct __CFWriteStream* CFWriteStreamRef;

typedef CF_ENUM(CFIndex, CFStreamStatus) {
    kCFStreamStatusNotOpen = 0,
    kCFStreamStatusOpening = 1,
    kCFStreamStatusOpen = 2,
    kCFStreamStatusReading = 3,
    kCFStreamStatusWriting = 4,
    kCFStreamStatusAtEnd = 5,
    kCFStreamStatusClosed = 6,
    kCFStreamStatusError = 7
};

/* The property of a memory stream that holds everything written so far (a +1 copy). */
CF_EXPORT CFStringRef kCFStreamPropertyDataWritten;

CF_EXPORT CFTypeID CFWriteStreamGetTypeID(void);

/* +1 stream that collects what is written in memory (see kCFStreamPropertyDataWritten). The
   allocators are ignored. */
CF_EXPORT CFWriteStreamRef CFWriteStreamCreateWithAllocatedBuffers(CFAllocatorRef alloc,
                                                                   CFAllocatorRef bufferAllocator);

/* +1 stream that writes the file a file: URL names, created or truncated when opened; NULL for
   another kind of URL. */
CF_EXPORT CFWriteStreamRef CFWriteStreamCreateWithFile(CFAllocatorRef alloc, CFURLRef fileURL);

/* Opens the stream; false (status kCFStreamStatusError) when the file cannot be opened or the
   stream was opened before. */
CF_EXPORT Boolean CFWriteStreamOpen(CFWriteStreamRef stream);

/* Writes `bufferLength` bytes; returns how many were written, or -1 on an error or when the
   stream is not open. */
CF_EXPORT CFIndex CFWriteStreamWrite(CFWriteStreamRef stream, const UInt8* buffer,
                                     CFIndex bufferLength);

CF_EXPORT void CFWriteStreamClose(CFWriteStreamRef stream);
CF_EXPORT CFStreamStatus CFWriteStreamGetStatus(CFWriteStreamRef stream);

/* +1 value of a property: kCFStreamPropertyDataWritten of a memory stream; NULL otherwise. */
CF_EXPORT CFTypeRef CFWriteStreamCopyProperty(CFWriteStreamRef stream, CFStringRef propertyName);

CF_EXTERN_C_END

#endif

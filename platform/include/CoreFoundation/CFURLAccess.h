/* CFURLAccess.h — reading and writing the resource a URL names (file: URLs only). */
#ifndef __COREFOUNDATION_CFURLACCESS__
#define __COREFOUNDATION_CFURLACCESS__

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef CF_ENUM(CFIndex, CFURLError) {
    kCFURLUnknownError = -10L,
    kCFURLUnknownSchemeError = -11L,
    kCFURLResourceNotFoundError = -12L,
    kCFURLResourceAccessViolationError = -13L,
    kCFURLRemoteHostUnavailableError = -14L,
    kCFURLImproperArgumentsError = -15L,
    kCFURLUnknownPropertyKeyError = -16L,
    kCFURLPropertyKeyUnavailableError = -17L,
    kCFURLTimeoutError = -18L
};

/*
 * Reads the file a file: URL names (empty host or localhost, percent escapes decoded, relative
 * URLs resolved against their base). On success *resourceData (when not NULL) gets a +1 data
 * with the whole file, *properties (when not NULL) gets NULL (no properties are supported) and
 * *errorCode 0. On failure every out-parameter is NULL / set and false is returned:
 * kCFURLUnknownSchemeError for another scheme or a remote host, kCFURLImproperArgumentsError for
 * a NULL URL or a relative URL without base, kCFURLResourceNotFoundError for a missing file,
 * kCFURLResourceAccessViolationError when access is denied, memFullErr (-108: no URL error
 * code says so) when there is no memory for the contents, kCFURLUnknownError otherwise (a
 * directory, a read error).
 */
CF_EXPORT Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url,
                                                           CFDataRef* resourceData,
                                                           CFDictionaryRef* properties,
                                                           CFArrayRef desiredProperties,
                                                           SInt32* errorCode);

/*
 * Replaces the file a file: URL names with dataToWrite, atomically: the bytes go to a new file
 * in the same directory, are flushed to disk, and the new file is renamed over the target, so
 * a reader sees the old content or the new, never a part. An existing file's permission bits
 * are kept; a new file gets 0644 less the umask. propertiesToWrite is ignored. A NULL data
 * writes an empty file. On failure nothing is left behind and *errorCode (when not NULL) is
 * kCFURLUnknownSchemeError (other scheme, remote host), kCFURLImproperArgumentsError (relative
 * URL, NULL URL), kCFURLResourceNotFoundError (missing directory),
 * kCFURLResourceAccessViolationError (permission), or kCFURLUnknownError (I/O error, disk full).
 */
CF_EXPORT Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite,
                                                        CFDictionaryRef propertiesToWrite,
                                                        SInt32* errorCode);

/* Removes the file a file: URL names; errors as above. */
CF_EXPORT Boolean CFURLDestroyResource(CFURLRef url, SInt32* errorCode);

CF_EXTERN_C_END

#endif

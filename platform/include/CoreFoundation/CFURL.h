/*
 * CFURL.h — URLs: a URL string, absolute or relative to an optional base URL.
 *
 * Legal URL characters are printable ASCII except space, '"', '<', '>', '\\', '^', '`', '{',
 * '|', '}', and '%' only when two hex digits follow it.
 */
#ifndef __COREFOUNDATION_CFURL__
#define __COREFOUNDATION_CFURL__

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

typedef CF_ENUM(CFIndex, CFURLPathStyle) {
    kCFURLPOSIXPathStyle = 0,
    kCFURLHFSPathStyle = 1,
    kCFURLWindowsPathStyle = 2
};

typedef const struct __CFURL* CFURLRef;

CF_EXPORT CFTypeID CFURLGetTypeID(void);

/*
 * +1 URL for URLString, relative to baseURL when that is not NULL and the string has no scheme.
 * NULL when the string holds a character that is not legal in a URL. A string without a scheme
 * stays a relative URL (no file-system interpretation).
 */
CF_EXPORT CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString,
                                         CFURLRef baseURL);

/* +1 URL from bytes in `encoding`; bytes that are not legal URL characters (and every
   non-ASCII byte, and a '%' not followed by two hex digits) are percent-escaped first, so only
   bytes invalid in the encoding give NULL. The escapes spell the bytes as given for the 8-bit
   encodings and UTF-8, and the UTF-8 form for UTF-16 input. */
CF_EXPORT CFURLRef CFURLCreateWithBytes(CFAllocatorRef allocator, const UInt8* URLBytes,
                                        CFIndex length, CFStringEncoding encoding,
                                        CFURLRef baseURL);

/* +1 data holding the URL string's bytes in `encoding` (escapes kept). */
CF_EXPORT CFDataRef CFURLCreateData(CFAllocatorRef allocator, CFURLRef url,
                                    CFStringEncoding encoding, Boolean escapeWhitespace);

/*
 * +1 string with every character that is not legal in a URL percent-escaped (as the bytes of
 * `encoding`, upper-case hex), plus every character of legalURLCharactersToBeEscaped, except
 * those of charactersToLeaveUnescaped. A '%' already followed by two hex digits is legal and
 * kept. NULL when a character has no form in the encoding.
 */
CF_EXPORT CFStringRef CFURLCreateStringByAddingPercentEscapes(
    CFAllocatorRef allocator, CFStringRef originalString, CFStringRef charactersToLeaveUnescaped,
    CFStringRef legalURLCharactersToBeEscaped, CFStringEncoding encoding);

/*
 * +1 string with %XX escapes replaced by the characters their UTF-8 bytes spell, except
 * escapes of characters in charactersToLeaveEscaped; NULL charactersToLeaveEscaped leaves
 * every escape (returns a copy), an empty string replaces all. NULL when the unescaped bytes
 * are not valid UTF-8 or an escape is malformed.
 */
CF_EXPORT CFStringRef CFURLCreateStringByReplacingPercentEscapes(
    CFAllocatorRef allocator, CFStringRef originalString, CFStringRef charactersToLeaveEscaped);

/* +1 file: URL for the UTF-8 POSIX path in buffer (bufLen bytes). A relative path becomes a
   URL relative to the current directory's file: URL. isDirectory adds a trailing '/'. */
CF_EXPORT CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator,
                                                           const UInt8* buffer, CFIndex bufLen,
                                                           Boolean isDirectory);

/* Writes the URL's POSIX path, escapes decoded, NUL-terminated, into buffer. False for a URL
   that is not a file: URL (empty host or localhost) or when the path does not fit. */
CF_EXPORT Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase,
                                                   UInt8* buffer, CFIndex maxBufLen);

/* +1 file: URL for a path (kCFURLPOSIXPathStyle only; other styles give NULL). A relative
   path is relative to the current directory's file: URL. */
CF_EXPORT CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                                 CFURLPathStyle pathStyle, Boolean isDirectory);

/* +1 POSIX path of a file: URL, escapes decoded, trailing '/' dropped except for "/"; NULL
   for another scheme or a style other than POSIX. */
CF_EXPORT CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);

/* The URL string as given (borrowed). */
CF_EXPORT CFStringRef CFURLGetString(CFURLRef anURL);

/* The base URL (borrowed), or NULL. */
CF_EXPORT CFURLRef CFURLGetBaseURL(CFURLRef anURL);

/* +1 URL resolved against its base (RFC 3986); a retained copy of an absolute URL. */
CF_EXPORT CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL);

/* +1 scheme without ':' (the base URL's for a relative URL), or NULL. */
CF_EXPORT CFStringRef CFURLCopyScheme(CFURLRef anURL);

/* +1 host (escapes kept), or NULL when there is no authority. */
CF_EXPORT CFStringRef CFURLCopyHostName(CFURLRef anURL);

/* +1 path part, escapes kept (possibly empty), of the URL itself, not resolved. */
CF_EXPORT CFStringRef CFURLCopyPath(CFURLRef anURL);

/* +1 last path component, escapes decoded. */
CF_EXPORT CFStringRef CFURLCopyLastPathComponent(CFURLRef url);

/* True when the path ends in '/'. */
CF_EXPORT Boolean CFURLHasDirectoryPath(CFURLRef anURL);

/* +1 absolute URL with pathComponent (escaped as needed) appended to the path. */
CF_EXPORT CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                                         CFStringRef pathComponent,
                                                         Boolean isDirectory);

CF_EXTERN_C_END

#endif

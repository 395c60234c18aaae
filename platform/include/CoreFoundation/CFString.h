/*
 * CFString.h — immutable and mutable strings of UTF-16 code units.
 *
 * Encodings the stand-in converts: UTF-8, Mac OS Roman (the system encoding), ASCII,
 * ISO Latin 1, Windows Latin 1, UTF-16 (BE, LE, and host order with an optional BOM). Any
 * other encoding is refused (NULL, false or 0). Bytes that are invalid in their encoding give
 * NULL.
 */
#ifndef __COREFOUNDATION_CFSTRING__
#define __COREFOUNDATION_CFSTRING__

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>

CF_EXTERN_C_BEGIN

typedef UInt32 CFStringEncoding;

typedef CF_ENUM(CFStringEncoding, CFStringBuiltInEncodings) {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingNextStepLatin = 0x0B01,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUnicode = 0x0100,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingNonLossyASCII = 0x0BFF,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingUTF32 = 0x0c000100,
    kCFStringEncodingUTF32BE = 0x18000100,
    kCFStringEncodingUTF32LE = 0x1c000100
};

#define kCFStringEncodingInvalidId (0xffffffffU)

typedef CF_OPTIONS(CFOptionFlags, CFStringCompareFlags) {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
    kCFCompareNonliteral = 16,
    kCFCompareLocalized = 32,
    kCFCompareNumerically = 64
};

CF_EXPORT CFTypeID CFStringGetTypeID(void);

/*
 * CFSTR("…"): an immortal string constant. The same text always gives the same object, which
 * is never counted as live and ignores retain and release. The bytes are taken as UTF-8 (Mac
 * OS Roman when they are not valid UTF-8).
 */
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
CF_EXPORT CFStringRef __CFStringMakeConstantString(const char* cStr) __attribute__((pure));

/*
 * +1 string from numBytes bytes in `encoding`; NULL when a byte sequence is invalid or the
 * encoding is not supported. With kCFStringEncodingUnicode (UTF-16) a leading BOM chooses the
 * byte order and is dropped; without one the bytes are taken in host order (the real platform
 * assumes big-endian only for external representations: with isExternalRepresentation and no
 * BOM we take big-endian). UTF-16BE/LE keep a leading U+FEFF as a character. For the 8-bit
 * encodings isExternalRepresentation changes nothing, except that a UTF-8 BOM is dropped.
 * Lone surrogates in UTF-16 input are kept as they are (the string is units, not scalars).
 */
CF_EXPORT CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes,
                                              CFIndex numBytes, CFStringEncoding encoding,
                                              Boolean isExternalRepresentation);

/* +1 string of numChars UTF-16 units, copied as they are (NULL chars allowed when 0). */
CF_EXPORT CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars,
                                                   CFIndex numChars);

/* +1 string from a NUL-terminated byte string in `encoding`; NULL when cStr is NULL or its
   bytes are invalid in the encoding. */
CF_EXPORT CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                                CFStringEncoding encoding);

/* CFStringCreateWithBytes of the data's bytes as an external representation. */
CF_EXPORT CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data,
                                                               CFStringEncoding encoding);

/* +1 data with the string in `encoding`, a BOM first for kCFStringEncodingUnicode (host
   order). A character without a form in the encoding becomes lossByte; with lossByte 0 such
   a character makes the result NULL. */
CF_EXPORT CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc,
                                                         CFStringRef theString,
                                                         CFStringEncoding encoding, UInt8 lossByte);

/* +1 immutable copy (the same object, retained, when the string is already immutable). */
CF_EXPORT CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);

/* +1 string of the units in `range`; NULL when the range is outside the string. */
CF_EXPORT CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str,
                                                  CFRange range);

/* +1 empty mutable string; maxLength is ignored (no limit). */
CF_EXPORT CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);

/* +1 mutable copy of theString (an empty one when theString is NULL). */
CF_EXPORT CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength,
                                                       CFStringRef theString);

/* Appending to an immutable string, or appending NULL, does nothing. */
CF_EXPORT void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
CF_EXPORT void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars,
                                        CFIndex numChars);
/* Appends nothing when cStr is invalid in the encoding. */
CF_EXPORT void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                                     CFStringEncoding encoding);

/* Length in UTF-16 units; 0 for NULL. */
CF_EXPORT CFIndex CFStringGetLength(CFStringRef theString);

/* The unit at idx; 0 when idx is out of range (the real platform crashes). */
CF_EXPORT UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);

/* Copies the units of `range` into buffer; nothing when the range is outside the string. */
CF_EXPORT void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);

/* Direct access to the units when the string keeps them contiguously, else NULL. The pointer
   stays valid while the string lives and is not mutated. Callers must cope with NULL. */
CF_EXPORT const UniChar* CFStringGetCharactersPtr(CFStringRef theString);

/* Always NULL in the stand-in (the real platform often returns NULL too); use
   CFStringGetCString. */
CF_EXPORT const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);

/* Writes the string and a NUL into buffer; false when it does not fit in bufferSize bytes
   or a character has no form in the encoding (the buffer's content is then unspecified). */
CF_EXPORT Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                                     CFStringEncoding encoding);

/*
 * Converts the units of `range` into `encoding`, writing at most maxBufLen bytes (buffer may
 * be NULL to measure). A character without a form in the encoding is written as lossByte, or,
 * with lossByte 0, stops the conversion there. Returns the number of units converted and
 * stores the bytes used in *usedBufLen (when not NULL). With isExternalRepresentation a BOM is
 * written first for kCFStringEncodingUnicode. A surrogate pair is never split: a pair that does
 * not fit stops the conversion before it. A lone surrogate has no form in UTF-8.
 */
CF_EXPORT CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                                   UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                                   CFIndex maxBufLen, CFIndex* usedBufLen);

/* kCFStringEncodingMacRoman. */
CF_EXPORT CFStringEncoding CFStringGetSystemEncoding(void);

/* Upper bound of bytes for `length` units in `encoding`; kCFNotFound on overflow. */
CF_EXPORT CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);

/* True for the encodings listed at the top of this header. */
CF_EXPORT Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);

/* Encoding for an IANA charset name ("utf-8", "macintosh", "iso-8859-1", "us-ascii",
   "windows-1252", "utf-16", "utf-16be", "utf-16le"; case-insensitive), else
   kCFStringEncodingInvalidId. */
CF_EXPORT CFStringEncoding CFStringConvertIANACharSetNameToEncoding(CFStringRef theString);

/*
 * Orders by UTF-16 units (kCFCompareCaseInsensitive folds ASCII letters only;
 * kCFCompareNumerically compares runs of ASCII digits by value; other flags are ignored).
 */
CF_EXPORT CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                             CFStringCompareFlags compareOptions);

CF_EXPORT Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
CF_EXPORT Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);

CF_EXTERN_C_END

#endif

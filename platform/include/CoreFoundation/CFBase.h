/*
 * CFBase.h — basic types, the object model's common entry points and allocators.
 *
 * Every object made by a function whose name contains Create or Copy is returned with a
 * reference the caller owns and releases with CFRelease; Get functions borrow. Every public
 * function is counted by the testing facility and can be made to fail: an injected failure
 * returns NULL, false, 0 or does nothing, with out-parameters cleared.
 */
#ifndef __COREFOUNDATION_CFBASE__
#define __COREFOUNDATION_CFBASE__

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#define CF_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#define CF_EXPORT extern __attribute__((visibility("default")))
#endif

#define CF_INLINE static __inline__ __attribute__((always_inline))

/*
 * Enumerations with a fixed underlying type, declared as the real headers declare them:
 * `typedef CF_ENUM(CFIndex, CFNumberType) {...};`, `typedef CF_OPTIONS(CFOptionFlags, F) {...};`.
 * In C++ a CF_ENUM type is the enumeration itself. The real macro also names it in the typedef,
 * which standard C++ does not allow for a fixed underlying type (clang accepts it as an
 * extension); here the typedef restates the underlying type's own typedef instead, so _type
 * must be a typedef name. A CF_OPTIONS type is the integer type, and its constants belong to
 * an unnamed enumeration based on it. In C both are the integer type.
 */
// clang-format off
#ifdef __cplusplus
#define CF_ENUM(_type, _name) _type _type; enum _name : _type
#define CF_OPTIONS(_type, _name) _type _name; enum : _name
#else
#define CF_ENUM(_type, _name) _type _name; enum
#define CF_OPTIONS(_type, _name) _type _name; enum
#endif
// clang-format on

/* The Mac base types, as MacTypes.h declares them (identical redeclaration is harmless). */
#if !defined(__MACTYPES__)
typedef unsigned char Boolean;
typedef unsigned char UInt8;
typedef signed char SInt8;
typedef unsigned short UInt16;
typedef signed short SInt16;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef unsigned long long UInt64;
typedef signed long long SInt64;
typedef SInt32 OSStatus;
typedef float Float32;
typedef double Float64;
typedef unsigned short UniChar;
typedef unsigned long UniCharCount;
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef unsigned char Str255[256];
typedef const unsigned char* ConstStr255Param;
typedef SInt16 OSErr;
typedef SInt16 RegionCode;
typedef SInt16 LangCode;
typedef SInt16 ScriptCode;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef UInt8 Byte;
typedef SInt8 SignedByte;
typedef UInt32 UTF32Char;
typedef UInt16 UTF16Char;
typedef UInt8 UTF8Char;
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

CF_EXTERN_C_BEGIN

typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef signed long CFIndex;

/* Base "type" of all CF objects, and of the property-list objects. */
typedef const void* CFTypeRef;
typedef CFTypeRef CFPropertyListRef;

typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;

typedef CF_ENUM(CFIndex, CFComparisonResult) {
    kCFCompareLessThan = -1L,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1
};

typedef CFComparisonResult (*CFComparatorFunction)(const void* val1, const void* val2,
                                                   void* context);

static const CFIndex kCFNotFound = -1;

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

CF_INLINE CFRange CFRangeMake(CFIndex loc, CFIndex len) {
    CFRange range;
    range.location = loc;
    range.length = len;
    return range;
}

/* kCFNull: the immortal null object. */
typedef const struct __CFNull* CFNullRef;
CF_EXPORT CFTypeID CFNullGetTypeID(void);
CF_EXPORT const CFNullRef kCFNull;

/*
 * Allocators. Any allocator argument is accepted and every object is made the same way;
 * kCFAllocatorDefault is NULL, as on the real platform. kCFAllocatorNull matters only as the
 * bytes deallocator of CFDataCreateWithBytesNoCopy (it means "never free the bytes").
 */
typedef const struct __CFAllocator* CFAllocatorRef;
CF_EXPORT const CFAllocatorRef kCFAllocatorDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorSystemDefault;
CF_EXPORT const CFAllocatorRef kCFAllocatorMalloc;
CF_EXPORT const CFAllocatorRef kCFAllocatorNull;
CF_EXPORT const CFAllocatorRef kCFAllocatorUseContext;

/* Always kCFAllocatorSystemDefault. */
CF_EXPORT CFAllocatorRef CFAllocatorGetDefault(void);

/* The allocator the object was made with: always kCFAllocatorSystemDefault. */
CF_EXPORT CFAllocatorRef CFGetAllocator(CFTypeRef cf);

/* The object's type ID; 0 for NULL or an object the stand-in does not know. */
CF_EXPORT CFTypeID CFGetTypeID(CFTypeRef cf);

/* A +1 string naming a type ID ("CFString", …), or NULL for an unknown ID. */
CF_EXPORT CFStringRef CFCopyTypeIDDescription(CFTypeID type_id);

/* Adds one reference and returns cf. NULL is ignored (the real platform crashes). Immortal
   objects are not counted. */
CF_EXPORT CFTypeRef CFRetain(CFTypeRef cf);

/* Drops one reference; the last frees the object. NULL is ignored. Releasing an object that
   is already freed is detected: counted and, while abort is on, aborting. */
CF_EXPORT void CFRelease(CFTypeRef cf);

/* The reference count; immortal objects report a very large count. 0 for NULL. */
CF_EXPORT CFIndex CFGetRetainCount(CFTypeRef cf);

/* Value equality: numbers by value across types, strings by UTF-16 units, containers deeply
   through their callbacks. False when either is NULL. */
CF_EXPORT Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);

/* A hash consistent with CFEqual. 0 for NULL. */
CF_EXPORT CFHashCode CFHash(CFTypeRef cf);

/* A +1 human-readable description (for diagnostics only; the format is not stable). */
CF_EXPORT CFStringRef CFCopyDescription(CFTypeRef cf);

CF_EXTERN_C_END

#endif

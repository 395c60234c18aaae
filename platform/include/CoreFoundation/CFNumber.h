/* CFNumber.h — numbers and Booleans. */
#ifndef __COREFOUNDATION_CFNUMBER__
#define __COREFOUNDATION_CFNUMBER__

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef const struct __CFBoolean* CFBooleanRef;

/* Immortal singletons. */
CF_EXPORT const CFBooleanRef kCFBooleanTrue;
CF_EXPORT const CFBooleanRef kCFBooleanFalse;

CF_EXPORT CFTypeID CFBooleanGetTypeID(void);

/* True only for kCFBooleanTrue. */
CF_EXPORT Boolean CFBooleanGetValue(CFBooleanRef boolean);

typedef CF_ENUM(CFIndex, CFNumberType) {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
    kCFNumberNSIntegerType = 15,
    kCFNumberCGFloatType = 16,
    kCFNumberMaxType = 16
};

typedef const struct __CFNumber* CFNumberRef;

/* Immortal constants. */
CF_EXPORT const CFNumberRef kCFNumberPositiveInfinity;
CF_EXPORT const CFNumberRef kCFNumberNegativeInfinity;
CF_EXPORT const CFNumberRef kCFNumberNaN;

CF_EXPORT CFTypeID CFNumberGetTypeID(void);

/*
 * +1 number from the value of type theType at valuePtr; NULL for an unknown type or a NULL
 * valuePtr. The number keeps its type in canonical form: Char→SInt8, Short→SInt16,
 * Int→SInt32, Long/LongLong/CFIndex/NSInteger→SInt64, Float→Float32, Double/CGFloat→Float64.
 * The framework's private 128-bit type (CFPriv.h) is accepted too.
 */

CF_EXPORT CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType,
                                     const void* valuePtr);

/* The canonical type the number was made with (see CFNumberCreate); 0 for NULL. */
CF_EXPORT CFNumberType CFNumberGetType(CFNumberRef number);

/* Size in bytes of the number's type. */
CF_EXPORT CFIndex CFNumberGetByteSize(CFNumberRef number);

CF_EXPORT Boolean CFNumberIsFloatType(CFNumberRef number);

/*
 * Stores the value converted to theType at valuePtr and returns whether the conversion was
 * exact. A lossy conversion still stores the converted value: integers are truncated to the
 * width (two's complement), reals toward zero; a real outside the integer range saturates and
 * NaN becomes 0 (the real platform leaves those undefined). False, storing nothing, for an
 * unknown type or NULL arguments.
 */
CF_EXPORT Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);

/* Orders by value across types; NaN sorts below every other value. */
CF_EXPORT CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber,
                                             void* context);

CF_EXTERN_C_END

#endif

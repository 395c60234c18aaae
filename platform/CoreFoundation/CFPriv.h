/*
 * CFPriv.h — the framework's own names that its public headers leave out: the number type of
 * integers beyond the signed 64-bit range, and its layout. CFNumberCreate and CFNumberGetValue
 * accept the type; a number made from one whose value fits 64 bits, signed or unsigned, reports
 * kCFNumberSInt64Type, and a wider one cannot be made (NULL).
 */
#ifndef __COREFOUNDATION_CFPRIV__
#define __COREFOUNDATION_CFPRIV__

#include <CoreFoundation/CFNumber.h>

CF_EXTERN_C_BEGIN

static const CFNumberType kCFNumberSInt128Type = (CFNumberType)17;

typedef struct {
    SInt64 high;
    UInt64 low;
} CFSInt128Struct;

CF_EXTERN_C_END

#endif

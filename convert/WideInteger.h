// The framework's number type for integers beyond the signed 64-bit range. Its public headers end
// at kCFNumberMaxType; the framework itself reads and writes such integers (an XML or binary
// integer up to 2^64 - 1) as this type, with this layout, through the public number calls.
#ifndef CONVERT_WIDEINTEGER_H
#define CONVERT_WIDEINTEGER_H

#include <CoreFoundation/CoreFoundation.h>

// The type number the framework gives its 128-bit integers: beyond the enumerators, which a
// CFNumberType can hold as its underlying type is fixed.
inline constexpr CFNumberType kWideIntegerNumberType = static_cast<CFNumberType>(17);

// A 128-bit two's complement integer as the framework lays it out: high half, then low half.
struct WideInteger {
    SInt64 high;
    UInt64 low;
};

#endif

// Text-to-value rules of the XML property-list scalars <integer>, <real> and <date>. Pure
// functions over a byte span, so the reader's hot loop stays free of them and they can be
// tested alone.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTSCALARS_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTSCALARS_H

#include <cstddef>
#include <cstdint>

namespace cf::plist {

enum class IntegerStatus {
    kOK,
    kEmpty,         // nothing at all between the tags
    kIncomplete,    // a sign or "0x" with no digits after it
    kHexInDecimal,  // a-f/A-F in a number without 0x
    kBadCharacter,  // anything else that is not a digit; *bad points at it
    kOverflow,      // above 2^64-1
    kUnderflow,     // below -2^63
};

struct IntegerValue {
    int64_t value = 0;  // the value when !isUnsigned
    uint64_t magnitude = 0;
    bool isUnsigned = false;  // above INT64_MAX: the value is `magnitude`
};

// <integer> content: leading whitespace (ASCII controls, space, a few Unicode spaces), an
// optional sign, more whitespace, then decimal digits or 0x/0X and hex digits, and nothing
// after. Range -2^63 ... 2^64-1.
IntegerStatus ParseXMLInteger(const uint8_t* p, const uint8_t* end, IntegerValue& out,
                              const uint8_t** bad);

// <real> content (after entity decoding): a strtod-style decimal with optional leading
// whitespace and nothing after, or one of nan/inf/infinity (with sign for the infinities),
// any case. Overflow gives +/-infinity, underflow 0. Locale-independent.
bool ParseXMLReal(const uint8_t* p, const uint8_t* end, double& out);

// Past the ASCII spaces and no-break spaces (U+00A0) that start [p, end).
const uint8_t* SkipDecodedRealSpace(const uint8_t* p, const uint8_t* end);

// <date> content: exactly [-]Y+-MM-DDTHH:MM:SSZ. Out-of-range fields carry into the next
// larger one on the proleptic Gregorian calendar (2011-13-01 is 2012-01-01). Returns seconds
// since 2001-01-01T00:00:00Z.
bool ParseXMLDate(const uint8_t* p, const uint8_t* end, double& out);

// Days from 1970-01-01 to year-month-day on the proleptic Gregorian calendar; month 1..12,
// day 1..31 (larger days simply count on).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

}  // namespace cf::plist

#endif

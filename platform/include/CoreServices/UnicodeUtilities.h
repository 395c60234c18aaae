/*
 * UnicodeUtilities.h — conversions between CoreFoundation's absolute time and LongDateTime.
 */
#ifndef __UNICODEUTILITIES__
#define __UNICODEUTILITIES__

#include <CoreServices/MacErrors.h>
#include <CoreServices/MacTypes.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

/* The same typedefs as CoreFoundation's CFDate.h, repeated so this header stands alone. */
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;

/*
 * UCConvertCFAbsoluteTimeToLongDateTime: seconds since 2001-01-01 00:00 UTC to seconds since
 * 1904-01-01 00:00 local time, with the process time zone's offset at that instant (daylight
 * saving included). A fractional time rounds down to the whole second. paramErr for a NULL
 * out-parameter, a non-finite time or one outside the range of LongDateTime; *oLongDate is
 * 0 on failure.
 */
OSStatus UCConvertCFAbsoluteTimeToLongDateTime(CFAbsoluteTime iCFTime, LongDateTime* oLongDate);

/*
 * UCConvertLongDateTimeToCFAbsoluteTime: the inverse. A local time that falls in a daylight
 * saving gap or overlap is resolved as mktime does with tm_isdst = -1. paramErr for a NULL
 * out-parameter or a date outside the years the C library can represent; *oCFTime is 0 on
 * failure.
 */
OSStatus UCConvertLongDateTimeToCFAbsoluteTime(LongDateTime iLongTime, CFAbsoluteTime* oCFTime);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif

/*
 * FixMath.h — signed 16.16 fixed-point numbers.
 */
#ifndef __FIXMATH__
#define __FIXMATH__

#include <CoreServices/MacTypes.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

#define fixed1 ((Fixed)0x00010000L)
#define fract1 ((Fract)0x40000000L)
#define positiveInfinity ((Fixed)0x7FFFFFFFL)
#define negativeInfinity ((Fixed)-0x80000000L)

/* Fix2X: the signed 16.16 value divided by 65536; exact. */
double Fix2X(Fixed x);

/* X2Fix: x times 65536, rounded to nearest; values beyond the range saturate to
   positiveInfinity / negativeInfinity, NaN gives 0. */
Fixed X2Fix(double x);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif

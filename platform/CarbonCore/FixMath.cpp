// 16.16 fixed-point conversions.
#include <CoreServices/FixMath.h>

#include <cmath>

#include "platform/Testing/PTInternal.h"

extern "C" {

double Fix2X(Fixed x) {
    int32_t injected;
    if (PT_ENTER("Fix2X", injected)) return 0;
    return static_cast<double>(x) / 65536.0;
}

Fixed X2Fix(double x) {
    int32_t injected;
    if (PT_ENTER("X2Fix", injected)) return 0;
    if (std::isnan(x)) return 0;
    double scaled = std::floor(x * 65536.0 + 0.5);
    if (scaled >= 2147483647.0) return positiveInfinity;
    if (scaled <= -2147483648.0) return negativeInfinity;
    return static_cast<Fixed>(scaled);
}

}  // extern "C"

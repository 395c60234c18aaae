// CFAbsoluteTime (UTC seconds since 2001) ↔ LongDateTime (local seconds since 1904).
#include <CoreServices/UnicodeUtilities.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Testing/PTInternal.h"

namespace {

constexpr int64_t kUnixFrom2001 = 978307200;   // 1970-01-01 → 2001-01-01
constexpr int64_t kUnixFrom1904 = 2082844800;  // 1904-01-01 → 1970-01-01
// Far beyond any calendar the C library handles, yet clear of int64 overflow below.
constexpr double kLimit = 4.0e18;

// Takes up a change of TZ since the last call. tzset itself would also re-check the zone file
// on every call (a stat each time), which a list of dates turns into most of its cost.
void RefreshZone() {
    thread_local bool known = false;
    thread_local bool had = false;
    thread_local std::string last;
    const char* tz = std::getenv("TZ");
    if (known && (tz ? had && last == tz : !had)) return;
    known = true;
    had = tz != nullptr;
    last = tz ? tz : "";
    tzset();
}

}  // namespace

extern "C" {

OSStatus UCConvertCFAbsoluteTimeToLongDateTime(CFAbsoluteTime iCFTime, LongDateTime* oLongDate) {
    int32_t injected;
    if (oLongDate) *oLongDate = 0;
    if (PT_ENTER("UCConvertCFAbsoluteTimeToLongDateTime", injected)) return injected;
    if (!oLongDate || !std::isfinite(iCFTime) || std::fabs(iCFTime) > kLimit) return paramErr;
    time_t utc = static_cast<time_t>(std::floor(iCFTime)) + kUnixFrom2001;
    RefreshZone();
    struct tm local;
    if (!localtime_r(&utc, &local)) return paramErr;
    *oLongDate = static_cast<int64_t>(utc) + local.tm_gmtoff + kUnixFrom1904;
    return noErr;
}

OSStatus UCConvertLongDateTimeToCFAbsoluteTime(LongDateTime iLongTime, CFAbsoluteTime* oCFTime) {
    int32_t injected;
    if (oCFTime) *oCFTime = 0;
    if (PT_ENTER("UCConvertLongDateTimeToCFAbsoluteTime", injected)) return injected;
    if (!oCFTime || iLongTime > static_cast<int64_t>(kLimit) ||
        iLongTime < -static_cast<int64_t>(kLimit))
        return paramErr;
    // The local wall-clock fields, read as if they were UTC, then placed in the zone.
    time_t wall = static_cast<time_t>(iLongTime - kUnixFrom1904);
    struct tm fields;
    if (!gmtime_r(&wall, &fields)) return paramErr;
    fields.tm_isdst = -1;
    tzset();
    errno = 0;
    time_t utc = mktime(&fields);
    if (utc == static_cast<time_t>(-1) && errno != 0) return paramErr;
    *oCFTime = static_cast<double>(static_cast<int64_t>(utc) - kUnixFrom2001);
    return noErr;
}

}  // extern "C"

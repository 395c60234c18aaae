// CFAbsoluteTime (UTC seconds since 2001) ↔ LongDateTime (local seconds since 1904).
#include <CoreServices/UnicodeUtilities.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <unistd.h>

#include "platform/Testing/PTInternal.h"

namespace {

constexpr int64_t kUnixFrom2001 = 978307200;   // 1970-01-01 → 2001-01-01
constexpr int64_t kUnixFrom1904 = 2082844800;  // 1904-01-01 → 1970-01-01
// Far beyond any calendar the C library handles, yet clear of int64 overflow below.
constexpr double kLimit = 4.0e18;

// What the environment looked like when the zone was last loaded: enough to tell, in a few
// loads, that TZ cannot have changed since. setenv and putenv put a new entry pointer (or a
// longer or moved array) in place of a changed TZ, and unsetenv moves the entries after the
// one it removes, so an unchanged array, entry count, last entry and TZ entry mean an unchanged
// TZ; its value is compared too, for an entry changed in place through putenv's buffer.
struct EnvironmentMark {
    char** entries = nullptr;
    size_t count = 0;
    const char* last = nullptr;
    long zoneIndex = -1;  // the TZ entry's position, -1 when there is none
    const char* zoneEntry = nullptr;
    char zoneValue[128] = {};  // a longer value is never taken as unchanged

    bool Unchanged() const {
        if (environ != entries || !entries || entries[count] != nullptr ||
            (count > 0 && entries[count - 1] != last))
            return false;
        if (zoneIndex < 0) return true;
        const char* entry = entries[zoneIndex];
        return entry == zoneEntry && std::strcmp(entry + 3, zoneValue) == 0;
    }

    void Take() {
        entries = environ;
        count = 0;
        zoneIndex = -1;
        zoneValue[0] = '\0';
        for (; entries && entries[count]; ++count) {
            const char* entry = entries[count];
            if (zoneIndex < 0 && std::strncmp(entry, "TZ=", 3) == 0) {
                zoneIndex = static_cast<long>(count), zoneEntry = entry;
                const size_t length = std::strlen(entry + 3);
                if (length < sizeof zoneValue)
                    std::memcpy(zoneValue, entry + 3, length + 1);
                else
                    entries = nullptr;  // too long to compare: never unchanged
            }
        }
        last = count > 0 && entries ? entries[count - 1] : nullptr;
    }
};

// Makes the C library's loaded zone the one TZ names now, before localtime_r (which uses the
// loaded zone as it is). tzset costs a lookup of TZ and a comparison with the name it loaded,
// and with TZ unset a stat of the system's zone file (as mktime does on every call), which a
// list of dates turns into a large part of its cost. So the zone is loaded again only when the
// environment's TZ may have changed since the last call, or someone else's tzset has since
// changed the loaded zone's names.
void RefreshZone() {
    thread_local EnvironmentMark mark;
    thread_local const char* loadedNames[2] = {nullptr, nullptr};
    if (mark.Unchanged() && tzname[0] == loadedNames[0] && tzname[1] == loadedNames[1]) return;
    mark.Take();
    tzset();
    loadedNames[0] = tzname[0], loadedNames[1] = tzname[1];
}

// Seconds from 1970 to the calendar fields of `tm` read as UTC (days from the civil date).
int64_t FieldsAsUTC(const struct tm& tm) {
    int64_t y = static_cast<int64_t>(tm.tm_year) + 1900;
    int64_t m = tm.tm_mon + 1;
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + tm.tm_mday - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

enum class Local { kFound, kNoMatch, kUnconvertible };

// The UTC instant of local wall-clock time `wall` (the local fields counted as if UTC), found
// as the C library's mktime finds it with tm_isdst = -1, but through localtime_r, which does
// not re-read the zone file as mktime does on every call. It probes from the offset of the
// previous answer, so a time that occurs twice (clocks set back) resolves the way mktime
// resolves it, and a time that never occurs (clocks set forward) lands where mktime lands:
// where the probes oscillate between the two offsets, on the side whose previous probe was in
// daylight saving time.
Local LocalToUTC(int64_t wall, int64_t& utc) {
    static std::atomic<int64_t> lastOffset{0};  // UTC minus local time of the previous answer
    int64_t t0 = wall + lastOffset.load(std::memory_order_relaxed);
    int64_t t = t0, t1 = t0, t2 = t0;
    bool previousDST = false;
    for (int probes = 6;;) {
        time_t probe = static_cast<time_t>(t);
        struct tm fields;
        if (!localtime_r(&probe, &fields)) return Local::kUnconvertible;
        int64_t dt = wall - FieldsAsUTC(fields);
        if (dt == 0) break;
        if (t == t1 && t != t2 && (fields.tm_isdst < 0 || previousDST <= (fields.tm_isdst != 0)))
            break;
        if (--probes == 0) return Local::kNoMatch;
        t1 = t2, t2 = t, t += dt, previousDST = fields.tm_isdst != 0;
    }
    lastOffset.store(t - wall, std::memory_order_relaxed);
    utc = t;
    return Local::kFound;
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
    // The local wall-clock time, counted as if it were UTC, then placed in the zone.
    time_t wall = static_cast<time_t>(iLongTime - kUnixFrom1904);
    RefreshZone();
    int64_t utc = 0;
    switch (LocalToUTC(static_cast<int64_t>(wall), utc)) {
        case Local::kFound:
            break;
        case Local::kNoMatch:
            return paramErr;
        case Local::kUnconvertible: {  // beyond what localtime_r converts: leave it to mktime
            // The fields are needed only here: a time whose fields gmtime_r cannot give has no
            // local time localtime_r could match either, so it never comes back found.
            struct tm fields;
            if (!gmtime_r(&wall, &fields)) return paramErr;
            fields.tm_isdst = -1;
            errno = 0;
            time_t made = mktime(&fields);
            if (made == static_cast<time_t>(-1) && errno != 0) return paramErr;
            utc = static_cast<int64_t>(made);
        }
    }
    *oCFTime = static_cast<double>(static_cast<int64_t>(utc) - kUnixFrom2001);
    return noErr;
}

}  // extern "C"

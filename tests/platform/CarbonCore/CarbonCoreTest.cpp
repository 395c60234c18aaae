// Pointer blocks, fixed point and the two date conversions in zones with and without DST.
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/PlatformTest.h"

namespace {

class CarbonCore : public PlatformTest {};

TEST_F(CarbonCore, PointerBlocksReportTheirStatusPerCall) {
    Ptr p = NewPtr(16);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemError(), noErr);
    DisposePtr(p);
    DisposePtr(nullptr);
    EXPECT_EQ(MemError(), noErr);
    Ptr empty = NewPtr(0);  // a zero-byte block is still a block
    EXPECT_NE(empty, nullptr);
    DisposePtr(empty);
    EXPECT_EQ(NewPtr(-1), nullptr);
    EXPECT_EQ(MemError(), paramErr);
    PTFailCalls("NewPtr", 0, 1, memFullErr);
    EXPECT_EQ(NewPtr(8), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
    Ptr cleared = NewPtrClear(4);
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(cleared[0] | cleared[1] | cleared[2] | cleared[3], 0);
    DisposePtr(cleared);
}

TEST_F(CarbonCore, FixedPointConversions) {
    struct {
        Fixed fixed;
        double value;
    } cases[] = {
        {0, 0.0},
        {fixed1, 1.0},
        {-fixed1 / 2, -0.5},
        {1, 1.0 / 65536},
        {std::numeric_limits<Fixed>::max(), 32767.9999847412109375},
        {std::numeric_limits<Fixed>::min(), -32768.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fix2X(c.fixed), c.value) << c.fixed;
        EXPECT_EQ(X2Fix(c.value), c.fixed) << c.value;
    }
    EXPECT_EQ(X2Fix(1e9), positiveInfinity);
    EXPECT_EQ(X2Fix(-1e9), negativeInfinity);
    EXPECT_EQ(X2Fix(NAN), 0);
}

// Sets TZ for one test and restores it.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) mOld = old, mHad = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (mHad)
            setenv("TZ", mOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string mOld;
    bool mHad = false;
};

constexpr LongDateTime k2001 = 3061152000;       // 2001-01-01 00:00 counted from 1904-01-01
constexpr CFAbsoluteTime kJuly2021 = 646790400;  // 2021-07-01 00:00 UTC

struct DateCase {
    const char* zone;
    CFAbsoluteTime absolute;
    LongDateTime local;
};

class CarbonCoreDates : public PlatformTestWithParam<DateCase> {};

TEST_P(CarbonCoreDates, ConvertBothWaysWithTheZoneOffsetAtThatInstant) {
    const DateCase& c = GetParam();
    ZoneScope zone(c.zone);
    LongDateTime local = 0;
    ASSERT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(c.absolute, &local), noErr);
    EXPECT_EQ(local, c.local);
    CFAbsoluteTime back = 0;
    ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(c.local, &back), noErr);
    EXPECT_EQ(back, std::floor(c.absolute));
}

INSTANTIATE_TEST_SUITE_P(
    Zones, CarbonCoreDates,
    ::testing::Values(DateCase{"UTC", 0, k2001}, DateCase{"UTC", -0.5, k2001 - 1},
                      DateCase{"UTC", 59.999, k2001 + 59},
                      DateCase{"UTC", -3061152000.0, 0},  // 1904 itself
                      DateCase{"Europe/Berlin", 0, k2001 + 3600},
                      DateCase{"Europe/Berlin", kJuly2021, k2001 + 646790400 + 7200},
                      DateCase{"America/New_York", kJuly2021, k2001 + 646790400 - 4 * 3600},
                      DateCase{"America/New_York", 0, k2001 - 5 * 3600}));

TEST_F(CarbonCore, DatesOutOfRangeFailWithParamErr) {
    ZoneScope zone("UTC");
    LongDateTime local = 7;
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e19}) {
        EXPECT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(bad, &local), paramErr) << bad;
        EXPECT_EQ(local, 0);
    }
    EXPECT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(0, nullptr), paramErr);
    CFAbsoluteTime absolute = 7;
    EXPECT_EQ(
        UCConvertLongDateTimeToCFAbsoluteTime(std::numeric_limits<LongDateTime>::max(), &absolute),
        paramErr);
    EXPECT_EQ(absolute, 0);
}

constexpr int64_t kUnixFrom1904 = 2082844800;
constexpr int64_t kUnixFrom2001 = 978307200;

// mktime's answer (tm_isdst = -1) for a local time counted in seconds since 1904.
CFAbsoluteTime MktimeAnswer(LongDateTime local) {
    time_t wall = static_cast<time_t>(local - kUnixFrom1904);
    struct tm fields;
    gmtime_r(&wall, &fields);
    fields.tm_isdst = -1;
    return static_cast<double>(static_cast<int64_t>(mktime(&fields)) - kUnixFrom2001);
}

long OffsetAt(int64_t utc) {
    time_t t = static_cast<time_t>(utc);
    struct tm fields;
    localtime_r(&t, &fields);
    return fields.tm_gmtoff;
}

// Every instant from 1900 to 2040 at which the zone's offset changes, with the offsets before
// and after: found day by day, then to the second.
struct OffsetChange {
    int64_t at;
    long before, after;
};
std::vector<OffsetChange> OffsetChanges() {
    std::vector<OffsetChange> changes;
    const int64_t day = 86400;
    long previous = OffsetAt(-2208988800);
    for (int64_t t = -2208988800 + day; t < 2208988800; t += day) {
        long offset = OffsetAt(t);
        if (offset == previous) continue;
        int64_t lo = t - day, hi = t;  // offset(lo) == previous, offset(hi) != previous
        while (hi - lo > 1) {
            int64_t mid = lo + (hi - lo) / 2;
            (OffsetAt(mid) == previous ? lo : hi) = mid;
        }
        changes.push_back({hi, previous, OffsetAt(hi)});
        previous = offset;
    }
    return changes;
}

class CarbonCoreZoneChanges : public PlatformTestWithParam<const char*> {};

// Local times that occur twice or never (and every other change of offset) resolve exactly
// as mktime resolves them. Both start each sweep from the same unambiguous answer, and the
// sweeps run forwards and backwards, so the answer before a repeated time differs.
TEST_P(CarbonCoreZoneChanges, ResolveEveryLocalTimeAsMktimeDoes) {
    ZoneScope zone(GetParam());
    std::vector<OffsetChange> changes = OffsetChanges();
    ASSERT_GE(changes.size(), 2u);
    int mismatches = 0;
    for (const OffsetChange& change : changes) {
        int64_t first = change.at + std::min(change.before, change.after) - 7200;
        int64_t last = change.at + std::max(change.before, change.after) + 7200;
        std::vector<int64_t> walls;
        for (int64_t w = first; w <= last; w += 449) walls.push_back(w);
        for (long offset : {change.before, change.after})
            for (int64_t d : {-1, 0, 1}) walls.push_back(change.at + offset + d);
        std::sort(walls.begin(), walls.end());
        for (bool rising : {true, false}) {
            if (!rising) std::reverse(walls.begin(), walls.end());
            LongDateTime start = walls.front() + (rising ? -86400 * 3 : 86400 * 3) + kUnixFrom1904;
            CFAbsoluteTime ours = 0;
            ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(start, &ours), noErr);
            ASSERT_EQ(ours, MktimeAnswer(start));
            for (int64_t w : walls) {
                LongDateTime local = w + kUnixFrom1904;
                ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(local, &ours), noErr);
                CFAbsoluteTime expected = MktimeAnswer(local);
                if (ours != expected && ++mismatches <= 10)
                    ADD_FAILURE() << GetParam() << ": local " << w << " (change at " << change.at
                                  << ", " << change.before << " -> " << change.after
                                  << (rising ? ", rising" : ", falling") << "): " << ours
                                  << " != mktime " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Zones, CarbonCoreZoneChanges,
                         ::testing::Values("Europe/Berlin", "America/New_York",
                                           "Australia/Lord_Howe", "Europe/Dublin",
                                           "America/Sao_Paulo", "Pacific/Apia", "Africa/Casablanca",
                                           "Asia/Kolkata"));

// Berlin's clocks in 2021: set forward at 02:00 on 28 March (02:30 never happens), set back at
// 03:00 on 31 October (02:30 happens twice). A repeated time keeps the offset of the answer
// before it, as mktime does; a missing one is read with the standard offset.
struct AmbiguousCase {
    const char* what;
    int64_t before;  // a local time converted first (seconds since 1970, local fields)
    int64_t wall;    // the local time under test
    int64_t utc;     // the expected answer
};

TEST_F(CarbonCore, RepeatedAndMissingLocalTimesResolveAsMktimeDoes) {
    ZoneScope zone("Europe/Berlin");
    constexpr int64_t kWinter = 1610712000, kSummer = 1625140800;  // 15 Jan and 1 Jul, noon
    constexpr int64_t kForward = 1616898600, kBack = 1635647400;   // 02:30 on either day
    const AmbiguousCase cases[] = {
        {"repeated, after summer", kSummer, kBack, kBack - 7200},
        {"repeated, after winter", kWinter, kBack, kBack - 3600},
        {"missing, after summer", kSummer, kForward, kForward - 3600},
        {"missing, after winter", kWinter, kForward, kForward - 3600},
    };
    for (const AmbiguousCase& c : cases) {
        CFAbsoluteTime absolute = 0;
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(c.before + kUnixFrom1904, &absolute),
                  noErr);
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(c.wall + kUnixFrom1904, &absolute), noErr);
        EXPECT_EQ(absolute, static_cast<double>(c.utc - kUnixFrom2001)) << c.what;
    }
}

// TZ set between calls, without a tzset of the caller's own, takes effect on the next call.
TEST_F(CarbonCore, DateConversionsFollowAChangeOfTZ) {
    constexpr LongDateTime kNoon2021 = k2001 + 646790400 + 12 * 3600;  // 1 Jul 2021, local
    ZoneScope restore("UTC");
    const struct {
        const char* zone;
        CFAbsoluteTime noonAt;
        LongDateTime localAtMidnightUTC;
    } cases[] = {
        {"Europe/Berlin", kJuly2021 + 10 * 3600, k2001 + 646790400 + 7200},
        {"America/New_York", kJuly2021 + 16 * 3600, k2001 + 646790400 - 4 * 3600},
        {"Europe/Berlin", kJuly2021 + 10 * 3600, k2001 + 646790400 + 7200},
    };
    for (const auto& c : cases) {
        setenv("TZ", c.zone, 1);
        CFAbsoluteTime absolute = 0;
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(kNoon2021, &absolute), noErr);
        EXPECT_EQ(absolute, c.noonAt) << c.zone;
        LongDateTime local = 0;
        ASSERT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(kJuly2021, &local), noErr);
        EXPECT_EQ(local, c.localAtMidnightUTC) << c.zone;
    }
}

// The zone is loaded once and kept while the environment's TZ is unchanged; every way of
// changing TZ (or of moving its entry) between two conversions gives the new zone's answer.
TEST_F(CarbonCore, DateConversionsNoticeEveryChangeOfTheEnvironmentsTZ) {
    constexpr LongDateTime kNoon2021 = k2001 + 646790400 + 12 * 3600;  // 1 Jul 2021, local
    ZoneScope restore("UTC");
    static char buffer[64] = "TZ=America/New_York";  // putenv keeps it as the entry itself
    const struct {
        const char* what;
        std::function<void()> change;
    } steps[] = {
        {"setenv", [] { setenv("TZ", "Europe/Berlin", 1); }},
        {"another variable added", [] { setenv("PLISTBRIDGE_ZONE_TEST_A", "1", 1); }},
        {"TZ removed", [] { unsetenv("TZ"); }},
        {"TZ added again", [] { setenv("TZ", "Asia/Tokyo", 1); }},
        {"variable before TZ removed", [] { unsetenv("PLISTBRIDGE_ZONE_TEST_A"); }},
        {"putenv", [] { putenv(buffer); }},
        {"putenv's buffer changed in place",
         [] { std::memcpy(buffer, "TZ=Europe/Lisbon", sizeof "TZ=Europe/Lisbon"); }},
        {"same value set again", [] { setenv("TZ", "Europe/Lisbon", 1); }},
        {"back to a zone set before", [] { setenv("TZ", "Europe/Berlin", 1); }},
    };
    for (const auto& step : steps) {
        step.change();
        CFAbsoluteTime ours = 0;
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(kNoon2021, &ours), noErr);
        EXPECT_EQ(ours, MktimeAnswer(kNoon2021)) << step.what;
        LongDateTime local = 0;
        ASSERT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(kJuly2021, &local), noErr);
        EXPECT_EQ(local,
                  kUnixFrom1904 + kUnixFrom2001 + kJuly2021 + OffsetAt(kUnixFrom2001 + kJuly2021))
            << step.what;
    }
}

// At the far edge of the C library's calendar, a probe from the previous answer's offset (here
// from a zone fourteen hours ahead) can fall outside what localtime_r converts; such a time
// still converts as mktime converts it (there, Pago Pago kept its local mean time, so every
// local time occurs once and the answer does not depend on earlier calls).
TEST_F(CarbonCore, LocalTimesAtTheCalendarsEdgeConvertAsMktimeDoes) {
    ZoneScope restore("Pacific/Kiritimati");
    // 1 January of the earliest year a struct tm holds, 00:00 local (seconds since 1970).
    constexpr int64_t kEarliest = -67768040609740800;
    for (int64_t wall : {kEarliest, kEarliest + 3600, kEarliest + 86400 * 2}) {
        setenv("TZ", "Pacific/Kiritimati", 1);
        CFAbsoluteTime ours = 0;
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(k2001, &ours), noErr);
        setenv("TZ", "Pacific/Pago_Pago", 1);
        ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(wall + kUnixFrom1904, &ours), noErr);
        EXPECT_EQ(ours, MktimeAnswer(wall + kUnixFrom1904)) << wall;
    }
}

// Within the limit but a year or more beyond the calendar a struct tm holds, in zones whose
// previous answer's offset moves the first probe either way.
TEST_F(CarbonCore, LocalTimesBeyondTheCalendarFailWithParamErr) {
    ZoneScope restore("UTC");
    constexpr int64_t kYear = 366 * 86400;
    for (const char* zone : {"UTC", "Pacific/Kiritimati", "Pacific/Pago_Pago"}) {
        setenv("TZ", zone, 1);
        for (int64_t wall : {-67768040609740800 - kYear, 67768036191676799 + kYear,
                             int64_t{100'000'000'000'000'000}, -int64_t{100'000'000'000'000'000}}) {
            CFAbsoluteTime absolute = 0;
            ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(k2001, &absolute), noErr);
            EXPECT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(wall + kUnixFrom1904, &absolute),
                      paramErr)
                << zone << " " << wall;
            EXPECT_EQ(absolute, 0);
        }
    }
}

}  // namespace

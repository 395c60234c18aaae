// Pointer blocks, fixed point and the two date conversions in zones with and without DST.
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

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

}  // namespace

#include "PlatformTesting.h"

#include <gtest/gtest.h>

#include "platform/Testing/PTInternal.h"

namespace {

bool CallProbe(int32_t& status) {
    return PT_ENTER("PTProbe", status);
}

TEST(PlatformTesting, CountsCallsPerFunction) {
    PTReset();
    int32_t status = 0;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(CallProbe(status));
    EXPECT_EQ(PTCallCount("PTProbe"), 3u);
    EXPECT_EQ(PTCallCount("NeverCalled"), 0u);
    PTReset();
    EXPECT_EQ(PTCallCount("PTProbe"), 0u);
}

TEST(PlatformTesting, FailsTheArmedCallsAfterTheSkippedOnes) {
    PTReset();
    PTFailCalls("PTProbe", 1, 2, -1700);
    int32_t status = 0;
    EXPECT_FALSE(CallProbe(status));
    EXPECT_FALSE(PTFaultWasDelivered());
    EXPECT_TRUE(CallProbe(status));
    EXPECT_EQ(status, -1700);
    EXPECT_TRUE(CallProbe(status));
    EXPECT_FALSE(CallProbe(status));
    EXPECT_TRUE(PTFaultWasDelivered());
    PTReset();
}

TEST(PlatformTesting, FailsTheNthCallWhateverTheFunction) {
    PTReset();
    PTFailNthCall(2, -108);
    int32_t status = 0;
    EXPECT_FALSE(CallProbe(status));
    EXPECT_TRUE(CallProbe(status));
    EXPECT_EQ(status, -108);
    EXPECT_FALSE(CallProbe(status));
    PTReset();
}

TEST(PlatformTesting, FailsCFAllocationsOnDemand) {
    PTReset();
    PTFailCFAllocations(1, 1);
    EXPECT_FALSE(pt::CFAllocationFails());
    EXPECT_TRUE(pt::CFAllocationFails());
    EXPECT_FALSE(pt::CFAllocationFails());
    PTReset();
}

TEST(PlatformTesting, CountsDoubleReleasesWhenAbortIsOff) {
    PTReset();
    PTSetAbortOnDoubleRelease(0);
    pt::DoubleRelease("a test object");
    EXPECT_EQ(PTDoubleReleaseCount(), 1);
    PTReset();
    EXPECT_EQ(PTDoubleReleaseCount(), 0);
}

}  // namespace

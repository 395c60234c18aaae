// Fixtures that make every test a leak test: a test fails when it leaves a descriptor or a
// CF object alive that it did not find, or releases anything twice.
#ifndef TESTS_SUPPORT_PLATFORMTEST_H
#define TESTS_SUPPORT_PLATFORMTEST_H

#include <gtest/gtest.h>

#include "PlatformTesting.h"

template <class Base>
class LeakChecked : public Base {
protected:
    void SetUp() override {
        PTReset();
        PTSetAbortOnDoubleRelease(true);
        mDescriptors = PTLiveDescriptorCount();
        mCFObjects = PTLiveCFObjectCount();
    }
    void TearDown() override {
        PTClearFaults();
        EXPECT_EQ(PTLiveDescriptorCount(), mDescriptors) << "descriptors leaked by this test";
        EXPECT_EQ(PTLiveCFObjectCount(), mCFObjects) << "CF objects leaked by this test";
        EXPECT_EQ(PTDoubleReleaseCount(), 0) << "something was released twice";
    }

private:
    long mDescriptors = 0;
    long mCFObjects = 0;
};

using PlatformTest = LeakChecked<::testing::Test>;
template <class T>
using PlatformTestWithParam = LeakChecked<::testing::TestWithParam<T>>;

#endif

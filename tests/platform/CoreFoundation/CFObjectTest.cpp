// The object model: allocation failure, double release, injected call failures.
#include <CoreFoundation/CoreFoundation.h>

#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFObjectTest : public PlatformTest {};

// Each step makes objects with several allocations inside; every allocation in turn fails.
TEST_F(CFObjectTest, EveryAllocationFailureGivesNullAndLeaksNothing) {
    const auto steps = [] {
        cf::Ref<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, CFSTR("relative/file"),
                                                            kCFURLPOSIXPathStyle, false));
        if (!url) return false;
        cf::Ref<CFURLRef> absolute(CFURLCopyAbsoluteURL(url.Get()));
        if (!absolute) return false;
        const void* keys[] = {CFSTR("u")};
        const void* values[] = {absolute.Get()};
        cf::Ref<CFDictionaryRef> d(CFDictionaryCreate(nullptr, keys, values, 1,
                                                      &kCFTypeDictionaryKeyCallBacks,
                                                      &kCFTypeDictionaryValueCallBacks));
        if (!d) return false;
        cf::Ref<CFMutableDictionaryRef> copy(CFDictionaryCreateMutableCopy(nullptr, 0, d.Get()));
        return copy && CFEqual(copy.Get(), d.Get());
    };
    long live = PTLiveCFObjectCount();
    int failures = 0;
    for (long skip = 0;; ++skip) {
        PTFailCFAllocations(skip, 1);
        bool ok = steps();
        bool delivered = PTFaultWasDelivered();
        PTClearFaults();
        EXPECT_EQ(PTLiveCFObjectCount(), live) << "after failing allocation " << skip;
        if (!delivered) {
            EXPECT_TRUE(ok);
            break;
        }
        EXPECT_FALSE(ok) << "allocation " << skip << " failed unnoticed";
        ++failures;
    }
    EXPECT_GE(failures, 5);
}

TEST_F(CFObjectTest, InjectedCallFailuresClearResults) {
    PTFailCalls("CFDataCreate", 1, 1, 0);
    const UInt8 bytes[] = {1, 2};
    cf::Ref<CFDataRef> first(CFDataCreate(nullptr, bytes, 2));
    cf::Ref<CFDataRef> second(CFDataCreate(nullptr, bytes, 2));
    EXPECT_TRUE(first);
    EXPECT_FALSE(second);
    EXPECT_TRUE(PTFaultWasDelivered());

    cf::Ref<CFDictionaryRef> d(cf::CreateDictionary(0, false));
    cf::DictionarySetAdopting(d.Get(), cf::CreateStringFromUTF8("k"), kCFNull);
    PTFailCalls("CFDictionaryGetValueIfPresent", 0, 1, 0);
    const void* value = kCFBooleanTrue;
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(d.Get(), CFSTR("k"), &value));
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(PTCallCount("CFDataCreate"), 2u);
}

TEST_F(CFObjectTest, DoubleReleaseIsCounted) {
    PTSetAbortOnDoubleRelease(0);
    CFDataRef data = CFDataCreate(nullptr, nullptr, 0);
    CFRelease(data);
    CFRelease(data);
    EXPECT_EQ(PTDoubleReleaseCount(), 1);
    PTReset();  // the fixture checks for double releases: this one was on purpose
}

// Double releases are told from a registry of freed addresses, never by reading the freed
// object; an address handed out again belongs to a live object again.
TEST_F(CFObjectTest, ReusedAddressIsLiveAgain) {
    PTSetAbortOnDoubleRelease(0);
    const UInt8 bytes[] = {1, 2, 3};
    CFDataRef first = CFDataCreate(nullptr, bytes, 3);
    const void* address = first;
    CFRelease(first);
    std::vector<cf::Ref<CFDataRef>> made;
    for (int i = 0; i < 1000 && (made.empty() || made.back().Get() != address); ++i)
        made.emplace_back(CFDataCreate(nullptr, bytes, 3));
    if (made.back().Get() == address) {
        CFRetain(made.back().Get());
        CFRelease(made.back().Get());
        EXPECT_EQ(CFDataGetLength(made.back().Get()), 3);
    }
    EXPECT_EQ(PTDoubleReleaseCount(), 0);
    made.clear();
    CFRelease(first);  // the address is free again: a double release
    EXPECT_EQ(PTDoubleReleaseCount(), 1);
    PTReset();
}

TEST_F(CFObjectTest, DoubleReleaseAbortsWhileAbortIsOn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PTSetAbortOnDoubleRelease(1);
            CFStringRef s = cf::CreateStringFromUTF8("x");
            CFRelease(s);
            CFRelease(s);
        },
        "double release");
}

TEST_F(CFObjectTest, RetainCountsAndTypeIDs) {
    cf::Ref<CFDateRef> date(CFDateCreate(nullptr, 12.5));
    EXPECT_EQ(CFGetRetainCount(date.Get()), 1);
    CFRetain(date.Get());
    EXPECT_EQ(CFGetRetainCount(date.Get()), 2);
    CFRelease(date.Get());
    EXPECT_EQ(CFGetTypeID(date.Get()), CFDateGetTypeID());
    EXPECT_EQ(CFDateGetAbsoluteTime(date.Get()), 12.5);
    EXPECT_NE(CFDateGetTypeID(), CFStringGetTypeID());
    cf::Ref<CFStringRef> name(CFCopyTypeIDDescription(CFGetTypeID(date.Get())));
    EXPECT_TRUE(CFEqual(name.Get(), CFSTR("CFDate")));
    EXPECT_EQ(CFGetRetainCount(kCFBooleanTrue) > 1000000, true);
}

}  // namespace

// Property list → descriptor under pressure: failures that must not be dropped (no memory, too
// deep a nesting), apply functions that skip elements, and the expansion guard's bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/CFBuilders.h"
#include "convert/DescBuilders.h"
#include "convert/PropertyListToDesc.h"
#include "support/PlatformTest.h"

namespace {

class ConversionLimitsTest : public PlatformTest {
protected:
    // The status thrown, 0 when the conversion returns.
    static int32_t Convert(CFTypeRef plist, CAEDesc& out) {
        try {
            PropertyListToDesc(plist, out);
            return 0;
        } catch (int32_t status) {
            return status;
        }
    }
};

// [x, x] nested `levels` deep around one leaf, each level shared by both slots.
CFObject SharedPairs(int levels) {
    CFObject current = CFInt64(7);
    for (int i = 0; i < levels; ++i) current = CFArr({current.Get(), current.Get()});
    return current;
}

TEST_F(ConversionLimitsTest, MemoryFailuresInsideContainersReachTheCallerNotAShorterTree) {
    CFObject leaf = CFStr("leaf"), key = CFStr("key"), keyword = CFStr("'pnam'");
    CFObject inner = CFArr({leaf.Get(), leaf.Get()});
    CFObject dict = CFDict({{key.Get(), inner.Get()}, {keyword.Get(), leaf.Get()}});
    CFObject outer = CFArr({leaf.Get(), dict.Get(), leaf.Get()});
    // Every call of the conversion that makes or puts a descriptor, in turn: out of memory is
    // never dropped like an ordinary failing element.
    int faults = 0;
    for (const char* name : {"AECreateDesc", "AEPutDesc", "AEPutPtr", "AECreateList",
                             "AEPutParamDesc", "AEPutParamPtr"}) {
        for (long skip = 0; skip < 8; ++skip) {
            CAEDesc out;
            PTFailCalls(name, skip, 1, memFullErr);
            const int32_t status = Convert(outer.Get(), out);
            const bool delivered = PTFaultWasDelivered();
            PTClearFaults();
            if (!delivered) break;
            ++faults;
            EXPECT_EQ(status, memFullErr) << name << " call " << skip + 1;
        }
    }
    EXPECT_GT(faults, 12);
    // Any other failure of an element still drops just that element (a string is put by
    // pointer).
    CAEDesc out;
    PTFailCalls("AEPutPtr", 0, 1, errAECoercionFail);
    EXPECT_EQ(Convert(outer.Get(), out), 0);
    PTClearFaults();
    long count = 0;
    ASSERT_EQ(AECountItems(&out.mDesc, &count), noErr);
    EXPECT_EQ(count, 2);
}

TEST_F(ConversionLimitsTest, AUserFieldWhoseValueCannotBePutLeavesNoKeyBehind) {
    CFObject a = CFStr("a"), b = CFStr("b"), one = CFInt64(1), two = CFInt64(2);
    CFObject dict = CFDict({{a.Get(), one.Get()}, {b.Get(), two.Get()}});
    // The second AEPutPtr is the first entry's value: the entry goes, keys and values stay
    // paired.
    CAEDesc out;
    PTFailCalls("AEPutPtr", 1, 1, errAEEventNotHandled);
    ASSERT_EQ(Convert(dict.Get(), out), 0);
    PTClearFaults();
    OwnedDesc expected = MakeRecord(
        {{keyASUserRecordFields, MakeUserFields({{u"b", MakeValue(typeSInt32, int32_t(2))}})}});
    EXPECT_EQ(Describe(out.mDesc), Describe(*expected));
    // When the lone key cannot be taken out again, the list would be misaligned: the whole
    // conversion fails.
    PTFailCalls("AEPutPtr", 1, 1, errAEEventNotHandled);
    PTFailCalls("AEDeleteItem", 0, 1, errAEEventNotHandled);
    EXPECT_EQ(Convert(dict.Get(), out), errAEEventNotHandled);
}

TEST_F(ConversionLimitsTest, AnApplyFunctionThatSkipsElementsFailsTheContainer) {
    CFObject one = CFInt64(1), key = CFStr("k");
    CFObject array = CFArr({one.Get(), one.Get()});
    CFObject dict = CFDict({{key.Get(), one.Get()}});
    // Nested inside a list, so that the failure must get past an applier too.
    CFObject nestedArray = CFArr({one.Get(), array.Get()});
    CFObject nestedDict = CFArr({one.Get(), dict.Get()});
    const std::pair<const char*, CFTypeRef> cases[] = {
        {"CFArrayApplyFunction", array.Get()},
        {"CFDictionaryApplyFunction", dict.Get()},
        {"CFArrayApplyFunction", nestedArray.Get()},  // skip 1: the inner list's
        {"CFDictionaryApplyFunction", nestedDict.Get()}};
    for (const auto& [name, plist] : cases) {
        CAEDesc out;
        PTFailCalls(name, plist == nestedArray.Get() ? 1 : 0, 1, errAEEventNotHandled);
        EXPECT_EQ(Convert(plist, out), coreFoundationUnknownErr) << name;
        PTClearFaults();
    }
    // Empty containers offer nothing and are whole.
    CFObject empty = CFArr({});
    CAEDesc out;
    EXPECT_EQ(Convert(empty.Get(), out), 0);
}

TEST_F(ConversionLimitsTest, TheExpansionGuardHasAFloorAndGrowsWithTheInputSize) {
    // SharedPairs(n) expands to 2^(n+1) - 1 values.
    const uint64_t values22 = (uint64_t{1} << 23) - 1;
    const size_t enough = static_cast<size_t>(values22 / kExpansionPerInputByte + 1);
    const struct {
        int levels;
        size_t inputBytes;
        int32_t status;
    } rows[] = {
        {21, 0, 0},           // below the floor, whatever the input's size
        {22, 0, memFullErr},  // above it: refused like a load without memory
        {22, 10000, memFullErr},
        {22, enough, 0},  // within the share of a big enough input
        {22, enough - 2, memFullErr},
        {30, 163, memFullErr},  // 2^31 - 1 values, refused after counting the bound
    };
    for (const auto& row : rows) {
        CFObject shared = SharedPairs(row.levels);
        int32_t status = 0;
        try {
            CheckExpansion(shared.Get(), row.inputBytes);
        } catch (int32_t thrown) {
            status = thrown;
        }
        EXPECT_EQ(status, row.status) << row.levels << " levels, " << row.inputBytes << " bytes";
    }
    EXPECT_EQ(PTLiveDescriptorCount(), 0);  // nothing is built to count
}

TEST_F(ConversionLimitsTest, TheExpansionGuardCountsDescriptorBytesToo) {
    // 4,096 references to one string of n characters: 4,096 * (2n + 8) bytes and 16 for the
    // list, 64 MB and 16 bytes at n = 8,188.
    const auto shared = [](CFIndex characters) {
        CFObject string = CFStr(std::string(static_cast<size_t>(characters), 'x'));
        std::vector<CFTypeRef> items(4096, string.Get());
        return CFObject(
            CFArrayCreate(kCFAllocatorDefault, items.data(), 4096, &kCFTypeArrayCallBacks));
    };
    const struct {
        CFIndex characters;
        size_t inputBytes;
        int32_t status;
    } rows[] = {
        {8187, 0, 0},
        {8188, 0, memFullErr},
        {8188, (64u << 20) / 64 + 1, 0},  // within the share of a big enough input
        {8188, (64u << 20) / 64, memFullErr},
        {1 << 20, 0, memFullErr},  // refused after 32 copies
    };
    for (const auto& row : rows) {
        CFObject list = shared(row.characters);
        int32_t status = 0;
        try {
            CheckExpansion(list.Get(), row.inputBytes);
        } catch (int32_t thrown) {
            status = thrown;
        }
        EXPECT_EQ(status, row.status) << row.characters << " characters, " << row.inputBytes;
    }
}

}  // namespace

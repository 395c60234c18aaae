// CAEDesc and CAEDescReader: who releases what, and when the platform is called at all.
#include "desc/CAEDesc.h"

#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

using CAEDescTest = PlatformTest;

TEST_F(CAEDescTest, NullStatesMakeNoPlatformCall) {
    {
        CAEDesc desc;
        EXPECT_TRUE(desc.IsNull());
        desc.Dispose();
        desc.CoerceTo(&desc.mDesc, typeUnicodeText);  // a null source: nothing to coerce
        EXPECT_EQ(desc.mDesc.descriptorType, DescType(typeNull));
    }
    CAEDescReader fromNothing(nullptr);
    EXPECT_EQ(fromNothing.mDesc.descriptorType, DescType(typeNull));
    EXPECT_EQ(fromNothing.mDesc.dataHandle, nullptr);
    EXPECT_EQ(PTTotalCallCount(), 0u);
}

TEST_F(CAEDescTest, IsNullWhenTypeIsNullOrThereIsNoData) {
    CAEDesc text = MakeDesc(typeChar, "abc");
    struct Case {
        AEDesc desc;
        bool isNull;
    } cases[] = {
        {{typeNull, text.mDesc.dataHandle}, true},
        {{typeChar, nullptr}, true},
        {{typeNull, nullptr}, true},
        {text.mDesc, false},
    };
    for (const Case& c : cases) EXPECT_EQ(CAEDescReader(&c.desc).IsNull(), c.isNull);
}

TEST_F(CAEDescTest, ViewOfAReplyReleasesNothing) {
    AppleEvent reply = {typeNull, nullptr};
    ASSERT_EQ(AECreateList(nullptr, 0, true, &reply), noErr);
    {
        CAEDescReader view(&reply);
        EXPECT_EQ(AEPutParamPtr(&view.mDesc, keyDirectObject, typeChar, "x", 1), noErr);
    }
    Size size = 0;
    DescType type = 0;
    EXPECT_EQ(AESizeOfParam(&reply, keyDirectObject, &type, &size), noErr);  // landed, intact
    EXPECT_EQ(PTCallCount("AEDisposeDesc"), 0u);
    AEDisposeDesc(&reply);
}

TEST_F(CAEDescTest, DisposeReleasesOnceAndDestructorAddsNothing) {
    {
        CAEDesc desc = MakeDesc(typeChar, "abc");
        desc.Dispose();
        EXPECT_TRUE(desc.IsNull());
        EXPECT_EQ(PTCallCount("AEDisposeDesc"), 1u);
    }
    EXPECT_EQ(PTCallCount("AEDisposeDesc"), 1u);
}

TEST_F(CAEDescTest, ReusedOutputReleasesEachPreviousItem) {
    CAEDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, &list.mDesc), noErr);
    for (int32_t i = 0; i < 3; ++i) ASSERT_EQ(AEPutPtr(&list.mDesc, 0, typeSInt32, &i, 4), noErr);
    PTReset();
    {
        CAEDesc item;
        for (long i = 1; i <= 3; ++i) {
            ASSERT_EQ(AEGetNthDesc(&list.mDesc, i, typeWildCard, nullptr, item.Out()), noErr);
            EXPECT_EQ(item.GetSInt32(), i - 1);
            EXPECT_EQ(PTCallCount("AEDisposeDesc"), static_cast<unsigned long>(i - 1));
        }
    }
    EXPECT_EQ(PTCallCount("AEDisposeDesc"), 3u);
}

TEST_F(CAEDescTest, AssignmentFromNullSourceOnlyReleasesTheOldContent) {
    CAEDesc filled = MakeDesc(typeChar, "abc");
    const AEDesc sources[] = {{typeNull, nullptr}, {typeChar, nullptr}};
    for (const AEDesc& source : sources) {
        CAEDesc target = MakeDesc(typeChar, "old");
        PTReset();
        target = source;
        EXPECT_TRUE(target.IsNull());
        EXPECT_EQ(PTTotalCallCount(), 1u);
        EXPECT_EQ(PTCallCount("AEDisposeDesc"), 1u);
    }
}

TEST_F(CAEDescTest, AssignmentDuplicatesIntoIndependentStorage) {
    CAEDesc target;
    {
        CAEDesc source = MakeDesc(typeChar, "abc");
        target = source.mDesc;
    }
    std::string bytes;
    target.GetString(bytes);
    EXPECT_EQ(bytes, "abc");

    PTFailCalls("AEDuplicateDesc", 0, 1, errAECorruptData);
    CAEDesc source = MakeDesc(typeChar, "abc");
    EXPECT_EQ(StatusOf([&] { target = source.mDesc; }), errAECorruptData);
}

TEST_F(CAEDescTest, MovesTransferOwnership) {
    CAEDesc a = MakeDesc(typeChar, "abc");
    CAEDesc b(std::move(a));
    EXPECT_TRUE(a.IsNull());
    CAEDesc c = MakeDesc(typeChar, "def");
    c = std::move(b);
    EXPECT_TRUE(b.IsNull());
    EXPECT_EQ(PTCallCount("AEDisposeDesc"), 1u);  // c's old content
}

}  // namespace

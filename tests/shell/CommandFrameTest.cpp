// The command frame: the status each thrown kind becomes, the busy count, and the check for
// unread required parameters.
#include "shell/CommandFrame.h"

#include <cstdint>
#include <new>
#include <string>

#include "common/PlistBridgeEvents.h"
#include "desc/CAEDesc.h"
#include "desc/DescTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "support/PlatformTest.h"

namespace {

// An event of our suite; `optional` lists keywords that are not required.
CAEDesc MakeEvent(std::initializer_list<AEKeyword> optional = {}) {
    CAEDesc event;
    EXPECT_EQ(AECreateAppleEvent(kPlistBridgeSuite, kAELoadPList, nullptr, kAutoGenerateReturnID,
                                 kAnyTransactionID, &event.mDesc),
              noErr);
    if (optional.size() != 0) {
        CAEDesc keys;
        EXPECT_EQ(AECreateList(nullptr, 0, false, &keys.mDesc), noErr);
        for (AEKeyword key : optional)
            EXPECT_EQ(AEPutPtr(&keys.mDesc, 0, typeKeyword, &key, 4), noErr);
        EXPECT_EQ(AEPutAttributeDesc(&event.mDesc, keyOptionalKeywordAttr, &keys.mDesc), noErr);
    }
    return event;
}

struct FrameCase {
    const char* name;
    void (*body)();
    OSErr status;
    bool putsMessage;
};

const FrameCase kFrameCases[] = {
    {"completes", [] {}, noErr, false},
    {"message", [] { ThrowMessage("load plist: no property list specified"); }, errAEEventFailed,
     true},
    {"16-bit status", [] { throw OSErr(-43); }, -43, false},
    {"32-bit in range", [] { ThrowStatus(coreFoundationUnknownErr); }, -4960, false},
    {"32-bit platform status", [] { ThrowIfError(OSErr(errAEDescNotFound)); }, -1701, false},
    {"32-bit wide, truncated", [] { ThrowStatus(0x12345); }, 0x2345, false},
    {"32-bit wide, negative low half", [] { ThrowStatus(0x1FFFF); }, -1, false},
    {"32-bit wide, low half zero", [] { ThrowStatus(0x10000); }, errAEEventFailed, false},
    {"32-bit minimum", [] { ThrowStatus(INT32_MIN); }, errAEEventFailed, false},
    {"allocation failure", [] { throw std::bad_alloc(); }, errAEEventFailed, false},
    {"anything else", [] { throw std::string("x"); }, errAEEventFailed, false},
};

class CommandFrameTest : public PlatformTestWithParam<FrameCase> {};

TEST_P(CommandFrameTest, StatusAndReply) {
    const FrameCase& c = GetParam();
    SCOPED_TRACE(c.name);
    CAEDesc reply = MakeEvent();
    const OSErr status = RunCommand(&reply.mDesc, [&] {
        CAEDesc held = MakeDesc(typeChar, "the body's own");  // the fixture sees it released
        c.body();
    });
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(gBusyCount, 0);
    DescType type = 0;
    Size size = 0;
    const OSErr found = AESizeOfParam(&reply.mDesc, keyErrorString, &type, &size);
    if (c.putsMessage) {
        ASSERT_EQ(found, noErr);
        EXPECT_EQ(type, DescType(typeChar));
        std::string text;
        CAEDesc errs;
        ASSERT_EQ(AEGetParamDesc(&reply.mDesc, keyErrorString, typeWildCard, &errs.mDesc), noErr);
        errs.GetString(text);
        EXPECT_EQ(text, "load plist: no property list specified");
        EXPECT_EQ(text.size(), 38u);
    } else {
        EXPECT_EQ(found, errAEDescNotFound);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CommandFrameTest, ::testing::ValuesIn(kFrameCases));

using CommandFrameBusyTest = PlatformTest;

TEST_F(CommandFrameBusyTest, BusyWhileAHandlerRunsAndNestedCallsCount) {
    EXPECT_FALSE(SAIsBusy());
    int32_t seenOuter = 0, seenInner = 0;
    const OSErr status = RunCommand(nullptr, [&] {
        seenOuter = gBusyCount;
        EXPECT_TRUE(SAIsBusy());
        EXPECT_EQ(RunCommand(nullptr,
                             [&] {
                                 seenInner = gBusyCount;
                                 ThrowStatus(fnfErr);
                             }),
                  fnfErr);
        EXPECT_EQ(gBusyCount, 1);
        ThrowMessage("failed");  // a NULL reply gets no text and nothing breaks
    });
    EXPECT_EQ(status, errAEEventFailed);
    EXPECT_EQ(seenOuter, 1);
    EXPECT_EQ(seenInner, 2);
    EXPECT_FALSE(SAIsBusy());
}

TEST_F(CommandFrameBusyTest, CheckMissedParams) {
    CAEDesc bare = MakeEvent();
    EXPECT_EQ(CheckMissedParams(&bare.mDesc), 0);

    CAEDesc event = MakeEvent({FourCC("XMlO")});
    ASSERT_EQ(AEPutParamPtr(&event.mDesc, FourCC("XMlO"), typeChar, "o", 1), noErr);
    ASSERT_EQ(AEPutParamPtr(&event.mDesc, keyDirectObject, typeChar, "d", 1), noErr);
    EXPECT_EQ(CheckMissedParams(&event.mDesc), errAEParamMissed);  // direct parameter unread
    CAEDesc direct;
    ASSERT_EQ(AEGetParamDesc(&event.mDesc, keyDirectObject, typeWildCard, &direct.mDesc), noErr);
    EXPECT_EQ(CheckMissedParams(&event.mDesc), 0);  // the optional one may stay unread

    PTFailCalls("AEGetAttributePtr", 0, 1, errAENotAEDesc);
    EXPECT_EQ(CheckMissedParams(&event.mDesc), errAENotAEDesc);
}

}  // namespace

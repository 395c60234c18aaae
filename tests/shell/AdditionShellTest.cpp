// Start-up and shut-down over a handler table: one or both installations failing, refused
// removals, and the bundle reference.
#include "shell/EventHandlerTable.h"

#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

OSErr First(const AppleEvent*, AppleEvent*, SRefCon) {
    return noErr;
}
OSErr Second(const AppleEvent*, AppleEvent*, SRefCon) {
    return noErr;
}

constexpr AEEventClass kClass = FourCC("Tst ");
const EventHandlerTable kTable = {{kClass, FourCC("one "), First},
                                  {kClass, FourCC("two "), Second}};

AEEventHandlerProcPtr SystemHandler(AEEventID id) {
    AEEventHandlerProcPtr handler = nullptr;
    SRefCon refcon = nullptr;
    AEGetEventHandler(kClass, id, &handler, &refcon, true);
    return handler;
}

class AdditionShellTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        // Any CF object can stand for the bundle: the shell only retains and releases it.
        mBundle = CFStringCreateWithCString(kCFAllocatorDefault, "bundle", kCFStringEncodingUTF8);
    }
    void TearDown() override {
        for (std::size_t row = 0; row < kEventHandlerCount; ++row) {
            AERemoveEventHandler(kTable[row].eventClass, kTable[row].eventID, kTable[row].handler,
                                 true);
            gInstalledHandlers[row] = nullptr;
        }
        EXPECT_EQ(gAdditionBundle, nullptr);
        CFRelease(mBundle);
        PlatformTest::TearDown();
    }
    CFBundleRef Bundle() const { return (CFBundleRef)mBundle; }

    CFStringRef mBundle = nullptr;
};

TEST_F(AdditionShellTest, InstallsBothInTheSystemTableAndRemovesThem) {
    ASSERT_EQ(StartAddition(Bundle(), kTable), noErr);
    EXPECT_EQ(CFGetRetainCount(mBundle), 2);
    EXPECT_EQ(SystemHandler(FourCC("one ")), &First);
    EXPECT_EQ(SystemHandler(FourCC("two ")), &Second);
    StopAddition(kTable);
    EXPECT_EQ(CFGetRetainCount(mBundle), 1);
    EXPECT_EQ(SystemHandler(FourCC("one ")), nullptr);
    EXPECT_EQ(gInstalledHandlers[0], nullptr);
    EXPECT_EQ(gInstalledHandlers[1], nullptr);
}

TEST_F(AdditionShellTest, OneFailedInstallationStillStarts) {
    PTFailCalls("AEInstallEventHandler", 0, 1, errAEEventFailed);
    ASSERT_EQ(StartAddition(Bundle(), kTable), noErr);
    EXPECT_EQ(gInstalledHandlers[0], &First);  // recorded although never installed
    EXPECT_EQ(SystemHandler(FourCC("two ")), &Second);
    PTReset();
    StopAddition(kTable);
    EXPECT_EQ(PTCallCount("AERemoveEventHandler"), 2u);
    EXPECT_EQ(gInstalledHandlers[0], &First);  // its removal was refused
    EXPECT_EQ(gInstalledHandlers[1], nullptr);
}

TEST_F(AdditionShellTest, WhenNothingInstallsTheLastRowsStatusIsReported) {
    struct Case {
        const char* name;
        AEEventHandlerProcPtr first, second;
        void (*inject)();  // makes every installation that is tried fail
        OSErr result;
    } cases[] = {
        // The nth-call fault hits the first installation (the bundle retain is call 1) and
        // leaves the per-function fault for the second.
        {"both refused", First, Second,
         [] {
             PTFailNthCall(2, -1);
             PTFailCalls("AEInstallEventHandler", 0, 1, -2);
         },
         -2},
        {"second has no handler", First, nullptr,
         [] { PTFailCalls("AEInstallEventHandler", 0, 1, -1); }, memFullErr},
        {"first has no handler", nullptr, Second,
         [] { PTFailCalls("AEInstallEventHandler", 0, 1, -2); }, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EventHandlerTable table = {{kClass, FourCC("one "), c.first},
                                         {kClass, FourCC("two "), c.second}};
        PTReset();
        c.inject();
        EXPECT_EQ(StartAddition(Bundle(), table), c.result);
        PTClearFaults();
        EXPECT_EQ(gAdditionBundle, nullptr);
        EXPECT_EQ(CFGetRetainCount(mBundle), 1);
        // Nothing was installed, so every removal was refused and every row keeps its handler.
        EXPECT_EQ(gInstalledHandlers[0], c.first);
        EXPECT_EQ(gInstalledHandlers[1], c.second);
        // A later shut-down finds no bundle and only retries what is recorded.
        PTReset();
        StopAddition(table);
        EXPECT_EQ(PTCallCount("CFRelease"), 0u);
        EXPECT_EQ(PTCallCount("AERemoveEventHandler"), (c.first ? 1u : 0u) + (c.second ? 1u : 0u));
        gInstalledHandlers[0] = gInstalledHandlers[1] = nullptr;
    }
}

}  // namespace

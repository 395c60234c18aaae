// Apple events: attributes, parameter read tracking, handler tables and sending.
#include <gtest/gtest.h>

#include "platform/AE/AETestSupport.h"
#include "support/PlatformTest.h"

namespace {

constexpr AEEventClass kClass = FourCC("Test");
constexpr AEEventID kID = FourCC("evnt");

class AEEvents : public PlatformTest {
protected:
    void TearDown() override {
        for (Boolean sys : {false, true}) {
            AEEventHandlerUPP proc;
            SRefCon refcon;
            if (AEGetEventHandler(kClass, kID, &proc, &refcon, sys) == noErr)
                AERemoveEventHandler(kClass, kID, proc, sys);
        }
        PlatformTest::TearDown();
    }

    void MakeEvent(AppleEvent* event) {
        ProcessSerialNumber self = {0, kCurrentProcess};
        OwnedDesc address;
        ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &self, sizeof self, address.Mutable()),
                  noErr);
        ASSERT_EQ(AECreateAppleEvent(kClass, kID, &address.Get(), kAutoGenerateReturnID,
                                     kAnyTransactionID, event),
                  noErr);
    }
};

// The 'miss' attribute: the first unread required keyword, or -1701.
OSErr Missed(const AppleEvent* event, AEKeyword& key) {
    key = 0;
    DescType type = 0;
    Size size = 0;
    OSErr status = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &type, &key,
                                     sizeof key, &size);
    if (status == noErr) {
        EXPECT_EQ(type, typeKeyword);
    }
    return status;
}

TEST_F(AEEvents, AttributesComeFromCreation) {
    OwnedDesc event;
    MakeEvent(event.Mutable());
    AEEventClass cls = 0;
    AEEventID id = 0;
    DescType type;
    Size size;
    ASSERT_EQ(AEGetAttributePtr(&event.Get(), keyEventClassAttr, typeType, &type, &cls, 4, &size),
              noErr);
    ASSERT_EQ(AEGetAttributePtr(&event.Get(), keyEventIDAttr, typeType, &type, &id, 4, &size),
              noErr);
    EXPECT_EQ(cls, kClass);
    EXPECT_EQ(id, kID);
    int32_t rtid = 0;
    ASSERT_EQ(AEGetAttributePtr(&event.Get(), keyReturnIDAttr, typeSInt32, &type, &rtid, 4, &size),
              noErr);
    EXPECT_NE(rtid, 0);
    OwnedDesc address, list;
    ASSERT_EQ(AEGetAttributeDesc(&event.Get(), keyAddressAttr, typeWildCard, address.Mutable()),
              noErr);
    EXPECT_EQ(address.Type(), typeProcessSerialNumber);
    EXPECT_EQ(AESizeOfAttribute(&event.Get(), FourCC("none"), &type, &size), errAEDescNotFound);
    ASSERT_EQ(AECreateList(nullptr, 0, true, list.Mutable()), noErr);
    EXPECT_EQ(AEGetAttributePtr(&list.Get(), keyEventClassAttr, typeType, &type, &cls, 4, &size),
              errAENotAppleEvent);
}

TEST_F(AEEvents, MissedKeywordFollowsReadsAndOptionalKeywords) {
    struct Case {
        const char* what;
        bool optionalDirect;     // '----' listed in 'optk'
        bool readDirect;         // read through AEGetParamDesc
        bool readOther;          // 'othr' read through AEGetParamPtr
        bool sizeOther;          // 'othr' only sized, which is no read
        AEKeyword expectedMiss;  // 0: -1701
    } cases[] = {
        {"nothing read", false, false, false, false, keyDirectObject},
        {"direct read", false, true, false, false, FourCC("othr")},
        {"sizing is not reading", false, true, false, true, FourCC("othr")},
        {"all read", false, true, true, false, 0},
        {"direct optional", true, false, false, false, FourCC("othr")},
        {"direct optional, other read", true, false, true, false, 0},
    };
    for (const Case& c : cases) {
        OwnedDesc event;
        MakeEvent(event.Mutable());
        ASSERT_EQ(AEPutParamPtr(event.Mutable(), keyDirectObject, typeChar, "x", 1), noErr);
        int32_t v = 3;
        ASSERT_EQ(AEPutParamPtr(event.Mutable(), FourCC("othr"), typeSInt32, &v, 4), noErr);
        if (c.optionalDirect) {
            OwnedDesc optk;
            ASSERT_EQ(AECreateList(nullptr, 0, false, optk.Mutable()), noErr);
            AEKeyword k = keyDirectObject;
            ASSERT_EQ(AEPutPtr(optk.Mutable(), 0, typeKeyword, &k, 4), noErr);
            ASSERT_EQ(AEPutAttributeDesc(event.Mutable(), keyOptionalKeywordAttr, &optk.Get()),
                      noErr);
        }
        const AppleEvent* view = &event.Get();  // reads mark through a const view
        if (c.readDirect) {
            OwnedDesc direct;
            ASSERT_EQ(AEGetParamDesc(view, keyDirectObject, typeWildCard, direct.Mutable()), noErr);
        }
        if (c.sizeOther) {
            ASSERT_EQ(AESizeOfParam(view, FourCC("othr"), nullptr, nullptr), noErr);
        }
        if (c.readOther) {
            int32_t out;
            ASSERT_EQ(AEGetParamPtr(view, FourCC("othr"), typeSInt32, nullptr, &out, 4, nullptr),
                      noErr);
        }
        AEKeyword missed;
        OSErr status = Missed(view, missed);
        if (c.expectedMiss == 0) {
            EXPECT_EQ(status, errAEDescNotFound) << c.what;
        } else {
            EXPECT_EQ(status, noErr) << c.what;
            EXPECT_EQ(missed, c.expectedMiss) << c.what;
        }
    }
}

// Handlers for the dispatch tests. The refcon says what each one does.
struct Probe {
    int calls = 0;
    OSErr result = noErr;
    bool putOwnErrn = false;
    bool readDirect = false;
};

OSErr ProbeHandler(const AppleEvent* event, AppleEvent* reply, SRefCon refcon) {
    auto* probe = static_cast<Probe*>(refcon);
    ++probe->calls;
    if (probe->readDirect) {
        char buffer[8];
        Size size;
        if (AEGetParamPtr(event, keyDirectObject, typeChar, nullptr, buffer, 8, &size) != noErr)
            return errAEEventFailed;
        AEPutParamPtr(reply, keyDirectObject, typeChar, buffer, size);
    }
    if (probe->putOwnErrn) {
        int32_t own = -42;
        AEPutParamPtr(reply, keyErrorNumber, typeSInt32, &own, 4);
    }
    return probe->result;
}

OSErr OtherHandler(const AppleEvent*, AppleEvent*, SRefCon) {
    return noErr;
}

TEST_F(AEEvents, InstallReplacesRemoveNeedsTheSameProc) {
    Probe first, second;
    ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &first, false), noErr);
    ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &second, false), noErr);
    AEEventHandlerUPP proc = nullptr;
    SRefCon refcon = nullptr;
    ASSERT_EQ(AEGetEventHandler(kClass, kID, &proc, &refcon, false), noErr);
    EXPECT_EQ(proc, &ProbeHandler);
    EXPECT_EQ(refcon, &second);
    EXPECT_EQ(AEGetEventHandler(kClass, kID, &proc, &refcon, true), errAEHandlerNotFound);
    EXPECT_EQ(proc, nullptr);
    EXPECT_EQ(AERemoveEventHandler(kClass, kID, OtherHandler, false), errAEHandlerNotFound);
    EXPECT_EQ(AERemoveEventHandler(kClass, kID, ProbeHandler, true), errAEHandlerNotFound);
    EXPECT_EQ(AERemoveEventHandler(kClass, kID, ProbeHandler, false), noErr);
    EXPECT_EQ(AERemoveEventHandler(kClass, kID, ProbeHandler, false), errAEHandlerNotFound);
}

TEST_F(AEEvents, SendDispatchesApplicationTableFirstThenSystem) {
    Probe app, sys;
    app.readDirect = true;
    OwnedDesc event, reply, none, echoed;
    MakeEvent(event.Mutable());
    ASSERT_EQ(AEPutParamPtr(event.Mutable(), keyDirectObject, typeChar, "ping", 4), noErr);
    EXPECT_EQ(AESend(&event.Get(), none.Mutable(), kAEWaitReply, kAENormalPriority,
                     kAEDefaultTimeout, nullptr, nullptr),
              errAEEventNotHandled);
    EXPECT_TRUE(IsCleared(*none));

    ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &sys, true), noErr);
    ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &app, false), noErr);
    ASSERT_EQ(AESend(&event.Get(), reply.Mutable(), kAEWaitReply, kAENormalPriority,
                     kAEDefaultTimeout, nullptr, nullptr),
              noErr);
    EXPECT_EQ(app.calls, 1);
    EXPECT_EQ(sys.calls, 0);
    AEEventID id = 0;
    ASSERT_EQ(AEGetAttributePtr(&reply.Get(), keyEventIDAttr, typeType, nullptr, &id, 4, nullptr),
              noErr);
    EXPECT_EQ(id, kAEAnswer);
    ASSERT_EQ(AEGetParamDesc(&reply.Get(), keyDirectObject, typeChar, echoed.Mutable()), noErr);
    EXPECT_EQ(DataBytes(*echoed), BytesOf(std::string("ping")));
    // The handler read its own view: the sender's event still misses its direct object.
    AEKeyword missed;
    EXPECT_EQ(Missed(&event.Get(), missed), noErr);

    ASSERT_EQ(AERemoveEventHandler(kClass, kID, ProbeHandler, false), noErr);
    EXPECT_EQ(AESend(&event.Get(), nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout,
                     nullptr, nullptr),
              noErr);
    EXPECT_EQ(sys.calls, 1);
}

TEST_F(AEEvents, HandlerStatusLandsInErrnUnlessThereIsOne) {
    struct {
        OSErr result;
        bool ownErrn;
        bool expectErrn;
        int32_t expected;
    } cases[] = {
        {errAEEventFailed, false, true, errAEEventFailed},
        {fnfErr, true, true, -42},
        {noErr, false, false, 0},
    };
    for (const auto& c : cases) {
        Probe probe;
        probe.result = c.result;
        probe.putOwnErrn = c.ownErrn;
        ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &probe, false), noErr);
        OwnedDesc event, reply;
        MakeEvent(event.Mutable());
        EXPECT_EQ(AESend(&event.Get(), reply.Mutable(), kAEWaitReply, kAENormalPriority,
                         kAEDefaultTimeout, nullptr, nullptr),
                  c.result);
        int32_t errn = 0;
        OSErr status =
            AEGetParamPtr(&reply.Get(), keyErrorNumber, typeSInt32, nullptr, &errn, 4, nullptr);
        EXPECT_EQ(status == noErr, c.expectErrn) << c.result;
        EXPECT_EQ(errn, c.expected);
    }
}

TEST_F(AEEvents, OnlyTheCurrentProcessIsReachable) {
    Probe probe;
    ASSERT_EQ(AEInstallEventHandler(kClass, kID, ProbeHandler, &probe, false), noErr);
    ProcessSerialNumber other = {0, 12345};
    OwnedDesc address, event, reply, noAddress;
    ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &other, sizeof other, address.Mutable()),
              noErr);
    ASSERT_EQ(AECreateAppleEvent(kClass, kID, &address.Get(), kAutoGenerateReturnID,
                                 kAnyTransactionID, event.Mutable()),
              noErr);
    EXPECT_EQ(AESend(&event.Get(), reply.Mutable(), kAEWaitReply, kAENormalPriority,
                     kAEDefaultTimeout, nullptr, nullptr),
              errAEUnknownAddressType);
    ASSERT_EQ(AECreateList(nullptr, 0, true, noAddress.Mutable()), noErr);
    EXPECT_EQ(AESend(&noAddress.Get(), reply.Mutable(), kAEWaitReply, kAENormalPriority,
                     kAEDefaultTimeout, nullptr, nullptr),
              errAENotAppleEvent);
    EXPECT_EQ(probe.calls, 0);
}

}  // namespace

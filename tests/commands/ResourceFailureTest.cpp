// Memory failures in either command reach the caller as -108 with an empty reply: never a list
// short of an element, never an empty text passed off as the XML.
#include <gtest/gtest.h>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "support/PlatformTest.h"

namespace {

class ResourceFailureTest : public PlatformTest {};

TEST_F(ResourceFailureTest, LoadFailsWholeWhenAnElementRunsOutOfMemory) {
    OwnedDesc event = MakeEvent(kAELoadPList);
    PutParam(event, keyDirectObject,
             MakeUnicode(u"<plist><array><true/><dict><key>k</key><array><false/></array></dict>"
                         u"<string>s</string></array></plist>"));
    // Scalars are put by pointer. The first fails the element, the second the innermost
    // list's only item.
    for (long skip : {0, 1}) {
        OwnedDesc reply = MakeReply();
        PTFailCalls("AEPutPtr", skip, 1, memFullErr);
        EXPECT_EQ(LoadPList(&event.Get(), reply.Mutable(), 0), memFullErr) << skip;
        EXPECT_TRUE(PTFaultWasDelivered());
        PTClearFaults();
        EXPECT_FALSE(HasResult(reply)) << skip;
    }
    // Any other failure still leaves just that element out.
    OwnedDesc reply = MakeReply();
    PTFailCalls("AEPutPtr", 0, 1, errAEEventNotHandled);
    EXPECT_EQ(LoadPList(&event.Get(), reply.Mutable(), 0), noErr);
    PTClearFaults();
    OwnedDesc expected = MakeList(
        {MakeRecord({{keyASUserRecordFields,
                      MakeUserFields({{u"k", MakeList({MakeValue(typeBoolean, uint8_t(0))})}})}}),
         MakeUnicode(u"s")});
    EXPECT_EQ(Describe(*ResultOf(reply)), Describe(*expected));
}

TEST_F(ResourceFailureTest, StoreFailsWhenTheXMLTextCannotBeMade) {
    OwnedDesc event = MakeEvent(kAEStorePList, {kStoreDestination});
    PutParam(event, keyDirectObject, MakeList({MakeValue(typeSInt32, int32_t(1))}));
    OwnedDesc reply = MakeReply();
    PTFailCalls("CFStringCreateFromExternalRepresentation", 0, 1, memFullErr);
    EXPECT_EQ(StorePList(&event.Get(), reply.Mutable(), 0), memFullErr);
    EXPECT_TRUE(PTFaultWasDelivered());
    EXPECT_FALSE(HasResult(reply));
}

}  // namespace

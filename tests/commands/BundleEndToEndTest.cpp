// Both commands end to end: the built PlistBridge.osax loaded through CFBundle, real events
// sent with AESend, replies read as a script runner reads them.
#include <gtest/gtest.h>

#include <string>

#include "commands/CommandTestSupport.h"
#include "commands/LoadedBundleTest.h"
#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "support/PlatformTest.h"

namespace {

const char kXML[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>'pnam'</key><string>Prefs</string><key>sizes</key><array><integer>1</integer>"
    "<integer>8589934592</integer><real>0.5</real></array></dict></plist>\n";

const std::string kBinary(
    "bplist00\xD1\x01\x02\x51\x61\x10\x01\x08\x0B\x0D"
    "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x0F",
    50);

class BundleEndToEndTest : public LoadedBundleTest {
protected:
    // The result in the notation-free canonical form, or the status and 'errs' text.
    static std::string Outcome(EventOutcome&& outcome) {
        OwnedDesc result;
        OSStatus found = CopyDirectResult(outcome.reply.Get(), result);
        EXPECT_FALSE(sHost->IsBusy());
        if (outcome.status != noErr) {
            EXPECT_EQ(found, errAEDescNotFound) << "a failed command left a result";
            return "status " + std::to_string(outcome.status) + " " +
                   outcome.errorText.value_or("");
        }
        return Describe(result.Get());
    }
    static std::string Load(const OwnedDesc& value) { return Outcome(SendLoadPList(*value)); }

    ScratchFolder mFolder;
};

OwnedDesc ExpectedXMLValue() {
    return MakeRecord(
        {{FourCC("pnam"), MakeUnicode(u"Prefs")},
         {keyASUserRecordFields,
          MakeUserFields({{u"sizes", MakeList({MakeValue(typeSInt32, int32_t(1)),
                                               MakeValue(typeSInt64, int64_t(8589934592LL)),
                                               MakeValue(typeIEEE64BitFloatingPoint, 0.5)})}})}});
}

TEST_F(BundleEndToEndTest, LoadsTextAndEveryKindOfFileReference) {
    std::string path = mFolder.Path("Prefs.plist");
    WriteFile(path, kXML);
    WriteFile(mFolder.Path("binary.plist"), kBinary);
    WriteFile(mFolder.Path("old.plist"), "{ a = 1; }");
    std::string expected = Describe(*ExpectedXMLValue());
    EXPECT_EQ(Load(MakeUnicode(ToUTF16(kXML))), expected);
    EXPECT_EQ(Load(MakeBytes(typeUTF8Text, kXML)), expected);
    for (DescType type : {DescType(typeFileURL), DescType(typeAlias), DescType(typeFSRef),
                          DescType(cFile), FourCC("psxf")})
        EXPECT_EQ(Load(FileReference(type, path)), expected)
            << Describe(*FileReference(type, path));
    EXPECT_EQ(Load(FileSpecifier(ToUTF16(path))), expected);
    EXPECT_EQ(
        Load(FileReference(typeFileURL, mFolder.Path("binary.plist"))),
        Describe(*MakeRecord({{keyASUserRecordFields,
                               MakeUserFields({{u"a", MakeValue(typeSInt32, int32_t(1))}})}})));
    EXPECT_EQ(Load(FileReference(typeFileURL, mFolder.Path("old.plist"))),
              Describe(*MakeRecord(
                  {{keyASUserRecordFields, MakeUserFields({{u"a", MakeUnicode(u"1")}})}})));
}

TEST_F(BundleEndToEndTest, StoresToTextAndToEveryKindOfDestination) {
    OwnedDesc value = ExpectedXMLValue();
    EventOutcome text = SendStorePList(*value, nullptr);
    ASSERT_EQ(text.status, noErr);
    OwnedDesc xml;
    ASSERT_EQ(CopyDirectResult(text.reply.Get(), xml), noErr);
    ASSERT_EQ(xml.Type(), typeUnicodeText);
    // What was stored as text loads back as the value.
    EXPECT_EQ(Load(MakeBytes(typeUnicodeText, DataOf(xml.Get()))), Describe(*value));

    int index = 0;
    for (DescType type : {DescType(typeFileURL), DescType(typeAlias), DescType(typeFSRef),
                          DescType(cFile), FourCC("psxf"), DescType(typeUnicodeText)}) {
        std::string path = mFolder.Path("out" + std::to_string(index++) + ".plist");
        OwnedDesc destination = type == typeUnicodeText ? MakeUnicode(ToUTF16(FileURL(path)))
                                                        : FileReference(type, path);
        EventOutcome stored = SendStorePList(*value, &destination.Get());
        ASSERT_EQ(stored.status, noErr) << Describe(*destination);
        OwnedDesc result;
        ASSERT_EQ(CopyDirectResult(stored.reply.Get(), result), noErr);
        EXPECT_EQ(Describe(result.Get()), Describe(*destination));
        // The file holds exactly the XML the text route returns, and loads back.
        OwnedDesc fileText = MakeBytes(typeUTF8Text, ReadFile(path));
        EXPECT_EQ(Describe(*CoercedTo(*fileText, typeUnicodeText)), Describe(xml.Get()));
        EXPECT_EQ(Load(FileReference(typeFileURL, path)), Describe(*value));
    }
}

TEST_F(BundleEndToEndTest, FailuresComeBackAsStatusesWithAnEmptyReply) {
    OwnedDesc bare;
    ASSERT_EQ(BuildEvent(kPlistBridgeSuite, kAELoadPList, {}, {}, bare), noErr);
    EXPECT_EQ(Outcome(SendEvent(bare.Get())), "status -1701 ");
    ASSERT_EQ(BuildEvent(kPlistBridgeSuite, kAEStorePList, {}, {}, bare), noErr);
    EXPECT_EQ(Outcome(SendEvent(bare.Get())), "status -1701 ");

    EXPECT_EQ(Load(MakeNull()), "status -10000 load plist: no property list specified");
    EXPECT_EQ(Load(FileReference(typeFileURL, mFolder.Path("missing.plist"))), "status -43 ");
    EXPECT_EQ(Load(MakeUnicode(u"<dict>")), "status -4960 ");

    OwnedDesc direct = MakeUnicode(u"<true/>"), extra = MakeUnicode(u"?");
    OwnedDesc event;
    ASSERT_EQ(
        BuildEvent(kPlistBridgeSuite, kAELoadPList,
                   {{keyDirectObject, &direct.Get()}, {FourCC("xtra"), &extra.Get()}}, {}, event),
        noErr);
    EXPECT_EQ(Outcome(SendEvent(event.Get())), "status -1715 ");

    OwnedDesc value = MakeValue(typeSInt32, int32_t(1));
    OwnedDesc nowhere = FileReference(typeFileURL, mFolder.Path("no/such/folder.plist"));
    EXPECT_EQ(Outcome(SendStorePList(*value, &nowhere.Get())), "status -4960 ");
}

}  // namespace

TEST_F(BundleEndToEndTest, StoreProbesUserFieldsAndTheDestinationAsEachOneMeans) {
    const OwnedDesc value = MakeRecord(
        {{FourCC("pnam"), MakeUnicode(u"x")},
         {keyASUserRecordFields, MakeUserFields({{u"k", MakeValue(typeSInt32, int32_t(1))}})}});
    // AESizeOfParam is called for the destination first, then for the record's 'usrf'.
    const struct {
        long skip;
        OSErr status;
        const char* expected;  // a fragment of the XML, or the status
    } rows[] = {
        {-1, noErr, "<key>k</key>"},
        {1, errAENotAEDesc, "<key>'pnam'</key>\n\t<string>x</string>\n</dict>"},  // no user fields
        {1, errAEDescNotFound, "<key>'pnam'</key>\n\t<string>x</string>\n</dict>"},
        {0, errAENotAEDesc, "status -1704"},  // only an absent destination means the text route
    };
    for (const auto& row : rows) {
        if (row.skip >= 0) PTFailCalls("AESizeOfParam", row.skip, 1, row.status);
        EventOutcome outcome = SendStorePList(*value, nullptr);
        PTClearFaults();
        std::string got = "status " + std::to_string(outcome.status);
        OwnedDesc result, utf8;
        if (outcome.status == noErr && CopyDirectResult(outcome.reply.Get(), result) == noErr &&
            AECoerceDesc(&result.Get(), typeUTF8Text, utf8.Out()) == noErr)
            got = DataOf(utf8.Get());
        EXPECT_NE(got.find(row.expected), std::string::npos) << row.skip << ": " << got;
    }
}

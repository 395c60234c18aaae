// The load plist handler called in-process: every route, and every failure with its status, its
// message and an empty reply.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"
#include "support/PlatformTest.h"

namespace {

const char kXMLDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "\t<key>'pnam'</key>\n\t<string>caf\xC3\xA9</string>\n\t<key>n</key>\n\t<integer>5</integer>\n"
    "\t<key>list</key>\n\t<array><real>1.5</real><true/><data>AAE=</data></array>\n</dict>\n</"
    "plist>\n";

// {"a": 1} in the binary format: header, three objects, offset table, trailer.
const std::string kBinaryDocument(
    "bplist00\xD1\x01\x02\x51\x61\x10\x01\x08\x0B\x0D"
    "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x0F",
    50);

const char kOldStyleDocument[] = "{ a = \"1\"; b = (x, y); }";

OwnedDesc ExpectedXMLValue() {
    return MakeRecord(
        {{FourCC("pnam"), MakeUnicode(u"caf\u00E9")},
         {keyASUserRecordFields,
          MakeUserFields(
              {{u"n", MakeValue(typeSInt32, int32_t(5))},
               {u"list", MakeList({MakeValue(typeIEEE64BitFloatingPoint, 1.5),
                                   MakeValue(typeBoolean, uint8_t(1)),
                                   MakeBytes(typeWildCard, std::string("\0\x01", 2))})}})}});
}

class LoadPListTest : public PlatformTest {
protected:
    // Runs the handler on an event whose direct parameter is `direct`; the reply in mReply.
    OSErr Load(const OwnedDesc& direct) {
        OwnedDesc event = MakeEvent(kAELoadPList);
        PutParam(event, keyDirectObject, direct);
        return Run(event);
    }
    OSErr Run(const OwnedDesc& event) {
        mReply = MakeReply();
        OSErr status = LoadPList(&event.Get(), mReply.Mutable(), 0);
        EXPECT_EQ(gBusyCount, 0);
        return status;
    }
    std::string Loaded(const OwnedDesc& direct) {
        OSErr status = Load(direct);
        return status ? "status " + std::to_string(status) : Describe(*ResultOf(mReply));
    }

    void TearDown() override {
        mReply = OwnedDesc();  // before the leak check
        PlatformTest::TearDown();
    }

    OwnedDesc mReply;
    ScratchFolder mFolder;
};

TEST_F(LoadPListTest, TakesAnyValueThatIsNoFileReferenceAsPropertyListText) {
    std::string pathText = mFolder.Path("exists.plist");
    WriteFile(pathText, "<string>contents</string>");
    LongDateTime epoch = 0;
    ASSERT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(0, &epoch), noErr);
    struct Row {
        const char* what;
        OwnedDesc direct;
        OwnedDesc expected;
    } rows[] = {
        {"utxt dictionary", MakeUnicode(ToUTF16(kXMLDocument)), ExpectedXMLValue()},
        {"utf8 array",
         MakeBytes(
             typeUTF8Text,
             "<array><integer>-2147483648</integer><date>2001-01-01T00:00:00Z</date></array>"),
         MakeList(
             {MakeValue(typeSInt64, int64_t(-2147483648LL)), MakeValue(typeLongDateTime, epoch)})},
        {"TEXT string", MakeBytes(typeChar, "<string>caf&#233;</string>"),
         MakeUnicode(u"caf\u00E9")},
        // A path is text like any other: the file it names is not opened.
        {"path text", MakeUnicode(ToUTF16(pathText)), MakeUnicode(ToUTF16(pathText))},
        {"number", MakeValue(typeSInt32, int32_t(12)), MakeUnicode(u"12")},
    };
    for (Row& row : rows) EXPECT_EQ(Loaded(row.direct), Describe(*row.expected)) << row.what;
}

TEST_F(LoadPListTest, ReadsTheFileThatAnyKindOfFileReferenceNames) {
    std::string path = mFolder.Path("dir with space/Prefs \xC3\xA9.plist");
    std::filesystem::create_directory(mFolder.Path("dir with space"));
    WriteFile(path, kXMLDocument);
    std::string sameAsText = Loaded(MakeBytes(typeUTF8Text, kXMLDocument));
    ASSERT_EQ(sameAsText, Describe(*ExpectedXMLValue()));
    std::string hfsPath = "Macintosh HD" + path;
    for (char& c : hfsPath) c = c == '/' ? ':' : c;
    struct Row {
        const char* what;
        OwnedDesc direct;
    } rows[] = {
        {"furl", FileReference(typeFileURL, path)},
        {"alis", FileReference(typeAlias, path)},
        {"fsrf", FileReference(typeFSRef, path)},
        {"file", FileReference(cFile, path)},
        {"psxf", FileReference(FourCC("psxf"), path)},
        {"file specifier", FileSpecifier(ToUTF16(path))},
        {"alias specifier", FileSpecifier(ToUTF16(path), typeAlias)},
        {"HFS path specifier", FileSpecifier(ToUTF16(hfsPath))},
    };
    for (Row& row : rows) EXPECT_EQ(Loaded(row.direct), sameAsText) << row.what;
}

TEST_F(LoadPListTest, ReadsBinaryAndOldStyleFiles) {
    WriteFile(mFolder.Path("binary.plist"), kBinaryDocument);
    WriteFile(mFolder.Path("old.plist"), kOldStyleDocument);
    OwnedDesc binary = MakeRecord(
        {{keyASUserRecordFields, MakeUserFields({{u"a", MakeValue(typeSInt32, int32_t(1))}})}});
    OwnedDesc oldStyle =
        MakeRecord({{keyASUserRecordFields,
                     MakeUserFields({{u"a", MakeUnicode(u"1")},
                                     {u"b", MakeList({MakeUnicode(u"x"), MakeUnicode(u"y")})}})}});
    EXPECT_EQ(Loaded(FileReference(typeFileURL, mFolder.Path("binary.plist"))), Describe(*binary));
    EXPECT_EQ(Loaded(FileReference(typeFileURL, mFolder.Path("old.plist"))), Describe(*oldStyle));
}

OSErr RefuseCoercion(const AEDesc*, DescType, SRefCon, AEDesc*) {
    return errAEBadListItem;
}

struct FailureRow {
    const char* what;
    std::function<OwnedDesc()> event;
    OSErr status;
    const char* message = "";
    std::function<void()> arm = [] {};
};

TEST_F(LoadPListTest, EveryFailureReturnsItsStatusAndLeavesTheReplyEmpty) {
    std::string good = mFolder.Path("good.plist"), garbage = mFolder.Path("garbage.plist");
    WriteFile(good, kXMLDocument);
    WriteFile(garbage, "<dict><key>a</key></dict>");
    auto with = [](OwnedDesc direct) {
        auto shared = std::make_shared<OwnedDesc>(std::move(direct));
        return [shared] {
            OwnedDesc event = MakeEvent(kAELoadPList);
            PutParam(event, keyDirectObject, *shared);
            return event;
        };
    };
    const FailureRow rows[] = {
        {"no direct parameter", [] { return MakeEvent(kAELoadPList); }, errAEDescNotFound},
        {"null direct parameter", with(MakeNull()), errAEEventFailed,
         "load plist: no property list specified"},
        {"extra required parameter",
         [&] {
             OwnedDesc event = with(FileReference(typeFileURL, good))();
             PutParam(event, FourCC("xtra"), MakeUnicode(u"?"));
             return event;
         },
         errAEParamMissed},
        {"specifier without container",
         with(MakeRecord({{keyAEDesiredClass, MakeValue(typeType, cFile)},
                          {keyAEKeyForm, MakeValue(typeEnumerated, FourCC("name"))},
                          {keyAEKeyData, MakeUnicode(u"/x")}},
                         FourCC("obj "))),
         errAEDescNotFound},
        {"refused coercion to a URL", with(FileReference(typeAlias, good)), errAEBadListItem, "",
         [] { AEInstallCoercionHandler(typeAlias, typeFileURL, RefuseCoercion, 0, true, false); }},
        {"missing file", with(FileReference(typeFileURL, mFolder.Path("missing.plist"))), fnfErr},
        {"folder instead of file", with(FileReference(typeFileURL, mFolder.Path(""))), fnfErr},
        // A refused property list is reported by its status alone.
        {"file is no property list", with(FileReference(typeFileURL, garbage)),
         coreFoundationUnknownErr},
        {"text is no property list", with(MakeUnicode(u"hello world")), coreFoundationUnknownErr},
        {"empty text", with(MakeUnicode(u"")), coreFoundationUnknownErr},
        {"a binary set",
         with(MakeBytes(typeUTF8Text, std::string("bplist00\xC0\x08", 10) + std::string(6, '\0') +
                                          "\x01\x01" + std::string(7, '\0') + "\x01" +
                                          std::string(15, '\0') + "\x09")),
         coreFoundationUnknownErr},
        {"value is no text", with(MakeBytes(FourCC("xxxx"), "abc")), errAECoercionFail},
        {"no data object", with(MakeUnicode(u"<true/>")), memFullErr, "",
         [] { PTFailCalls("CFDataCreate", 0, 1, 0); }},
        {"conversion fails", with(MakeUnicode(u"<integer>7</integer>")), coreFoundationUnknownErr,
         "", [] { PTFailCalls("CFNumberGetValue", 0, 2, 0); }},
        {"descriptor cannot be made", with(MakeUnicode(u"<string>x</string>")), errAEReplyNotValid,
         "", [] { PTFailCalls("AECreateDesc", 0, 1, errAEReplyNotValid); }},
        {"reply cannot take the result", with(MakeUnicode(u"<string>x</string>")), errAENotAEDesc,
         "", [] { PTFailCalls("AEPutParamDesc", 0, 1, errAENotAEDesc); }},
    };
    for (const FailureRow& row : rows) {
        OwnedDesc event = row.event();
        row.arm();
        EXPECT_EQ(Run(event), row.status) << row.what;
        PTClearFaults();
        EXPECT_FALSE(HasResult(mReply)) << row.what;
        EXPECT_EQ(ErrorTextOf(mReply), row.message) << row.what;
    }
    AERemoveCoercionHandler(typeAlias, typeFileURL, RefuseCoercion, false);
}

TEST_F(LoadPListTest, AMissedParameterStopsTheCommandBeforeTheFileIsRead) {
    OwnedDesc event = MakeEvent(kAELoadPList);
    WriteFile(mFolder.Path("good.plist"), kXMLDocument);
    PutParam(event, keyDirectObject, FileReference(typeFileURL, mFolder.Path("good.plist")));
    PutParam(event, FourCC("xtra"), MakeUnicode(u"?"));
    PTReset();
    EXPECT_EQ(Run(event), errAEParamMissed);
    EXPECT_EQ(PTCallCount("CFURLCreateDataAndPropertiesFromResource"), 0u);
    // The same parameter sent as optional is simply not read.
    OwnedDesc optional = MakeEvent(kAELoadPList, {FourCC("xtra")});
    PutParam(optional, keyDirectObject, FileReference(typeFileURL, mFolder.Path("good.plist")));
    PutParam(optional, FourCC("xtra"), MakeUnicode(u"?"));
    EXPECT_EQ(Run(optional), noErr);
}

}  // namespace

// The store plist handler called in-process: the text route, a destination of every kind, and
// every failure with its status and an empty reply.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"

namespace {

OwnedDesc SampleValue() {
    return MakeRecord(
        {{FourCC("pnam"), MakeUnicode(u"x & y")},
         {keyASUserRecordFields, MakeUserFields({{u"n", MakeValue(typeSInt16, int16_t(5))}})}});
}

const std::string kSampleXML = PListDocument(
    "<dict>\n\t<key>'pnam'</key>\n\t<string>x &amp; "
    "y</string>\n\t<key>n</key>\n\t<integer>5</integer>\n</dict>\n");

class StorePListTest : public PlatformTest {
protected:
    OSErr Store(const OwnedDesc& value, const OwnedDesc* destination = nullptr) {
        OwnedDesc event = MakeEvent(kAEStorePList, {kStoreDestination});
        PutParam(event, keyDirectObject, value);
        if (destination) PutParam(event, kStoreDestination, *destination);
        return Run(event);
    }
    OSErr Run(const OwnedDesc& event) {
        mReply = MakeReply();
        OSErr status = StorePList(&event.Get(), mReply.Mutable(), 0);
        EXPECT_EQ(gBusyCount, 0);
        return status;
    }

    void TearDown() override {
        mReply = OwnedDesc();  // before the leak check
        PlatformTest::TearDown();
    }

    OwnedDesc mReply;
    ScratchFolder mFolder;
};

TEST_F(StorePListTest, WithoutADestinationReturnsTheXMLAsUnicodeText) {
    struct Row {
        const char* what;
        OwnedDesc value;
        std::string xml;
    } rows[] = {
        {"record", SampleValue(), kSampleXML},
        {"null value", MakeNull(),
         PListDocument(
             "<dict>\n\t<key>AEDescData</key>\n\t<data>\n\t</data>\n\t<key>AEDescType</key>\n"
             "\t<string>null</string>\n</dict>\n")},
        {"non-ASCII text", MakeUnicode(u"\u00E9\U0001F600"),
         PListDocument("<string>\xC3\xA9\xF0\x9F\x98\x80</string>\n")},
    };
    for (Row& row : rows) {
        ASSERT_EQ(Store(row.value), noErr) << row.what;
        EXPECT_EQ(Describe(*ResultOf(mReply)), Describe(*MakeUnicode(ToUTF16(row.xml))))
            << row.what;
    }
    // A destination that is present but null selects the same route.
    OwnedDesc null = MakeNull();
    ASSERT_EQ(Store(SampleValue(), &null), noErr);
    EXPECT_EQ(Describe(*ResultOf(mReply)), Describe(*MakeUnicode(ToUTF16(kSampleXML))));
}

TEST_F(StorePListTest, WritesTheXMLToADestinationOfEveryKindAndReturnsTheDestination) {
    std::string url = FileURL(mFolder.Path("url text.plist"));
    struct Row {
        const char* what;
        std::string path;
        OwnedDesc destination;
    } rows[] = {
        {"furl", mFolder.Path("a.plist"), FileReference(typeFileURL, mFolder.Path("a.plist"))},
        {"alis", mFolder.Path("b.plist"), FileReference(typeAlias, mFolder.Path("b.plist"))},
        {"fsrf", mFolder.Path("c.plist"), FileReference(typeFSRef, mFolder.Path("c.plist"))},
        {"file", mFolder.Path("d.plist"), FileReference(cFile, mFolder.Path("d.plist"))},
        {"psxf", mFolder.Path("e \xC3\xA9.plist"),
         FileReference(FourCC("psxf"), mFolder.Path("e \xC3\xA9.plist"))},
        {"specifier", mFolder.Path("f.plist"), FileSpecifier(ToUTF16(mFolder.Path("f.plist")))},
        {"URL as utxt", mFolder.Path("url text.plist"), MakeUnicode(ToUTF16(url))},
        {"URL as TEXT", mFolder.Path("g.plist"),
         MakeBytes(typeChar, FileURL(mFolder.Path("g.plist")))},
        // Not a legal URL until its space is escaped.
        {"unescaped URL", mFolder.Path("h i.plist"),
         MakeUnicode(ToUTF16("file://" + mFolder.Path("h i.plist")))},
    };
    for (Row& row : rows) {
        ASSERT_EQ(Store(SampleValue(), &row.destination), noErr) << row.what;
        EXPECT_EQ(ReadFile(row.path), kSampleXML) << row.what;
        EXPECT_EQ(Describe(*ResultOf(mReply)), Describe(*row.destination)) << row.what;
        EXPECT_EQ(DataOf(*ResultOf(mReply)), DataOf(*row.destination)) << row.what;
    }
}

TEST_F(StorePListTest, StoringAgainReplacesTheFile) {
    OwnedDesc destination = FileReference(typeFileURL, mFolder.Path("twice.plist"));
    ASSERT_EQ(Store(SampleValue(), &destination), noErr);
    std::string firstReply = Describe(*ResultOf(mReply));
    ASSERT_EQ(Store(MakeValue(typeTrue, uint8_t(0)), &destination), noErr);
    EXPECT_EQ(ReadFile(mFolder.Path("twice.plist")), PListDocument("<true/>\n"));
    EXPECT_EQ(Describe(*ResultOf(mReply)), firstReply);
}

// Runs `store` without the privileges that let root write anywhere, so that folder
// permissions apply; returns its status.
OSErr RunUnprivileged(const std::function<OSErr()>& store) {
    if (geteuid() != 0) return store();
    int channel[2];
    if (pipe(channel) != 0) return 1;
    pid_t child = fork();
    if (child == 0) {
        OSErr status = 1;
        if (setgid(65534) == 0 && setuid(65534) == 0) status = store();
        ssize_t written = write(channel[1], &status, sizeof status);
        _exit(written == sizeof status ? 0 : 1);
    }
    OSErr status = 1;
    waitpid(child, nullptr, 0);
    if (read(channel[0], &status, sizeof status) != sizeof status) status = 1;
    close(channel[0]);
    close(channel[1]);
    return status;
}

TEST_F(StorePListTest, AFailedWriteLeavesThePreviousContentIntact) {
    namespace fs = std::filesystem;
    std::string folder = mFolder.Path("locked");
    fs::create_directory(folder);
    WriteFile(folder + "/old.plist", "previous");
    fs::permissions(mFolder.Path(""), fs::perms(0755));
    fs::permissions(folder, fs::perms(0555));
    OwnedDesc intoLocked = FileReference(typeFileURL, folder + "/old.plist");
    EXPECT_EQ(RunUnprivileged([&] { return Store(SampleValue(), &intoLocked); }),
              coreFoundationUnknownErr);
    EXPECT_EQ(ReadFile(folder + "/old.plist"), "previous");
    fs::permissions(folder, fs::perms(0755));

    // A folder where the file should be cannot be replaced by it.
    fs::create_directory(mFolder.Path("taken.plist"));
    OwnedDesc overFolder = FileReference(typeFileURL, mFolder.Path("taken.plist"));
    EXPECT_EQ(Store(SampleValue(), &overFolder), coreFoundationUnknownErr);
    EXPECT_FALSE(HasResult(mReply));
    EXPECT_TRUE(fs::is_directory(mFolder.Path("taken.plist")));
}

struct FailureRow {
    const char* what;
    std::function<OwnedDesc()> event;
    OSErr status;
    std::function<void()> arm = [] {};
};

TEST_F(StorePListTest, EveryFailureReturnsItsStatusAndLeavesTheReplyEmpty) {
    std::string target = mFolder.Path("out.plist");
    auto with = [](OwnedDesc value, OwnedDesc destination) {
        auto shared = std::make_shared<std::pair<OwnedDesc, OwnedDesc>>(std::move(value),
                                                                        std::move(destination));
        return [shared] {
            OwnedDesc event = MakeEvent(kAEStorePList, {kStoreDestination});
            PutParam(event, keyDirectObject, shared->first);
            if (shared->second->descriptorType != typeNull)
                PutParam(event, kStoreDestination, shared->second);
            return event;
        };
    };
    OwnedDesc numberKey =
        MakeRecord({{keyASUserRecordFields,
                     MakeList({MakeValue(typeSInt32, int32_t(1)), MakeUnicode(u"x")})}});
    const FailureRow rows[] = {
        {"no direct parameter", [] { return MakeEvent(kAEStorePList, {kStoreDestination}); },
         errAEDescNotFound},
        {"extra required parameter",
         [&] {
             OwnedDesc event = with(SampleValue(), FileReference(typeFileURL, target))();
             PutParam(event, FourCC("xtra"), MakeUnicode(u"?"));
             return event;
         },
         errAEParamMissed},
        {"destination cannot be fetched", with(SampleValue(), FileReference(typeFileURL, target)),
         errAECorruptData, [] { PTFailCalls("AEGetParamDesc", 1, 1, errAECorruptData); }},
        {"value cannot be converted",
         with(MakeList({MakeBytes(typeSInt32, "\x01\x02")}), MakeNull()), errAECorruptData},
        {"no XML for a number key", with(std::move(numberKey), MakeNull()),
         coreFoundationUnknownErr},
        {"destination is no URL", with(SampleValue(), MakeValue(typeSInt32, int32_t(3))),
         errAECoercionFail},
        {"folder does not exist",
         with(SampleValue(), FileReference(typeFileURL, mFolder.Path("none/x.plist"))),
         coreFoundationUnknownErr},
        {"not a file URL", with(SampleValue(), MakeUnicode(u"http://example.com/x.plist")),
         coreFoundationUnknownErr},
        {"destination cannot be duplicated",
         with(SampleValue(), FileReference(typeFileURL, target)), errAENotAEDesc,
         [] { PTFailCalls("AEDuplicateDesc", 0, 1, errAENotAEDesc); }},
        {"XML string cannot be made", with(SampleValue(), MakeNull()), memFullErr,
         [] { PTFailCalls("CFStringCreateFromExternalRepresentation", 0, 1, 0); }},
        {"text cannot be made", with(SampleValue(), MakeNull()), errAEWrongDataType,
         [] { PTFailCalls("AECreateDesc", 0, 1, errAEWrongDataType); }},
        {"reply cannot take the result", with(SampleValue(), MakeNull()), errAEIllegalIndex,
         [] { PTFailCalls("AEPutParamDesc", 0, 1, errAEIllegalIndex); }},
    };
    for (const FailureRow& row : rows) {
        OwnedDesc event = row.event();
        PTReset();
        row.arm();
        EXPECT_EQ(Run(event), row.status) << row.what;
        PTClearFaults();
        EXPECT_FALSE(HasResult(mReply)) << row.what;
        EXPECT_EQ(ErrorTextOf(mReply), "") << row.what;
        if (row.status == errAEDescNotFound || row.status == errAEParamMissed) {
            EXPECT_EQ(PTCallCount("CFPropertyListCreateXMLData"), 0u) << row.what;
            EXPECT_FALSE(std::filesystem::exists(target)) << row.what;
        }
    }
    // Only the failure after the write leaves the file behind.
    EXPECT_EQ(ReadFile(target), kSampleXML);
}

}  // namespace

// The host driving the built bundle in-process: loading, both commands on every route, and the
// statuses the handlers give back through AESend.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "host/HostValues.h"
#include "notation/NotationTestSupport.h"
#include "support/PlatformTest.h"

namespace {

namespace fs = std::filesystem;

const std::string kBundle = PLISTBRIDGE_BINARY_DIR "/bin/PlistBridge.osax";
const std::string kXML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "\t<key>Name</key>\n\t<string>Ana</string>\n\t<key>'pnam'</key>\n\t<integer>7</integer>\n"
    "</dict>\n</plist>\n";
const char* const kXMLValue = "{'pnam':7, 'usrf':[\"Name\", \"Ana\"]}";

OwnedDesc Parse(const std::string& text) {
    OwnedDesc desc;
    NotationError error;
    EXPECT_TRUE(ParseDesc(text, desc, error)) << text << ": " << error.Describe();
    return desc;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class AdditionHostTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_EQ(mHost.Load(kBundle), noErr);
        mDir = fs::temp_directory_path() / ("plistbridge-host-" + std::to_string(getpid()));
        fs::create_directories(mDir);
    }
    void TearDown() override {
        mHost.Unload();
        fs::remove_all(mDir);
        PlatformTest::TearDown();
    }

    // The reply's direct parameter in the notation, or "" when there is none.
    static std::string ResultOf(const EventOutcome& outcome) {
        OwnedDesc result;
        if (CopyDirectResult(outcome.reply.Get(), result) != noErr) return "";
        return Print(result.Get());
    }

    OwnedDesc FileURL(const std::string& name) {
        OwnedDesc url;
        EXPECT_EQ(CreateFileURLDesc((mDir / name).string(), url), noErr);
        return url;
    }

    CAdditionHost mHost;
    fs::path mDir;
};

TEST_F(AdditionHostTest, InstallsAndRemovesTheHandlersEachCycle) {
    for (int cycle = 0; cycle < 2; ++cycle) {
        AEEventHandlerUPP handler = nullptr;
        SRefCon refcon = nullptr;
        EXPECT_EQ(AEGetEventHandler(kPlistBridgeSuite, kAELoadPList, &handler, &refcon, true),
                  noErr);
        EXPECT_FALSE(mHost.IsBusy());
        mHost.Unload();
        EXPECT_EQ(AEGetEventHandler(kPlistBridgeSuite, kAEStorePList, &handler, &refcon, true),
                  errAEHandlerNotFound);
        ASSERT_EQ(mHost.Load(kBundle), noErr);
    }
}

TEST_F(AdditionHostTest, LoadFailures) {
    fs::create_directories(mDir / "Empty.osax/Contents");
    std::ofstream(mDir / "Empty.osax/Contents/Info.plist")
        << "<plist><dict><key>CFBundleExecutable</key><string>Missing</string></dict></plist>";
    CAdditionHost other;
    EXPECT_EQ(other.Load((mDir / "Nowhere.osax").string()), kHostNoBundleErr);
    EXPECT_EQ(other.Load((mDir / "Empty.osax").string()), kHostNoLibraryErr);
    EXPECT_FALSE(other.IsLoaded());
}

TEST_F(AdditionHostTest, LoadEveryRoute) {
    std::ofstream(mDir / "a.plist") << kXML;
    OwnedDesc file = FileURL("a.plist");
    OwnedDesc utxt, utf8 = MakeDesc(typeUTF8Text, kXML);
    ASSERT_EQ(CreateUnicodeTextDesc(kXML, utxt), noErr);
    OwnedDesc path = MakeDesc(FourCC("psxf"), (mDir / "a.plist").string());
    for (const OwnedDesc* value : {&file, &utxt, &utf8, &path}) {
        const EventOutcome outcome = SendLoadPList(value->Get());
        EXPECT_EQ(outcome.status, noErr) << Print(value->Get());
        EXPECT_EQ(ResultOf(outcome), kXMLValue) << Print(value->Get());
    }
}

TEST_F(AdditionHostTest, StoreTextAndFileRoutes) {
    OwnedDesc value = Parse(kXMLValue);
    const EventOutcome text = SendStorePList(value.Get(), nullptr);
    ASSERT_EQ(text.status, noErr);
    OwnedDesc xml;
    ASSERT_EQ(CopyDirectResult(text.reply.Get(), xml), noErr);
    EXPECT_EQ(xml.Type(), typeUnicodeText);
    std::string xmlText;
    ASSERT_EQ(CopyUTF8Text(xml.Get(), xmlText), noErr);
    EXPECT_NE(xmlText.find("<key>Name</key>"), std::string::npos) << xmlText;

    // A null destination selects the text route too.
    OwnedDesc null;
    EXPECT_EQ(ResultOf(SendStorePList(value.Get(), &null.Get())), Print(xml.Get()));

    OwnedDesc destination = FileURL("out.plist");
    const EventOutcome file = SendStorePList(value.Get(), &destination.Get());
    ASSERT_EQ(file.status, noErr);
    EXPECT_EQ(ResultOf(file), Print(destination.Get()));
    EXPECT_EQ(ReadFile(mDir / "out.plist"), xmlText);

    // What was stored loads back as the same value.
    EXPECT_EQ(ResultOf(SendLoadPList(destination.Get())), kXMLValue);
    EXPECT_EQ(ResultOf(SendLoadPList(xml.Get())), kXMLValue);
}

struct FailureCase {
    const char* name;
    AEEventID eventID;
    std::vector<std::pair<AEKeyword, std::string>> parameters;  // values in the notation
    OSStatus status;
    const char* errorText;  // nullptr: no 'errs'
};

class AdditionHostFailureTest : public AdditionHostTest,
                                public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AdditionHostFailureTest, ReturnsTheStatusAndText) {
    const FailureCase& c = GetParam();
    std::vector<OwnedDesc> values;
    std::vector<EventParameter> parameters;
    for (const auto& [keyword, text] : c.parameters) {
        std::string expanded = text;
        if (const size_t at = expanded.find("$DIR"); at != std::string::npos)
            expanded.replace(at, 4, mDir.string());
        values.push_back(Parse(expanded));
    }
    for (size_t i = 0; i < values.size(); ++i)
        parameters.push_back({c.parameters[i].first, &values[i].Get()});
    OwnedDesc event;
    ASSERT_EQ(BuildEvent(kPlistBridgeSuite, c.eventID, parameters, {}, event), noErr);
    const EventOutcome outcome = SendEvent(event.Get());
    EXPECT_EQ(outcome.status, c.status);
    if (c.errorText) {
        EXPECT_EQ(outcome.errorText.value_or("(none)"), c.errorText);
    } else {
        EXPECT_FALSE(outcome.errorText.has_value());
    }
    EXPECT_EQ(ResultOf(outcome), "");
    EXPECT_FALSE(mHost.IsBusy());
}

const FailureCase kFailureCases[] = {
    {"LoadNull",
     kAELoadPList,
     {{keyDirectObject, "'null'()"}},
     errAEEventFailed,
     "load plist: no property list specified"},
    // Empty text is a value (its storage exists); it is just not a property list.
    {"LoadEmptyText",
     kAELoadPList,
     {{keyDirectObject, "'utf8'()"}},
     coreFoundationUnknownErr,
     nullptr},
    {"LoadNoDirect", kAELoadPList, {}, errAEDescNotFound, nullptr},
    {"LoadExtraRequired",
     kAELoadPList,
     {{keyDirectObject, "\"<plist><true/></plist>\""}, {FourCC("XMlO"), "1"}},
     errAEParamMissed,
     nullptr},
    {"LoadMissingFile",
     kAELoadPList,
     {{keyDirectObject, "'furl'(\"file://$DIR/missing.plist\")"}},
     fnfErr,
     nullptr},
    {"LoadNotAPropertyList",
     kAELoadPList,
     {{keyDirectObject, "\"<plist><dict>\""}},
     coreFoundationUnknownErr,
     nullptr},
    {"LoadUnreadableValue",
     kAELoadPList,
     {{keyDirectObject, "'rdat'(\u00AB00\u00BB)"}},
     errAECoercionFail,
     nullptr},
    {"StoreNoDirect", kAEStorePList, {}, errAEDescNotFound, nullptr},
    {"StoreExtraRequired",
     kAEStorePList,
     {{keyDirectObject, "1"}, {FourCC("pnam"), "2"}},
     errAEParamMissed,
     nullptr},
    {"StoreMissingFolder",
     kAEStorePList,
     {{keyDirectObject, "1"}, {FourCC("XMlO"), "'furl'(\"file://$DIR/no/such/a.plist\")"}},
     coreFoundationUnknownErr,
     nullptr},
    {"UnknownEvent", FourCC("plsX"), {{keyDirectObject, "1"}}, errAEEventNotHandled, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, AdditionHostFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Written in chunks, a text must come out exactly as the whole-text copy gives it: a surrogate
// pair across the chunk boundary kept whole, a lone surrogate there shown as U+FFFD.
TEST(HostValuesTest, WrittenTextEqualsTheCopiedText) {
    constexpr size_t kChunk = size_t{1} << 15;
    const std::u16string pair = u"\U0001F600";
    struct Row {
        const char* what;
        std::u16string units;
    } rows[] = {
        {"empty", u""},
        {"short", u"caf\u00E9 \u0447\u0442"},
        {"pair across the boundary", std::u16string(kChunk - 1, u'a') + pair + u"z"},
        {"lone high at the boundary", std::u16string(kChunk - 1, u'a') + u"\xD83Dz"},
        {"lone low after the boundary", std::u16string(kChunk, u'a') + u"\xDE00z"},
        {"several chunks", std::u16string(3 * kChunk + 5, u'\u00E9')},
    };
    for (const Row& row : rows) {
        OwnedDesc text;
        ASSERT_EQ(AECreateDesc(typeUnicodeText, row.units.data(),
                               static_cast<Size>(row.units.size() * 2), text.Out()),
                  noErr);
        std::string copied;
        ASSERT_EQ(CopyUTF8Text(text.Get(), copied), noErr) << row.what;
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(WriteUTF8Text(text.Get(), file), noErr) << row.what;
        std::string written(static_cast<size_t>(std::ftell(file)), '\0');
        std::rewind(file);
        EXPECT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
        std::fclose(file);
        EXPECT_EQ(written, copied) << row.what;
    }
    // The lone surrogate is replaced, not lost.
    OwnedDesc lone;
    const std::u16string loneUnits = u"a\xD83Dz";
    ASSERT_EQ(AECreateDesc(typeUnicodeText, loneUnits.data(), 6, lone.Out()), noErr);
    std::string copied;
    ASSERT_EQ(CopyUTF8Text(lone.Get(), copied), noErr);
    EXPECT_EQ(copied, "a\xEF\xBF\xBDz");
}

// A text that cannot be read is an error, not an empty output.
TEST(HostValuesTest, UnreadableTextIsAnError) {
    OwnedDesc text;
    const std::u16string units(100000, u'x');
    ASSERT_EQ(AECreateDesc(typeUnicodeText, units.data(), static_cast<Size>(units.size() * 2),
                           text.Out()),
              noErr);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    PTFailCalls("AEGetDescDataRange", 1, 1, errAECorruptData);
    EXPECT_EQ(WriteUTF8Text(text.Get(), file), errAECorruptData);
    PTClearFaults();
    std::fclose(file);
}

}  // namespace

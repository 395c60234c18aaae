// The deepest property list a reader accepts loads through the built bundle, and the reply
// prints and parses back in the descriptor notation as the tool shows it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "commands/CommandTestSupport.h"
#include "commands/LoadedBundleTest.h"
#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "notation/DescNotation.h"
#include "support/PlatformTest.h"

namespace {

constexpr int kReaderDepth = 512;  // the property-list readers' nesting limit

// XML text of `levels` dictionaries, each holding the next under the ordinary key "k".
std::string NestedDictionaries(int levels) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i) text += "<dict><key>k</key>";
    text += "<string>leaf</string>";
    for (int i = 0; i < levels; ++i) text += "</dict>";
    return text + "</plist>\n";
}

// What load plist makes of NestedDictionaries(levels): records holding "k" as a user field.
OwnedDesc ExpectedRecords(int levels) {
    OwnedDesc value = MakeUnicode(u"leaf");
    for (int i = 0; i < levels; ++i)
        value = MakeRecord({{keyASUserRecordFields, MakeUserFields({{u"k", std::move(value)}})}});
    return value;
}

using DeepPropertyListEndToEndTest = LoadedBundleTest;

TEST_F(DeepPropertyListEndToEndTest, DictionariesAsDeepAsTheReaderAllowsLoad) {
    OwnedDesc text = MakeUnicode(ToUTF16(NestedDictionaries(kReaderDepth)));
    const auto start = std::chrono::steady_clock::now();
    EventOutcome outcome = SendLoadPList(*text);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(outcome.status, noErr) << outcome.errorText.value_or("");
    OwnedDesc result;
    ASSERT_EQ(CopyDirectResult(outcome.reply.Get(), result), noErr);
    EXPECT_EQ(Describe(result.Get()), Describe(*ExpectedRecords(kReaderDepth)));
    RecordProperty(
        "load_ms",
        std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    // The tool prints the result in brackets all the way down, and that text reads back.
    std::string printed;
    ASSERT_EQ(PrintDesc(result.Get(), printed), noErr);
    EXPECT_EQ(printed.find("\u00AB"), std::string::npos) << "nesting printed as flat data";
    OwnedDesc parsed;
    NotationError error;
    ASSERT_TRUE(ParseDesc(printed, parsed, error)) << error.Describe();
    EXPECT_EQ(Describe(parsed.Get()), Describe(result.Get()));
}

TEST_F(DeepPropertyListEndToEndTest, OneLevelDeeperIsRefusedByTheReader) {
    OwnedDesc text = MakeUnicode(ToUTF16(NestedDictionaries(kReaderDepth + 1)));
    EventOutcome outcome = SendLoadPList(*text);
    EXPECT_EQ(outcome.status, -4960);
    OwnedDesc result;
    EXPECT_EQ(CopyDirectResult(outcome.reply.Get(), result), errAEDescNotFound);
}

}  // namespace

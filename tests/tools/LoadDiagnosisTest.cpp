// What the tool says of a property list the addition refused: the platform reader's reason and
// line, for text and for files, and nothing when there is nothing to explain.
#include "tools/commands/LoadDiagnosis.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/OwnedDesc.h"
#include "support/PlatformTest.h"

namespace {

class LoadDiagnosisTest : public PlatformTest {};

TEST_F(LoadDiagnosisTest, TheReaderSaysWhatIsWrongAndOnWhichLine) {
    const struct {
        std::string bytes;
        const char* reason;
    } rows[] = {
        {"<plist><foo/></plist>", "Encountered unknown tag foo on line 1"},
        {"<plist>\n\n<foo/>", "Encountered unknown tag foo on line 3"},
        {"<dict><key>a</key></dict>", "Value missing for key inside <dict> on line 1"},
        {"hello world", "Unexpected character h on line 1"},
        {"", "Cannot parse a NULL or zero-length data"},
        {"<true/>", ""},
        {"{ a = 1; }", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PropertyListComplaint(row.bytes), row.reason) << row.bytes;
}

TEST_F(LoadDiagnosisTest, AFileIsNamedAndTextIsReadAsTheAdditionReadsIt) {
    const std::string broken = ::testing::TempDir() + "load-diagnosis-broken.plist";
    const std::string good = ::testing::TempDir() + "load-diagnosis-good.plist";
    std::ofstream(broken) << "<plist>\n<strin>a</string>\n</plist>\n";
    std::ofstream(good) << "<plist><true/></plist>";
    EXPECT_EQ(ExplainRefusedFile(broken),
              "load plist: " + broken + ": Encountered unknown tag strin on line 2");
    EXPECT_EQ(ExplainRefusedFile(good), "");
    EXPECT_EQ(ExplainRefusedFile(::testing::TempDir() + "load-diagnosis-missing.plist"), "");
    std::remove(broken.c_str());
    std::remove(good.c_str());

    const std::u16string text = u"<plist><\u00E9/>";
    OwnedDesc unicode;
    ASSERT_EQ(AECreateDesc(typeUnicodeText, text.data(), static_cast<Size>(text.size() * 2),
                           unicode.Out()),
              noErr);
    EXPECT_EQ(ExplainRefusedText(unicode.Get()),
              "load plist: Encountered unknown tag \xC3\xA9 on line 1");
    OwnedDesc number;
    const int32_t one = 1;
    ASSERT_EQ(AECreateDesc(typeSInt32, &one, sizeof one, number.Out()), noErr);
    EXPECT_EQ(ExplainRefusedText(number.Get()), "");  // "1" is an old-style string
}

}  // namespace

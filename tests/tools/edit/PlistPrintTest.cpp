// print's layout and extract's raw text for each type.
#include "support/PlatformTest.h"
#include "tests/tools/edit/EditTestSupport.h"
#include "tools/edit/PlistEdit.h"
#include "tools/edit/PlistPrint.h"

namespace {

CFRef<CFPropertyListRef> FromXML(const std::string& xml) {
    CFRef<CFPropertyListRef> value;
    std::string error;
    EXPECT_TRUE(plistedit::CreateValue("xml", xml, value, error)) << xml << ": " << error;
    return value;
}

class PlistPrintTest : public PlatformTest {};

TEST_F(PlistPrintTest, PrintsNestedInTheWritersKeyOrder) {
    CFRef<CFPropertyListRef> plist = FromXML(
        "<dict><key>z</key><array><integer>-3</integer><real>0.5</real><array/><dict/></array>"
        "<key>b</key><dict><key>when</key><date>2024-01-05T10:00:26Z</date></dict>"
        "<key>a\"\n</key><string>tab\there</string>"
        "<key>d</key><data>AAECAwQFBgcICQoLDA0ODxAR</data><key>f</key><false/>"
        "<key>u</key><dict><key>CF$UID</key><integer>3</integer></dict></dict>");
    std::string text;
    plistedit::AppendPrinted(plist.Get(), text);
    EXPECT_EQ(text,
              "{\n"
              "  \"a\\\"\\n\" = \"tab\\there\"\n"
              "  \"b\" = {\n"
              "    \"when\" = 2024-01-05T10:00:26Z\n"
              "  }\n"
              "  \"d\" = <18 bytes: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f …>\n"
              "  \"f\" = false\n"
              "  \"u\" = UID 3\n"
              "  \"z\" = [\n"
              "    0: -3\n"
              "    1: 0.5\n"
              "    2: []\n"
              "    3: {}\n"
              "  ]\n"
              "}\n");
}

struct RawCase {
    const char* xml;
    const char* raw;  // or the error
    bool refused;
};

const RawCase kRawCases[] = {
    {"<string>a b\n\xC3\xA9</string>", "a b\n\xC3\xA9", false},
    {"<integer>18446744073709551615</integer>", "18446744073709551615", false},
    {"<real>1e+16</real>", "1e+16", false},
    {"<true/>", "true", false},
    {"<date>2024-01-05T10:00:26Z</date>", "2024-01-05T10:00:26Z", false},
    {"<data>3q2+7w==</data>", "3q2+7w==", false},
    {"<array><true/><false/></array>", "2", false},
    {"<dict><key>b</key><true/><key>a</key><true/></dict>", "a\nb", false},
    {"<dict><key>CF$UID</key><integer>4294967295</integer></dict>", "4294967295", false},
    // The XML reader keeps a CF$UID integer's low 32 bits, as the real one: always a UID.
    {"<dict><key>CF$UID</key><integer>-1</integer></dict>", "4294967295", false},
    {"<dict><key>CF$UID</key><real>1</real></dict>", "CF$UID", false},
    {"<dict><key>CF$UID</key><string>1</string></dict>", "CF$UID", false},
    // Each key as a key path component, so that it pastes back into a path.
    {"<dict><key>a.b</key><true/><key>c\\d</key><true/><key>:x</key><true/><key>y:</key><true/>"
     "</dict>",
     "\\:x\na\\.b\nc\\\\d\ny:", false},
};

class RawTextTest : public PlatformTestWithParam<RawCase> {};

TEST_P(RawTextTest, WritesPlainText) {
    CFRef<CFPropertyListRef> value = FromXML(GetParam().xml);
    std::string text, error;
    EXPECT_EQ(plistedit::RawText(value.Get(), text, error), !GetParam().refused);
    EXPECT_EQ(GetParam().refused ? error : text, GetParam().raw);
}

TEST_F(PlistPrintTest, RawTextRefusesALoneSurrogate) {
    const UniChar units[] = {'a', 0xD800};
    CFRef<CFStringRef> lone(CFStringCreateWithCharacters(nullptr, units, 2));
    std::string text, error;
    EXPECT_FALSE(plistedit::RawText(lone.Get(), text, error));
    EXPECT_EQ(error, "the string has an unpaired surrogate, which has no UTF-8 form");
    text.clear();
    plistedit::AppendPrinted(lone.Get(), text);
    EXPECT_EQ(text, "\"a\\uD800\"\n");
}

INSTANTIATE_TEST_SUITE_P(Types, RawTextTest, ::testing::ValuesIn(kRawCases));

TEST_F(PlistPrintTest, RefusesAContainerSharedPastTheBound) {
    std::string text;
    EXPECT_FALSE(plistedit::AppendPrinted(SharedPairs().Get(), text));
}

}  // namespace

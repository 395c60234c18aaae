// The old-style (OpenStep) text reader: syntax, escapes, the strings-file form, encodings,
// nesting, mutability and refusals. (The corpus test holds the real-world old-style files.)
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"

namespace {

using namespace std::string_literals;

CFPropertyListRef ReadOld(const std::string& text, CFOptionFlags options = 0) {
    return cf::plist::ReadOldStyle(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                   options, nullptr);
}

std::string Document(const std::string& body) {
    return PListDocument(body + "\n");
}

struct Case {
    std::string input;
    const char* body;  // what the writer prints for the value, or nullptr for a refusal
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << c.input << '"';
}

class OldStyleSyntaxTest : public PlatformTestWithParam<Case> {};

TEST_P(OldStyleSyntaxTest, ReadsAsTheFrameworkDoes) {
    const Case& c = GetParam();
    CFRef<CFPropertyListRef> value(ReadOld(c.input));
    if (!c.body) {
        EXPECT_FALSE(value) << WrittenXML(value.Get());
        return;
    }
    ASSERT_TRUE(value);
    EXPECT_EQ(WrittenXML(value.Get()), Document(c.body));
}

INSTANTIATE_TEST_SUITE_P(
    Values, OldStyleSyntaxTest,
    ::testing::Values(
        Case{"abc_$/:.-9", "<string>abc_$/:.-9</string>"},
        Case{"'single'", "<string>single</string>"},
        Case{"\"caf\xC3\xA9 \xE2\x82\xAC\"", "<string>caf\xC3\xA9 \xE2\x82\xAC</string>"},
        Case{"\"\"", "<string></string>"}, Case{"()", "<array/>"},
        Case{"(a, b,)", "<array>\n\t<string>a</string>\n\t<string>b</string>\n</array>"},
        Case{"{}", "<dict/>"},
        Case{"{a=b;}", "<dict>\n\t<key>a</key>\n\t<string>b</string>\n</dict>"},
        Case{"{a = b; a = c;}", "<dict>\n\t<key>a</key>\n\t<string>c</string>\n</dict>"},
        Case{"<>", "<data>\n</data>"}, Case{"< 0001 ff >", "<data>\nAAH/\n</data>"},
        Case{"/* c */ x // d", "<string>x</string>"}, Case{"  \n\t// only a comment\n", "<dict/>"},
        Case{"k = v; /* c */ k2 = (1);",
             "<dict>\n\t<key>k</key>\n\t<string>v</string>\n\t<key>k2</key>\n\t<array>\n"
             "\t\t<string>1</string>\n\t</array>\n</dict>"},
        // A strings file ends at the first thing that does not read as a key.
        Case{"k = v; !", "<dict>\n\t<key>k</key>\n\t<string>v</string>\n</dict>"},
        Case{"k = v; \"open", "<dict>\n\t<key>k</key>\n\t<string>v</string>\n</dict>"},
        Case{"\"a\"; b;",
             "<dict>\n\t<key>a</key>\n\t<string>a</string>\n"
             "\t<key>b</key>\n\t<string>b</string>\n</dict>"},
        // Refusals.
        Case{"", nullptr}, Case{"(a b)", nullptr}, Case{"(a,,b)", nullptr},
        Case{"{a = ;}", nullptr}, Case{"{a b}", nullptr}, Case{"{a = b; c}", nullptr},
        Case{"{a = b}}", nullptr}, Case{"(a) b", nullptr}, Case{"{a=b}", nullptr},
        Case{"k = v", nullptr}, Case{"{\"open}", nullptr}, Case{"\"open", nullptr},
        Case{"'mixed\"", nullptr}, Case{"/* open", nullptr}, Case{"<0g>", nullptr},
        Case{"<123>", nullptr}, Case{"<12", nullptr}, Case{"a = \"\\U", nullptr}));

using OldStyleTest = PlatformTest;

TEST_F(OldStyleTest, EscapesDecode) {
    const struct {
        const char* input;
        const char* utf8;
    } cases[] = {
        {R"("\n\t\r\"\\\'")", "\n\t\r\"\\'"},
        {R"("\a\b\f\v")", "\a\b\f\v"},
        {R"("\101\60")", "A0"},
        {R"("\351")", "\xC3\x98"},  // NeXTSTEP 0xE9 is U+00D8
        {R"("\U00e9\U20AC")", "\xC3\xA9\xE2\x82\xAC"},
        {R"("\UD83D\UDE00")", "\xF0\x9F\x98\x80"},
        {R"("\q")", "q"},
    };
    for (const auto& c : cases) {
        CFRef<CFPropertyListRef> value(ReadOld(c.input));
        ASSERT_TRUE(value) << c.input;
        CFIndex length = CFStringGetLength(static_cast<CFStringRef>(value.Get()));
        std::string utf8(static_cast<size_t>(length) * 4 + 1, '\0');
        CFIndex used = 0;
        CFStringGetBytes(static_cast<CFStringRef>(value.Get()), CFRangeMake(0, length),
                         kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(utf8.data()),
                         static_cast<CFIndex>(utf8.size()), &used);
        utf8.resize(static_cast<size_t>(used));
        EXPECT_EQ(utf8, c.utf8) << c.input;
    }
}

TEST_F(OldStyleTest, UnpairedSurrogateEscapeIsRefused) {
    EXPECT_FALSE(CFRef<CFPropertyListRef>(ReadOld(R"("\UD83D x")")));
    EXPECT_FALSE(CFRef<CFPropertyListRef>(ReadOld(R"("\UDE00")")));
}

TEST_F(OldStyleTest, WideEncodingsAreDecoded) {
    const std::string text = "\"k\" = \"\xC3\xA9\";";
    auto utf16 = [&](bool big, bool bom) {
        std::string out = bom ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char c : std::string("\"k\" = \""))
            out += big ? std::string{'\0', c} : std::string{c, '\0'};
        out += big ? "\x00\xE9"s : "\xE9\x00"s;
        for (char c : std::string("\";")) out += big ? std::string{'\0', c} : std::string{c, '\0'};
        return out;
    };
    const std::string expected =
        Document("<dict>\n\t<key>k</key>\n\t<string>\xC3\xA9</string>\n</dict>");
    for (const std::string& input : {"\xEF\xBB\xBF" + text, utf16(true, true), utf16(false, true),
                                     utf16(true, false), utf16(false, false)}) {
        CFRef<CFPropertyListRef> value(ReadOld(input));
        ASSERT_TRUE(value);
        EXPECT_EQ(WrittenXML(value.Get()), expected);
    }
    EXPECT_FALSE(CFRef<CFPropertyListRef>(ReadOld("\"\xE9\"")));  // not UTF-8
}

TEST_F(OldStyleTest, NestingLimitIsFiveHundredTwelve) {
    auto nested = [](int depth) { return std::string(depth, '(') + std::string(depth, ')'); };
    // The innermost "()" holds nothing and does not count.
    EXPECT_TRUE(CFRef<CFPropertyListRef>(ReadOld(nested(513))));
    EXPECT_FALSE(CFRef<CFPropertyListRef>(ReadOld(nested(514))));
    EXPECT_TRUE(
        CFRef<CFPropertyListRef>(ReadOld(std::string(512, '(') + "x" + std::string(512, ')'))));
    EXPECT_FALSE(
        CFRef<CFPropertyListRef>(ReadOld(std::string(513, '(') + "x" + std::string(513, ')'))));
    EXPECT_FALSE(CFRef<CFPropertyListRef>(ReadOld(std::string(100000, '{'))));
}

TEST_F(OldStyleTest, ContainersFollowTheMutabilityOption) {
    CFRef<CFPropertyListRef> immutable(ReadOld("{a = (b);}", kCFPropertyListImmutable));
    CFRef<CFPropertyListRef> mutableLeaves(
        ReadOld("{a = (b); c;}", kCFPropertyListMutableContainersAndLeaves));
    ASSERT_TRUE(immutable && mutableLeaves);
    // The mutable dictionary accepts a new entry and the shorthand value is its own string.
    auto dict = (CFMutableDictionaryRef)mutableLeaves.Get();
    CFDictionarySetValue(dict, CFSTR("x"), CFSTR("y"));
    EXPECT_EQ(CFDictionaryGetCount(dict), 3);
    auto c = (CFMutableStringRef)CFDictionaryGetValue(dict, CFSTR("c"));
    ASSERT_TRUE(c);
    CFStringAppend(c, CFSTR("!"));
    EXPECT_EQ(CFStringGetLength(c), 2);
}

TEST_F(OldStyleTest, AllocationFailureAnywhereFailsCleanly) {
    const std::string doc = "k = (a, \"b\\n\", <00ff>, {x = y;}); s;";
    bool succeeded = false;
    for (long skip = 0; skip < 100 && !succeeded; ++skip) {
        const long live = PTLiveCFObjectCount();
        PTFailCFAllocations(skip, 1);
        CFRef<CFPropertyListRef> value(ReadOld(doc));
        PTClearFaults();
        succeeded = static_cast<bool>(value);
        value.Reset();
        EXPECT_EQ(PTLiveCFObjectCount(), live) << "leak when allocation " << skip << " failed";
    }
    EXPECT_TRUE(succeeded);
}

}  // namespace

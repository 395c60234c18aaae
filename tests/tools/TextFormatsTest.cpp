// JSON both ways and old-style output, in-process: the edge cases of each mapping and its
// refusals, with the line or the path they name.
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "tools/formats/PListTextFormats.h"

namespace {

CFRef<CFPropertyListRef> FromXML(const std::string& xml) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()),
                                       static_cast<CFIndex>(xml.size())));
    CFRef<CFPropertyListRef> value(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
    EXPECT_TRUE(value) << xml;
    return value;
}

// The value read from JSON, as XML lines (without the document frame), or "error: …".
std::string JSONAsXML(const std::string& json) {
    CFRef<CFPropertyListRef> value;
    std::string error;
    if (!plisttext::ReadJSON(json, value, error)) return "error: " + error;
    std::string xml = WrittenXML(value.Get());
    const std::string frame = PListDocument("");
    return xml.substr(frame.size() - 9, xml.size() - frame.size());
}

std::string ToJSON(const std::string& xml, bool strict = false) {
    CFRef<CFPropertyListRef> value = FromXML(xml);
    std::string out, error;
    if (!plisttext::WriteJSON(value.Get(), strict, out, error)) return "error: " + error;
    return out;
}

std::string ToOpenStep(const std::string& xml) {
    CFRef<CFPropertyListRef> value = FromXML(xml);
    std::string out, error;
    if (!plisttext::WriteOpenStep(value.Get(), out, error)) return "error: " + error;
    return out;
}

using TextFormats = PlatformTest;

TEST_F(TextFormats, ReadsJSON) {
    const struct {
        const char* json;
        std::string xml;
    } cases[] = {
        {R"(["a\u00e9\ud83d\ude00\n\"\\\/"])",
         "<array>\n\t<string>a\xC3\xA9\xF0\x9F\x98\x80\n\"\\/</string>\n</array>\n"},
        // A lone surrogate escape keeps its unit (written back as U+FFFD by the XML writer).
        {R"(["x\udc00y"])", "<array>\n\t<string>x\xEF\xBF\xBDy</string>\n</array>\n"},
        {"[9223372036854775807, -9223372036854775808, 18446744073709551615, 0, -0, 1.5, 1e2, "
         "-2E-1]",
         "<array>\n\t<integer>9223372036854775807</integer>\n\t<integer>-9223372036854775808</"
         "integer>\n\t<integer>18446744073709551615</integer>\n\t<integer>0</integer>\n\t<integer>"
         "0</integer>\n\t<real>1.5</real>\n\t<real>100</real>\n\t<real>-0.20000000000000001</"
         "real>\n</array>\n"},
        {R"({"a": {}, "b": [[], {}], "c": [[[]]]})",
         "<dict>\n\t<key>a</key>\n\t<dict/>\n\t<key>b</key>\n\t<array>\n\t\t<array/>\n\t\t<dict/>"
         "\n\t</array>\n\t<key>c</key>\n\t<array>\n\t\t<array>\n\t\t\t<array/>\n\t\t</array>\n\t"
         "</array>\n</dict>\n"},
        {"\xEF\xBB\xBF {\"k\": true, \"k\": false}  \n",
         "<dict>\n\t<key>k</key>\n\t<false/>\n</dict>\n"},
        {"[]", "<array/>\n"},
        {"{\"a\":\n null}", "error: null has no property-list form on line 2"},
        {"[18446744073709551616]", "error: an integer outside the 64-bit range on line 1"},
        {"[-9223372036854775809]", "error: an integer outside the 64-bit range on line 1"},
        {"\"top\"", "error: expected a JSON object or array, found '\"' on line 1"},
        {"[1,]", "error: unexpected ']' on line 1"},
        {"[01]", "error: expected ',' or ']', found '1' on line 1"},
        {"[1] x", "error: unexpected 'x' after the top value on line 1"},
        {"{\"a\" 1}", "error: expected ':' after a key, found '1' on line 1"},
        {"{1: 2}", "error: expected a string key, found '1' on line 1"},
        {"[\"a\tb\"]", "error: a control character inside a string on line 1"},
        {"[\"\xC3\"]", "error: text that is not UTF-8 on line 1"},
        {"[\"\xED\xA0\x80\"]", "error: an unpaired surrogate, which UTF-8 cannot hold on line 1"},
        {"{\"a\":\"\xED\xB0\x80\"}",
         "error: an unpaired surrogate, which UTF-8 cannot hold on line 1"},
        {"[\"\\x\"]", "error: an unknown escape \\x on line 1"},
        {"[\"\\u12\"]", "error: a \\u escape without four hex digits on line 1"},
        {"[\n\n\"abc", "error: an unterminated string on line 3"},
        {"[tru]", "error: unexpected 't' on line 1"},
        {"", "error: expected a JSON object or array, found the end on line 1"},
    };
    for (const auto& c : cases) EXPECT_EQ(JSONAsXML(c.json), c.xml) << c.json;
}

// Beyond the double range, JSON reads a number as the XML reader reads the same text in a
// <real>: 0 (with its sign) below it, an infinity above it.
TEST_F(TextFormats, JSONAndXMLReadTheEdgesOfTheDoubleRangeAlike) {
    const struct {
        const char* number;
        const char* xml;
    } cases[] = {
        {"1e-400", "0.0"},
        {"-1e-400", "0.0"},
        {"0.0000001e-320", "0.0"},
        {"2e-324", "0.0"},
        {"3e-324", "4.9406564584124654e-324"},
        {"4.9406564584124654e-324", "4.9406564584124654e-324"},
        {"1.7976931348623157e308", "1.7976931348623157e+308"},
        {"1.7976931348623159e308", "+infinity"},
        {"1e400", "+infinity"},
        {"-1e400", "-infinity"},
        {"123456789e305", "+infinity"},
    };
    for (const auto& c : cases) {
        const std::string expected =
            "<array>\n\t<real>" + std::string(c.xml) + "</real>\n</array>\n";
        EXPECT_EQ(JSONAsXML("[" + std::string(c.number) + "]"), expected) << c.number;
        CFRef<CFPropertyListRef> xml =
            FromXML("<array><real>" + std::string(c.number) + "</real></array>");
        CFRef<CFPropertyListRef> json;
        std::string error;
        ASSERT_TRUE(plisttext::ReadJSON("[" + std::string(c.number) + "]", json, error));
        EXPECT_TRUE(CFEqual(xml.Get(), json.Get())) << c.number;
    }
}

TEST_F(TextFormats, RefusesJSONNestedDeeperThanTheReaders) {
    EXPECT_EQ(JSONAsXML(std::string(512, '[') + std::string(512, ']')).substr(0, 7), "<array>");
    EXPECT_EQ(JSONAsXML(std::string(513, '[') + std::string(513, ']')),
              "error: nested deeper than 512 levels on line 1");
    EXPECT_EQ(JSONAsXML(std::string(100000, '[')),
              "error: nested deeper than 512 levels on line 1");
}

// 30 levels of [x, x], each level one shared array: two billion values if written out. Both
// text writers refuse it as the platform's writers do, at once, rather than run out of memory.
TEST_F(TextFormats, TextWritersRefuseContainersSharedPastTheBound) {
    CFTypeRef level = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
    for (int i = 0; i < 30; ++i) {
        const void* pair[] = {level, level};
        CFTypeRef outer = CFArrayCreate(nullptr, pair, 2, &kCFTypeArrayCallBacks);
        CFRelease(level);
        level = outer;
    }
    std::string out, error;
    EXPECT_FALSE(plisttext::WriteJSON(level, false, out, error));
    EXPECT_NE(error.find("a container repeated more than 1536 times"), std::string::npos) << error;
    EXPECT_FALSE(plisttext::WriteOpenStep(level, out, error));
    EXPECT_NE(error.find("a container repeated more than 1536 times"), std::string::npos) << error;
    CFRelease(level);
}

TEST_F(TextFormats, WritesJSON) {
    EXPECT_EQ(ToJSON("<dict><key>b</key><array><true/><false/><integer>-3</integer>"
                     "<real>1</real><real>0.1</real><real>1e16</real></array>"
                     "<key>a</key><dict/><key>A</key><array/></dict>"),
              "{\n  \"A\": [],\n  \"a\": {},\n  \"b\": [\n    true,\n    false,\n    -3,\n"
              "    1.0,\n    0.1,\n    1e+16\n  ]\n}\n");
    EXPECT_EQ(ToJSON("<array><string>q\"\\\n\t\r\x01\x7f\xC3\xA9\xF0\x9F\x98\x80</string></array>"),
              "[\n  \"q\\\"\\\\\\n\\t\\r\\u0001\x7f\xC3\xA9\xF0\x9F\x98\x80\"\n]\n");
    EXPECT_EQ(ToJSON("<array><integer>18446744073709551615</integer></array>"),
              "[\n  18446744073709551615\n]\n");
    // Dates as the XML writer writes them, data as padded base64.
    EXPECT_EQ(ToJSON("<dict><key>d</key><date>2024-01-05T10:00:26Z</date><key>x</key>"
                     "<data>AAEC/w==</data><key>e</key><data></data></dict>"),
              "{\n  \"d\": \"2024-01-05T10:00:26Z\",\n  \"e\": \"\",\n  \"x\": \"AAEC/w==\"\n}\n");
}

TEST_F(TextFormats, JSONRefusalsNameTheValue) {
    EXPECT_EQ(ToJSON("<dict><key>k</key><array><real>1</real><real>nan</real></array></dict>"),
              "error: the value at k.1 is a real nan, which has no JSON form");
    EXPECT_EQ(ToJSON("<array><real>-inf</real></array>"),
              "error: the value at 0 is a real -inf, which has no JSON form");
    // The key path reads back: dots, backslashes and a leading colon escaped.
    EXPECT_EQ(ToJSON("<dict><key>a.b/c</key><dict><key>:x\\</key><real>nan</real></dict></dict>"),
              "error: the value at a\\.b/c.\\:x\\\\ is a real nan, which has no JSON form");
    EXPECT_EQ(ToJSON("<dict><key>when</key><date>2024-01-05T10:00:26Z</date></dict>", true),
              "error: the value at when is a date, refused by --strict");
    EXPECT_EQ(ToJSON("<data>AA==</data>", true),
              "error: the top value is data, refused by --strict");
    // What convert would read back as old-style text, or not at all.
    for (const char* scalar : {"<string>a</string>", "<integer>12</integer>", "<real>1e+26</real>",
                               "<true/>", "<data>AA==</data>"})
        EXPECT_EQ(ToJSON(scalar),
                  "error: the top value is not an array or a dictionary, which "
                  "JSON output needs at the top")
            << scalar;
}

TEST_F(TextFormats, JSONSurvivesItsOwnTrip) {
    const std::string xml =
        "<dict><key>s</key><string>\xE2\x80\x94 x</string><key>n</key><array><integer>1</integer>"
        "<real>2.5</real><real>1e-7</real><integer>-9223372036854775808</integer></array>"
        "<key>t</key><true/><key>e</key><dict><key>z</key><array/></dict></dict>";
    const std::string json = ToJSON(xml);
    CFRef<CFPropertyListRef> again;
    std::string error;
    ASSERT_TRUE(plisttext::ReadJSON(json, again, error)) << error;
    EXPECT_EQ(WrittenXML(again.Get()), WrittenXML(FromXML(xml).Get()));
}

TEST_F(TextFormats, WritesOldStyleThatReadsBackUnchanged) {
    const std::string xml =
        "<dict><key>plain_$:.-9</key><string>word</string><key>needs quotes</key>"
        "<string>a \"b\" \\c\nd\te\x01 \xC3\xA9 \xF0\x9F\x98\x80 //x /*y*/</string>"
        "<key></key><string></string><key>data</key><array><data>AAECAwQF</data><data></data>"
        "</array><key>e</key><dict/><key>l</key><array/><key>nested</key><array><array>"
        "<string>x</string></array><dict><key>k</key><string>v</string></dict></array></dict>";
    const std::string text = ToOpenStep(xml);
    EXPECT_EQ(
        text,
        "{\n\t\"\" = \"\";\n\tdata = (\n\t\t<00010203 0405>,\n\t\t<>\n\t);\n\te = {};\n\t"
        "l = ();\n\t\"needs quotes\" = \"a \\\"b\\\" \\\\c\\nd\\te\\001 \\U00E9 \\UD83D\\UDE00 "
        "//x /*y*/\";\n\tnested = (\n\t\t(\n\t\t\tx\n\t\t),\n\t\t{\n\t\t\tk = v;\n\t\t}\n\t);"
        "\n\tplain_$:.-9 = word;\n}\n");
    CFRef<CFPropertyListRef> again = FromXML(text);
    EXPECT_EQ(WrittenXML(again.Get()), WrittenXML(FromXML(xml).Get()));
}

TEST_F(TextFormats, OldStyleQuotesAStringThatWouldReadAsABinaryList) {
    const std::string text = ToOpenStep("<string>bplist00" + std::string(60, 'd') + "</string>");
    EXPECT_EQ(text.rfind("\"bplist00", 0), 0u) << text;
    EXPECT_EQ(ToOpenStep("<array><string>abc</string></array>"), "(\n\tabc\n)\n");
}

TEST_F(TextFormats, OldStyleWritesNumbersAsTextAndRefusesDatesAndBooleans) {
    EXPECT_EQ(ToOpenStep("<array><integer>-5</integer><real>0.5</real><real>inf</real></array>"),
              "(\n\t-5,\n\t0.5,\n\tinf\n)\n");
    EXPECT_EQ(ToOpenStep("<dict><key>a b</key><array><true/></array></dict>"),
              "error: the value at a b.0 is a Boolean, which has no old-style form");
    EXPECT_EQ(ToOpenStep("<date>2024-01-05T10:00:26Z</date>"),
              "error: the top value is a date, which has no old-style form");
    const UniChar lone[] = {'a', 0xD800};
    CFRef<CFStringRef> string(CFStringCreateWithCharacters(nullptr, lone, 2));
    std::string out, error;
    EXPECT_FALSE(plisttext::WriteOpenStep(string.Get(), out, error));
    EXPECT_EQ(error,
              "the top value is a string with an unpaired surrogate, which has no old-style form");
}

TEST_F(TextFormats, DateTextIsTheXMLWritersText) {
    CFRef<CFDateRef> date(CFDateCreate(nullptr, 726141626.75));
    EXPECT_EQ(plisttext::DateText(date.Get()), "2024-01-05T10:00:26Z");
    CFRef<CFDateRef> early(CFDateCreate(nullptr, -0.5));
    EXPECT_EQ(plisttext::DateText(early.Get()), "2000-12-31T23:59:59Z");
}

}  // namespace

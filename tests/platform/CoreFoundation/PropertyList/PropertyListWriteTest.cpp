// The XML writer: every golden write case byte for byte, our deliberate departures from the
// real writer, and the refusals.
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "support/TypedValue.h"

namespace {

namespace fs = std::filesystem;

const std::string kGoldenWrite = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/golden/write/";

// Where our writer deliberately differs from the real one; each has its own test below.
bool IsDeliberateDifference(const std::string& name) {
    return name == "str_lone_surrogates" || name == "date_rounding_quirks";
}

std::vector<std::string> GoldenWriteCases() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kGoldenWrite)) {
        if (entry.path().extension() != ".json") continue;
        std::string name = entry.path().stem().string();
        if (!IsDeliberateDifference(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

CFRef<CFTypeRef> BuildCase(const std::string& name) {
    auto json = testjson::ReadFile(kGoldenWrite + name + ".json");
    testjson::Value doc;
    std::string error;
    if (!json || !testjson::Parse(*json, doc, error) || !doc.Find("value")) {
        ADD_FAILURE() << name << ": unreadable case " << error;
        return {};
    }
    CFRef<CFTypeRef> value = testjson::BuildCF(*doc.Find("value"), error);
    EXPECT_TRUE(value) << name << ": " << error;
    return value;
}

std::string Write(CFTypeRef value) {
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value));
    EXPECT_TRUE(xml);
    return testjson::Bytes(xml.Get());
}

class GoldenWrite : public PlatformTestWithParam<std::string> {};

TEST_P(GoldenWrite, MatchesTheRealWriterByteForByte) {
    const std::string& name = GetParam();
    CFRef<CFTypeRef> value = BuildCase(name);
    ASSERT_TRUE(value);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.Get()));
    if (fs::exists(kGoldenWrite + name + ".result")) {
        EXPECT_FALSE(xml) << "the real writer refuses " << name;
        return;
    }
    auto expected = testjson::ReadFile(kGoldenWrite + name + ".plist");
    ASSERT_TRUE(expected);
    ASSERT_TRUE(xml);
    EXPECT_EQ(testjson::Bytes(xml.Get()), *expected);
}

INSTANTIATE_TEST_SUITE_P(AllCases, GoldenWrite, ::testing::ValuesIn(GoldenWriteCases()),
                         [](const auto& info) { return info.param; });

using PropertyListWrite = PlatformTest;

CFRef<CFStringRef> Units(std::u16string units) {
    std::vector<UniChar> chars(units.begin(), units.end());
    return CFRef<CFStringRef>(
        CFStringCreateWithCharacters(nullptr, chars.data(), static_cast<CFIndex>(chars.size())));
}

// An unpaired surrogate costs only itself: U+FFFD in its place, the text around it kept.
TEST_F(PropertyListWrite, LoneSurrogatesBecomeReplacementCharacters) {
    struct Case {
        std::u16string units;
        const char* text;
    } cases[] = {
        {u"x\xD800y", "x\xEF\xBF\xBDy"},
        {u"ab\xDE00", "ab\xEF\xBF\xBD"},
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"\xD83D\xDE00\xD83D", "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
        {u"<\xD800&\xE9", "&lt;\xEF\xBF\xBD&amp;\xC3\xA9"},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> string = Units(c.units);
        EXPECT_EQ(Write(string.Get()),
                  PListDocument(std::string("<string>") + c.text + "</string>\n"));
    }
}

// Two keys that become one once their unpaired surrogates are U+FFFD would lose a value on
// reading: both writers refuse the dictionary, wherever it is; keys that stay apart are kept.
TEST_F(PropertyListWrite, RefusesKeysThatMergeAsWritten) {
    struct Case {
        std::u16string first, second;
        bool merge;
    } cases[] = {
        {u"x\xD800", u"x\xDC00", true},
        {u"\xD800", u"\xFFFD", true},
        {u"a\xDBFFz", u"a\xD800z", true},
        {u"x\xD800", u"y\xD800", false},
        {u"\xD83D\xDE00", u"\xFFFD\xFFFD", false},  // a pair is no unpaired surrogate
        {u"\xD800", u"\xFFFD\xFFFD", false},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> first = Units(c.first), second = Units(c.second);
        const void* keys[] = {first.Get(), second.Get()};
        const void* values[] = {kCFBooleanTrue, kCFBooleanFalse};
        CFRef<CFDictionaryRef> dict(CFDictionaryCreate(nullptr, keys, values, 2,
                                                       &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks));
        // Twice with the same key objects: the XML writer reuses a key set's lines.
        const void* items[] = {dict.Get(), dict.Get()};
        CFRef<CFArrayRef> array(CFArrayCreate(nullptr, items, 2, &kCFTypeArrayCallBacks));
        for (CFPropertyListFormat format :
             {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
            CFRef<CFDataRef> data(
                CFPropertyListCreateData(nullptr, array.Get(), format, 0, nullptr));
            EXPECT_EQ(!data, c.merge) << format << " " << c.merge;
        }
    }
}

// The whole time value is floored first, so a tiny negative fraction is the previous second,
// never second 60.
TEST_F(PropertyListWrite, DatesFloorTheWholeTimeValue) {
    struct Case {
        double time;
        const char* text;
    } cases[] = {
        {-1e-15, "2000-12-31T23:59:59Z"},
        {-5e-324, "2000-12-31T23:59:59Z"},
        {-7.2e-15, "2000-12-31T23:59:59Z"},
        {59.99999999999999, "2001-01-01T00:00:59Z"},
        {86399.99999999999, "2001-01-01T23:59:59Z"},
        {-978307200.0000001, "1969-12-31T23:59:59Z"},
        {-63145526401.0, "-001-12-31T23:59:59Z"},
        {-63177062400.0, "-001-01-01T00:00:00Z"},
    };
    for (const Case& c : cases) {
        CFRef<CFDateRef> date(CFDateCreate(nullptr, c.time));
        EXPECT_EQ(Write(date.Get()), PListDocument(std::string("<date>") + c.text + "</date>\n"))
            << c.time;
    }
}

TEST_F(PropertyListWrite, RefusesWhatIsNotAPropertyList) {
    CFRef<CFMutableArrayRef> selfContaining(
        CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(selfContaining.Get(), selfContaining.Get());
    CFRef<CFMutableArrayRef> indirect(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFMutableDictionaryRef> holder(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(holder.Get(), CFSTR("loop"), indirect.Get());
    CFArrayAppendValue(indirect.Get(), holder.Get());
    CFRef<CFMutableArrayRef> withNull(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(withNull.Get(), kCFNull);
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, CFSTR("file:///tmp"), nullptr));

    CFTypeRef refused[] = {selfContaining.Get(), indirect.Get(), withNull.Get(), url.Get(),
                           kCFNull};
    for (CFTypeRef value : refused) EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, value), nullptr);
    // Break the cycles so the leak check sees everything freed.
    CFArrayRemoveAllValues(selfContaining.Get());
    CFArrayRemoveAllValues(indirect.Get());
}

// Nested arrays `levels` deep around an empty dict.
CFRef<CFTypeRef> Nest(int levels) {
    CFRef<CFTypeRef> value(CFDictionaryCreate(nullptr, nullptr, nullptr, 0,
                                              &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks));
    for (int i = 0; i < levels; ++i) {
        const void* item = value.Get();
        value.Reset(CFArrayCreate(nullptr, &item, 1, &kCFTypeArrayCallBacks));
    }
    return value;
}

TEST_F(PropertyListWrite, NestingLimitIs512Containers) {
    CFRef<CFTypeRef> deepest = Nest(511);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, deepest.Get()));
    ASSERT_TRUE(xml);
    std::string bytes = testjson::Bytes(xml.Get());
    EXPECT_NE(bytes.find(std::string(511, '\t') + "<dict/>\n"), std::string::npos);
    // An empty container may sit one past the limit, as the readers accept it there.
    CFRef<CFTypeRef> emptyPastTheLimit = Nest(512);
    EXPECT_TRUE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, emptyPastTheLimit.Get())));
    CFRef<CFTypeRef> tooDeep = Nest(513);
    EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, tooDeep.Get()), nullptr);
}

// The same container may appear many times (a DAG is a tree on output), up to the real
// writer's bound; an exponential DAG is refused instead of written for ever.
TEST_F(PropertyListWrite, SharedContainersAreBounded) {
    CFRef<CFTypeRef> leaf(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    std::vector<const void*> items(1536, leaf.Get());
    CFRef<CFArrayRef> wide(CFArrayCreate(nullptr, items.data(), 1536, &kCFTypeArrayCallBacks));
    EXPECT_TRUE(CFRef<CFDataRef>(CFPropertyListCreateXMLData(nullptr, wide.Get())));
    items.push_back(leaf.Get());
    CFRef<CFArrayRef> tooWide(CFArrayCreate(nullptr, items.data(), 1537, &kCFTypeArrayCallBacks));
    EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, tooWide.Get()), nullptr);

    CFRef<CFTypeRef> doubling(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    for (int i = 0; i < 64; ++i) {
        const void* pair[] = {doubling.Get(), doubling.Get()};
        doubling.Reset(CFArrayCreate(nullptr, pair, 2, &kCFTypeArrayCallBacks));
    }
    EXPECT_EQ(CFPropertyListCreateXMLData(nullptr, doubling.Get()), nullptr);
}

// Plain ASCII is copied several units at a time: a markup character, a non-ASCII character or
// a surrogate pair must be found at every position of such a group and at the edges of the
// writer's internal chunks, and the text around it kept.
TEST_F(PropertyListWrite, EscapesAtEveryPositionOfLongText) {
    struct Special {
        std::u16string units;
        std::string utf8;
    } specials[] = {{u"&", "&amp;"},
                    {u"<", "&lt;"},
                    {u">", "&gt;"},
                    {u"\xE9", "\xC3\xA9"},
                    {u"\x7F", "\x7F"},
                    {u"\x2022", "\xE2\x80\xA2"},
                    {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"}};
    for (size_t length :
         {size_t{1}, size_t{7}, size_t{8}, size_t{17}, size_t{4095}, size_t{4100}}) {
        std::vector<size_t> positions = {length - 1, 4094, 4095, 4096};
        for (size_t at = 0; at < 40; ++at) positions.push_back(at);
        for (size_t at : positions) {
            if (at >= length) continue;
            for (const Special& special : specials) {
                std::u16string units;
                std::string expected;
                for (size_t i = 0; i < length; ++i) {
                    char c = static_cast<char>('a' + i % 26);
                    if (i == at)
                        units += special.units, expected += special.utf8;
                    else
                        units += static_cast<char16_t>(c), expected += c;
                }
                CFRef<CFStringRef> string = Units(units);
                ASSERT_EQ(Write(string.Get()), PListDocument("<string>" + expected + "</string>\n"))
                    << "length " << length << ", special at " << at;
            }
        }
    }
}

// Records with the same key objects reuse the previous order; a record whose equal-count keys
// differ must still come out sorted.
TEST_F(PropertyListWrite, KeyOrderOfConsecutiveDictionaries) {
    auto dict = [](std::vector<const char*> keys) {
        CFRef<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        for (const char* key : keys) {
            CFRef<CFStringRef> k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
            CFDictionarySetValue(d.Get(), k.Get(), kCFBooleanTrue);
        }
        return d;
    };
    CFRef<CFMutableDictionaryRef> first = dict({"b", "a", "c"});
    CFRef<CFMutableDictionaryRef> other = dict({"z", "y", "x"});
    const void* items[] = {first.Get(), first.Get(), other.Get(), first.Get()};
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr, items, 4, &kCFTypeArrayCallBacks));
    auto body = [](const char* a, const char* b, const char* c) {
        std::string text = "\t<dict>\n";
        for (const char* k : {a, b, c})
            text += std::string("\t\t<key>") + k + "</key>\n\t\t<true/>\n";
        return text + "\t</dict>\n";
    };
    std::string abc = body("a", "b", "c");
    EXPECT_EQ(Write(array.Get()),
              PListDocument("<array>\n" + abc + abc + body("x", "y", "z") + abc + "</array>\n"));
}

// Key lines of a repeated key set are reused; a nested dictionary with the same keys or with
// other keys, met between the parent's keys, must not disturb the parent's remaining keys.
TEST_F(PropertyListWrite, NestedDictionariesSharingOrChangingTheKeySet) {
    CFStringRef a = CFSTR("a&"), b = CFSTR("b<"), x = CFSTR("x");
    auto dict = [](std::vector<std::pair<CFStringRef, CFTypeRef>> pairs) {
        CFRef<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        for (auto& [key, value] : pairs) CFDictionarySetValue(d.Get(), key, value);
        return d;
    };
    CFRef<CFMutableDictionaryRef> same = dict({{b, kCFBooleanTrue}, {a, kCFBooleanFalse}});
    CFRef<CFMutableDictionaryRef> other = dict({{x, kCFBooleanTrue}});
    CFRef<CFMutableDictionaryRef> parent = dict({{b, other.Get()}, {a, same.Get()}});
    const void* items[] = {parent.Get(), parent.Get()};
    CFRef<CFArrayRef> array(CFArrayCreate(nullptr, items, 2, &kCFTypeArrayCallBacks));
    const std::string one =
        "\t<dict>\n"
        "\t\t<key>a&amp;</key>\n"
        "\t\t<dict>\n\t\t\t<key>a&amp;</key>\n\t\t\t<false/>\n"
        "\t\t\t<key>b&lt;</key>\n\t\t\t<true/>\n\t\t</dict>\n"
        "\t\t<key>b&lt;</key>\n"
        "\t\t<dict>\n\t\t\t<key>x</key>\n\t\t\t<true/>\n\t\t</dict>\n"
        "\t</dict>\n";
    EXPECT_EQ(Write(array.Get()), PListDocument("<array>\n" + one + one + "</array>\n"));
}

// Keys alike in their first eight units or more, a U+0000 unit against the end of a key, and
// units above 0x7FFF: the order is UTF-16 unit order, a prefix first.
TEST_F(PropertyListWrite, KeyOrderOfKeysSharingLongPrefixes) {
    const std::u16string keys[] = {u"abcdefghij",
                                   u"abcdefgh",
                                   std::u16string(u"abcdefgh\0", 9),
                                   u"abcdefgi",
                                   u"ab",
                                   std::u16string(u"ab\0", 3),
                                   std::u16string(u"ab\0c", 4),
                                   u"a",
                                   u"",
                                   u"\xFF01",
                                   u"\x00E9x",
                                   u"abcdefg\xFF01",
                                   u"abcdefg\x00E9",
                                   u"100000",
                                   u"10000",
                                   u"1000",
                                   u"9",
                                   u"abcdefghij\xFF01",
                                   u"abcdefghij\x0001",
                                   u"abcdefghi"};
    auto keyOf = [](const std::u16string& units) {
        return CFRef<CFStringRef>(
            CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                         static_cast<CFIndex>(units.size())));
    };
    // One key's lines, as the writer renders them in a dictionary of its own.
    auto entryLines = [&](const std::u16string& units) {
        CFRef<CFStringRef> key = keyOf(units);
        const void* k = key.Get();
        const void* v = kCFBooleanTrue;
        CFRef<CFDictionaryRef> single(CFDictionaryCreate(
            nullptr, &k, &v, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        std::string text = Write(single.Get());
        size_t start = text.find("<dict>\n") + 7;
        return text.substr(start, text.rfind("</dict>\n") - start);
    };
    CFRef<CFMutableDictionaryRef> all(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (const std::u16string& units : keys)
        CFDictionarySetValue(all.Get(), keyOf(units).Get(), kCFBooleanTrue);
    std::vector<std::u16string> sorted(std::begin(keys), std::end(keys));
    std::sort(sorted.begin(), sorted.end());
    std::string expected;
    for (const std::u16string& units : sorted) expected += entryLines(units);
    EXPECT_EQ(Write(all.Get()), PListDocument("<dict>\n" + expected + "</dict>\n"));
}

}  // namespace

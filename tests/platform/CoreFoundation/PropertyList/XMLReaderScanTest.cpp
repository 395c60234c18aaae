// The XML reader's scanning shortcuts (whitespace and text a block at a time, tags and close
// tags by one compare, short integers in one loop) must give the same values and the same
// errors as the full reader: runs of every length across block boundaries, near misses of
// every name, and integers either side of the shortcut.
#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "desc/CFRef.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

using XMLReaderScanTest = PlatformTest;

struct Parsed {
    CFRef<CFPropertyListRef> value;
    std::string error;
};

Parsed Parse(const std::string& text) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                       static_cast<CFIndex>(text.size())));
    Parsed parsed;
    CFStringRef error = nullptr;
    parsed.value.Reset(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, &error));
    if (error) {
        cf::AppendUTF8(error, parsed.error);
        CFRelease(error);
    }
    return parsed;
}

std::string Utf8(CFTypeRef s) {
    std::string out;
    if (s && CFGetTypeID(s) == CFStringGetTypeID())
        cf::AppendUTF8(static_cast<CFStringRef>(s), out);
    return out;
}

// A run of `n` XML whitespace characters using all four kinds.
std::string Space(size_t n) {
    static const char kKinds[] = {' ', '\t', '\r', '\n'};
    std::string run;
    for (size_t i = 0; i < n; ++i) run += kKinds[i % 4];
    return run;
}

TEST_F(XMLReaderScanTest, RunsOfEveryLengthAcrossBlocksReadAlike) {
    for (size_t n = 0; n <= 40; ++n) {
        // Key and value of n plain bytes, then an entity, a '<' escape or a non-ASCII letter
        // at n, so the stop falls at every place in and across a block.
        const std::string key = "k" + std::string(n, 'x');
        const std::string plain(n, 'v');
        const struct {
            std::string raw;
            std::string value;
        } texts[] = {
            {plain, plain},
            {plain + "&amp;z", plain + "&z"},
            {plain + "&lt;" + plain, plain + "<" + plain},
            {plain + "\xC3\xA9", plain + "\xC3\xA9"},
            {plain + "<![CDATA[<&>]]>", plain + "<&>"},
        };
        for (const auto& text : texts) {
            const std::string doc = "<plist version=\"1.0\">" + Space(n) + "<dict>" + Space(n) +
                                    "<key>" + key + "</key>" + Space(n) + "<string>" + text.raw +
                                    "</string>" + Space(n) + "</dict>" + Space(n) + "</plist>";
            Parsed parsed = Parse(doc);
            ASSERT_TRUE(parsed.value) << doc << ": " << parsed.error;
            ASSERT_EQ(CFGetTypeID(parsed.value.Get()), CFDictionaryGetTypeID());
            auto dict = static_cast<CFDictionaryRef>(parsed.value.Get());
            CFRef<CFStringRef> wanted(CFStringCreateWithBytes(
                nullptr, reinterpret_cast<const UInt8*>(key.data()),
                static_cast<CFIndex>(key.size()), kCFStringEncodingUTF8, false));
            EXPECT_EQ(Utf8(CFDictionaryGetValue(dict, wanted.Get())), text.value) << doc;
        }
        // A stray byte after a run is reported wherever the run ends.
        Parsed stray = Parse("<array>" + std::string(n, ' ') + "x</array>");
        EXPECT_FALSE(stray.value);
        EXPECT_NE(stray.error.find("unexpected character x"), std::string::npos) << stray.error;
    }
}

TEST_F(XMLReaderScanTest, CloseTagsMatchWhollyOrFailAsBefore) {
    const struct {
        const char* doc;
        const char* error;  // nullptr: accepted
    } cases[] = {
        {"<string>a</string>", nullptr},
        {"<string>a</string >", nullptr},
        {"<string>a</string\n\t>", nullptr},
        {"<array><true/></array\r\n>", nullptr},
        {"<dict><key>k</key><false></false></dict>", nullptr},
        {"<string>a</strin>", "does not match open tag string"},
        {"<string>a</strinG>", "does not match open tag string"},
        {"<string>a</stringx>", "unexpected character x"},
        {"<key>a</keys>", "unexpected character s"},
        {"<array></arra>", "does not match open tag array"},
        {"<dict></dict/>", "unexpected character /"},
        // Close tags at the very end of the input, shorter than one compare.
        {"<true></true", "EOF in close tag"},
        {"<real>1</real", "EOF in close tag"},
        {"<real>1</rea", "does not match open tag real"},
        {"<key>k</", "does not match open tag key"},
        {"<true></true>", nullptr},
    };
    for (const auto& c : cases) {
        Parsed parsed = Parse(c.doc);
        if (!c.error) {
            EXPECT_TRUE(parsed.value) << c.doc << ": " << parsed.error;
            continue;
        }
        EXPECT_FALSE(parsed.value) << c.doc;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.doc << ": " << parsed.error;
    }
}

TEST_F(XMLReaderScanTest, TagNamesAreKnownOnlyExactly) {
    for (const char* name :
         {"k",      "ke",   "keys",   "Key",   "dat",     "datx",   "dats",     "dicts",
          "dixt",   "Dict", "rea",    "reals", "tru",     "trux",   "fals",     "falsey",
          "plistx", "arra", "arrays", "strin", "strings", "intege", "integers", "xyz"}) {
        // Alone (near the end of the input) and with room after it for a word compare.
        const std::string room(12, ' ');
        for (const std::string& tag :
             {"<" + std::string(name) + ">", "<" + std::string(name) + ">" + room,
              "<" + std::string(name) + "/>", "<" + std::string(name) + " a=\"1\">"}) {
            Parsed parsed = Parse(tag);
            EXPECT_FALSE(parsed.value) << tag;
            EXPECT_NE(parsed.error.find("unknown tag " + std::string(name)), std::string::npos)
                << tag << ": " << parsed.error;
        }
    }
    // Known names with attributes or before whitespace take the full reader and still read.
    for (const char* doc : {"<dict a=\"1\"></dict>", "<dict\n></dict>", "<array\t/>",
                            "<true a='x'/>", "<string x=\"y\">s</string>"}) {
        EXPECT_TRUE(Parse(doc).value) << doc;
    }
}

TEST_F(XMLReaderScanTest, IntegersEitherSideOfTheShortPathKeepTheirVerdicts) {
    const struct {
        const char* text;
        int64_t value;
        const char* error;  // nullptr: accepted with `value`
    } cases[] = {
        {"0", 0, nullptr},
        {"123456789012345678", 123456789012345678, nullptr},
        {"999999999999999999", 999999999999999999, nullptr},
        {"9223372036854775807", INT64_MAX, nullptr},
        {"-9223372036854775808", INT64_MIN, nullptr},
        {"000000000000000000042", 42, nullptr},
        {"-000000000000000001", -1, nullptr},
        {"0x7fffffffffffffff", INT64_MAX, nullptr},
        {" 17", 17, nullptr},
        {"12a", 0, "Hex digit in non-hex"},
        {"1.5", 0, "Unknown character '.'"},
        {"12 ", 0, "0x20"},
        {"-", 0, "Incomplete"},
        {"99999999999999999999", 0, "overflow"},
        {"-99999999999999999999", 0, "underflow"},
        {"1234567890123456789012345a", 0, "Hex digit in non-hex"},
    };
    for (const auto& c : cases) {
        Parsed parsed = Parse(std::string("<integer>") + c.text + "</integer>");
        if (c.error) {
            EXPECT_FALSE(parsed.value) << c.text;
            EXPECT_NE(parsed.error.find(c.error), std::string::npos)
                << c.text << ": " << parsed.error;
            continue;
        }
        ASSERT_TRUE(parsed.value) << c.text << ": " << parsed.error;
        int64_t value = 0;
        ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(parsed.value.Get()),
                                     kCFNumberSInt64Type, &value));
        EXPECT_EQ(value, c.value) << c.text;
    }
}

}  // namespace

// The binary writer: the real writer's bytes on every reference case where our deliberate
// differences play no part, those differences themselves, the layout's size thresholds, and
// the corpus through binary and back.
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "support/TestNames.h"
#include "support/TypedValue.h"

namespace {

namespace fs = std::filesystem;

const std::string kGolden = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/golden/";
const std::string kCorpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";

std::vector<std::string> ExactCases() {
    std::vector<std::string> cases;
    std::ifstream in(kGolden + "binary-exact.txt");
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') cases.push_back(line);
    return cases;
}

CFRef<CFTypeRef> Read(const std::string& bytes) {
    CFRef<CFDataRef> data = testjson::MakeData(bytes);
    return CFRef<CFTypeRef>(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
}

std::string WriteBinary(CFTypeRef value) {
    CFRef<CFDataRef> data(
        CFPropertyListCreateData(nullptr, value, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    return data ? testjson::Bytes(data.Get()) : std::string("NULL");
}

// The stand-in's only integer above the signed 64-bit range is one a reader made.
bool IsUnrepresentable(const testjson::Value& typed) {
    const testjson::Value* cftype = typed.Find("cftype");
    if (cftype && cftype->Utf8() == "SInt128" && typed.Find("integer")->Utf8().size() < 20)
        return true;  // a small value in the 128-bit type: the stand-in has no such type
    for (const auto& [kind, payload] : typed.object)
        for (const testjson::Value& item : payload.array)
            if (IsUnrepresentable(item)) return true;
    return false;
}

CFRef<CFTypeRef> Build(const testjson::Value& typed, std::string& error) {
    const testjson::Value* cftype = typed.Find("cftype");
    if (cftype && cftype->Utf8() == "SInt128")
        return Read("<integer>" + typed.Find("integer")->Utf8() + "</integer>");
    return testjson::BuildCF(typed, error);
}

class BinaryExact : public PlatformTestWithParam<std::string> {};

TEST_P(BinaryExact, MatchesTheRealWriterByteForByte) {
    const std::string& name = GetParam();
    const std::string valuePath = name.rfind("write-binary/", 0) == 0
                                      ? kGolden + "write/" + name.substr(13) + ".json"
                                      : kGolden + name + ".json";
    auto json = testjson::ReadFile(valuePath);
    testjson::Value doc;
    std::string error;
    ASSERT_TRUE(json && testjson::Parse(*json, doc, error) && doc.Find("value")) << error;
    if (IsUnrepresentable(*doc.Find("value")))
        GTEST_SKIP() << "a small value held in a 128-bit number: no such type here";
    CFRef<CFTypeRef> value = Build(*doc.Find("value"), error);
    ASSERT_TRUE(value) << error;
    const std::string written = WriteBinary(value.Get());
    if (fs::exists(kGolden + name + ".result")) {
        EXPECT_EQ(written, "NULL") << "the real writer refuses this value";
        return;
    }
    if (name.find("lone_surrogate") != std::string::npos) {
        // Ours differs on purpose: the real writer keeps the lone unit, which no reader takes
        // back; ours writes U+FFFD, as the XML writer does.
        CFRef<CFTypeRef> back = Read(written);
        ASSERT_TRUE(back);
        EXPECT_EQ(WrittenXML(back.Get()), WrittenXML(value.Get()));
        return;
    }
    auto expected = testjson::ReadFile(kGolden + name + ".bplist");
    ASSERT_TRUE(expected);
    EXPECT_EQ(written, *expected);
}

INSTANTIATE_TEST_SUITE_P(Golden, BinaryExact, ::testing::ValuesIn(ExactCases()),
                         [](const auto& info) { return TestNameOf(info.param); });

TEST(BinaryExactList, HasEveryCase) {
    EXPECT_EQ(ExactCases().size(), 101u);
}

std::vector<std::string> CorpusNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kCorpus + "expect")) {
        std::string file = entry.path().filename().string();
        if (file.size() > 10 && file.ends_with(".cf.bplist"))
            names.push_back(file.substr(0, file.size() - 10));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BinaryCorpus : public PlatformTestWithParam<std::string> {};

// The real writer's binary of each corpus file reads as the real XML, and so does ours.
TEST_P(BinaryCorpus, RealAndOurBinaryReadBackAsTheRealXML) {
    auto binary = testjson::ReadFile(kCorpus + "expect/" + GetParam() + ".cf.bplist");
    auto xml = testjson::ReadFile(kCorpus + "expect/" + GetParam() + ".cf.xml");
    ASSERT_TRUE(binary && xml);
    CFRef<CFTypeRef> value = Read(*binary);
    ASSERT_TRUE(value);
    EXPECT_EQ(WrittenXML(value.Get()), *xml);
    const std::string ours = WriteBinary(value.Get());
    CFRef<CFTypeRef> again = Read(ours);
    ASSERT_TRUE(again);
    EXPECT_EQ(WrittenXML(again.Get()), *xml);
}

INSTANTIATE_TEST_SUITE_P(Corpus, BinaryCorpus, ::testing::ValuesIn(CorpusNames()),
                         [](const auto& info) { return TestNameOf(info.param); });

using BinaryWriter = PlatformTest;

CFRef<CFTypeRef> Parse(const char* xml) {
    CFRef<CFTypeRef> value = Read(xml);
    EXPECT_TRUE(value) << xml;
    return value;
}

// The object count of a written document: the trailer's first 8-byte field.
uint64_t ObjectCount(const std::string& bplist) {
    uint64_t count = 0;
    for (size_t i = bplist.size() - 24; i < bplist.size() - 16; ++i)
        count = count << 8 | static_cast<uint8_t>(bplist[i]);
    return count;
}

TEST_F(BinaryWriter, SharesEqualLeavesByValueAndKeepsKindsApart) {
    struct Case {
        const char* xml;
        uint64_t objects;
    } cases[] = {
        // array + "a" once
        {"<array><string>a</string><string>a</string><string>a</string></array>", 2},
        // integer 1, real 1, true are three objects; true twice is one
        {"<array><integer>1</integer><real>1</real><true/><true/><integer>1</integer></array>", 4},
        // a key equal to a value is one string
        {"<dict><key>k</key><string>k</string></dict>", 2},
        // equal data and equal dates are shared; a string with the data's text is not
        {"<array><data>AA==</data><data>AA==</data><string>\x01</string><date>2001-01-01T00:00:00Z"
         "</date><date>2001-01-01T00:00:00Z</date></array>",
         4},
        // every NaN is one value; +0 and -0 are two
        {"<array><real>nan</real><real>NaN</real><real>0</real><real>-0.0</real></array>", 4},
        // equal containers are written once per occurrence, all referenced
        {"<array><array/><array/><dict/><dict/></array>", 5},
        // a dictionary's values: repeats within a run of leaves, of a key, and across a
        // container; a long string repeated after short ones
        {"<dict><key>a</key><string>x</string><key>b</key><string>x</string><key>c</key>"
         "<string>a</string><key>d</key><integer>2</integer></dict>",
         7},
        {"<dict><key>a</key><string>x</string><key>b</key><array><string>x</string></array>"
         "<key>c</key><string>x</string><key>d</key><string>y</string><key>e</key>"
         "<string>yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy</string><key>f</key>"
         "<string>yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy</string><key>g</key><string>y</string>"
         "</dict>",
         12},
    };
    for (const Case& c : cases) {
        CFRef<CFTypeRef> value = Parse(c.xml);
        const std::string written = WriteBinary(value.Get());
        EXPECT_EQ(ObjectCount(written), c.objects) << c.xml;
        CFRef<CFTypeRef> again = Read(written);
        ASSERT_TRUE(again) << c.xml;
        EXPECT_TRUE(CFEqual(again.Get(), value.Get())) << c.xml;
    }
}

// A dictionary {"CF$UID": n} with n an integer of 32 bits is written as the UID the reader
// made it from; anything else like it stays a dictionary.
TEST_F(BinaryWriter, WritesUIDDictionariesAsUIDs) {
    struct Case {
        const char* xml;
        std::string object;  // the root's bytes, from offset 8
    } cases[] = {
        {"<dict><key>CF$UID</key><integer>0</integer></dict>", std::string("\x80\x00", 2)},
        {"<dict><key>CF$UID</key><integer>255</integer></dict>", "\x80\xFF"},
        {"<dict><key>CF$UID</key><integer>256</integer></dict>", "\x81\x01"},
        {"<dict><key>CF$UID</key><integer>4294967295</integer></dict>", "\x83\xFF\xFF\xFF\xFF"},
        // not a UID: a real, a string, a second key, another key
        {"<dict><key>CF$UID</key><real>1</real></dict>", "\xD1"},
        {"<dict><key>CF$UID</key><string>1</string></dict>", "\xD1"},
        {"<dict><key>CF$UID</key><integer>1</integer><key>x</key><true/></dict>", "\xD2"},
        {"<dict><key>CF$UIDs</key><integer>1</integer></dict>", "\xD1"},
    };
    for (const Case& c : cases) {
        CFRef<CFTypeRef> value = Parse(c.xml);
        const std::string written = WriteBinary(value.Get());
        ASSERT_GT(written.size(), 8 + c.object.size()) << c.xml;
        EXPECT_EQ(written.substr(8, c.object.size()), c.object) << c.xml;
        CFRef<CFTypeRef> again = Read(written);
        ASSERT_TRUE(again) << c.xml;
        EXPECT_TRUE(CFEqual(again.Get(), value.Get())) << c.xml;
    }
    // Nor an integer beyond 32 bits or below zero (the XML reader narrows such, as the real one).
    for (int64_t n : {int64_t{1} << 32, int64_t{-1}}) {
        CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt64Type, &n));
        const void* key = CFSTR("CF$UID");
        const void* item = number.Get();
        CFRef<CFDictionaryRef> dict(CFDictionaryCreate(nullptr, &key, &item, 1,
                                                       &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks));
        EXPECT_EQ(WriteBinary(dict.Get()).substr(8, 1), "\xD1") << n;
    }
    // Shared by value like any leaf, and kept through binary to binary.
    CFRef<CFTypeRef> archive = Parse(
        "<array><dict><key>CF$UID</key><integer>7</integer></dict>"
        "<dict><key>CF$UID</key><integer>7</integer></dict></array>");
    const std::string once = WriteBinary(archive.Get());
    EXPECT_EQ(ObjectCount(once), 2u);
    CFRef<CFTypeRef> read = Read(once);
    EXPECT_EQ(WriteBinary(read.Get()), once);
}

TEST_F(BinaryWriter, SortsKeysAsTheXMLWriterDoes) {
    CFRef<CFTypeRef> value = Parse(
        "<dict><key>b</key><integer>2</integer><key>a</key><integer>1</integer>"
        "<key>\xc3\xa9</key><integer>3</integer><key>A</key><integer>0</integer></dict>");
    const std::string written = WriteBinary(value.Get());
    // dict, keys A a b é, values 0 1 2 3 in that order
    ASSERT_EQ(static_cast<uint8_t>(written[8]), 0xD4);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(static_cast<uint8_t>(written[9 + i]), i + 1);
    EXPECT_EQ(written.substr(17, 4), std::string("\x51"
                                                 "A\x51"
                                                 "a",
                                                 4));
    EXPECT_EQ(written.substr(21, 2),
              "\x51"
              "b");
    CFRef<CFTypeRef> again = Read(written);
    EXPECT_TRUE(CFEqual(again.Get(), value.Get()));
}

TEST_F(BinaryWriter, SharedContainerIsWrittenForEachOccurrence) {
    CFRef<CFTypeRef> inner = Parse("<array><string>x</string></array>");
    CFRef<CFMutableArrayRef> outer(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (int i = 0; i < 3; ++i) CFArrayAppendValue(outer.Get(), inner.Get());
    const std::string written = WriteBinary(outer.Get());
    EXPECT_EQ(ObjectCount(written), 5u);  // outer, three inner arrays, one "x"
    CFRef<CFTypeRef> again = Read(written);
    EXPECT_TRUE(CFEqual(again.Get(), outer.Get()));
}

TEST_F(BinaryWriter, RefusesWhatTheXMLWriterRefuses) {
    CFRef<CFMutableArrayRef> self(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(self.Get(), self.Get());
    EXPECT_EQ(WriteBinary(self.Get()), "NULL");
    CFArrayRemoveAllValues(self.Get());
    CFRef<CFMutableDictionaryRef> numberKey(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    int one = 1;
    CFRef<CFNumberRef> key(CFNumberCreate(nullptr, kCFNumberIntType, &one));
    CFDictionarySetValue(numberKey.Get(), key.Get(), key.Get());
    EXPECT_EQ(WriteBinary(numberKey.Get()), "NULL");
    EXPECT_EQ(WriteBinary(kCFNull), "NULL");
    EXPECT_EQ(WriteBinary(nullptr), "NULL");
    // Deeper than the readers accept.
    CFRef<CFTypeRef> deep = Parse("<array/>");
    for (int i = 0; i < 512; ++i) {
        CFRef<CFMutableArrayRef> next(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        CFArrayAppendValue(next.Get(), deep.Get());
        deep = CFRef<CFTypeRef>(next.Detach());
    }
    EXPECT_EQ(WriteBinary(deep.Get()), "NULL");
}

TEST_F(BinaryWriter, CreateDataWritesXMLAndRefusesOldStyleAndOptions) {
    CFRef<CFTypeRef> value = Parse("<array><integer>1</integer></array>");
    CFRef<CFDataRef> xml(
        CFPropertyListCreateData(nullptr, value.Get(), kCFPropertyListXMLFormat_v1_0, 0, nullptr));
    ASSERT_TRUE(xml);
    EXPECT_EQ(testjson::Bytes(xml.Get()), WrittenXML(value.Get()));
    CFErrorRef error = reinterpret_cast<CFErrorRef>(1);
    EXPECT_FALSE(
        CFPropertyListCreateData(nullptr, value.Get(), kCFPropertyListOpenStepFormat, 0, &error));
    EXPECT_EQ(error, nullptr);
    EXPECT_FALSE(CFPropertyListCreateData(nullptr, value.Get(), kCFPropertyListBinaryFormat_v1_0, 1,
                                          nullptr));
}

}  // namespace

namespace {

using PropertyListWrite = PlatformTest;

TEST_F(PropertyListWrite, WritesWhatCreateDataMakesToAStream) {
    CFRef<CFTypeRef> value = Parse("<dict><key>a</key><array><integer>1</integer></array></dict>");
    for (CFPropertyListFormat format :
         {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        CFRef<CFWriteStreamRef> stream(CFWriteStreamCreateWithAllocatedBuffers(nullptr, nullptr));
        ASSERT_TRUE(CFWriteStreamOpen(stream.Get()));
        ASSERT_TRUE(CFWriteStreamWrite(stream.Get(), reinterpret_cast<const UInt8*>("x"), 1) == 1);
        CFRef<CFDataRef> expected(
            CFPropertyListCreateData(nullptr, value.Get(), format, 0, nullptr));
        CFErrorRef error = reinterpret_cast<CFErrorRef>(1);
        EXPECT_EQ(CFPropertyListWrite(value.Get(), stream.Get(), format, 0, &error),
                  CFDataGetLength(expected.Get()));
        EXPECT_EQ(error, nullptr);
        CFWriteStreamClose(stream.Get());
        CFRef<CFDataRef> written(static_cast<CFDataRef>(
            CFWriteStreamCopyProperty(stream.Get(), kCFStreamPropertyDataWritten)));
        EXPECT_EQ(testjson::Bytes(written.Get()), "x" + testjson::Bytes(expected.Get()));
    }
}

TEST_F(PropertyListWrite, WritesAFileAndReportsFailuresAsZero) {
    const std::string path =
        (fs::temp_directory_path() / ("plistwrite-" + std::to_string(getpid()))).string();
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()),
        false));
    CFRef<CFWriteStreamRef> file(CFWriteStreamCreateWithFile(nullptr, url.Get()));
    CFRef<CFTypeRef> value = Parse("<array><string>x</string></array>");
    EXPECT_EQ(
        CFPropertyListWrite(value.Get(), file.Get(), kCFPropertyListBinaryFormat_v1_0, 0, nullptr),
        0)
        << "the stream is not open";
    ASSERT_TRUE(CFWriteStreamOpen(file.Get()));
    const CFIndex length =
        CFPropertyListWrite(value.Get(), file.Get(), kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    CFWriteStreamClose(file.Get());
    EXPECT_EQ(CFWriteStreamGetStatus(file.Get()), kCFStreamStatusClosed);
    auto bytes = testjson::ReadFile(path);
    fs::remove(path);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(static_cast<CFIndex>(bytes->size()), length);
    EXPECT_EQ(*bytes, WriteBinary(value.Get()));

    CFRef<CFWriteStreamRef> memory(CFWriteStreamCreateWithAllocatedBuffers(nullptr, nullptr));
    ASSERT_TRUE(CFWriteStreamOpen(memory.Get()));
    EXPECT_EQ(
        CFPropertyListWrite(kCFNull, memory.Get(), kCFPropertyListBinaryFormat_v1_0, 0, nullptr),
        0);
    EXPECT_EQ(
        CFPropertyListWrite(value.Get(), memory.Get(), kCFPropertyListOpenStepFormat, 0, nullptr),
        0);
    PTFailCalls("CFWriteStreamWrite", 0, 1, -1);
    EXPECT_EQ(
        CFPropertyListWrite(value.Get(), memory.Get(), kCFPropertyListXMLFormat_v1_0, 0, nullptr),
        0);
    PTClearFaults();
    CFRef<CFURLRef> web(CFURLCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>("http://x/a"),
                                             10, kCFStringEncodingUTF8, nullptr));
    EXPECT_FALSE(CFWriteStreamCreateWithFile(nullptr, web.Get()));
}

}  // namespace

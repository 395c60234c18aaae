// Every real-world file of the corpus, read and written again, must give the real framework's
// bytes (or be refused where the real framework refuses it); written as binary, the real
// framework's value, UIDs included.
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "support/BinaryPListText.h"
#include "support/PlatformTest.h"
#include "support/TestNames.h"
#include "support/TypedValue.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kCorpus + "files"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class PropertyListCorpus : public PlatformTestWithParam<std::string> {};

TEST_P(PropertyListCorpus, ReadThenWrittenMatchesTheRealFramework) {
    auto input = testjson::ReadFile(kCorpus + "files/" + GetParam());
    auto expected = testjson::ReadFile(kCorpus + "expect/" + GetParam() + ".cf.xml");
    ASSERT_TRUE(input && expected);
    CFRef<CFDataRef> data = testjson::MakeData(*input);
    CFStringRef error = nullptr;
    CFRef<CFTypeRef> value(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, &error));
    CFRef<CFStringRef> ownedError(error);
    if (expected->rfind("REJECT", 0) == 0) {
        EXPECT_FALSE(value) << "the real framework refuses this file";
        EXPECT_TRUE(ownedError) << "a refusal says why";
        return;
    }
    ASSERT_TRUE(value) << "refused a file the real framework reads";
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.Get()));
    ASSERT_TRUE(xml);
    EXPECT_EQ(testjson::Bytes(xml.Get()), *expected);
}

CFRef<CFTypeRef> Read(const std::string& bytes) {
    CFRef<CFDataRef> data = testjson::MakeData(bytes);
    return CFRef<CFTypeRef>(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
}

std::string WriteBinary(CFTypeRef value) {
    CFRef<CFDataRef> data(
        CFPropertyListCreateData(nullptr, value, kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    return data ? testjson::Bytes(data.Get()) : std::string();
}

// The real framework's binary output of each file it reads (its UIDs included: nine XML
// archives' CF$UID dictionaries among them), equal to ours in value; binary to binary gives the
// same bytes, and through XML the same value (a 4-byte real comes back as 8 bytes).
TEST(PropertyListCorpusBinary, WrittenAsBinaryHoldsTheRealFrameworksValue) {
    size_t files = 0, sameBytes = 0, withUIDs = 0;
    for (const std::string& name : CorpusFiles()) {
        auto expected = testjson::ReadFile(kCorpus + "expect/" + name + ".cf.bplist");
        if (!expected) continue;
        SCOPED_TRACE(name);
        ++files;
        CFRef<CFTypeRef> value = Read(*testjson::ReadFile(kCorpus + "files/" + name));
        ASSERT_TRUE(value);
        const std::string ours = WriteBinary(value.Get());
        const auto oursText = testbplist::ValueText(ours);
        const auto realText = testbplist::ValueText(*expected);
        ASSERT_TRUE(oursText && realText);
        EXPECT_EQ(*oursText, *realText);
        withUIDs += testbplist::CountUIDs(*oursText) > 0;
        sameBytes += ours == *expected;
        CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.Get()));
        CFRef<CFTypeRef> throughXML = Read(testjson::Bytes(xml.Get()));
        CFRef<CFTypeRef> again = Read(ours);
        ASSERT_TRUE(throughXML && again);
        EXPECT_EQ(testbplist::ValueText(WriteBinary(throughXML.Get())), oursText)
            << "binary to XML to binary";
        EXPECT_EQ(WriteBinary(again.Get()), ours) << "binary to binary";
    }
    EXPECT_EQ(files, 221u);
    EXPECT_EQ(withUIDs, 37u) << "the keyed archives and nibs";
    // Most differences left are the order of dictionary keys (the real writer's is its hash
    // table's); this says when a change loses one of the files that match byte for byte.
    EXPECT_GE(sameBytes, 57u);
    std::printf("written as binary: %zu of %zu files the real framework's bytes\n", sameBytes,
                files);
}

INSTANTIATE_TEST_SUITE_P(Files, PropertyListCorpus, ::testing::ValuesIn(CorpusFiles()),
                         [](const auto& info) { return TestNameOf(info.param); });

}  // namespace

// Every real-world file of the corpus, read and written again, must give the real framework's
// bytes (or be refused where the real framework refuses it).
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "desc/CFRef.h"
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

INSTANTIATE_TEST_SUITE_P(Files, PropertyListCorpus, ::testing::ValuesIn(CorpusFiles()),
                         [](const auto& info) { return TestNameOf(info.param); });

}  // namespace

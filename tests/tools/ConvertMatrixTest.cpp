// Every input format into every output format, on the examples, every corpus file the reader
// takes and every seed of convert's fuzz target: each file is made into XML, binary, JSON and
// old-style text (where the value has a form there), each of those is read as convert reads
// its input, and each result is written in every format and read back, as the fuzz target
// checks (fuzz/ConvertRoundTrip.h).
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/ConvertRoundTrip.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "support/TestNames.h"
#include "support/TypedValue.h"
#include "tools/cli/ToolSupport.h"

namespace {

namespace fs = std::filesystem;
using convertcheck::Encode;
using convertcheck::Format;

CFRef<CFPropertyListRef> Decode(const std::string& bytes, const std::string& what) {
    CFRef<CFPropertyListRef> value;
    std::string reason;
    EXPECT_TRUE(ParseInput(bytes, value, reason)) << what << ": " << reason;
    return value;
}

// The examples' property lists and the corpus files the reader takes, and with `fuzzSeeds` the
// seeds of convert's fuzz target too.
std::vector<std::string> Inputs(bool fuzzSeeds) {
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(PLISTBRIDGE_SOURCE_DIR "/examples"))
        if (entry.path().extension() != ".applescript")  // a script for a Mac, not a list
            paths.push_back(entry.path().string());
    const std::string corpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";
    for (const auto& entry : fs::directory_iterator(corpus + "files")) {
        auto expected =
            testjson::ReadFile(corpus + "expect/" + entry.path().filename().string() + ".cf.xml");
        if (expected && expected->rfind("REJECT", 0) != 0) paths.push_back(entry.path().string());
    }
    if (fuzzSeeds)
        for (const auto& entry :
             fs::directory_iterator(PLISTBRIDGE_SOURCE_DIR "/fuzz/corpus/ConvertFuzzer"))
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string TestName(const std::string& path) {
    return TestNameOf(fs::path(path).parent_path().filename().string() + "_" +
                      fs::path(path).filename().string());
}

class ConvertMatrix : public PlatformTestWithParam<std::string> {};

TEST_P(ConvertMatrix, EveryInputFormatIntoEveryOutputFormat) {
    auto bytes = testjson::ReadFile(GetParam());
    ASSERT_TRUE(bytes);
    CFRef<CFPropertyListRef> original = Decode(*bytes, "the file");
    ASSERT_TRUE(original);
    EXPECT_EQ(convertcheck::MatrixProblem(original.Get()), "");
}

INSTANTIATE_TEST_SUITE_P(Files, ConvertMatrix, ::testing::ValuesIn(Inputs(true)),
                         [](const auto& info) { return TestName(info.param); });

// A second opinion: Python's plistlib reads our XML and binary of every file as one value, the
// same one it reads from the original file, and json reads our JSON as that value mapped.
TEST(ConvertMatrixPython, PlistlibReadsOurOutputAsTheOriginal) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const fs::path dir =
        fs::temp_directory_path() / ("plistbridge-plistlib-" + std::to_string(getpid()));
    fs::create_directories(dir);
    size_t index = 0;
    for (const std::string& path : Inputs(false)) {
        auto bytes = testjson::ReadFile(path);
        CFRef<CFPropertyListRef> value = Decode(*bytes, path);
        const std::string base = (dir / std::to_string(index++)).string();
        std::string text;
        ASSERT_TRUE(Encode(value.Get(), Format::XML, text));
        std::ofstream(base + ".xml", std::ios::binary) << text;
        ASSERT_TRUE(Encode(value.Get(), Format::Binary, text));
        std::ofstream(base + ".bin", std::ios::binary) << text;
        if (Encode(value.Get(), Format::JSON, text))
            std::ofstream(base + ".json", std::ios::binary) << text;
        std::ofstream(base + ".orig") << path;
    }
    const std::string command = "python3 " PLISTBRIDGE_SOURCE_DIR
                                "/tests/tools/plistlib_check.py " +
                                dir.string() + " > " + (dir / "report").string() + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string report = testjson::ReadFile((dir / "report").string()).value_or("");
    fs::remove_all(dir);
    EXPECT_EQ(status, 0) << report;
    EXPECT_EQ(report, "");
}

}  // namespace

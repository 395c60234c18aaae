// Every input format into every output format, on the examples and every corpus file the
// reader takes: each file is made into XML, binary, JSON and old-style text (where the value
// has a form there), each of those is read as convert reads its input, and each result is
// written in every format and read back. The value must come through unchanged: exactly for
// XML and binary, and for JSON and old-style text, up to what those formats cannot hold (the
// text each writes is then stable through a trip of its own).
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "support/TestNames.h"
#include "support/TypedValue.h"
#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

namespace {

namespace fs = std::filesystem;

enum class Format { XML, Binary, JSON, OpenStep };
constexpr Format kFormats[] = {Format::XML, Format::Binary, Format::JSON, Format::OpenStep};

const char* Name(Format format) {
    switch (format) {
        case Format::XML:
            return "xml";
        case Format::Binary:
            return "binary";
        case Format::JSON:
            return "json";
        default:
            return "openstep";
    }
}

// The bytes of `value` in `format`, or false when the format has no form for it.
bool Encode(CFPropertyListRef value, Format format, std::string& out) {
    std::string error;
    if (format == Format::JSON) return plisttext::WriteJSON(value, false, out, error);
    if (format == Format::OpenStep) return plisttext::WriteOpenStep(value, out, error);
    CFRef<CFDataRef> data(CFPropertyListCreateData(
        nullptr, value,
        format == Format::XML ? kCFPropertyListXMLFormat_v1_0 : kCFPropertyListBinaryFormat_v1_0, 0,
        nullptr));
    if (!data) return false;
    out = testjson::Bytes(data.Get());
    return true;
}

CFRef<CFPropertyListRef> Decode(const std::string& bytes, const std::string& what) {
    CFRef<CFPropertyListRef> value;
    std::string reason;
    EXPECT_TRUE(ParseInput(bytes, value, reason)) << what << ": " << reason;
    return value;
}

bool IsContainer(CFTypeRef value) {
    return CFGetTypeID(value) == CFArrayGetTypeID() ||
           CFGetTypeID(value) == CFDictionaryGetTypeID();
}

std::vector<std::string> Inputs() {
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(PLISTBRIDGE_SOURCE_DIR "/examples"))
        paths.push_back(entry.path().string());
    const std::string corpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";
    for (const auto& entry : fs::directory_iterator(corpus + "files")) {
        auto expected =
            testjson::ReadFile(corpus + "expect/" + entry.path().filename().string() + ".cf.xml");
        if (expected && expected->rfind("REJECT", 0) != 0) paths.push_back(entry.path().string());
    }
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
    for (Format in : kFormats) {
        std::string inText;
        if (!Encode(original.Get(), in, inText)) {
            EXPECT_TRUE(in == Format::JSON || in == Format::OpenStep) << Name(in);
            continue;
        }
        CFRef<CFPropertyListRef> input = Decode(inText, Name(in));
        ASSERT_TRUE(input) << Name(in);
        if (in == Format::XML || in == Format::Binary) {
            EXPECT_EQ(WrittenXML(input.Get()), WrittenXML(original.Get())) << Name(in);
        }
        for (Format out : kFormats) {
            std::string outText;
            if (!Encode(input.Get(), out, outText)) {
                EXPECT_TRUE(out == Format::JSON || out == Format::OpenStep) << Name(out);
                continue;
            }
            CFRef<CFPropertyListRef> back =
                Decode(outText, std::string(Name(in)) + "->" + Name(out));
            ASSERT_TRUE(back);
            if (out == Format::XML || out == Format::Binary) {
                EXPECT_EQ(WrittenXML(back.Get()), WrittenXML(input.Get()))
                    << Name(in) << " -> " << Name(out);
            } else if (out == Format::JSON && !IsContainer(input.Get())) {
                // JSON input is an object or an array; a lone scalar is read as old-style text.
                continue;
            } else {
                std::string again;
                ASSERT_TRUE(Encode(back.Get(), out, again));
                EXPECT_EQ(again, outText) << Name(in) << " -> " << Name(out);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ConvertMatrix, ::testing::ValuesIn(Inputs()),
                         [](const auto& info) { return TestName(info.param); });

// A second opinion: Python's plistlib reads our XML and binary of every file as one value, the
// same one it reads from the original file, and json reads our JSON as that value mapped.
TEST(ConvertMatrixPython, PlistlibReadsOurOutputAsTheOriginal) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const fs::path dir =
        fs::temp_directory_path() / ("plistbridge-plistlib-" + std::to_string(getpid()));
    fs::create_directories(dir);
    size_t index = 0;
    for (const std::string& path : Inputs()) {
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

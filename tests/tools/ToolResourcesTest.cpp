// The built plistbridge under hostile input and failing resources: destinations that are not
// files, endless sources, expansion bombs and too little memory each end in one line and a
// status, never in an abort or a replaced redirect.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/Sanitizers.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = PLISTBRIDGE_BINARY_DIR "/bin/plistbridge";

// The time bound holds for an optimised build; a debug or sanitizer build may take longer.
#if defined(PLISTBRIDGE_ASAN) || !defined(NDEBUG)
constexpr int kSlowdown = 25;
#else
constexpr int kSlowdown = 1;
#endif

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class ToolResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        mDir = fs::temp_directory_path() / ("plistbridge-resources-" + std::to_string(getpid()));
        fs::create_directories(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    // Runs a shell command in the scratch folder, with TOOL naming the tool; the exit status
    // (-1 when ended by a signal, -2 for an abort's 134).
    int Shell(const std::string& command) {
        const std::string line = "cd '" + mDir.string() + "' && TOOL='" + kTool + "' bash -c '" +
                                 command + "' >stdout 2>stderr";
        const int status = std::system(line.c_str());
        if (!WIFEXITED(status)) return -1;
        return WEXITSTATUS(status) == 134 ? -2 : WEXITSTATUS(status);
    }
    std::string File(const std::string& name) const { return ReadFile(mDir / name); }

    fs::path mDir;
};

TEST_F(ToolResourcesTest, StoringToStandardOutputWritesIntoTheRedirectInPlace) {
    for (const char* destination : {"/dev/stdout", "/dev/fd/1"}) {
        ASSERT_EQ(Shell(std::string("{ echo H; \"$TOOL\" store [1] --to ") + destination +
                        "; echo F; } > f"),
                  0)
            << destination << ": " << File("stderr");
        const std::string f = File("f");
        EXPECT_EQ(f.rfind("H\n<?xml", 0), 0u) << destination << ": " << f;
        EXPECT_NE(f.find("</plist>\n'furl'(\"file://"), std::string::npos) << f;
        EXPECT_EQ(f.substr(f.size() - 2), "F\n") << destination;
    }
}

TEST_F(ToolResourcesTest, EndlessSourcesAndExpansionBombsEndInOneLine) {
    // Thirty levels of [x, x] in 163 bytes.
    std::ofstream(mDir / "bomb.plist", std::ios::binary) << std::string("bplist00") + [] {
        std::string body;
        for (int i = 1; i <= 30; ++i) body += "\xA2" + std::string(2, static_cast<char>(i));
        return body;
    }() + "\x10\x07";
    // The trailer: offsets of the 31 objects, then sizes, count, top and table offset.
    {
        std::string offsets;
        for (int i = 0; i < 30; ++i) offsets.push_back(static_cast<char>(8 + 3 * i));
        offsets.push_back(static_cast<char>(8 + 90));
        std::ofstream out(mDir / "bomb.plist", std::ios::binary | std::ios::app);
        out << offsets << std::string(6, '\0') << '\x01' << '\x01' << std::string(7, '\0') << '\x1F'
            << std::string(8, '\0') << std::string(7, '\0') << '\x64';
    }
    struct {
        const char* command;
        std::string err;
    } cases[] = {
        {"\"$TOOL\" load /dev/zero",
         "plistbridge: load plist: /dev/zero: a device or pipe that gives more than 64 MB (-43)\n"},
        {"\"$TOOL\" load bomb.plist", "plistbridge: load plist failed (-108)\n"},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Shell(c.command), 1) << c.command;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2 * kSlowdown))
            << c.command;
        EXPECT_EQ(File("stderr"), c.err) << c.command;
        EXPECT_EQ(File("stdout"), "") << c.command;
    }
}

TEST_F(ToolResourcesTest, RunningOutOfMemoryIsOneLineAndExitOneNeverAnAbort) {
#ifdef PLISTBRIDGE_ASAN
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
    {
        std::ofstream out(mDir / "big.plist", std::ios::binary);
        out << "<plist><array>";
        for (int i = 0; i < 2000000; ++i) out << "<true/>";
        out << "</array></plist>";
    }
    const std::string whole = "[" + [] {
        std::string items = "true";
        for (int i = 1; i < 2000000; ++i) items += ", true";
        return items;
    }() + "]\n";
    int failed = 0;
    for (int megabytes = 60; megabytes <= 140; megabytes += 20) {
        const int status =
            Shell("ulimit -v " + std::to_string(megabytes * 1024) + "; \"$TOOL\" load big.plist");
        const std::string err = File("stderr");
        if (status == 0) {
            EXPECT_TRUE(File("stdout") == whole) << megabytes << " MB: a partial result";
            continue;
        }
        ++failed;
        EXPECT_EQ(status, 1) << megabytes << " MB: " << err;
        EXPECT_EQ(err.rfind("plistbridge: ", 0), 0u) << megabytes << " MB: " << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << megabytes << " MB: " << err;
        EXPECT_EQ(File("stdout"), "") << megabytes << " MB";
    }
    EXPECT_GT(failed, 0) << "no limit was tight enough to test anything";
    // Memory that runs out in the tool itself (here reading 50 MB of standard input) is the
    // same one line.
    EXPECT_EQ(Shell("ulimit -v 61440; head -c 50000000 /dev/zero | tr \"\\0\" \" \" | "
                    "\"$TOOL\" store -"),
              1);
    EXPECT_EQ(File("stderr"), "plistbridge: out of memory (-108)\n");
#endif
}

}  // namespace

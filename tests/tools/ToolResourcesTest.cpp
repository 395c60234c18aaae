// The built plistbridge under hostile input and failing resources: destinations that are not
// files, endless sources, expansion bombs and too little memory each end in one line and a
// status, never in an abort or a replaced redirect.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "common/Sanitizers.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = PLISTBRIDGE_BINARY_DIR "/bin/plistbridge";

// The CPU bound holds for an optimised build; a debug or sanitizer build may take longer.
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
    const std::string tooMuch = "a device or pipe that gives more than 64 MB";
    struct {
        const char* command;
        std::string err;
        std::string out = "";
    } cases[] = {
        {"\"$TOOL\" load /dev/zero", "plistbridge: load plist: /dev/zero: " + tooMuch + " (-43)\n"},
        {"\"$TOOL\" load bomb.plist",
         "plistbridge: load plist: bomb.plist: its shared values expand it past what the addition "
         "takes (-108)\n"},
        {"\"$TOOL\" convert /dev/zero", "plistbridge: convert: /dev/zero: " + tooMuch + "\n"},
        {"\"$TOOL\" convert - </dev/zero", "plistbridge: convert: -: " + tooMuch + "\n"},
        {"\"$TOOL\" lint /dev/zero", "", "/dev/zero: " + tooMuch + "\n"},
        {"\"$TOOL\" store - </dev/zero", "plistbridge: standard input: " + tooMuch + "\n"},
        {"\"$TOOL\" load --text - </dev/zero", "plistbridge: standard input: " + tooMuch + "\n"},
        {"head -c 5000 /dev/zero | tr \"\\0\" \" \" | \"$TOOL\" --max-input 4K store -",
         "plistbridge: standard input: a device or pipe that gives more than 4 KB\n"},
        {"head -c 5000 /dev/zero | \"$TOOL\" --max-input 4000 convert -",
         "plistbridge: convert: -: a device or pipe that gives more than 4000 bytes\n"},
    };
    for (const auto& c : cases) {
        // Bounded by CPU time: a read that did not stop is ended by SIGXCPU (-1).
        EXPECT_EQ(Shell("ulimit -t " + std::to_string(20 * kSlowdown) + "; " + c.command), 1)
            << c.command;
        EXPECT_EQ(File("stderr"), c.err) << c.command;
        EXPECT_EQ(File("stdout"), c.out) << c.command;
    }
    // A larger limit lets a longer pipe through.
    EXPECT_EQ(Shell("{ echo \"[\"; head -c 70000000 /dev/zero | tr \"\\0\" \" \"; echo \"]\"; } | "
                    "\"$TOOL\" --max-input 80M store -"),
              0)
        << File("stderr");
    EXPECT_EQ(Shell("\"$TOOL\" --max-input 12X lint x"), 2);
}

TEST_F(ToolResourcesTest, FilesThatCannotBeWrittenGiveTheSystemsReason) {
    std::ofstream(mDir / "in.plist") << "<plist><array><string>x</string></array></plist>";
    std::ofstream(mDir / "long.plist")
        << "<plist><string>" << std::string(5000, 'x') << "</string></plist>";
    fs::create_directories(mDir / "folder");
    struct {
        std::string command;
        int status;
        std::string err;
    } cases[] = {
        {"\"$TOOL\" convert in.plist -o folder", 1,
         "plistbridge: convert: folder: Is a directory\n"},
        {"\"$TOOL\" convert in.plist -o /dev/full", 1,
         "plistbridge: convert: /dev/full: No space left on device\n"},
        {"\"$TOOL\" convert in.plist -o \"\"", 2,
         "plistbridge: convert: the output file name is empty\n"},
        {"ulimit -f 2; \"$TOOL\" convert long.plist -o out.plist", 1,
         "plistbridge: convert: out.plist: File too large\n"},
        {"\"$TOOL\" convert in.plist >/dev/full", 1,
         "plistbridge: convert: cannot write the output: No space left on device\n"},
        {"\"$TOOL\" store [1] --to missing/x.plist", 1,
         "plistbridge: store plist: missing/x.plist: No such file or directory (-4960)\n"},
        {"\"$TOOL\" store [1] --to folder", 1,
         "plistbridge: store plist: folder: Is a directory (-4960)\n"},
        {"\"$TOOL\" --help >/dev/full", 1,
         "plistbridge: cannot write the output: No space left on device\n"},
        {"\"$TOOL\" --version >/dev/full", 1,
         "plistbridge: cannot write the output: No space left on device\n"},
        {"\"$TOOL\" --version >&-", 1,
         "plistbridge: cannot write the output: Bad file descriptor\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shell(c.command), c.status) << c.command;
        EXPECT_EQ(File("stderr"), c.err) << c.command;
    }
    EXPECT_FALSE(fs::exists(mDir / "out.plist"));
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

// Every command, run under address-space limits from too tight to enough on a 20 MB library,
// either succeeds or says that memory ran out: never a parse, notation or usage error.
TEST_F(ToolResourcesTest, EveryCommandNamesRunningOutOfMemoryAsSuch) {
#ifdef PLISTBRIDGE_ASAN
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
    {
        std::ofstream out(mDir / "library.plist", std::ios::binary);
        out << "<plist><array>";
        for (int i = 0; i < 120000; ++i)
            out << "<dict><key>Name</key><string>Track " << i << "</string><key>Size</key>"
                << "<integer>" << i * 1000 << "</integer><key>Added</key>"
                << "<date>2020-01-01T00:00:00Z</date><key>Art</key><data>AAECAwQFBgc=</data></"
                   "dict>";
        out << "</array></plist>";
    }
    ASSERT_EQ(Shell("\"$TOOL\" load library.plist >library.notation"), 0) << File("stderr");
    const char* commands[] = {
        "\"$TOOL\" load library.plist",
        "\"$TOOL\" load --text - <library.plist",
        "cat library.plist | \"$TOOL\" load --text -",
        "\"$TOOL\" store - <library.notation",
        "cat library.notation | \"$TOOL\" store -",
        "\"$TOOL\" convert library.plist --format binary -o out.bplist",
        "\"$TOOL\" convert - --format json <library.plist",
        "\"$TOOL\" lint library.plist",
    };
    // The addition answers by its status alone: -108, -10000 for an allocation of the C++
    // library, -4960 for a list it could not read or write, -43 for a file it could not read.
    // The tool names the cause, or gives the reader's own words.
    const std::regex outOfMemory(
        "plistbridge: ((((load|store) plist: )?(library.plist: )?out of memory "
        "\\((-108|-10000|-4960|-43)\\))|load plist: library.plist: Out of memory "
        "while building the property list \\(-4960\\))\n");
    for (const char* command : commands) {
        int failed = 0;
        for (int megabytes : {40, 80, 120, 160, 200}) {
            const int status =
                Shell("ulimit -v " + std::to_string(megabytes * 1024) + "; " + command);
            const std::string err = File("stderr");
            failed += status != 0;
            if (status == 0)
                EXPECT_EQ(err, "") << megabytes << " MB: " << command;
            else
                EXPECT_TRUE(status == 1 && std::regex_match(err, outOfMemory))
                    << megabytes << " MB: " << command << ": " << status << " " << err;
        }
        EXPECT_GT(failed, 0) << command << ": no limit was tight enough to test anything";
    }
#endif
}

}  // namespace

// The built plistbridge where lists expand, files are rewritten in place, edits race, output
// stops and names hold control characters: each ends in a whole file and one line.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <regex>

#include "common/Sanitizers.h"
#include "tests/tools/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

// CPU bounds hold for an optimised build; a debug or sanitizer build may take longer.
#if defined(PLISTBRIDGE_ASAN) || !defined(NDEBUG)
constexpr int kSlowdown = 25;
#else
constexpr int kSlowdown = 1;
#endif

// A binary list of `objects` (object 0 at the top), one-byte references, four-byte offsets.
std::string BinaryList(const std::vector<std::string>& objects) {
    std::string out = "bplist00";
    std::vector<uint32_t> offsets;
    for (const std::string& object : objects) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out += object;
    }
    const uint64_t table = out.size();
    auto put = [&out](uint64_t value, int width) {
        for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i)));
    };
    for (uint32_t offset : offsets) put(offset, 4);
    out += std::string(6, '\0') + "\x04\x01";
    put(objects.size(), 8);
    put(0, 8);
    put(table, 8);
    return out;
}

std::string Count(uint8_t marker, size_t count) {
    if (count < 15) return std::string(1, static_cast<char>(marker | count));
    std::string out{static_cast<char>(marker | 0xF), '\x12'};
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(count >> (8 * i)));
    return out;
}

// 20 levels of [x, x] over one 1,000-byte string: 1 KB that expands to 1 GB.
std::string NestedPairs() {
    std::vector<std::string> objects;
    for (int level = 1; level <= 20; ++level)
        objects.push_back("\xA2" + std::string(2, static_cast<char>(level)));
    objects.push_back(Count(0x50, 1000) + std::string(1000, 's'));
    return BinaryList(objects);
}

// One string of `length` bytes referenced `count` times from one array.
std::string RepeatedString(size_t count, size_t length) {
    return BinaryList({Count(0xA0, count) + std::string(count, '\x01'),
                       Count(0x50, length) + std::string(length, 's')});
}

class ToolSafetyTest : public ToolProcessTest {
protected:
    ToolSafetyTest() : ToolProcessTest("plistbridge-safety-") {}

    // Runs a bash command in the scratch folder with TOOL naming the tool: the exit status, -1
    // for a death by signal.
    int Shell(const std::string& command) {
        const std::string line = "cd " + Quote(mDir.string()) + " && TOOL=" + Quote(kTool) +
                                 " bash -c " + Quote(command) + " >stdout 2>stderr";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(ToolSafetyTest, ExpansionIsRefusedByEveryRouteBeforeItIsWritten) {
    Write("pairs.plist", NestedPairs());
    Write("repeated.plist", RepeatedString(100000, 10000));
    Write("slow-unit.plist",
          ReadFile(
              PLISTBRIDGE_SOURCE_DIR
              "/fuzz/crashes/LoadPListFuzzer-slow-unit-4cf8dcec9ac0ac75a66097e20a3b8c5b5a520a84"));
    ASSERT_LT(Read("pairs.plist").size(), 1200u);
    ASSERT_LT(Read("repeated.plist").size(), 120000u);
    // 2 s of CPU and, outside the sanitizer (whose shadow memory is counted), 300 MB.
    std::string limits = "ulimit -t " + std::to_string(2 * kSlowdown) + "; ";
#ifndef PLISTBRIDGE_ASAN
    limits += "ulimit -v 307200; ";
#endif
    const char* routes[] = {"print F",
                            "print F :",
                            "convert F",
                            "convert --format json F",
                            "convert F -o out",
                            "convert --format openstep F",
                            "extract : xml F",
                            "extract : json F",
                            "extract : xml F -o out",
                            "diff F F",
                            "load F"};
    for (const char* file : {"pairs.plist", "repeated.plist", "slow-unit.plist"}) {
        for (std::string route : routes) {
            route = std::regex_replace(route, std::regex("F"), file);
            SCOPED_TRACE(route);
            EXPECT_EQ(Shell(limits + "\"$TOOL\" " + route), 1);
            const std::string err = Read("stderr");
            // Refused by the bound, or by the writers' own bound on a container's repeats.
            EXPECT_TRUE(err.find("expand it to more than 64 MB of ") != std::string::npos ||
                        err.find("expand it past what the addition takes (-108)") !=
                            std::string::npos ||
                        err.find("repeated more than 1536 times") != std::string::npos)
                << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
            EXPECT_EQ(Read("stdout"), "");
            EXPECT_FALSE(fs::exists(mDir / "out"));
        }
    }
}

TEST_F(ToolSafetyTest, TheOutputBoundIsSetByMaxOutput) {
    // 1,000 references to a 100-byte string: about 120 KB of XML from 1.1 KB.
    Write("shared.plist", RepeatedString(1000, 100));
    struct {
        const char* options;
        int status;
    } cases[] = {{"", 0}, {"--max-output 1M", 0}, {"--max-output 64K", 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(Shell(std::string("\"$TOOL\" ") + c.options + " convert shared.plist"), c.status)
            << c.options;
        if (c.status == 1) {
            EXPECT_EQ(Read("stderr"),
                      "plistbridge: convert: shared.plist: its shared values expand it to more "
                      "than 64 KB of XML from 1160 bytes (--max-output SIZE raises the bound)\n");
        }
    }
    EXPECT_EQ(Shell("\"$TOOL\" --max-output 1X lint shared.plist"), 2);
}

TEST_F(ToolSafetyTest, AnInPlaceRewritePastTheFileSizeLimitLeavesTheOldFileWhole) {
    const std::string old =
        "<plist><dict><key>a</key><string>" + std::string(3000, 'a') + "</string></dict></plist>\n";
    Write("linked.plist", old);
    fs::create_hard_link(mDir / "linked.plist", mDir / "link2.plist");
    // 4 KB at most; the rewrite needs about 8 KB.
    EXPECT_EQ(Shell("ulimit -f 4; \"$TOOL\" replace b -string " + std::string(5000, 'b') +
                    " linked.plist"),
              1);
    EXPECT_EQ(Read("stderr"), "plistbridge: replace: linked.plist: File too large\n");
    EXPECT_EQ(Read("linked.plist"), old);
    EXPECT_EQ(fs::hard_link_count(mDir / "linked.plist"), 2u);
    // Within the limit the same edit lands in place, both names seeing it.
    EXPECT_EQ(Shell("ulimit -f 4; \"$TOOL\" replace b -string bb linked.plist"), 0)
        << Read("stderr");
    EXPECT_NE(Read("link2.plist").find("<string>bb</string>"), std::string::npos);
}

TEST_F(ToolSafetyTest, ConcurrentEditsAllLand) {
    for (const char* format : {"xml", "binary", "json"}) {
        SCOPED_TRACE(format);
        // A "{}" file is JSON to the edits only by its name; else old-style, which has no integer.
        const std::string file =
            std::string("f.") + (format == std::string("json") ? "json" : "plist");
        ASSERT_EQ(Shell(std::string("\"$TOOL\" create --force ") + format + " " + file), 0);
        fs::create_hard_link(mDir / file, mDir / "f2");  // rewritten in place, as well
        // Three editors, ten rounds each; every edit that succeeds says so on standard output.
        ASSERT_EQ(Shell("for w in a b c; do (for i in 0 1 2 3 4 5 6 7 8 9; do "
                        "\"$TOOL\" replace $w$i -integer $i " +
                        file + " && echo $w$i; done) & done; wait"),
                  0);
        const std::string landed = Read("stdout");
        EXPECT_EQ(std::count(landed.begin(), landed.end(), '\n'), 30) << Read("stderr");
        EXPECT_EQ(Shell("\"$TOOL\" print " + file + " | grep -c \" = \""), 0);
        EXPECT_EQ(Read("stdout"), "30\n");
        fs::remove(mDir / "f2");
    }
}

TEST_F(ToolSafetyTest, AnEditThatCannotTakeTheLockFailsAndChangesNothing) {
    ASSERT_EQ(Shell("\"$TOOL\" create xml f"), 0);
    const std::string before = Read("f");
    const int held = open((mDir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(Shell("PLISTBRIDGE_LOCK_WAIT_MS=20 \"$TOOL\" insert x -integer 1 f"), 1);
    EXPECT_EQ(Read("stderr"),
              "plistbridge: insert: f: another edit held the file for 20 ms; nothing was "
              "changed\n");
    EXPECT_EQ(Read("f"), before);
    close(held);
    EXPECT_EQ(Shell("PLISTBRIDGE_LOCK_WAIT_MS=20 \"$TOOL\" insert x -integer 1 f"), 0);
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(fs::directory_iterator(mDir), fs::directory_iterator()), 3);
}

TEST_F(ToolSafetyTest, OutputThatStopsEndsInOneLineAndStatusOne) {
    Write(
        "big.xml", "<plist><array>" + [] {
            std::string items;
            for (int i = 0; i < 20000; ++i)
                items += "<string>" + std::string(20, 'x') + "</string>";
            return items;
        }() + "</array></plist>");
    for (const char* command : {"convert big.xml", "convert --format json big.xml", "print big.xml",
                                "load big.xml", "lint big.xml big.xml"}) {
        SCOPED_TRACE(command);
        if (std::string(command).starts_with("lint")) continue;  // a few bytes: nothing to stop
        EXPECT_EQ(Shell(std::string("ulimit -f 4; \"$TOOL\" ") + command + " >out"), 1);
        EXPECT_TRUE(
            std::regex_match(Read("stderr"), std::regex("plistbridge: (\\w+: )?cannot write the "
                                                        "output: File too large\n")))
            << Read("stderr");
        // A reader that goes away: status 1, no signal, nothing said.
        EXPECT_EQ(Shell(std::string("\"$TOOL\" ") + command +
                        " | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}"),
                  1);
        EXPECT_EQ(Read("stderr"), "");
    }
}

TEST_F(ToolSafetyTest, NamesWithControlCharactersStayOnOneLine) {
    ASSERT_EQ(Shell("\"$TOOL\" create xml ok.plist"), 0);
    fs::copy_file(mDir / "ok.plist", mDir / "ok.plist: OK\nreal.plist");
    EXPECT_EQ(Run({"lint", "ok.plist: OK\nreal.plist"}).out, "ok.plist: OK\\nreal.plist: OK\n");
    EXPECT_EQ(Run({"convert", "no\tsuch\x1B[31m"}).err,
              "plistbridge: convert: no\\tsuch\\x1B[31m: No such file or directory\n");
}

TEST_F(ToolSafetyTest, ErrorsOnADestinationNameTheDestination) {
    ASSERT_EQ(Shell("\"$TOOL\" create xml ok.plist"), 0);
    // /proc takes no temporary file: the error is the target's own, not "No such file".
    EXPECT_EQ(Shell("\"$TOOL\" convert ok.plist -o /proc/self/comm"), 1);
    EXPECT_EQ(Read("stderr").find("plistbridge: convert: /proc/self/comm: "), 0u);
    EXPECT_EQ(Read("stderr").find("No such file"), std::string::npos) << Read("stderr");
    // A deleted file named through another process's descriptor is written in place.
    EXPECT_EQ(Shell("exec 3<>gone; rm gone; \"$TOOL\" convert ok.plist -o /proc/$$/fd/3 && "
                    "cat /proc/$$/fd/3 >copy"),
              0)
        << Read("stderr");
    EXPECT_EQ(Read("copy"), Read("ok.plist"));
    EXPECT_FALSE(fs::exists(mDir / "gone (deleted)"));
}

TEST_F(ToolSafetyTest, RefusedKeyPathsAreNamedAndShortened) {
    ASSERT_EQ(Shell("\"$TOOL\" create xml f"), 0);
    struct {
        std::string keyPath;
        std::string err;
    } cases[] = {
        {std::string(100000, '.'), "no value at \"\""},
        {std::string(300, 'k'),
         "no value at " + std::string(100, 'k') + "…" + std::string(50, 'k') + " (1 component)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"extract", c.keyPath, "xml", "f"}).err,
                  "plistbridge: extract: f: " + c.err + "\n");
    }
}

}  // namespace

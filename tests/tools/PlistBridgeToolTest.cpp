// The built plistbridge program as a subprocess: what it prints, byte for byte, and its exit
// statuses, for every command and failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kTool = PLISTBRIDGE_BINARY_DIR "/bin/plistbridge";
const std::string kExamples = PLISTBRIDGE_SOURCE_DIR "/examples";

struct ToolResult {
    int exitStatus;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string ShellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class PlistBridgeToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        mDir = fs::temp_directory_path() / ("plistbridge-tool-" + std::to_string(getpid()));
        fs::create_directories(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    // Runs the tool in UTC (dates print as local time) with `input` on standard input.
    ToolResult Run(const std::vector<std::string>& args, const std::string& input = "") {
        std::ofstream(mDir / "stdin", std::ios::binary) << input;
        std::string command = "cd " + ShellQuote(mDir.string()) + " && TZ=UTC " + ShellQuote(kTool);
        for (const std::string& arg : args) {
            command += ' ';  // appended alone: gcc 12 misreads " " + string as overlapping
            command += ShellQuote(arg);
        }
        command += " <stdin >stdout 2>stderr";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(mDir / "stdout"),
                ReadFile(mDir / "stderr")};
    }

    std::string Path(const std::string& name) const { return (mDir / name).string(); }

    fs::path mDir;
};

struct ToolCase {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    int exitStatus;
    std::string out;
    std::string err;
};

const std::string kSmallXML =
    "<plist><array><integer>1</integer><string>a</string></array></plist>";
const std::string kStoredXML =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n<array>\n\t<integer>1</integer>\n\t<real>2.5</real>\n\t<true/>\n"
    "</array>\n</plist>\n";

const ToolCase kCases[] = {
    {"Version", {"--version"}, "", 0, "plistbridge 1.0.0\n", ""},
    {"LoadText", {"load", "--text", kSmallXML}, "", 0, "[1, \"a\"]\n", ""},
    {"LoadStdin", {"load", "--text", "-"}, kSmallXML, 0, "[1, \"a\"]\n", ""},
    {"LoadBinaryFile", {"load", kExamples + "/Document.bplist"}, "", 0, "", ""},
    {"LoadEmptyText",
     {"load", "--text", ""},
     "",
     1,
     "",
     "plistbridge: load plist: Cannot parse a NULL or zero-length data (-4960)\n"},
    {"LoadMissingFile",
     {"load", "missing.plist"},
     "",
     1,
     "",
     "plistbridge: load plist: missing.plist: No such file or directory (-43)\n"},
    {"LoadNotAPropertyList",
     {"load", "--text", "<plist><dict>"},
     "",
     1,
     "",
     "plistbridge: load plist: Encountered unexpected EOF on line 1 (-4960)\n"},
    {"StoreText", {"store", "[1, 2.5, true]"}, "", 0, kStoredXML, ""},
    {"StoreStdin", {"store", "-"}, "[1, 2.5,\n true]\n", 0, kStoredXML, ""},
    {"StoreMissingFolder",
     {"store", "1", "--to", "no/such/folder/a.plist"},
     "",
     1,
     "",
     "plistbridge: store plist: no/such/folder/a.plist: No such file or directory (-4960)\n"},
    {"StoreNotationError",
     {"store", "[1, 2"},
     "",
     2,
     "",
     "plistbridge: notation error at column 6: expected ',' or ']', found the end\n"},
    {"StoreNotationErrorLine",
     {"store", "-"},
     "[1,\n 2 3]",
     2,
     "",
     "plistbridge: notation error at line 2, column 4: expected ',' or ']'\n"},
    {"SendLoad",
     {"send", "Gmqb/plsL", "----=\"<plist><true/></plist>\""},
     "",
     0,
     "{'----':true}\n",
     ""},
    {"SendQuotedCodes",
     {"send", "'Gmqb'/'plsL'", "'----'='utf8'(\"<plist><real>1</real></plist>\")"},
     "",
     0,
     "{'----':1.0}\n",
     ""},
    {"SendStoreNullDestination",
     {"send", "Gmqb/plsS", "----=[]", "XMlO='null'()", "--optional", "XMlO"},
     "",
     0,
     "{'----':\"<?xml version=\\\"1.0\\\" encoding=\\\"UTF-8\\\"?>\\n<!DOCTYPE plist PUBLIC "
     "\\\"-//Apple//DTD PLIST 1.0//EN\\\" \\\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\\\">"
     "\\n<plist version=\\\"1.0\\\">\\n<array/>\\n</plist>\\n\"}\n",
     ""},
    {"SendExtraRequired",
     {"send", "Gmqb/plsL", "----=\"<plist/>\"", "pnam=1"},
     "",
     1,
     "",
     "plistbridge: load plist failed (-1715)\n"},
    {"SendNoDirect", {"send", "Gmqb/plsL"}, "", 1, "", "plistbridge: load plist failed (-1701)\n"},
    {"SendNullDirect",
     {"send", "Gmqb/plsL", "----='null'()"},
     "",
     1,
     "",
     "plistbridge: load plist: no property list specified (-10000)\n"},
    {"SendUnknownEvent",
     {"send", "Gmqb/plsX", "----=1"},
     "",
     1,
     "",
     "plistbridge: event Gmqb/plsX failed (-1708)\n"},
    {"SendNotationError",
     {"send", "Gmqb/plsL", "----=[1"},
     "",
     2,
     "",
     "plistbridge: notation error at column 8: expected ',' or ']', found the end\n"},
    {"NoCommand",
     {},
     "",
     2,
     "",
     "plistbridge: no command given (load, store, send, convert, lint, print, extract, type, "
     "replace, insert, remove, edit, create or diff) (see plistbridge --help)\n"},
    {"UnknownCommand",
     {"lode", "a"},
     "",
     2,
     "",
     "plistbridge: unknown command 'lode' (load, store, send, convert, lint, print, extract, "
     "type, replace, insert, remove, edit, create or diff) (see plistbridge --help)\n"},
    {"UnknownOption",
     {"load", "--txt", "a"},
     "",
     2,
     "",
     "plistbridge: unknown option '--txt' (did you mean --text?) (see plistbridge --help)\n"},
    {"MisplacedTo",
     {"load", "a", "--to", "b"},
     "",
     2,
     "",
     "plistbridge: --to belongs to store, convert, extract, replace, insert, remove or edit (see "
     "plistbridge "
     "--help)\n"},
    {"BadEventCodes",
     {"send", "Gmqb-plsL"},
     "",
     2,
     "",
     "plistbridge: 'Gmqb-plsL' is not CLASS/ID with two four-char codes (see plistbridge "
     "--help)\n"},
    {"MissingBundle",
     {"--bundle", "/nonexistent/PlistBridge.osax", "load", "a"},
     "",
     1,
     "",
     "plistbridge: cannot load the addition at /nonexistent/PlistBridge.osax (-43)\n"},
};

class PlistBridgeToolCaseTest : public PlistBridgeToolTest,
                                public ::testing::WithParamInterface<ToolCase> {};

TEST_P(PlistBridgeToolCaseTest, PrintsAndExits) {
    const ToolCase& c = GetParam();
    const ToolResult result = Run(c.args, c.input);
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    if (c.exitStatus == 0 && c.out.empty()) {
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    } else {
        EXPECT_EQ(result.out, c.out);
    }
    EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlistBridgeToolCaseTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlistBridgeToolTest, LoadsTheExamples) {
    const ToolResult preferences = Run({"load", kExamples + "/Preferences.plist"});
    EXPECT_EQ(preferences.exitStatus, 0) << preferences.err;
    EXPECT_EQ(preferences.out.rfind("{'usrf':[\"LastLaunch\", 'ldt '(", 0), 0u) << preferences.out;
    EXPECT_NE(preferences.out.find("\"DownloadedBytes\", 8589934592"), std::string::npos);
    EXPECT_NE(preferences.out.find("\"Token\", '****'(\u00ABDEADBEEF\u00BB)"), std::string::npos);
    const ToolResult info = Run({"load", kExamples + "/Info.plist"});
    EXPECT_EQ(info.exitStatus, 0) << info.err;
    EXPECT_NE(info.out.find("\"CFBundleIdentifier\", \"com.example.ledgerlite\""),
              std::string::npos);
    const ToolResult binary = Run({"load", kExamples + "/Document.bplist"});
    EXPECT_NE(binary.out.find("\"FileSize\", 5000000000"), std::string::npos) << binary.out;
    EXPECT_NE(binary.out.find("\"DocumentTitle\", \"R\u00E9sum\u00E9 \u2013 draft 3\""),
              std::string::npos);
}

// store --to writes the same XML the text route returns and prints the destination; load of
// that file gives the value back in its property-list types (the XML has its keys sorted).
TEST_F(PlistBridgeToolTest, StoreThenLoad) {
    const std::string value =
        "{'pnam':\"x\", 'usrf':[\"n\", 'shor'(5), \"d\", 'ldt '(3600000000)]}";
    const ToolResult stored = Run({"store", value, "--to", "out.plist"});
    ASSERT_EQ(stored.exitStatus, 0) << stored.err;
    EXPECT_EQ(stored.out, "'furl'(\"file://" + Path("out.plist") + "\")\n");
    EXPECT_EQ(ReadFile(mDir / "out.plist"), Run({"store", value}).out);
    const ToolResult loaded = Run({"load", "out.plist"});
    EXPECT_EQ(loaded.exitStatus, 0) << loaded.err;
    EXPECT_EQ(loaded.out, "{'pnam':\"x\", 'usrf':[\"d\", 'ldt '(3600000000), \"n\", 5]}\n");
}

// Standard input from a pipe (no size known up front) and larger than one read: a list of
// 300000 numbers, about 2.3 MB of notation, is read whole and loads back the same.
TEST_F(PlistBridgeToolTest, LargeStandardInputFromAPipe) {
    std::string list = "[";
    for (int i = 0; i < 300000; ++i) list += (i ? ", " : "") + std::to_string(i);
    list += "]";
    std::ofstream(mDir / "big.notation", std::ios::binary) << list;
    const std::string command = "cd " + ShellQuote(mDir.string()) + " && cat big.notation | " +
                                ShellQuote(kTool) + " store - >big.plist 2>stderr";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(mDir / "stderr");
    const ToolResult loaded = Run({"load", "big.plist"});
    EXPECT_EQ(loaded.exitStatus, 0) << loaded.err;
    EXPECT_EQ(loaded.out, list + "\n");
}

// Standard input that is a file already read in part (to an offset inside a page): the tool
// takes the rest, from that offset, and leaves the offset at the end as reading would.
TEST_F(PlistBridgeToolTest, StandardInputFileReadFromItsOffset) {
    std::ofstream(mDir / "prefixed", std::ios::binary)
        << std::string(5000, 'x') << "[1, 2.5,\n true]";
    const std::string command = "cd " + ShellQuote(mDir.string()) +
                                " && { dd bs=5000 count=1 of=/dev/null 2>/dev/null; " +
                                ShellQuote(kTool) + " store -; cat; } <prefixed >out 2>stderr";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(mDir / "stderr");
    EXPECT_EQ(ReadFile(mDir / "out"), kStoredXML);
    const std::string atEnd = "cd " + ShellQuote(mDir.string()) + " && { cat >/dev/null; " +
                              ShellQuote(kTool) + " store -; } <prefixed >out 2>stderr";
    EXPECT_NE(std::system(atEnd.c_str()), 0);
    EXPECT_EQ(ReadFile(mDir / "stderr"),
              "plistbridge: notation error at column 1: expected a value, found the end\n");
}

TEST_F(PlistBridgeToolTest, HelpDocumentsCommandsAndStatuses) {
    const ToolResult help = Run({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* text :
         {"load FILE", "load --text TEXT", "store VALUE --to FILE", "send CLASS/ID", "--optional",
          "--bundle PATH", "load plist failed (-43)", "column"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

}  // namespace

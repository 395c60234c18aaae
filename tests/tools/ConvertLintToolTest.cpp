// The built plistbridge as a subprocess: convert, lint, load --pretty, the file errors and the
// command-line conventions (standard input, "--", --to=FILE, -o FILE, repeated options,
// COMMAND --help).
#include "tools/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

const std::string kExamples = PLISTBRIDGE_SOURCE_DIR "/examples";

class ConvertLintTool : public ToolProcessTest {
protected:
    ConvertLintTool() : ToolProcessTest("plistbridge-convert-") {}
};

const std::string kFrame =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
    "1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n";

TEST_F(ConvertLintTool, ConvertsBetweenEveryFormat) {
    const std::string json = "{\"a\": [1, 2.5, true, \"\\u00e9\"], \"b\": {}}";
    const std::string xml = kFrame +
                            "<dict>\n\t<key>a</key>\n\t<array>\n\t\t<integer>1</integer>\n\t\t"
                            "<real>2.5</real>\n\t\t<true/>\n\t\t<string>\xC3\xA9</string>\n\t"
                            "</array>\n\t<key>b</key>\n\t<dict/>\n</dict>\n</plist>\n";
    Result fromJSON = Run({"convert", "-"}, json);
    EXPECT_EQ(fromJSON.exitStatus, 0) << fromJSON.err;
    EXPECT_EQ(fromJSON.out, xml);
    Write("in.json", json);
    ASSERT_EQ(Run({"convert", "in.json", "--format", "binary", "-o", "out.bplist"}).exitStatus, 0);
    EXPECT_EQ(Read("out.bplist").substr(0, 8), "bplist00");
    EXPECT_EQ(
        Run({"convert", "out.bplist", "--format=json"}).out,
        "{\n  \"a\": [\n    1,\n    2.5,\n    true,\n    \"\xC3\xA9\"\n  ],\n  \"b\": {}\n}\n");
    ASSERT_EQ(Run({"convert", "--to=out.txt", "--format", "openstep", "out.bplist"}).exitStatus, 1)
        << "a Boolean has no old-style form";
    EXPECT_FALSE(fs::exists(mDir / "out.txt"));
    Result openstep = Run({"convert", "-", "--format", "openstep"}, "{\"k\": [\"v w\", 5]}");
    EXPECT_EQ(openstep.out, "{\n\tk = (\n\t\t\"v w\",\n\t\t5\n\t);\n}\n");
    EXPECT_EQ(Run({"convert", "-"}, openstep.out).out,
              kFrame +
                  "<dict>\n\t<key>k</key>\n\t<array>\n\t\t<string>v w</string>\n\t\t"
                  "<string>5</string>\n\t</array>\n</dict>\n</plist>\n");
    // The file is replaced whole, and nothing is left beside it.
    Write("target.plist", std::string(100000, 'x'));
    ASSERT_EQ(Run({"convert", "in.json", "--to", "target.plist"}).exitStatus, 0);
    EXPECT_EQ(Read("target.plist"), xml);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(mDir)) ++entries;
    EXPECT_EQ(entries, 6u);  // stdin, stdout, stderr, in.json, out.bplist, target.plist
}

TEST_F(ConvertLintTool, BinaryIsNeverWrittenToATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no script(1) to give the tool a terminal";
    const std::string command =
        "script -qec " +
        Quote(Quote(kTool) + " convert " + Quote(kExamples + "/Info.plist") +
              " --format binary; echo \"exit=$?\"") +
        " /dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    EXPECT_NE(out.find("binary output is not written to a terminal"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=1"), std::string::npos) << out;
    EXPECT_EQ(out.find("bplist00"), std::string::npos);
}

TEST_F(ConvertLintTool, FailuresNameTheFileAndTheReason) {
    Write("broken.plist", "<plist>\n<dict>\n<key>a</key>\n<strin>x</string>\n</dict>\n</plist>\n");
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exitStatus;
        std::string err;
    } cases[] = {
        {{"convert", "missing.plist"},
         "",
         1,
         "plistbridge: convert: missing.plist: No such file or directory\n"},
        {{"convert", "."}, "", 1, "plistbridge: convert: .: Is a directory\n"},
        {{"convert", "broken.plist"},
         "",
         1,
         "plistbridge: convert: broken.plist: Encountered unknown tag strin on line 4\n"},
        {{"convert", "-"},
         "[1,\n null]",
         1,
         "plistbridge: convert: -: JSON: null has no property-list form on line 2\n"},
        {{"convert", "-", "-o", "no/such/folder/x.plist"},
         "[]",
         1,
         "plistbridge: convert: no/such/folder/x.plist: No such file or directory\n"},
        {{"convert", "-", "--format", "json", "--strict"},
         "<date>2024-01-05T10:00:26Z</date>",
         1,
         "plistbridge: convert: -: the top value is a date, refused by --strict\n"},
        {{"load", "missing.plist"},
         "",
         1,
         "plistbridge: load plist: missing.plist: No such file or directory (-43)\n"},
        {{"load", "."}, "", 1, "plistbridge: load plist: .: Is a directory (-43)\n"},
        {{"load", "broken.plist"},
         "",
         1,
         "plistbridge: load plist: broken.plist: Encountered unknown tag strin on line 4 "
         "(-4960)\n"},
        // send prints the reply as it is: the addition gives no reason.
        {{"send", "Gmqb/plsL", "----=\"<dict>\""},
         "",
         1,
         "plistbridge: load plist failed (-4960)\n"},
    };
    for (const auto& c : cases) {
        const Result result = Run(c.args, c.input);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.args[1];
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(ConvertLintTool, LintSaysOKOrWhatAndWhere) {
    Write("good.plist", "<plist><true/></plist>");
    Write("bad.plist", "<plist>\n<array>\n\n<integer>1x</integer>\n</array>\n</plist>\n");
    Write("trunc.bplist", std::string("bplist00\x09", 9));
    const Result all = Run({"lint", "good.plist", kExamples + "/Document.bplist", "-"}, "(a, b)");
    EXPECT_EQ(all.exitStatus, 0);
    EXPECT_EQ(all.out, "good.plist: OK\n" + kExamples + "/Document.bplist: OK\n-: OK\n");
    const Result some = Run({"lint", "good.plist", "bad.plist", "missing", "trunc.bplist"});
    EXPECT_EQ(some.exitStatus, 1);
    const std::string lines[] = {"good.plist: OK\n", "bad.plist: ", " on line 4\n",
                                 "missing: No such file or directory\n", "trunc.bplist: "};
    size_t at = 0;
    for (const std::string& line : lines) {
        at = some.out.find(line, at);
        EXPECT_NE(at, std::string::npos) << line << " in\n" << some.out;
    }
    EXPECT_EQ(std::count(some.out.begin(), some.out.end(), '\n'), 4) << some.out;
}

TEST_F(ConvertLintTool, OptionConventions) {
    Write("--odd.plist", "<plist><integer>7</integer></plist>");
    const struct {
        std::vector<std::string> args;
        std::string input;
        int exitStatus;
        std::string out;
        std::string err;
    } cases[] = {
        {{"load", "-"}, "<plist><integer>3</integer></plist>", 0, "3\n", ""},
        {{"load", "--", "--odd.plist"}, "", 0, "7\n", ""},
        {{"store", "--", "-5"}, "", 0, kFrame + "<integer>-5</integer>\n</plist>\n", ""},
        {{"load", "--pretty", "--text", "<array><dict><key>k</key><array/></dict></array>"},
         "",
         0,
         "[\n  {\n    'usrf':[\n      \"k\",\n      []\n    ]\n  }\n]\n",
         ""},
        // Brackets and separators inside strings are text; empty containers stay whole.
        {{"load", "--pretty", "--text",
          "<array><string>a, [b] {c}</string><dict/><data>AAE=</data></array>"},
         "",
         0,
         "[\n  \"a, [b] {c}\",\n  {\n    'usrf':[]\n  },\n  '****'(\u00AB0001\u00BB)\n]\n",
         ""},
        {{"convert", "a", "-o", "x", "--to", "y"},
         "",
         2,
         "",
         "plistbridge: option --to given twice (see plistbridge --help)\n"},
        {{"load", "--pretty", "--pretty", "a"},
         "",
         2,
         "",
         "plistbridge: option --pretty given twice (see plistbridge --help)\n"},
        {{"lint", "--format", "json", "a"},
         "",
         2,
         "",
         "plistbridge: --format belongs to convert (see plistbridge --help)\n"},
        {{"convert", "a", "--format", "yaml"},
         "",
         2,
         "",
         "plistbridge: --format takes xml, binary, json or openstep, not 'yaml' (see plistbridge "
         "--help)\n"},
        {{"convert", "a", "--fromat", "xml"},
         "",
         2,
         "",
         "plistbridge: unknown option '--fromat' (did you mean --format?) (see plistbridge "
         "--help)\n"},
        {{"convert"},
         "",
         2,
         "",
         "plistbridge: convert takes one or more FILEs (- for standard input) (see plistbridge "
         "--help)\n"},
        {{"lint"},
         "",
         2,
         "",
         "plistbridge: lint takes one or more FILEs (- for standard input) (see plistbridge "
         "--help)\n"},
        {{"frob", "--help"},
         "",
         2,
         "",
         "plistbridge: unknown command 'frob' (see plistbridge --help)\n"},
    };
    for (const auto& c : cases) {
        const Result result = Run(c.args, c.input);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(ConvertLintTool, EveryCommandHasItsOwnHelp) {
    for (const std::string command :
         {"load", "store", "send", "convert", "lint", "print", "extract", "type", "replace",
          "insert", "remove", "create", "diff"}) {
        const Result help = Run({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0);
        EXPECT_EQ(help.out.rfind("usage: plistbridge " + command, 0), 0u) << help.out;
        EXPECT_EQ(Run({"-h", command}).out, help.out);
    }
    const Result all = Run({"--help"});
    for (const char* text :
         {"convert FILE", "lint [-s] FILE", "--to=FILE", "-o FILE", "--pretty", "--"})
        EXPECT_NE(all.out.find(text), std::string::npos) << text;
}

}  // namespace

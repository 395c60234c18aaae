// The built plistbridge as a subprocess, on the habits users bring from other property-list
// tools: print of a subtree, the type words, edit -c, edits over several files, values from
// standard input, extract -o, create - and --force; the messages that name paths from the top;
// diff's aligned arrays; and the bash completion offering the words due.
#include "tools/ToolProcess.h"

namespace {

const std::string kSource = PLISTBRIDGE_SOURCE_DIR;

class ToolHabits : public ToolProcessTest {
protected:
    ToolHabits() : ToolProcessTest("plistbridge-habits-") {}
    void SetUp() override {
        ToolProcessTest::SetUp();
        Write("library.json",
              R"({"Name": "Library", "Tracks": [{"Added": "x", "ID": 1, "Tags": ["a", "b"]},)"
              R"( {"ID": 2, "Rating": 4.5}], "Version": 3})");
        Write("small.json", R"({"a": 1})");
        Write("flags.json", R"({"r": [0, 1, 2, 3, 4, 5, 6, true], "Window": {"Sidebar": )"
                            R"({"Visible": true, "Width": 220}}})");
        Write("dotted.json", R"({"a.b": 1, "c\\d": 2, ":x": 3})");
        Write("empty-key.json", R"({"": true})");
    }

    // The bash completion's words for the command line `words`, the last being completed.
    std::string Complete(const std::vector<std::string>& words) {
        std::string script = "source " + Quote(kSource + "/docs/plistbridge.bash-completion") +
                             "; COMP_WORDS=(plistbridge";
        for (const std::string& word : words) script += " " + Quote(word);
        script += "); COMP_CWORD=" + std::to_string(words.size()) +
                  "; _plistbridge; echo \"${COMPREPLY[*]}\"";
        Write("complete.sh", script);
        const std::string command = "cd " + Quote(mDir.string()) + " && bash complete.sh >words";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return Read("words");
    }
};

struct HabitCase {
    std::vector<std::string> args;
    std::string input;  // standard input
    int exitStatus;
    std::string out;
    std::string err;
};

TEST_F(ToolHabits, PrintsEditsAndMessages) {
    const std::vector<HabitCase> cases = {
        {{"print", "library.json", "Tracks.0"},
         "",
         0,
         "{\n  \"Added\" = \"x\"\n  \"ID\" = 1\n  \"Tags\" = [\n    0: \"a\"\n    1: \"b\"\n  "
         "]\n}\n",
         ""},
        {{"print", "library.json", "Tracks.9"},
         "",
         1,
         "",
         "plistbridge: print: library.json: no value at Tracks.9: the value at Tracks is an array "
         "of 2 items\n"},
        // The clauses in order, written once.
        {{"edit", "-c", "replace Version -real 2.5", "-c", "remove Tracks", "--clause",
          "insert 'New key' -dict", "-c", "insert \"New key\".k -string 'a b'", "library.json",
          "-o", "-"},
         "",
         0,
         "{\"Name\": \"Library\", \"New key\": {\n  \"k\": \"a b\"\n}, \"Version\": 2.5}",
         ""},
        {{"edit", "-c", "remove Name", "-c", "remove Name", "library.json"},
         "",
         1,
         "",
         "plistbridge: edit: library.json: clause 2: no value at Name\n"},
        {{"edit", "-c", "replace a -integer x", "small.json"},
         "",
         2,
         "",
         "plistbridge: edit: small.json: clause 1: -integer 'x' is not an integer from -2^63 to "
         "2^64 - 1; give decimal digits or 0x hex\n"},
        // A value from standard input: a string as it is, anything else without one newline.
        {{"replace", "a", "-string", "-", "small.json", "-o", "-"},
         "x\n",
         0,
         "{\"a\": \"x\\n\"}",
         ""},
        {{"replace", "a", "-integer", "-", "small.json", "-o", "-"}, "12\n", 0, "{\"a\": 12}", ""},
        {{"insert", "b", "-json", "-", "small.json", "-o", "-"},
         "[1, \"-\"]\n",
         0,
         "{\"a\": 1, \"b\": [\n  1,\n  \"-\"\n]}",
         ""},
        {{"replace", "a", "-xml", "-", "small.json", "--in-place", "-o", "-"},
         "<true/>",
         2,
         "",
         "plistbridge: replace writes each FILE back with --in-place, or one FILE to -o OUT (see "
         "plistbridge --help)\n"},
        // Paths from the top of the file, not from the value extracted.
        {{"extract", "Window", "openstep", "flags.json"},
         "",
         1,
         "",
         "plistbridge: extract: flags.json: the value at Window.Sidebar.Visible is a Boolean, "
         "which has no old-style form\n"},
        {{"extract", "r", "openstep", "flags.json"},
         "",
         1,
         "",
         "plistbridge: extract: flags.json: the value at r.7 is a Boolean, which has no "
         "old-style form\n"},
        {{"convert", "--format", "openstep", "empty-key.json"},
         "",
         1,
         "",
         "plistbridge: convert: empty-key.json: the value at \"\" is a Boolean, which has no "
         "old-style form\n"},
        {{"diff", "empty-key.json", "small.json"}, "", 1, "removed \"\": true\nadded a: 1\n", ""},
        {{"extract", "", "raw", "dotted.json"}, "", 0, "\\:x\na\\.b\nc\\\\d\n", ""},
        {{"type", "Tracks.1.Rating", "library.json", "--expect", "real"}, "", 0, "float\n", ""},
        {{"type", "a", "small.json", "--expect", "flaot"},
         "",
         2,
         "",
         "plistbridge: --expect takes bool, integer, float, string, date, data, uid, array or "
         "dictionary, not 'flaot' (did you mean float?) (see plistbridge --help)\n"},
        {{"replace", "a", "-flaot", "1", "small.json"},
         "",
         2,
         "",
         "plistbridge: unknown option '-flaot' (did you mean -float?) (see plistbridge --help)\n"},
        {{"create", "json", "-"}, "", 0, "{}\n", ""},
        {{"create", "json", "small.json"},
         "",
         1,
         "",
         "plistbridge: create: small.json: the file exists (--force replaces it)\n"},
    };
    for (const HabitCase& c : cases) {
        const Result result = Run(c.args, c.input);
        const std::string name = c.args[0] + " " + c.args[1] + " " + c.args[2];
        EXPECT_EQ(result.exitStatus, c.exitStatus) << name;
        EXPECT_EQ(result.out, c.out) << name;
        EXPECT_EQ(result.err, c.err) << name;
    }
    EXPECT_NE(Read("library.json").find("\"Name\""), std::string::npos) << "a failed edit writes";
    EXPECT_EQ(Read("small.json"), R"({"a": 1})");
}

TEST_F(ToolHabits, EditsSeveralFilesEachOnItsOwn) {
    Write("b.json", "[1]");
    Write("c.json", R"({"a": 2})");
    const Result result = Run({"replace", "a", "-string", "v", "small.json", "b.json", "c.json"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err,
              "plistbridge: replace: b.json: no value at a: the top value is an array of 1 "
              "item\n");
    EXPECT_EQ(Read("small.json"), R"({"a": "v"})");
    EXPECT_EQ(Read("b.json"), "[1]");
    EXPECT_EQ(Read("c.json"), R"({"a": "v"})");
    ASSERT_EQ(Run({"remove", "a", "small.json", "c.json", "--in-place"}).exitStatus, 0);
    EXPECT_EQ(Read("c.json"), "{}");
}

TEST_F(ToolHabits, CreatesAndExtractsIntoFiles) {
    ASSERT_EQ(Run({"create", "xml", "new.plist"}).exitStatus, 0);
    const std::string xml = Read("new.plist");
    EXPECT_EQ(Run({"create", "binary", "new.plist"}).exitStatus, 1);
    EXPECT_EQ(Read("new.plist"), xml);
    ASSERT_EQ(Run({"create", "binary", "new.plist", "--force"}).exitStatus, 0);
    EXPECT_EQ(Read("new.plist").substr(0, 8), "bplist00");
    const Result extracted = Run({"extract", "Tracks.0", "binary", "library.json", "-o", "t"});
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "");
    EXPECT_EQ(Run({"extract", "Tags.1", "raw", "t"}).out, "b\n");
    ASSERT_EQ(Run({"extract", "Tracks.0.Tags", "raw", "library.json", "-n", "--to=n"}).exitStatus,
              0);
    EXPECT_EQ(Read("n"), "2");
}

TEST_F(ToolHabits, DiffNamesAnInsertedOrRemovedItemOnce) {
    std::string tracks, fewer;
    for (int i = 0; i < 27; ++i) {
        const std::string track = R"({"ID": )" + std::to_string(i) + R"(, "Name": "t"})";
        tracks += (i ? ", " : "") + track;
        if (i != 11) fewer += (fewer.empty() ? "" : ", ") + track;
    }
    Write("all.json", R"({"Tracks": [)" + tracks + "]}");
    Write("fewer.json", R"({"Tracks": [)" + fewer + "]}");
    const Result removed = Run({"diff", "all.json", "fewer.json"});
    EXPECT_EQ(removed.exitStatus, 1);
    EXPECT_EQ(removed.out, "removed Tracks.11: a dictionary of 2 keys\n");
    EXPECT_EQ(Run({"diff", "fewer.json", "all.json"}).out,
              "added Tracks.11: a dictionary of 2 keys\n");
    EXPECT_EQ(Run({"diff", "-q", "fewer.json", "all.json"}).out, "");
}

TEST_F(ToolHabits, CompletionOffersTheWordsDue) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"extract", "-n", "KEY", ""}, "xml binary json openstep raw"},
        {{"extract", "KEY", "j"}, "json"},
        {{"--max-input", "1M", "create", ""}, "xml binary json openstep"},
        {{"convert", "--format", "b"}, "binary"},
        {{"type", "k", "f", "--expect", "d"}, "date data dict dictionary"},
        {{"replace", "Window.Zoom", "-r"}, "-real"},
        {{"insert", "k", "--append", "-"},
         "-bool -integer -float -real -string -date -data -hex "
         "-array -dict -dictionary -xml -json --append -o --to "
         "--in-place --help"},
        {{"replace", "k", "-bool", ""}, "true false yes no"},
        {{"replace", "k", "-string", "v", "small"}, "small.json"},
        {{"edit", "--c"}, "--clause"},
        {{"create", "--f"}, "--force"},
        {{"ed"}, "edit"},
    };
    for (const auto& [words, expected] : cases) {
        std::string got = Complete(words);
        if (!got.empty() && got.back() == '\n') got.pop_back();
        EXPECT_EQ(got, expected) << words.front() << " … " << words.back();
    }
}

}  // namespace

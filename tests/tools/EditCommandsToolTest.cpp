// The built plistbridge as a subprocess: print, extract, type, replace, insert, remove, create
// and diff in every format, their messages and statuses; lint -s, convert over several files
// and --in-place, load - of bytes, unknown options; and --help, the man page, the README and
// the completion naming the same commands and options.
#include "tools/ToolProcess.h"

namespace {

const std::string kSource = PLISTBRIDGE_SOURCE_DIR;

// A library written by the platform's XML writer (keys sorted, tabs), as every format.
const std::string kLibraryJSON =
    R"({"Name": "Library", "Tracks": [{"Added": "x", "ID": 1, "Tags": ["a", "b"]},)"
    R"( {"ID": 2, "Rating": 4.5}], "Version": 3})";

class EditCommandsTool : public ToolProcessTest {
protected:
    EditCommandsTool() : ToolProcessTest("plistbridge-edit-") {}
    void SetUp() override {
        ToolProcessTest::SetUp();
        Write("library.json", kLibraryJSON);
        for (const char* format : {"xml", "binary", "json", "openstep"})
            EXPECT_EQ(Run({"convert", "library.json", "--format", format, "-o",
                           std::string("library.") + format})
                          .exitStatus,
                      0);
    }
};

const char* const kFormats[] = {"xml", "binary", "json", "openstep"};

TEST_F(EditCommandsTool, ReadCommandsInEveryFormat) {
    for (const std::string format : kFormats) {
        const std::string file = "library." + format;
        SCOPED_TRACE(file);
        Result printed = Run({"print", file});
        EXPECT_EQ(printed.exitStatus, 0) << printed.err;
        EXPECT_EQ(printed.out.rfind("{\n  \"Name\" = \"Library\"\n  \"Tracks\" = [\n", 0), 0u)
            << printed.out;
        Result raw = Run({"extract", ":Tracks:0:Tags:1", "raw", file});
        EXPECT_EQ(raw.out, "b\n");
        EXPECT_EQ(Run({"extract", "Tracks.0.Tags", "raw", file, "-n"}).out, "2");
        EXPECT_EQ(Run({"extract", "Tracks.0", "raw", file}).out, "Added\nID\nTags\n");
        EXPECT_EQ(Run({"extract", "Tracks.0.Tags", "json", file}).out, "[\n  \"a\",\n  \"b\"\n]\n");
        // A scalar on its own is a JSON scalar: nothing reads it back as a file.
        EXPECT_EQ(Run({"extract", "Tracks.0.Tags.1", "json", file}).out, "\"b\"\n");
        EXPECT_EQ(Run({"type", "Tracks", file}).out, "array\n");
        // Old-style text has no numbers: they read back as strings.
        const Result typed = Run({"type", "Version", file, "--expect", "integer"});
        EXPECT_EQ(typed.exitStatus, format == "openstep" ? 1 : 0) << typed.err;
        EXPECT_EQ(Run({"diff", "library.json", file}).exitStatus, format == "openstep" ? 1 : 0);
    }
    const Result xml = Run({"extract", "Tracks.1", "xml", "library.binary"});
    EXPECT_NE(xml.out.find("<dict>\n\t<key>ID</key>\n\t<integer>2</integer>"), std::string::npos)
        << xml.out;
}

TEST_F(EditCommandsTool, EditsKeepTheFormatAndOnlyTheEditedLines) {
    // An unedited file of the XML writer comes back byte for byte.
    const std::string original = Read("library.xml");
    ASSERT_EQ(Run({"convert", "library.xml", "--in-place"}).exitStatus, 0);
    EXPECT_EQ(Read("library.xml"), original);
    ASSERT_EQ(Run({"replace", "Tracks.1.Rating", "-float", "5", "library.xml"}).exitStatus, 0);
    std::string expected = original;
    expected.replace(expected.find("<real>4.5</real>"), 16, "<real>5</real>");
    EXPECT_EQ(Read("library.xml"), expected);
    ASSERT_EQ(
        Run({"insert", "Tracks.0.Tags", "-string", "c", "--append", "library.xml"}).exitStatus, 0);
    expected.insert(expected.find("\t\t\t</array>"), "\t\t\t\t<string>c</string>\n");
    EXPECT_EQ(Read("library.xml"), expected);
    ASSERT_EQ(Run({"remove", "Tracks.0.Added", "library.xml"}).exitStatus, 0);
    const size_t added = expected.find("\t\t\t<key>Added</key>");
    expected.erase(added, expected.find("\t\t\t<key>ID</key>") - added);
    EXPECT_EQ(Read("library.xml"), expected);

    for (const std::string format : kFormats) {
        const std::string file = "library." + format;
        SCOPED_TRACE(file);
        const std::string before = Read(file);
        Result edited = Run({"replace", "Name", "-string", "Renamed", file});
        EXPECT_EQ(edited.exitStatus, 0) << edited.err;
        EXPECT_EQ(Run({"extract", "Name", "raw", file}).out, "Renamed\n");
        // The first bytes say the format is kept.
        EXPECT_EQ(Read(file).substr(0, 2), before.substr(0, 2));
        ASSERT_EQ(Run({"insert", "New", "-json", "[\"x\"]", file, "-o", "out"}).exitStatus, 0);
        EXPECT_EQ(Read(file).find("New"), std::string::npos) << "-o leaves FILE alone";
        EXPECT_EQ(Run({"diff", file, "out"}).out, "added New: an array of 1 item\n");
        ASSERT_EQ(Run({"remove", "Tracks.0", "out"}).exitStatus, 0);
        EXPECT_EQ(Read("out").substr(0, 2), before.substr(0, 2));
        // The second track is now the first.
        EXPECT_EQ(Run({"extract", "Tracks.0.ID", "raw", "out"}).out, "2\n");
    }
}

TEST_F(EditCommandsTool, CreateWritesAnEmptyDictionaryInEachFormat) {
    for (const std::string format : kFormats) {
        const std::string file = "new." + format;
        ASSERT_EQ(Run({"create", format, file}).exitStatus, 0);
        ASSERT_EQ(Run({"insert", "k", "-string", "v", file}).exitStatus, 0) << file;
        EXPECT_EQ(Run({"print", file}).out, "{\n  \"k\" = \"v\"\n}\n") << file;
        EXPECT_EQ(Run({"diff", "new.xml", file}).exitStatus, 0) << file;
    }
    EXPECT_EQ(Read("new.json"), "{\n  \"k\": \"v\"\n}\n");
}

struct MessageCase {
    std::vector<std::string> args;
    int exitStatus;
    std::string out;
    std::string err;
};

TEST_F(EditCommandsTool, MessagesAndStatuses) {
    Write("other.json", R"({"Name": "Library", "Tracks": [{"ID": 1}], "Version": 3.0})");
    Write("merge.json", R"({"a": [{"x\ud800": 1, "x\udc00": 2}]})");
    const std::vector<MessageCase> cases = {
        {{"extract", "Tracks.5", "raw", "library.xml"},
         1,
         "",
         "plistbridge: extract: library.xml: no value at Tracks.5: the value at Tracks is an "
         "array of 2 items\n"},
        {{"extract", "Name", "raw", "library.xml", "--expect", "integer"},
         1,
         "",
         "plistbridge: extract: library.xml: the value at Name is a string, not integer\n"},
        {{"type", "Name.x", "library.binary"},
         1,
         "",
         "plistbridge: type: library.binary: no value at Name.x: the value at Name is a string, "
         "not an array or dictionary\n"},
        {{"extract", "a\\q", "raw", "library.xml"},
         2,
         "",
         "plistbridge: the key path 'a\\q' has a backslash at column 2 that escapes nothing (\\. "
         "and \\\\ are the escapes)\n"},
        {{"extract", "Name", "yaml", "library.xml"},
         2,
         "",
         "plistbridge: extract takes the FORMAT xml, binary, json, openstep or raw, not 'yaml' "
         "(see plistbridge --help)\n"},
        {{"replace", "Name", "library.xml"},
         2,
         "",
         "plistbridge: replace needs the value as -TYPE VALUE (TYPE bool, integer, float, "
         "string, date, data, hex, array, dictionary, xml or json) (see plistbridge --help)\n"},
        {{"replace", "Name", "-integer", "x1", "library.xml"},
         2,
         "",
         "plistbridge: replace: library.xml: -integer 'x1' is not an integer from -2^63 to 2^64 - "
         "1; give decimal digits or 0x hex\n"},
        {{"insert", "Name", "-bool", "true", "library.xml"},
         1,
         "",
         "plistbridge: insert: library.xml: the value at Name already exists (replace changes "
         "it)\n"},
        {{"remove", "", "library.xml"},
         1,
         "",
         "plistbridge: remove: library.xml: the top value cannot be inserted or removed (replace "
         "changes it)\n"},
        {{"insert", "Tags", "-date", "2024-01-05T10:00:26Z", "library.openstep"},
         2,
         "",
         "plistbridge: insert: library.openstep: -date '2024-01-05T10:00:26Z' is a date, which "
         "an old-style file cannot hold (old-style text has only strings, data, arrays and "
         "dictionaries)\n"},
        {{"replace", "Name", "-string", "x", "-"},
         2,
         "",
         "plistbridge: replace: -: standard input cannot be written back; give -o OUT\n"},
        {{"diff", "library.xml", "other.json"},
         1,
         "removed Tracks.0.Added: \"x\"\nremoved Tracks.0.Tags: an array of 2 items\nremoved "
         "Tracks.1: a dictionary of 2 keys\nchanged type Version: integer 3 -> float 3.0\n",
         ""},
        {{"diff", "-q", "library.xml", "other.json"}, 1, "", ""},
        // Keys that differ only in unpaired surrogates would become one in XML and binary.
        {{"convert", "merge.json", "--format", "binary", "-o", "merge.bin"},
         1,
         "",
         "plistbridge: convert: merge.json: the dictionary at a.0 has the keys \"x\\uD800\" and "
         "\"x\\uDC00\", which become one key once each unpaired surrogate is written as U+FFFD\n"},
        {{"insert", "Tracks.0.M", "-json", R"({"\udc00": 1, "\ufffd": 2})", "library.xml"},
         1,
         "",
         "plistbridge: insert: library.xml: the dictionary at Tracks.0.M has the keys \"\\uDC00\" "
         "and \"\xEF\xBF\xBD\", which become one key once each unpaired surrogate is written as "
         "U+FFFD\n"},
        {{"diff", "library.xml", "missing"},
         1,
         "",
         "plistbridge: diff: missing: No such file or directory\n"},
        {{"diff", "library.xml"},
         2,
         "",
         "plistbridge: diff takes FILE FILE (- for standard input) (see plistbridge --help)\n"},
        {{"convert", "library.xml", "-x"},
         2,
         "",
         "plistbridge: unknown option '-x' (see plistbridge --help)\n"},
        {{"load", "-x"}, 2, "", "plistbridge: unknown option '-x' (see plistbridge --help)\n"},
        {{"replace", "Name", "-string", "a", "-float", "1", "library.xml"},
         2,
         "",
         "plistbridge: give one -TYPE VALUE (see plistbridge --help)\n"},
        {{"print", "-integer", "1", "library.xml"},
         2,
         "",
         "plistbridge: -integer belongs to replace or insert (see plistbridge --help)\n"},
        {{"convert", "library.xml", "library.json", "-o", "x"},
         2,
         "",
         "plistbridge: convert -o writes one FILE; use --in-place for several (see plistbridge "
         "--help)\n"},
    };
    for (const MessageCase& c : cases) {
        const Result result = Run(c.args);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(result.out, c.out) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(EditCommandsTool, LintAndConvertOverSeveralFiles) {
    Write("bad.plist", "<plist><strin>x</string></plist>");
    const Result silent = Run({"lint", "-s", "library.xml", "bad.plist", "library.binary"});
    EXPECT_EQ(silent.exitStatus, 1);
    EXPECT_EQ(silent.out.find("OK"), std::string::npos) << silent.out;
    EXPECT_EQ(silent.out.rfind("bad.plist: ", 0), 0u) << silent.out;
    EXPECT_EQ(Run({"lint", "-s", "library.xml", "library.json"}).out, "");

    const Result both = Run({"convert", "library.binary", "library.openstep", "--format", "json"});
    EXPECT_EQ(both.exitStatus, 0) << both.err;
    EXPECT_NE(both.out.find("\"Name\""), both.out.rfind("\"Name\"")) << both.out;
    ASSERT_EQ(Run({"convert", "--in-place", "--format", "binary", "library.xml", "library.json"})
                  .exitStatus,
              0);
    EXPECT_EQ(Read("library.xml").substr(0, 8), "bplist00");
    EXPECT_EQ(Read("library.json").substr(0, 8), "bplist00");
}

TEST_F(EditCommandsTool, LoadReadsStandardInputAsBytes) {
    const Result fromFile = Run({"load", "library.binary"});
    ASSERT_EQ(fromFile.exitStatus, 0) << fromFile.err;
    EXPECT_EQ(Run({"load", "-"}, Read("library.binary")).out, fromFile.out);
    const Result piped =
        Run({"load", "-"}, "", "< /dev/null; cat library.binary | " + Quote(kTool) + " load -");
    EXPECT_EQ(piped.exitStatus, 0) << piped.err;
    EXPECT_EQ(piped.out, fromFile.out);
    EXPECT_EQ(Run({"load", "--text", "-"}, "<plist><true/></plist>").out, "true\n");
    const Result partRead =
        Run({"load", "-"}, "",
            "< stdin; { head -c 1 >/dev/null; " + Quote(kTool) + " load -; } <library.xml");
    EXPECT_EQ(partRead.exitStatus, 1);
}

// The words of --help: every command and every option with each of its spellings (-o of --to,
// -real of -float), which the man page, the README and the completion must also name.
std::vector<std::string> HelpWords(const std::string& help) {
    std::vector<std::string> words;
    std::istringstream lines(
        help.substr(help.find("Commands:"), help.find("Key paths") - help.find("Commands:")));
    bool options = false;
    for (std::string line; std::getline(lines, line);) {
        options = options || line == "Options:";
        const size_t start = line.find_first_not_of(' ');
        // Rows of commands and options; the value types are nested one level deeper.
        if (start != 2 && !(options && start == 4 && line[start] == '-')) continue;
        std::string word = line.substr(start, line.find_first_of(" ,", start) - start);
        if (word == "COMMAND" || word == "An") continue;
        words.push_back(word);
        const size_t end = std::min(line.find("  ", start), line.size());
        for (size_t comma = line.find(", -"); options && comma < end;
             comma = line.find(", -", comma + 1))
            words.push_back(
                line.substr(comma + 2, line.find_first_of(" ,", comma + 2) - comma - 2));
    }
    return words;
}

// True when `word` stands in `text` as a word of a shell list: "... -o --to|--in-place) ...".
bool NamesWord(const std::string& text, const std::string& word) {
    const std::string edges = " \"|()";
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if (at > 0 && edges.find(text[at - 1]) != std::string::npos && end < text.size() &&
            edges.find(text[end]) != std::string::npos)
            return true;
    }
    return false;
}

TEST_F(EditCommandsTool, HelpManPageAndReadmeAgree) {
    const Result help = Run({"--help"});
    ASSERT_EQ(help.exitStatus, 0);
    const std::string man = ReadFile(kSource + "/docs/plistbridge.1");
    const std::string readme = ReadFile(kSource + "/README.md");
    const std::string completion = ReadFile(kSource + "/docs/plistbridge.bash-completion");
    const std::vector<std::string> words = HelpWords(help.out);
    EXPECT_GT(words.size(), 45u);
    for (const char* word : {"-real", "-dict", "-o", "-c", "--force", "edit"})
        EXPECT_NE(std::find(words.begin(), words.end(), word), words.end()) << word;
    for (const std::string& word : words) {
        if (word != "-TYPE" && word != "--") {
            EXPECT_TRUE(NamesWord(completion, word)) << word << " is not in the completion";
        }
        std::string manWord = word;  // roff escapes each dash
        for (size_t at = 0; (at = manWord.find('-', at)) != std::string::npos; at += 2)
            manWord.insert(at, "\\");
        EXPECT_NE(man.find(manWord), std::string::npos) << word << " is not in the man page";
        EXPECT_NE(readme.find(word), std::string::npos) << word << " is not in the README";
    }
    const Result version = Run({"--version"});
    EXPECT_EQ(version.out.rfind("plistbridge ", 0), 0u);
    EXPECT_NE(man.find(version.out.substr(12, version.out.size() - 13)), std::string::npos);
}

// Text files are edited in place: a comment and the file's spelling of a number stay, a UTF-16
// strings file stays UTF-16; a layout the scanners do not edit is rewritten whole, with a note.
TEST_F(EditCommandsTool, TextFilesChangeOnlyTheEditedEntry) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<!-- keep -->\n<plist version=\"1.0\">\n<dict>\n"
        "  <key>a</key>\n  <real>1.50</real>\n  <key>b</key>\n  <string>x</string>\n"
        "</dict>\n</plist>\n";
    Write("edit.plist", xml);
    const Result replaced = Run({"replace", "b", "-string", "y", "edit.plist"});
    EXPECT_EQ(replaced.exitStatus, 0) << replaced.err;
    EXPECT_EQ(replaced.err, "");
    std::string expected = xml;
    expected.replace(expected.find("<string>x"), 9, "<string>y");
    EXPECT_EQ(Read("edit.plist"), expected);

    Write("utf16.strings", std::string("\xFF\xFE\"\0k\0\"\0=\0\"\0v\0\"\0;\0", 18));
    EXPECT_EQ(Run({"replace", "k", "-string", "w", "utf16.strings"}).exitStatus, 0);
    EXPECT_EQ(Read("utf16.strings"), std::string("\xFF\xFE\"\0k\0\"\0=\0\"\0w\0\"\0;\0", 18));

    Write("alone.strings", "\"Alone\";\n\"b\" = \"c\";\n");
    const Result whole = Run({"replace", "Alone", "-string", "y", "alone.strings"});
    EXPECT_EQ(whole.exitStatus, 0);
    EXPECT_EQ(whole.err,
              "plistbridge: replace: alone.strings: rewritten whole: a key without a value\n");
    EXPECT_EQ(Read("alone.strings"), "{\n\tAlone = y;\n\tb = c;\n}\n");
}

// The clauses of one edit are all made in the text's bytes, so the file changes by their
// entries alone; one clause the bytes cannot take has the file written whole with every clause
// made; a clause refused (a value the format cannot hold, a path with no value) writes nothing
// of its file, and the other files of the run are still edited.
struct ClausesCase {
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes before
    std::vector<std::string> args;                           // after "edit" or the command
    int exitStatus;
    std::vector<std::string> after;  // each file's bytes after; empty: as before
    std::string err;
};

TEST_F(EditCommandsTool, ClausesAreMadeTogetherInTheBytes) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<!-- keep -->\n<plist version=\"1.0\">\n<dict>\n"
        "  <key>a</key>\n  <real>1.50</real>\n  <key>b</key>\n  <string>x</string>\n"
        "</dict>\n</plist>\n";
    const std::string oldStyle = "/* keep */\n{\n\ta = 1;\n\tb = x;\n}\n";
    const std::string twice = "{\n\ta = 1;\n\td = {x = 1;};\n\td = {x = 2;};\n}\n";
    const std::string oldStyleHolds =
        ", which an old-style file cannot hold (old-style text has "
        "only strings, data, arrays and dictionaries)\n";
    const std::vector<ClausesCase> cases = {
        {{{"f.plist", xml}},
         {"edit", "-c", "replace b -string y", "-c", "insert c -integer 5", "-c", "remove a"},
         0,
         {"<?xml version=\"1.0\"?>\n<!-- keep -->\n<plist version=\"1.0\">\n<dict>\n"
          "  <key>b</key>\n  <string>y</string>\n  <key>c</key>\n  <integer>5</integer>\n"
          "</dict>\n</plist>\n"},
         ""},
        {{{"f.strings", oldStyle}},
         {"edit", "-c", "replace b -string y", "-c", "insert c -hex 00ff", "-c", "remove a"},
         0,
         {"/* keep */\n{\n\tb = y;\n\tc = <00ff>;\n}\n"},
         ""},
        // The second clause meets a key twice on its path: all is written whole, with a note.
        {{{"f.strings", twice}},
         {"edit", "-c", "replace a -string 2", "-c", "replace d.x -string 3"},
         0,
         {"{\n\ta = 2;\n\td = {\n\t\tx = 3;\n\t};\n}\n"},
         "plistbridge: edit: f.strings: rewritten whole: a key on the path comes twice\n"},
        {{{"f.strings", oldStyle}},
         {"edit", "-c", "replace b -string y", "-c", "insert n -integer 5"},
         2,
         {""},
         "plistbridge: edit: f.strings: clause 2: -integer '5' is an integer" + oldStyleHolds},
        {{{"f.plist", xml}},
         {"edit", "-c", "replace b -string y", "-c", "remove z"},
         1,
         {""},
         "plistbridge: edit: f.plist: clause 2: no value at z\n"},
        {{{"f.plist", xml}, {"f.strings", oldStyle}},
         {"insert", "n", "-bool", "yes"},
         2,
         {"<?xml version=\"1.0\"?>\n<!-- keep -->\n<plist version=\"1.0\">\n<dict>\n"
          "  <key>a</key>\n  <real>1.50</real>\n  <key>b</key>\n  <string>x</string>\n"
          "  <key>n</key>\n  <true/>\n</dict>\n</plist>\n",
          ""},
         "plistbridge: insert: f.strings: -bool 'yes' is a bool" + oldStyleHolds},
    };
    for (const ClausesCase& c : cases) {
        std::vector<std::string> args = c.args;
        for (const auto& [name, bytes] : c.files) {
            Write(name, bytes);
            args.push_back(name);
        }
        SCOPED_TRACE(c.args[2] + " … " + c.files[0].first);
        const Result result = Run(args);
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(result.err, c.err);
        for (size_t i = 0; i < c.files.size(); ++i)
            EXPECT_EQ(Read(c.files[i].first), c.after[i].empty() ? c.files[i].second : c.after[i]);
    }
}

}  // namespace

// Command-line shapes the subprocess tests do not reach: codes written in every way, how
// --optional and KEY=VALUE share the argument list, edit's clauses as a shell splits them, the
// type words' synonyms, and the suggestions for a word that is almost a known one.
#include "common/FourCharCode.h"
#include "support/PlatformTest.h"
#include "tools/cli/ToolArguments.h"

namespace {

struct CodeCase {
    const char* text;
    bool valid;
    FourCharCode code;
};

const CodeCase kCodeCases[] = {
    {"plsL", true, FourCC("plsL")},
    {"----", true, FourCC("----")},
    {"a/b=", true, FourCC("a/b=")},
    {"'ldt '", true, FourCC("ldt ")},
    {"'\\x00abc'", true, FourCC("\0abc")},
    {"'a\\'bc'", true, FourCC("a'bc")},
    {"abc", false, 0},
    {"abcde", false, 0},
    {"'abc'", false, 0},
    {"'abcd", false, 0},
};

class ToolCodeArgumentTest : public PlatformTestWithParam<CodeCase> {};

TEST_P(ToolCodeArgumentTest, ReadsCodes) {
    FourCharCode code = 0;
    EXPECT_EQ(ParseCodeArgument(GetParam().text, code), GetParam().valid);
    if (GetParam().valid) {
        EXPECT_EQ(code, GetParam().code);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, ToolCodeArgumentTest, ::testing::ValuesIn(kCodeCases));

class ToolArgumentsTest : public PlatformTest {};

TEST_F(ToolArgumentsTest, SendSplitsCodesValuesAndOptionalKeywords) {
    ToolArguments args;
    std::string error;
    ASSERT_TRUE(ParseToolArguments({"send", "'a/bc'/'d/ef'", "----=[1]", "--optional", "XMlO",
                                    "----", "'k=ey'=\"v\"", "--bundle", "/b"},
                                   args, error))
        << error;
    EXPECT_EQ(args.command, ToolCommand::Send);
    EXPECT_EQ(args.eventClass, FourCC("a/bc"));
    EXPECT_EQ(args.eventID, FourCC("d/ef"));
    ASSERT_EQ(args.parameters.size(), 2u);
    EXPECT_EQ(args.parameters[0].keyword, FourCC("----"));
    EXPECT_EQ(args.parameters[0].valueText, "[1]");
    EXPECT_EQ(args.parameters[0].valueColumn, 5u);
    EXPECT_EQ(args.parameters[1].keyword, FourCC("k=ey"));
    EXPECT_EQ(args.parameters[1].valueColumn, 7u);
    EXPECT_EQ(args.optionalKeywords, (std::vector<FourCharCode>{FourCC("XMlO"), FourCC("----")}));
    EXPECT_EQ(args.bundlePath, "/b");
}

TEST_F(ToolArgumentsTest, UsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"load"}, "load takes one FILE, or --text TEXT"},
        {{"load", "a", "b"}, "load takes one FILE, or --text TEXT"},
        {{"load", "--text", "x", "a"}, "load --text takes no file"},
        {{"store"}, "store takes one VALUE (in the notation, or - for standard input)"},
        {{"store", "1", "--to"}, "--to needs a value"},
        {{"send"}, "send needs CLASS/ID, e.g. Gmqb/plsL"},
        {{"send", "Gmqb/plsL", "----"}, "'----' is not KEY=VALUE with a four-char KEY"},
        {{"send", "Gmqb/plsL", "--optional"}, "--optional needs at least one keyword"},
        {{"store", "1", "--optional", "XMlO"}, "--optional belongs to send"},
    };
    for (const auto& [args, message] : cases) {
        ToolArguments parsed;
        std::string error;
        EXPECT_FALSE(ParseToolArguments(args, parsed, error)) << message;
        EXPECT_EQ(error, message);
    }
}

TEST_F(ToolArgumentsTest, OptionSpellingsAndTheEndOfOptions) {
    ToolArguments args;
    std::string error;
    for (const std::vector<std::string>& spelling :
         {std::vector<std::string>{"convert", "in", "-o", "out"},
          std::vector<std::string>{"convert", "--to", "out", "in"},
          std::vector<std::string>{"--to=out", "convert", "in"}}) {
        ASSERT_TRUE(ParseToolArguments(spelling, args, error)) << error;
        EXPECT_EQ(args.command, ToolCommand::Convert);
        EXPECT_EQ(args.files, std::vector<std::string>{"in"});
        EXPECT_EQ(args.destination, "out");
        EXPECT_EQ(args.format, "xml");
    }
    // After "--" everything is an operand.
    ASSERT_TRUE(ParseToolArguments({"convert", "--format=json", "--", "--strict"}, args, error))
        << error;
    EXPECT_EQ(args.destination, std::nullopt);
    EXPECT_EQ(args.format, "json");
    EXPECT_FALSE(args.strict);
    EXPECT_EQ(args.files, std::vector<std::string>{"--strict"});
    ASSERT_TRUE(ParseToolArguments({"lint", "a", "--", "-h", "-"}, args, error)) << error;
    EXPECT_EQ(args.files, (std::vector<std::string>{"a", "-h", "-"}));
    // load - reads standard input as a file: bytes, in any format.
    ASSERT_TRUE(ParseToolArguments({"load", "-"}, args, error)) << error;
    EXPECT_FALSE(args.loadText);
    EXPECT_EQ(args.operand, "-");
    for (const char* negative : {"-5", "-.5", "-inf"}) {
        ASSERT_TRUE(ParseToolArguments({"store", negative}, args, error)) << error;
        EXPECT_EQ(args.operand, negative);
    }
    // -TYPE takes the next argument as its value, whatever it looks like.
    ASSERT_TRUE(
        ParseToolArguments({"replace", "a.b", "-integer", "-7", "f", "-o", "-"}, args, error))
        << error;
    EXPECT_EQ(args.command, ToolCommand::Replace);
    EXPECT_EQ(args.keyPath, "a.b");
    EXPECT_EQ(args.valueType, "integer");
    EXPECT_EQ(args.valueText, "-7");
    EXPECT_EQ(args.files, std::vector<std::string>{"f"});
    EXPECT_EQ(args.destination, "-");
    ASSERT_TRUE(ParseToolArguments({"insert", "", "-array", "--append", "f"}, args, error))
        << error;
    EXPECT_EQ(args.valueType, "array");
    EXPECT_TRUE(args.append);
    ASSERT_TRUE(
        ParseToolArguments({"extract", "k", "raw", "-", "-n", "--expect=string"}, args, error))
        << error;
    EXPECT_EQ(args.format, "raw");
    EXPECT_TRUE(args.noNewline);
    EXPECT_EQ(args.expect, "string");
    ASSERT_TRUE(ParseToolArguments({"lint", "--help"}, args, error)) << error;
    EXPECT_EQ(args.command, ToolCommand::Help);
    EXPECT_EQ(args.helpTopic, "lint");
}

TEST_F(ToolArgumentsTest, RepeatedAndMisplacedOptions) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"convert", "a", "-o", "x", "-o", "y"}, "option --to given twice"},
        {{"convert", "a", "--to=x", "--to", "y"}, "option --to given twice"},
        {{"--bundle", "b", "load", "a", "--bundle=c"}, "option --bundle given twice"},
        {{"convert", "a", "--strict", "--strict"}, "option --strict given twice"},
        {{"load", "a", "--strict"}, "--strict belongs to convert"},
        {{"convert", "a", "--pretty"}, "--pretty belongs to load"},
        {{"lint", "a", "-o", "x"},
         "--to belongs to store, convert, extract, replace, insert, remove or edit"},
        {{"convert", "a", "--format"}, "--format needs a value"},
        {{"convert", "a", "--format="}, "--format needs a value"},
        {{"convert", "a", "--format=YAML"},
         "--format takes xml, binary, json or openstep, not 'YAML'"},
        {{"convert", "a", "b", "-o", "x"},
         "convert -o writes one FILE; use --in-place for several"},
        {{"convert", "a", "--in-place", "-o", "x"},
         "convert writes each FILE back with --in-place, or one FILE to -o OUT"},
        {{"lint", "-t", "a"}, "unknown option '-t'"},
        {{"extract", "a", "raw"}, "extract takes KEYPATH FORMAT FILE (- for standard input)"},
        {{"create", "raw", "f"},
         "create takes the FORMAT xml, binary, json or openstep, not 'raw'"},
        {{"type", "a", "f", "--expect", "reel"},
         "--expect takes bool, integer, float, string, date, data, uid, array or dictionary, not "
         "'reel' (did you mean real?)"},
        {{"insert", "a", "-array", "f", "-dictionary"}, "give one -TYPE VALUE"},
        {{"store", "1", "--to-file", "x"}, "unknown option '--to-file'"},
    };
    for (const auto& [args, message] : cases) {
        ToolArguments parsed;
        std::string error;
        EXPECT_FALSE(ParseToolArguments(args, parsed, error)) << message;
        EXPECT_EQ(error, message);
    }
}

struct SplitCase {
    const char* text;
    std::vector<std::string> words;  // empty with `error` set when refused
    const char* error;
};

TEST_F(ToolArgumentsTest, SplitsAClauseAsAShellWould) {
    const std::vector<SplitCase> cases = {
        {"replace Window.Zoom -real 2", {"replace", "Window.Zoom", "-real", "2"}, ""},
        {"  remove\t'Old key'  ", {"remove", "Old key"}, ""},
        {R"(replace "a \"b\" \\ \c" -string '\n')",
         {"replace", R"(a "b" \ \c)", "-string", "\\n"},
         ""},
        {R"(remove a\.b\ c)", {"remove", "a.b c"}, ""},
        {"replace '' -string \"\"", {"replace", "", "-string", ""}, ""},
        {"replace x-'y'\"z\"", {"replace", "x-yz"}, ""},
        {"remove 'a", {}, "a ' is not closed"},
        {"remove \"a", {}, "a \" is not closed"},
        {"remove a\\", {}, "a backslash ends it"},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> words;
        std::string error;
        EXPECT_EQ(SplitClause(c.text, words, error), c.words.size() > 0) << c.text;
        if (!c.words.empty()) {
            EXPECT_EQ(words, c.words) << c.text;
        } else {
            EXPECT_EQ(error, c.error) << c.text;
        }
    }
}

TEST_F(ToolArgumentsTest, SuggestsTheNearestWord) {
    const std::vector<std::string_view> options = {"--append", "--format", "-float",     "-integer",
                                                   "-o",       "-dict",    "-dictionary"};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"-flaot", " (did you mean -float?)"},
        {"--float", " (did you mean -float?)"},
        {"-append", " (did you mean --append?)"},
        {"--fromat", " (did you mean --format?)"},
        {"-int", " (did you mean -integer?)"},
        {"-dic", " (did you mean -dict?)"},
        {"-dictonary", " (did you mean -dictionary?)"},
        {"-x", ""},
        {"-oo", ""},
        {"--zebra", ""},
        {"-floatingpoint", ""},
    };
    for (const auto& [word, suggestion] : cases)
        EXPECT_EQ(Suggestion(word, options), suggestion) << word;
}

TEST_F(ToolArgumentsTest, EditClausesTypeWordsAndNewOperands) {
    ToolArguments args;
    std::string error;
    ASSERT_TRUE(ParseToolArguments({"edit", "-c", "replace 'a b' -real 2", "f", "--clause",
                                    "insert t -dict --append", "-c", "remove 'c\\.d'", "-o", "out"},
                                   args, error))
        << error;
    EXPECT_EQ(args.command, ToolCommand::Edit);
    EXPECT_EQ(args.files, std::vector<std::string>{"f"});
    ASSERT_EQ(args.clauses.size(), 3u);
    EXPECT_EQ(args.clauses[0].command, ToolCommand::Replace);
    EXPECT_EQ(args.clauses[0].keyPath, "a b");
    EXPECT_EQ(args.clauses[0].valueType, "float");
    EXPECT_EQ(args.clauses[0].valueText, "2");
    EXPECT_EQ(args.clauses[0].text, "replace 'a b' -real 2");
    EXPECT_EQ(args.clauses[1].command, ToolCommand::Insert);
    EXPECT_EQ(args.clauses[1].valueType, "dictionary");
    EXPECT_TRUE(args.clauses[1].append);
    EXPECT_EQ(args.clauses[2].command, ToolCommand::Remove);
    EXPECT_EQ(args.clauses[2].keyPath, "c\\.d");
    // replace, insert and remove make one clause of their own, over several files.
    ASSERT_TRUE(
        ParseToolArguments({"replace", "k", "-string", "-", "a", "b", "--in-place"}, args, error))
        << error;
    EXPECT_EQ(args.files, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(args.clauses.size(), 1u);
    EXPECT_EQ(args.clauses[0].valueText, "-");
    ASSERT_TRUE(ParseToolArguments({"type", "k", "f", "--expect", "dict"}, args, error)) << error;
    EXPECT_EQ(args.expect, "dictionary");
    ASSERT_TRUE(ParseToolArguments({"print", "f"}, args, error)) << error;
    EXPECT_EQ(args.keyPath, "");
    ASSERT_TRUE(ParseToolArguments({"print", "f", "a.b"}, args, error)) << error;
    EXPECT_EQ(args.keyPath, "a.b");
    ASSERT_TRUE(ParseToolArguments({"create", "xml", "-", "--force"}, args, error)) << error;
    EXPECT_TRUE(args.force);
    EXPECT_EQ(args.files, std::vector<std::string>{"-"});
    ASSERT_TRUE(ParseToolArguments({"extract", "k", "json", "f", "-o", "out"}, args, error))
        << error;
    EXPECT_EQ(args.destination, "out");
}

TEST_F(ToolArgumentsTest, ClauseAndStandardInputErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"edit", "f"}, "edit needs at least one -c 'CLAUSE'"},
        {{"edit", "-c", "replace a", "f"},
         "clause 1 'replace a': replace needs the value as -TYPE VALUE (TYPE bool, integer, "
         "float, string, date, data, hex, array, dictionary, xml or json)"},
        {{"edit", "-c", "remove a", "-c", "print a", "f"},
         "clause 2 'print a': a clause is a replace, insert or remove, not 'print'"},
        {{"edit", "-c", " ", "f"},
         "clause 1 ' ': a clause is a replace, insert or remove, not empty"},
        {{"edit", "-c", "remove a f", "f"},
         "clause 1 'remove a f': a remove clause takes KEYPATH and no FILE"},
        {{"edit", "-c", "remove a -o x", "f"},
         "clause 1 'remove a -o x': -o cannot stand in a clause"},
        {{"edit", "-c", "remove a --help", "f"},
         "clause 1 'remove a --help': --help cannot stand in a clause"},
        {{"edit", "-c", "replace a -flaot 1", "f"},
         "clause 1 'replace a -flaot 1': unknown option '-flaot' (did you mean -float?)"},
        {{"edit", "-c", "remove 'a", "f"}, "clause 1 'remove 'a': a ' is not closed"},
        {{"edit", "-c", "replace a -string x", "-string", "y", "f"},
         "-string belongs to replace or insert"},
        {{"edit", "-c", "replace a -string -", "-c", "replace b -json -", "f"},
         "standard input is read once: give - as one FILE or one VALUE"},
        {{"replace", "a", "-xml", "-", "-", "-o", "out"},
         "standard input is read once: give - as one FILE or one VALUE"},
        {{"remove", "a", "f", "g", "-o", "x"},
         "remove -o writes one FILE; without it each FILE is rewritten"},
        {{"remove", "a", "f", "--in-place", "-o", "x"},
         "remove writes each FILE back with --in-place, or one FILE to -o OUT"},
        {{"print", "f", "a", "b"}, "print takes FILE [KEYPATH] (- for standard input)"},
        {{"create", "jsn", "f"},
         "create takes the FORMAT xml, binary, json or openstep, not 'jsn' (did you mean json?)"},
        {{"convert", "f", "--format", "bin"},
         "--format takes xml, binary, json or openstep, not 'bin' (did you mean binary?)"},
        {{"replace", "a", "-flaot", "1", "f"}, "unknown option '-flaot' (did you mean -float?)"},
        {{"diff", "a", "b", "-quiet"}, "unknown option '-quiet' (did you mean --quiet?)"},
        {{"create", "xml", "f", "--forse"}, "unknown option '--forse' (did you mean --force?)"},
        {{"print", "--force", "f"}, "--force belongs to create"},
    };
    for (const auto& [args, message] : cases) {
        ToolArguments parsed;
        std::string error;
        EXPECT_FALSE(ParseToolArguments(args, parsed, error)) << message;
        EXPECT_EQ(error, message);
    }
}

}  // namespace

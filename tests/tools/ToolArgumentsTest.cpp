// Command-line shapes the subprocess tests do not reach: codes written in every way, and how
// --optional and KEY=VALUE share the argument list.
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
         "--expect takes bool, integer, float, string, date, data, array or dictionary, not "
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

}  // namespace

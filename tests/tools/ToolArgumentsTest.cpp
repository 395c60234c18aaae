// Command-line shapes the subprocess tests do not reach: codes written in every way, and how
// --optional and KEY=VALUE share the argument list.
#include "common/FourCharCode.h"
#include "support/PlatformTest.h"
#include "tools/ToolArguments.h"

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

}  // namespace

// Lists and records inside others are printed from their flat form: the text is the one the
// item-by-item walk gives, whatever the item holds and wherever it sits, and parses back.
#include <string>

#include "notation/NotationTestSupport.h"
#include "support/PlatformTest.h"

namespace {

class NotationFlatPrintTest : public PlatformTest {};

OwnedDesc Parse(const std::string& text) {
    OwnedDesc desc;
    NotationError error;
    EXPECT_TRUE(ParseDesc(text, desc, error)) << text << ": " << error.Describe();
    return desc;
}

// Values as the printer writes them; each is printed inside small and large containers.
const char* const kValues[] = {
    "[1, \"a\", 2.5, true, false]",
    "{'pnam':\"x\", 'usrf':[\"k\", 1, \"l\", [2]]}",
    "'abcd'{'efgh':'shor'(5), 'ijkl':'comp'(5)}",
    "[[], {}, [[1]], [[[]]]]",
    "[\"q\\\"b\\\\s\\n\\t\\u001F\", \"\u00e9\u20ac\U0001F600\", \"\"]",
    "['null'(), 'abcd'(\u00AB0102\u00BB), 'abcd'()]",
    "['abcd'(\u00AB4145666C00\u00BB), \"\\uD800\"]",
    "[-7, 4294967296, -9223372036854775808, 'magn'(7), 'ucom'(18446744073709551615)]",
    "['sing'(1.5), 1e+16, 0.0001, nan, -inf, 'fixd'(0.5)]",
    "['utf8'(\"x\"), 'TEXT'(\"\u00e9\"), 'enum'('yes '), 'cobj', 'ldt '(3)]",
};

TEST_F(NotationFlatPrintTest, NestedContainersPrintAsWalkedAndParseBack) {
    const std::string padding = "\"" + std::string(5000, 'x') + "\"";  // past the first fetch
    for (const char* value : kValues) {
        for (const std::string& text : {
                 "[" + std::string(value) + "]",
                 "{'abcd':" + std::string(value) + "}",
                 "[[" + std::string(value) + ", " + padding + "]]",
                 "{'usrf':[\"k\", {'abcd':" + std::string(value) + ", 'efgh':" + padding + "}]}",
             }) {
            SCOPED_TRACE(text);
            OwnedDesc desc = Parse(text);
            EXPECT_EQ(Print(desc.Get()), text);
            OwnedDesc back = Parse(Print(desc.Get()));
            EXPECT_TRUE(SameDesc(desc.Get(), back.Get()));
        }
    }
}

// A second fetch of a list too large for the first that fails is taken the descriptor route:
// the same text.
TEST_F(NotationFlatPrintTest, FailedWholeFetchFallsBackToTheWalk) {
    const std::string text = "[1, [\"" + std::string(5000, 'y') + "\", {'abcd':[2]}]]";
    OwnedDesc desc = Parse(text);
    PTFailCalls("AEGetNthPtr", 2, 1, errAECorruptData);
    EXPECT_EQ(Print(desc.Get()), text);
    EXPECT_TRUE(PTFaultWasDelivered());
    PTClearFaults();
}

}  // namespace

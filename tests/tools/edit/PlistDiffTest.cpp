// diff by value: each kind of difference, nested, arrays of different lengths, and types that
// look alike.
#include "support/PlatformTest.h"
#include "tests/tools/edit/EditTestSupport.h"
#include "tools/edit/PlistDiff.h"

namespace {

struct DiffCase {
    const char* before;
    const char* after;
    const char* lines;  // every difference, one a line
};

const DiffCase kDiffCases[] = {
    {R"({"a": [1, {"b": "x"}]})", R"({"a": [1, {"b": "x"}]})", ""},
    {R"({"a": 1})", R"({"a": 2})", "changed a: 1 -> 2\n"},
    {R"({"a": 1})", R"({"a": 1.0})", "changed type a: integer 1 -> float 1.0\n"},
    {R"({"a": true})", R"({"a": 1})", "changed type a: bool true -> integer 1\n"},
    {R"({"a": "1"})", R"({"a": [1]})", "changed type a: string \"1\" -> an array of 1 item\n"},
    {R"({"a": 1, "b": 2})", R"({"b": 2, "c": 3})", "removed a: 1\nadded c: 3\n"},
    {R"({"x": {"y": {"z.w": [1, 2, 3]}}})", R"({"x": {"y": {"z.w": [1, 5]}}})",
     "changed x.y.z\\.w.1: 2 -> 5\nremoved x.y.z\\.w.2: 3\n"},
    {R"([1])", R"([1, {"k": []}, "s"])", "added 1: a dictionary of 1 key\nadded 2: \"s\"\n"},
    {R"([1])", R"({"0": 1})", "changed type (top): an array of 1 item -> a dictionary of 1 key\n"},
    // A {"CF$UID": n} dictionary of a 32-bit integer is a UID: one value, its own type.
    {R"({"a": {"CF$UID": 5}})", R"({"a": {"CF$UID": 5}})", ""},
    {R"({"a": {"CF$UID": 5}})", R"({"a": {"CF$UID": 6}})", "changed a: UID 5 -> UID 6\n"},
    {R"({"a": {"CF$UID": 5}})", R"({"a": {"CF$UID": 5, "b": 1}})",
     "changed type a: UID 5 -> a dictionary of 2 keys\n"},
    {R"({"a": {"CF$UID": 5}})", R"({"a": {"CF$UID": 5.0}})",
     "changed type a: UID 5 -> a dictionary of 1 key\n"},
    {R"({"a": {"CF$UID": 4294967295}})", R"({"a": {"CF$UID": 4294967296}})",
     "changed type a: UID 4294967295 -> a dictionary of 1 key\n"},
    {R"({"a": {"CF$UID": -1}})", R"({"a": {"CF$UID": -2}})", "changed a.CF$UID: -1 -> -2\n"},
    {R"([{"CF$UID": 0}])", R"([0])", "changed type 0: UID 0 -> integer 0\n"},
};

class DiffTest : public PlatformTestWithParam<DiffCase> {};

TEST_P(DiffTest, NamesEachDifference) {
    const DiffCase& c = GetParam();
    CFRef<CFPropertyListRef> before = FromJSON(c.before);
    CFRef<CFPropertyListRef> after = FromJSON(c.after);
    std::string lines;
    size_t count = plistedit::DiffPlists(
        before.Get(), after.Get(), [&](const plistedit::Difference& difference) {
            lines += plistedit::DescribeDifference(difference) + "\n";
        });
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(count, static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n')));
}

INSTANTIATE_TEST_SUITE_P(Differences, DiffTest, ::testing::ValuesIn(kDiffCases));

using DiffLimitTest = PlatformTest;

TEST_F(DiffLimitTest, RefusesAContainerSharedPastTheBound) {
    CFRef<CFPropertyListRef> before = SharedPairs(), after = SharedPairs();
    std::string error;
    plistedit::DiffPlists(
        before.Get(), after.Get(), [](const plistedit::Difference&) {}, &error);
    EXPECT_NE(error.find("is a container repeated more than 1536 times"), std::string::npos)
        << error;
}

}  // namespace

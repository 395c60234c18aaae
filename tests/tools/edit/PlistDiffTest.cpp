// diff by value: each kind of difference, nested, arrays aligned by their items (and by index
// past the alignment's bound), and types that look alike.
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
    {R"({"": 1})", R"({})", "removed \"\": 1\n"},
    // Array items are aligned: one removed or inserted item is one line, wherever it is.
    {R"([{"n":0},{"n":1},{"n":2},{"n":3}])", R"([{"n":0},{"n":2},{"n":3}])",
     "removed 1: a dictionary of 1 key\n"},
    {R"(["a","b","c"])", R"(["a","x","b","c"])", "added 1: \"x\"\n"},
    {R"([1,2,3,4])", R"([0,1,2,3,5])", "added 0: 0\nchanged 3: 4 -> 5\n"},
    {R"(["a","b"])", R"(["b","a"])", "removed 0: \"a\"\nadded 1: \"a\"\n"},
    {R"([1,2,3,4,5])", R"([1,3,4,50])", "removed 1: 2\nchanged 4: 5 -> 50\n"},
    // Items between two matches are compared in pairs, so a changed item shows what changed.
    {R"([{"k":"a"},{"k":"b"},{"k":"c"}])", R"([{"k":"a"},{"k":"B"},{"k":"c"}])",
     "changed 1.k: \"b\" -> \"B\"\n"},
    {R"({"t":[{"id":1,"x":[1]},{"id":2,"x":[2]},{"id":3}]})",
     R"({"t":[{"id":1,"x":[1]},{"id":3},{"id":4}]})",
     "removed t.1: a dictionary of 2 keys\nadded t.2: a dictionary of 1 key\n"},
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

CFRef<CFPropertyListRef> Numbers(size_t count,
                                 const std::vector<std::pair<size_t, int>>& inserted) {
    CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (size_t i = 0; i < count; ++i) {
        for (const auto& [at, value] : inserted)
            if (at == i) {
                CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &value));
                CFArrayAppendValue(array.Get(), number.Get());
            }
        const int value = static_cast<int>(i);
        CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &value));
        CFArrayAppendValue(array.Get(), number.Get());
    }
    return CFRef<CFPropertyListRef>(array.Detach());
}

std::vector<std::string> DiffLines(CFPropertyListRef before, CFPropertyListRef after) {
    std::vector<std::string> lines;
    plistedit::DiffPlists(before, after, [&](const plistedit::Difference& difference) {
        lines.push_back(plistedit::DescribeDifference(difference));
    });
    return lines;
}

TEST_F(DiffLimitTest, AlignsLongArraysWithinTheBound) {
    // 200,000 items with one inserted: the common start and end leave nothing to align.
    CFRef<CFPropertyListRef> many = Numbers(200000, {});
    EXPECT_EQ(DiffLines(many.Get(), Numbers(200000, {{100000, -1}}).Get()),
              std::vector<std::string>{"added 100000: -1"});
    // Two insertions 1,500 items apart: a middle of 1,500 by 1,502 items fits the table.
    CFRef<CFPropertyListRef> base = Numbers(3000, {});
    EXPECT_EQ(DiffLines(base.Get(), Numbers(3000, {{700, -1}, {2200, -2}}).Get()),
              (std::vector<std::string>{"added 700: -1", "added 2201: -2"}));
    // 3,000 by 3,002 does not: the middle is compared by index, each shifted item a change.
    const std::vector<std::string> byIndex =
        DiffLines(base.Get(), Numbers(3000, {{0, -1}, {2999, -2}}).Get());
    ASSERT_EQ(byIndex.size(), 3001u);
    EXPECT_EQ(byIndex.front(), "changed 0: 0 -> -1");
    EXPECT_EQ(byIndex.back(), "added 3000: -2");
}

}  // namespace

// Key paths: both forms and their escapes, the text messages print, and looking a value up.
#include "support/PlatformTest.h"
#include "tests/tools/edit/EditTestSupport.h"
#include "tools/edit/KeyPath.h"

namespace {

using plistedit::KeyPath;

struct ParseCase {
    const char* text;
    std::vector<std::string> components;  // empty with `error` for a refusal
    const char* formatted;                // what FormatKeyPath writes back
    const char* error;
};

const ParseCase kParseCases[] = {
    {"", {}, "", nullptr},
    {"a", {"a"}, "a", nullptr},
    {"Tracks.3.Name", {"Tracks", "3", "Name"}, "Tracks.3.Name", nullptr},
    {"a\\.b.c\\\\d", {"a.b", "c\\d"}, "a\\.b.c\\\\d", nullptr},
    {"a..b", {"a", "", "b"}, "a..b", nullptr},
    {"a.", {"a", ""}, "a.", nullptr},
    {"a/b c", {"a/b c"}, "a/b c", nullptr},
    {"\\:x", {":x"}, "\\:x", nullptr},
    {"a.:b", {"a", ":b"}, "a.\\:b", nullptr},
    {":CFBundleDocumentTypes:2:CFBundleTypeExtensions",
     {"CFBundleDocumentTypes", "2", "CFBundleTypeExtensions"},
     "CFBundleDocumentTypes.2.CFBundleTypeExtensions",
     nullptr},
    {":", {}, "", nullptr},
    {":a.b:c\\:d", {"a.b", "c:d"}, "a\\.b.c:d", nullptr},
    {"a\\b",
     {},
     nullptr,
     "the key path 'a\\b' has a backslash at column 2 that escapes nothing (\\. and \\\\ are the "
     "escapes)"},
    {"a\\",
     {},
     nullptr,
     "the key path 'a\\' has a backslash at column 2 that escapes nothing (\\. and \\\\ are the "
     "escapes)"},
};

class KeyPathParseTest : public PlatformTestWithParam<ParseCase> {};

TEST_P(KeyPathParseTest, ReadsAndWritesBack) {
    const ParseCase& c = GetParam();
    KeyPath path;
    std::string error;
    ASSERT_EQ(plistedit::ParseKeyPath(c.text, path, error), c.error == nullptr) << error;
    if (c.error) {
        EXPECT_EQ(error, c.error);
        return;
    }
    EXPECT_EQ(path.components, c.components);
    EXPECT_EQ(plistedit::FormatKeyPath(path), c.formatted);
    KeyPath again;
    ASSERT_TRUE(plistedit::ParseKeyPath(c.formatted, again, error));
    EXPECT_EQ(again.components, c.components);
}

INSTANTIATE_TEST_SUITE_P(Forms, KeyPathParseTest, ::testing::ValuesIn(kParseCases));

struct LookUpCase {
    const char* path;
    const char* found;  // the value as compact JSON, or nullptr with `error`
    const char* error;
};

const char kDocument[] =
    R"({"a": {"b.c": [10, {"d": "x"}], "3": "three", "": "empty"}, "list": [[], [1, 2]]})";

const LookUpCase kLookUpCases[] = {
    {"", nullptr, nullptr},
    {"a.b\\.c.1.d", "\"x\"", nullptr},
    {":a:b.c:0", "10", nullptr},
    {"a.3", "\"three\"", nullptr},
    {"a.", "\"empty\"", nullptr},
    {"list.1.1", "2", nullptr},
    {"nope", nullptr, "no value at nope"},
    {"a.b\\.c.2", nullptr, "no value at a.b\\.c.2: the value at a.b\\.c is an array of 2 items"},
    {"list.0.0", nullptr, "no value at list.0.0: the value at list.0 is an array of 0 items"},
    {"list.x", nullptr, "no value at list.x: the value at list is an array of 2 items"},
    {"list.-1", nullptr, "no value at list.-1: the value at list is an array of 2 items"},
    {"a.3.x", nullptr,
     "no value at a.3.x: the value at a.3 is a string, not an array or dictionary"},
    {"a.b\\.c.0.more", nullptr,
     "no value at a.b\\.c.0.more: the value at a.b\\.c.0 is an integer, not an array or "
     "dictionary"},
};

class KeyPathLookUpTest : public PlatformTestWithParam<LookUpCase> {};

TEST_P(KeyPathLookUpTest, FindsTheValueOrSaysWhy) {
    const LookUpCase& c = GetParam();
    CFRef<CFPropertyListRef> root = FromJSON(kDocument);
    KeyPath path;
    std::string error;
    ASSERT_TRUE(plistedit::ParseKeyPath(c.path, path, error)) << error;
    CFPropertyListRef found = plistedit::LookUp(root.Get(), path, error);
    if (c.error) {
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(error, c.error);
    } else if (!c.found) {
        EXPECT_EQ(found, root.Get());
    } else {
        ASSERT_NE(found, nullptr) << error;
        EXPECT_EQ(CompactJSON(found), std::string(c.found) + "");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, KeyPathLookUpTest, ::testing::ValuesIn(kLookUpCases));

}  // namespace

// Values given on the command line, and the edits at a key path: what each makes, what each
// refuses, and that the original is left as it was.
#include "support/PlatformTest.h"
#include "tests/tools/edit/EditTestSupport.h"
#include "tools/edit/PlistEdit.h"
#include "tools/edit/PlistPrint.h"

namespace {

using plistedit::EditKind;

struct ValueCase {
    const char* type;
    const char* text;
    const char* typeName;  // of the value made, or nullptr when refused
    const char* printed;   // ShortText of the value, or the error
};

const ValueCase kValueCases[] = {
    {"bool", "yes", "bool", "true"},
    {"bool", "0", "bool", "false"},
    {"bool", "maybe", nullptr, "-bool 'maybe' is not a Boolean; give true, false, yes, no, 1 or 0"},
    {"integer", "-42", "integer", "-42"},
    {"integer", "18446744073709551615", "integer", "18446744073709551615"},
    {"integer", "0x10", "integer", "16"},
    {"integer", "1.5", nullptr,
     "-integer '1.5' is not an integer from -2^63 to 2^64 - 1; give decimal digits or 0x hex"},
    {"integer", "<integer>", nullptr,
     "-integer '<integer>' is not an integer from -2^63 to 2^64 - 1; give decimal digits or 0x "
     "hex"},
    {"integer", "", nullptr,
     "-integer '' is not an integer from -2^63 to 2^64 - 1; give decimal digits or 0x hex"},
    {"float", "2", "float", "2.0"},
    {"float", "1e+16", "float", "1e+16"},
    {"float", "x", nullptr,
     "-float 'x' is not a real; give a number such as 1.5 or 1e+16, or inf or nan"},
    {"string", "a <b> & \"c\"", "string", "\"a <b> & \\\"c\\\"\""},
    {"string", "\xFF", nullptr, "-string '\xFF' is not UTF-8 text"},
    {"date", "2024-01-05T10:00:26Z", "date", "2024-01-05T10:00:26Z"},
    {"date", "2024-13-05T10:00:26Z", nullptr,
     "-date '2024-13-05T10:00:26Z' is not a date that exists; give YYYY-MM-DDTHH:MM:SSZ (UTC)"},
    {"date", "yesterday", nullptr,
     "-date 'yesterday' is not a date; give YYYY-MM-DDTHH:MM:SSZ (UTC)"},
    {"data", "3q2+7w==", "data", "<4 bytes: de ad be ef>"},
    {"data", "", "data", "<0 bytes>"},
    {"hex", "DE ad", "data", "<2 bytes: de ad>"},
    {"data", "3q2!", nullptr,
     "-data '3q2!' is not base64: '!' at column 4 is not a base64 digit; give base64 padded to a "
     "multiple of 4 (3q2+7w==), or the bytes with -hex"},
    {"array", "", "array", "an array of 0 items"},
    {"dictionary", "", "dictionary", "a dictionary of 0 keys"},
    {"xml", "<array><true/><string>x</string></array>", "array", "an array of 2 items"},
    {"xml", "<array><foo/></array>", nullptr,
     "-xml '<array><foo/></array>' is not a property list: Encountered unknown tag foo on line 1"},
    {"json", "{\"a\": 1}", "dictionary", "a dictionary of 1 key"},
    {"json", "\"text\"", "string", "\"text\""},
    {"json", "1, 2", nullptr,
     "-json '1, 2' cannot be read: unexpected ',' after the top value at column 2"},
    {"json", "null", nullptr,
     "-json 'null' cannot be read: null has no property-list form at column 1"},
};

class CreateValueTest : public PlatformTestWithParam<ValueCase> {};

TEST_P(CreateValueTest, MakesTheValueOrRefuses) {
    const ValueCase& c = GetParam();
    ASSERT_TRUE(plistedit::IsValueType(c.type));
    CFRef<CFPropertyListRef> value;
    std::string error;
    ASSERT_EQ(plistedit::CreateValue(c.type, c.text, value, error), c.typeName != nullptr) << error;
    if (!c.typeName) {
        EXPECT_EQ(error, c.printed);
        return;
    }
    EXPECT_STREQ(plistedit::TypeName(value.Get()), c.typeName);
    EXPECT_EQ(plistedit::ShortText(value.Get()), c.printed);
}

INSTANTIATE_TEST_SUITE_P(Types, CreateValueTest, ::testing::ValuesIn(kValueCases));

struct EditCase {
    const char* path;
    EditKind kind;
    const char* result;  // compact JSON, or the error
    bool refused;
};

const char kDocument[] = R"({"a": {"b": [1, 2], "c": "x"}, "d": true})";

const EditCase kEditCases[] = {
    {"a.c", EditKind::Replace, R"({"a":{"b":[1,2],"c":"new"},"d":true})", false},
    {"a.z", EditKind::Replace, R"({"a":{"b":[1,2],"c":"x","z":"new"},"d":true})", false},
    {"a.b.1", EditKind::Replace, R"({"a":{"b":[1,"new"],"c":"x"},"d":true})", false},
    {"", EditKind::Replace, R"("new")", false},
    {"a.b.0", EditKind::Insert, R"({"a":{"b":["new",1,2],"c":"x"},"d":true})", false},
    {"a.b.2", EditKind::Insert, R"({"a":{"b":[1,2,"new"],"c":"x"},"d":true})", false},
    {":a:y", EditKind::Insert, R"({"a":{"b":[1,2],"c":"x","y":"new"},"d":true})", false},
    {"a.b", EditKind::Append, R"({"a":{"b":[1,2,"new"],"c":"x"},"d":true})", false},
    {"a.b.0", EditKind::Remove, R"({"a":{"b":[2],"c":"x"},"d":true})", false},
    {"d", EditKind::Remove, R"({"a":{"b":[1,2],"c":"x"}})", false},
    {"a.b.2", EditKind::Replace, "no value at a.b.2: the value at a.b is an array of 2 items",
     true},
    {"a.b.3", EditKind::Insert, "no value at a.b.3: the value at a.b is an array of 2 items", true},
    {"a.c", EditKind::Insert, "the value at a.c already exists (replace changes it)", true},
    {"a.q", EditKind::Remove, "no value at a.q", true},
    {"q.r", EditKind::Replace, "no value at q", true},
    {"d.e", EditKind::Replace,
     "no value at d.e: the value at d is a bool, not an array or dictionary", true},
    {"a.c", EditKind::Append, "the value at a.c is a string; --append adds to an array", true},
    {"", EditKind::Remove, "the top value cannot be inserted or removed (replace changes it)",
     true},
};

class EditPlistTest : public PlatformTestWithParam<EditCase> {};

TEST_P(EditPlistTest, EditsACopyAlongThePath) {
    const EditCase& c = GetParam();
    CFRef<CFPropertyListRef> root = FromJSON(kDocument);
    const std::string before = CompactJSON(root.Get());
    plistedit::KeyPath path;
    std::string error;
    ASSERT_TRUE(plistedit::ParseKeyPath(c.path, path, error)) << error;
    CFRef<CFPropertyListRef> edited;
    const bool ok = plistedit::EditPlist(root.Get(), path, c.kind, CFSTR("new"), edited, error);
    EXPECT_EQ(ok, !c.refused);
    EXPECT_EQ(ok ? CompactJSON(edited.Get()) : error, c.result);
    EXPECT_EQ(CompactJSON(root.Get()), before) << "the original changed";
}

INSTANTIATE_TEST_SUITE_P(Edits, EditPlistTest, ::testing::ValuesIn(kEditCases));

class EditPlistFaultTest : public PlatformTest {};

TEST_F(EditPlistFaultTest, EveryAllocationFailingInTurnLeavesNothingBehind) {
    CFRef<CFPropertyListRef> root = FromJSON(kDocument);
    plistedit::KeyPath path;
    std::string error;
    ASSERT_TRUE(plistedit::ParseKeyPath("a.b.1", path, error));
    for (long skip = 0; skip < 16; ++skip) {
        PTFailCFAllocations(skip, 1);
        CFRef<CFPropertyListRef> edited;
        const bool ok =
            plistedit::EditPlist(root.Get(), path, EditKind::Insert, CFSTR("new"), edited, error);
        PTClearFaults();
        EXPECT_EQ(ok, static_cast<bool>(edited));
    }
    CFRef<CFPropertyListRef> edited;
    ASSERT_TRUE(
        plistedit::EditPlist(root.Get(), path, EditKind::Insert, CFSTR("new"), edited, error));
    EXPECT_EQ(CompactJSON(edited.Get()), R"({"a":{"b":[1,"new",2],"c":"x"},"d":true})");
    ASSERT_TRUE(plistedit::ParseKeyPath("a.\xFF", path, error));
    EXPECT_FALSE(
        plistedit::EditPlist(root.Get(), path, EditKind::Replace, CFSTR("new"), edited, error));
    EXPECT_EQ(error, "the key path a.\xFF is not UTF-8");
}

}  // namespace

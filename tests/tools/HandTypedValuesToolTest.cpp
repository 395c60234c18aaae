// The built plistbridge on values typed by hand (replace -TYPE VALUE): each is stored exactly as
// typed, or refused with status 2, a message naming the file, the option, the value and the
// form to give, and the file left byte for byte as it was.
#include "tools/ToolProcess.h"

namespace {

struct TypedCase {
    const char* file;  // prefs.plist (XML), prefs.bplist, prefs.json or prefs.strings
    const char* option;
    const char* value;
    const char* type;  // of the value stored, or nullptr when refused
    const char* text;  // extract raw of the value stored, or the message after "FILE: "
};

constexpr char kDateForm[] = "give YYYY-MM-DDTHH:MM:SSZ (UTC)";
constexpr char kBase64Form[] =
    "; give base64 padded to a multiple of 4 (3q2+7w==), or the bytes with -hex";
constexpr char kXMLForm[] = "give one value such as <dict>...</dict> or <true/>";
constexpr char kOldStyle[] =
    ", which an old-style file cannot hold (old-style text has only strings, data, arrays and "
    "dictionaries)";

std::string Expected(const TypedCase& c) {
    std::string text = c.text;
    if (c.type) return text + "\n";
    // Tails shared by many rows are written once, as a marker.
    for (const auto& [marker, tail] : {std::pair<std::string, std::string>{"@DATE", kDateForm},
                                       {"@BASE64", kBase64Form},
                                       {"@XML", kXMLForm},
                                       {"@OLDSTYLE", kOldStyle}})
        if (const size_t at = text.find(marker); at != std::string::npos)
            text.replace(at, marker.size(), tail);
    return std::string("plistbridge: replace: ") + c.file + ": -" + c.option + " '" + c.value +
           "' " + text + "\n";
}

const TypedCase kCases[] = {
    // Dates: the calendar's days only.
    {"prefs.plist", "date", "2024-02-29T10:00:26Z", "date", "2024-02-29T10:00:26Z"},
    {"prefs.bplist", "date", "2000-02-29T23:59:59Z", "date", "2000-02-29T23:59:59Z"},
    {"prefs.plist", "date", "2024-02-30T10:00:26Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "2023-02-29T10:00:26Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "1900-02-29T10:00:26Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "2024-04-31T10:00:26Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "2024-01-05T24:00:00Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "2024-01-05T10:60:00Z", nullptr, "is not a date that exists; @DATE"},
    {"prefs.plist", "date", "2024-01-05 10:00:26", nullptr, "is not a date; @DATE"},
    // Base64: padded, its alphabet, = only at the end, no bits past the last byte.
    {"prefs.plist", "data", "AAEC/w==", "data", "AAEC/w=="},
    {"prefs.bplist", "data", "3q2+ 7w==", "data", "3q2+7w=="},
    {"prefs.plist", "data", "", "data", ""},
    {"prefs.plist", "data", "AAEC/w", nullptr,
     "is not base64: 6 digits, not a multiple of 4 (pad with =)@BASE64"},
    {"prefs.plist", "data", "AAE", nullptr,
     "is not base64: 3 digits, not a multiple of 4 (pad with =)@BASE64"},
    {"prefs.plist", "data", "=", nullptr,
     "is not base64: 1 digit, not a multiple of 4 (pad with =)@BASE64"},
    {"prefs.plist", "data", "A=AA", nullptr,
     "is not base64: '=' at column 2 before the end@BASE64"},
    {"prefs.plist", "data", "AAE!", nullptr,
     "is not base64: '!' at column 4 is not a base64 digit@BASE64"},
    {"prefs.plist", "data", "AAF=", nullptr,
     "is not base64: bits set after the last byte (the last digit before = is not the one "
     "base64 writes)@BASE64"},
    // Hex: two digits a byte.
    {"prefs.plist", "hex", "DE ad 00", "data", "3q0A"},
    {"prefs.plist", "hex", "abc", nullptr,
     "is not hex: the digit at column 3 is half a byte; give two hex digits a byte (deadbeef)"},
    {"prefs.plist", "hex", "0x00", nullptr,
     "is not hex: 'x' at column 2 is not a hex digit; give two hex digits a byte (deadbeef)"},
    // Reals: finite unless written inf or nan.
    {"prefs.plist", "float", "1e-310", "float", "1e-310"},
    {"prefs.plist", "float", "-inf", "float", "-inf"},
    {"prefs.bplist", "float", "nan", "float", "nan"},
    {"prefs.plist", "float", "1e400", nullptr,
     "is beyond the range of a real (about 1.8e308); give inf for an infinity"},
    {"prefs.plist", "float", "-1e400", nullptr,
     "is beyond the range of a real (about 1.8e308); give inf for an infinity"},
    {"prefs.plist", "float", "1e-400", nullptr,
     "is too small for a real and would be stored as 0; give 0"},
    {"prefs.plist", "integer", "18446744073709551616", nullptr,
     "is not an integer from -2^63 to 2^64 - 1; give decimal digits or 0x hex"},
    // XML: one value and nothing after it.
    {"prefs.plist", "xml", " <true/> ", "bool", "true"},
    {"prefs.plist", "xml", "<?xml version=\"1.0\"?><plist version=\"1.0\"><real>2</real></plist>",
     "float", "2.0"},
    {"prefs.plist", "xml", "hello", nullptr, "is not XML; @XML"},
    {"prefs.plist", "xml", "{a=1;}", nullptr, "is not XML; @XML"},
    {"prefs.plist", "xml", "<real>1</real><real>2</real>", nullptr, "is more than one value; @XML"},
    {"prefs.plist", "xml", "<real>1</real>x", nullptr,
     "is not a property list: Encountered unexpected character x on line 1 while looking for "
     "open tag"},
    {"prefs.plist", "xml", "<plist><true/></plist><false/>", nullptr,
     "has something after its </plist> or no </plist>; @XML"},
    {"prefs.plist", "xml", "", nullptr, "is no value; @XML"},
    // JSON: errors placed in the text as typed.
    {"prefs.plist", "json", "\"caf\xC3\xA9\"", "string", "caf\xC3\xA9"},
    {"prefs.plist", "json", "[1,", nullptr,
     "cannot be read: unexpected end of the JSON text at column 4"},
    {"prefs.plist", "json", "", nullptr, "cannot be read: no value at column 1"},
    {"prefs.plist", "json", "[\"\xC3\xA9\", nul]", nullptr,
     "cannot be read: null has no property-list form at column 7"},
    // What the file's format cannot hold.
    {"prefs.strings", "data", "AAEC", "data", "AAEC"},
    {"prefs.strings", "string", "5", "string", "5"},
    {"prefs.strings", "integer", "5", nullptr, "is an integer@OLDSTYLE"},
    {"prefs.strings", "float", "1.5", nullptr, "is a float@OLDSTYLE"},
    {"prefs.strings", "bool", "yes", nullptr, "is a bool@OLDSTYLE"},
    {"prefs.strings", "date", "2024-01-05T10:00:26Z", nullptr, "is a date@OLDSTYLE"},
    {"prefs.strings", "json", "{\"a\": [true]}", nullptr, "holds a bool@OLDSTYLE"},
    {"prefs.json", "integer", "5", "integer", "5"},
    {"prefs.json", "date", "2024-01-05T10:00:26Z", nullptr,
     "is a date, which a JSON file cannot hold (JSON has no dates or data)"},
    {"prefs.json", "data", "AAEC", nullptr,
     "is data, which a JSON file cannot hold (JSON has no dates or data)"},
    {"prefs.json", "xml", "<array><date>2024-01-05T10:00:26Z</date></array>", nullptr,
     "holds a date, which a JSON file cannot hold (JSON has no dates or data)"},
    {"prefs.json", "float", "inf", nullptr,
     "is a real NaN or infinity, which a JSON file cannot hold (JSON has no NaN or "
     "infinities)"},
};

class HandTypedValuesTool : public ToolProcessTest {
protected:
    HandTypedValuesTool() : ToolProcessTest("plistbridge-typed-") {}
};

TEST_F(HandTypedValuesTool, StoredExactlyOrRefusedWithTheFileUntouched) {
    Write("prefs.json", "{\"k\": \"v\"}\n");
    ASSERT_EQ(Run({"convert", "prefs.json", "-o", "prefs.plist"}).exitStatus, 0);
    ASSERT_EQ(Run({"convert", "prefs.json", "--format", "binary", "-o", "prefs.bplist"}).exitStatus,
              0);
    ASSERT_EQ(
        Run({"convert", "prefs.json", "--format", "openstep", "-o", "prefs.strings"}).exitStatus,
        0);
    for (const TypedCase& c : kCases) {
        SCOPED_TRACE(std::string(c.file) + " -" + c.option + " '" + c.value + "'");
        const std::string before = Read(c.file);
        const Result result = Run({"replace", "New", std::string("-") + c.option, c.value, c.file});
        if (!c.type) {
            EXPECT_EQ(result.exitStatus, 2);
            EXPECT_EQ(result.err, Expected(c));
            EXPECT_EQ(Read(c.file), before) << "the file changed";
            continue;
        }
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(Run({"type", "New", c.file}).out, std::string(c.type) + "\n");
        EXPECT_EQ(Run({"extract", "New", "raw", c.file}).out, Expected(c));
    }
}

}  // namespace

// Surgical edits of text files: each edit of a hand-written file changes exactly the bytes the
// table names and reads back as the ordinary edit; UTF-16 files and CRLF files likewise; files
// the scanners must not edit in place say why; real files get one-line diffs.
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/tools/edit/EditTestSupport.h"
#include "tools/edit/EntryLocator.h"

namespace {

using plistedit::EditKind;

std::string ReadData(const std::string& name) {
    std::ifstream in(std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

CFRef<CFPropertyListRef> Parse(std::string_view bytes, std::string_view format) {
    CFRef<CFPropertyListRef> value;
    std::string error;
    if (format == "json") {
        plisttext::ReadJSON(bytes, value, error);
        return value;
    }
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                       static_cast<CFIndex>(bytes.size())));
    value.Reset(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, nullptr));
    return value;
}

struct Edit {
    const char* file;
    EditKind kind;
    const char* path;
    const char* type;  // with `text`, as on the command line; nullptr for remove
    const char* text;
    const char* before;  // what the edit changes, once in the file
    const char* after;
};

// Runs the edit as the tool does; false with `whyNot` when it is not made in place.
bool EditBytes(const std::string& bytes, std::string_view format, const Edit& edit,
               std::string& out, std::string& whyNot) {
    plistedit::KeyPath path;
    std::string error;
    EXPECT_TRUE(plistedit::ParseKeyPath(edit.path, path, error));
    CFRef<CFPropertyListRef> value;
    if (edit.type) {
        EXPECT_TRUE(plistedit::CreateValue(edit.type, edit.text, value, error)) << error;
        value.Reset(plistedit::CreateAsFormatReadsIt(value.Get(), format));
    }
    CFRef<CFPropertyListRef> original = Parse(bytes, format), edited;
    EXPECT_TRUE(original);
    EXPECT_TRUE(plistedit::EditPlist(original.Get(), path, edit.kind, value.Get(), edited, error))
        << error;
    if (!plistedit::EditTextSurgically(bytes, format, path, edit.kind, value.Get(), edited.Get(),
                                       out, whyNot))
        return false;
    CFRef<CFPropertyListRef> reread = Parse(out, format);
    EXPECT_TRUE(reread && CFEqual(reread.Get(), edited.Get())) << out;
    return true;
}

// The file with `before` made `after`, or "" when `before` is not in it once.
std::string Expected(const std::string& original, const Edit& edit) {
    const size_t at = original.find(edit.before);
    if (at == std::string::npos || original.find(edit.before, at + 1) != std::string::npos)
        return "";
    return original.substr(0, at) + edit.after + original.substr(at + strlen(edit.before));
}

std::string_view FormatOf(std::string_view file) {
    if (file.ends_with(".plist")) return "xml";
    return file.ends_with(".json") ? "json" : "openstep";
}

const Edit kEdits[] = {
    // XML: four-space indentation, comments, entities, CDATA, a dictionary on one line.
    {"Info.plist", EditKind::Replace, "Ratio", "float", "2", "<real>62.3927073891864</real>",
     "<real>2</real>"},
    {"Info.plist", EditKind::Replace, "Version", "string", "a<b", "<integer>0x10</integer>",
     "<string>a&lt;b</string>"},
    {"Info.plist", EditKind::Replace, "Tags.1", "string", "x", "<string><![CDATA[<two>]]></string>",
     "<string>x</string>"},
    {"Info.plist", EditKind::Insert, "Tags.1", "string", "mid", "one</string>\n",
     "one</string>\n        <string>mid</string>\n"},
    {"Info.plist", EditKind::Remove, "Tags.0", nullptr, nullptr, "        <string>one</string>\n",
     ""},
    {"Info.plist", EditKind::Remove, "CFBundleName", nullptr, nullptr,
     "    <key>CFBundleName</key>\n    <string>Demo &amp; Co</string>\n", ""},
    {"Info.plist", EditKind::Insert, "Extra", "dictionary", "", "</dict>\n</dict>",
     "</dict>\n    <key>Extra</key>\n    <dict/>\n</dict>"},
    {"Info.plist", EditKind::Insert, "Window.Alpha", "integer", "1", "<dict><key>Zoom",
     "<dict><key>Alpha</key><integer>1</integer> <key>Zoom"},
    {"Info.plist", EditKind::Replace, "Window", "json", R"({"a":[1]})",
     "<dict><key>Zoom</key><real>1.50</real></dict>",
     "<dict>\n        <key>a</key>\n        <array>\n            <integer>1</integer>\n"
     "        </array>\n    </dict>"},
    // Old-style strings file: comments, quoted keys in sorted order, non-ASCII as itself.
    {"Localizable.strings", EditKind::Replace, "World", "string", "Monde ü", "\"Le monde\"",
     "\"Monde ü\""},
    {"Localizable.strings", EditKind::Insert, "Apple", "string", "Pomme", "/* Greeting */\n",
     "\"Apple\" = \"Pomme\";\n/* Greeting */\n"},
    {"Localizable.strings", EditKind::Insert, "Nice", "string", "Très \"bien\"", "\"World\"",
     "\"Nice\" = \"Très \\\"bien\\\"\";\n\"World\""},
    {"Localizable.strings", EditKind::Remove, "Menu\\.Quit", nullptr, nullptr,
     "\"Menu.Quit\" = \"Quitter\";\n", ""},
    {"Localizable.strings", EditKind::Remove, "Zebra", nullptr, nullptr, "\"Zebra\" = \"Zèbre\";\n",
     ""},
    // Comments on an entry's line and right above it stay with the entry.
    {"Commented.strings", EditKind::Insert, "b", "string", "q", "/* about c */\n",
     "\"b\" = \"q\";\n/* about c */\n"},
    {"Commented.strings", EditKind::Insert, "e", "string", "w", "// about d\n",
     "// about d\n\"e\" = \"w\";\n"},
    // Old-style project file: bare strings, entries on one line, a trailing comma.
    {"project.ostep", EditKind::Replace, "objects.A1.path", "string", "main 2.c", "path = main.c;",
     "path = \"main 2.c\";"},
    {"project.ostep", EditKind::Insert, "objects.B2.children.1", "string", "C3", "(A1, )",
     "(A1, C3, )"},
    {"project.ostep", EditKind::Remove, "archiveVersion", nullptr, nullptr,
     "\tarchiveVersion = 1;\n", ""},
    {"project.ostep", EditKind::Insert, "objects.C3", "json", R"({"isa":"X"})",
     "\t};\n\trootObject", "\t\tC3 = {\n\t\t\tisa = X;\n\t\t};\n\t};\n\trootObject"},
    // JSON: four-space indentation, an array on one line, number spellings.
    {"settings.json", EditKind::Replace, "ratio", "float", "2", "1.50,", "2.0,"},
    {"settings.json", EditKind::Append, "list", "integer", "4", "[1, 2, 3]", "[1, 2, 3, 4]"},
    {"settings.json", EditKind::Remove, "list.0", nullptr, nullptr, "[1, 2, 3]", "[2, 3]"},
    {"settings.json", EditKind::Append, "empty", "string", "a", "\"empty\": []",
     "\"empty\": [\n        \"a\"\n    ]"},
    {"settings.json", EditKind::Remove, "list.2", nullptr, nullptr, "[1, 2, 3]", "[1, 2]"},
    {"settings.json", EditKind::Remove, "nested.deep", nullptr, nullptr,
     "{\n        \"deep\": true\n    }", "{}"},
    {"settings.json", EditKind::Insert, "nested.b", "json", "[1]", "        \"deep\"",
     "        \"b\": [\n            1\n        ],\n        \"deep\""},
    {"settings.json", EditKind::Insert, "zz", "string", "x", "    }\n}",
     "    },\n    \"zz\": \"x\"\n}"},
};

TEST(EntryLocator, EditsChangeOnlyTheEntry) {
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(std::string(edit.file) + " " + edit.path);
        const std::string original = ReadData(std::string("surgical/") + edit.file);
        const std::string expected = Expected(original, edit);
        ASSERT_FALSE(expected.empty()) << "not once in the file: " << edit.before;
        std::string out, whyNot;
        EXPECT_TRUE(EditBytes(original, FormatOf(edit.file), edit, out, whyNot)) << whyNot;
        EXPECT_EQ(out, expected);
    }
}

std::string UTF16(const std::string& utf8, bool bigEndian) {
    CFRef<CFStringRef> string(
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (CFIndex i = 0; i < CFStringGetLength(string.Get()); ++i) {
        const UniChar unit = CFStringGetCharacterAtIndex(string.Get(), i);
        out.push_back(static_cast<char>(bigEndian ? unit >> 8 : unit & 0xFF));
        out.push_back(static_cast<char>(bigEndian ? unit & 0xFF : unit >> 8));
    }
    return out;
}

TEST(EntryLocator, UTF16FilesKeepTheirEncodingAndMark) {
    for (const bool bigEndian : {false, true}) {
        for (const Edit& edit : kEdits) {
            if (std::string_view(edit.file) != "Localizable.strings") continue;
            SCOPED_TRACE(std::string(edit.path) + (bigEndian ? " BE" : " LE"));
            const std::string original = ReadData("surgical/Localizable.strings");
            std::string out, whyNot;
            // The tool reads a UTF-16 old-style file's format from its first character.
            EXPECT_TRUE(EditBytes(UTF16(original, bigEndian), "openstep", edit, out, whyNot))
                << whyNot;
            EXPECT_EQ(out, UTF16(Expected(original, edit), bigEndian));
        }
    }
}

TEST(EntryLocator, CRLFFilesKeepTheirLineEndings) {
    auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.insert(at, 1, '\r');
        return text;
    };
    for (const Edit& edit : kEdits) {
        if (std::string_view(edit.file) != "Info.plist") continue;
        SCOPED_TRACE(edit.path);
        const std::string original = crlf(ReadData("surgical/Info.plist"));
        std::string out, whyNot;
        EXPECT_TRUE(EditBytes(original, "xml", edit, out, whyNot)) << whyNot;
        EXPECT_EQ(out, crlf(Expected(ReadData("surgical/Info.plist"), edit)));
    }
}

TEST(EntryLocator, FilesNotEditedInPlaceSayWhy) {
    const struct {
        std::string bytes;
        std::string_view format;
        Edit edit;
        const char* why;
    } kCases[] = {
        {ReadData("surgical/KeyOnly.strings"),
         "openstep",
         {"", EditKind::Replace, "Alone", "string", "y", "", ""},
         "a key without a value"},
        // The readers keep the second "a"; the scanner would reach the first.
        {"<plist><dict><key>a</key><dict><key>b</key><integer>1</integer></dict>"
         "<key>a</key><dict><key>b</key><integer>2</integer></dict></dict></plist>",
         "xml",
         {"", EditKind::Replace, "a.b", "integer", "3", "", ""},
         "a key on the path comes twice"},
        // Latin 1: UTF-8 text would not read back as the edit.
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><dict><key>a</key>"
         "<string>x</string></dict></plist>",
         "xml",
         {"", EditKind::Insert, "b", "string", "é", "", ""},
         "the edited text did not read back as the edit"},
        {UTF16("<plist><dict><key>a</key><string>x</string></dict></plist>", false).substr(2),
         "xml",
         {"", EditKind::Replace, "a", "string", "y", "", ""},
         "UTF-16 text without a byte-order mark"},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.bytes);
        std::string out, whyNot;
        EXPECT_FALSE(EditBytes(test.bytes, test.format, test.edit, out, whyNot));
        EXPECT_EQ(whyNot, test.why);
        EXPECT_TRUE(out.empty());
    }
    // Binary lists are not text: no message, the whole list is written as before.
    std::string out, whyNot;
    EXPECT_FALSE(plistedit::EditTextSurgically("bplist00", "binary", {}, EditKind::Replace,
                                               kCFBooleanTrue, kCFBooleanTrue, out, whyNot));
    EXPECT_EQ(whyNot, "");
}

// Real files from the corpus: replacing one value changes that value's line and no other.
TEST(EntryLocator, CorpusFilesChangeOneLine) {
    const Edit kReal[] = {
        {"0x414c__cog__Info.plist", EditKind::Replace, "CFBundleExecutable", "string", "Edited", "",
         ""},
        {"apple-oss-distributions__mDNSResponder__mDNSMacOSX__Bonjour_Extension__"
         "BonjourExtension.entitlements",
         EditKind::Replace, "com\\.apple\\.security\\.network\\.client", "bool", "no", "", ""},
        {"sparkle-project__Sparkle__Test_Application__English.lproj__InfoPlist.strings",
         EditKind::Replace, "NSHumanReadableCopyright", "string", "© Edited", "", ""},
        {"apple-oss-distributions__mDNSResponder__mDNSMacOSX__mDNSResponder-bundle__Resources__"
         "French.lproj__Localizable.strings",
         EditKind::Replace, "“", "string", "«", "", ""},
        {"tuist__XcodeProj__Fixtures__iOS__Project.xcodeproj__project.pbxproj", EditKind::Replace,
         "objects.04D5C0A01F153915008A2F98.path", "string", "Edited.h", "", ""},
    };
    for (const Edit& edit : kReal) {
        SCOPED_TRACE(edit.file);
        const std::string original = ReadData(std::string("corpus/files/") + edit.file);
        const bool xml = original.find("<plist") != std::string::npos;
        std::string out, whyNot;
        ASSERT_TRUE(EditBytes(original, xml ? "xml" : "openstep", edit, out, whyNot)) << whyNot;
        // Lines compared as bytes: a UTF-16 line break is "\n\0" or "\0\n", either way one '\n'.
        auto lines = [](const std::string& text) {
            std::vector<std::string> split;
            std::istringstream stream(text);
            for (std::string line; std::getline(stream, line);) split.push_back(line);
            return split;
        };
        const std::vector<std::string> before = lines(original), after = lines(out);
        ASSERT_EQ(before.size(), after.size());
        size_t changed = 0;
        for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
        EXPECT_EQ(changed, 1u);
    }
}

}  // namespace

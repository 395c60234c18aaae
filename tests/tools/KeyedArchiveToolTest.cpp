// The built plistbridge on every corpus file that holds UIDs (keyed archives and nibs, binary
// and XML): convert to binary directly and through XML, and an edit, keep each UID, so the
// result holds the real framework's value; type, print, extract and diff see UIDs.
#include <algorithm>

#include "support/BinaryPListText.h"
#include "tools/ToolProcess.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";

// The corpus files whose real binary output holds a UID, with that output's value.
std::vector<std::pair<std::string, std::string>> ArchiveFiles() {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(kCorpus + "files")) {
        const std::string name = entry.path().filename().string();
        const fs::path expected = kCorpus + "expect/" + name + ".cf.bplist";
        if (!fs::exists(expected)) continue;
        const auto text = testbplist::ValueText(ReadFile(expected));
        if (text && testbplist::CountUIDs(*text) > 0) files.emplace_back(name, *text);
    }
    std::sort(files.begin(), files.end());
    return files;
}

class KeyedArchiveTool : public ToolProcessTest {
protected:
    KeyedArchiveTool() : ToolProcessTest("plistbridge-archive-") {}

    std::string ValueOf(const std::string& name) {
        return testbplist::ValueText(Read(name)).value_or("(not a binary property list)");
    }
};

TEST_F(KeyedArchiveTool, EveryRouteKeepsTheUIDs) {
    const auto files = ArchiveFiles();
    EXPECT_EQ(files.size(), 37u);
    for (const auto& [name, expected] : files) {
        SCOPED_TRACE(name);
        const std::string original = kCorpus + "files/" + name;
        ASSERT_EQ(Run({"convert", original, "--format", "binary", "-o", "direct.bin"}).exitStatus,
                  0);
        EXPECT_EQ(ValueOf("direct.bin"), expected);
        ASSERT_EQ(Run({"convert", original, "-o", "via.xml"}).exitStatus, 0);
        ASSERT_EQ(Run({"convert", "via.xml", "--format", "binary", "-o", "via.bin"}).exitStatus, 0);
        EXPECT_EQ(ValueOf("via.bin"), expected);

        // An edit and its undoing, in the file's own format, leave every UID as it was (a
        // file that is one UID has no key to add).
        if (Run({"type", "", original}).out != "dictionary\n") continue;
        const std::string copy = "copy" + fs::path(name).extension().string();
        fs::copy_file(original, mDir / copy, fs::copy_options::overwrite_existing);
        ASSERT_EQ(Run({"insert", "Added", "-string", "x", copy}).exitStatus, 0);
        EXPECT_EQ(Run({"diff", original, copy}).out, "added Added: \"x\"\n");
        ASSERT_EQ(Run({"remove", "Added", copy}).exitStatus, 0);
        EXPECT_EQ(Run({"diff", "-q", original, copy}).exitStatus, 0);
        ASSERT_EQ(Run({"convert", copy, "--format", "binary", "-o", "edited.bin"}).exitStatus, 0);
        EXPECT_EQ(ValueOf("edited.bin"), expected);
    }
}

TEST_F(KeyedArchiveTool, CommandsSeeUIDs) {
    // A keyed archive's frame, written as XML and stored as binary.
    Write("a.xml",
          "<plist><dict><key>$objects</key><array><string>$null</string><dict><key>$class</key>"
          "<dict><key>CF$UID</key><integer>2</integer></dict></dict></array><key>$top</key>"
          "<dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>"
          "</dict></plist>");
    ASSERT_EQ(Run({"convert", "a.xml", "--format", "binary", "-o", "a.plist"}).exitStatus, 0);
    EXPECT_EQ(testbplist::CountUIDs(ValueOf("a.plist")), 2u);
    EXPECT_EQ(Run({"type", "$top.root", "a.plist"}).out, "uid\n");
    EXPECT_EQ(Run({"type", "$top.root", "a.plist", "--expect", "uid"}).exitStatus, 0);
    EXPECT_EQ(Run({"type", "$top", "a.plist", "--expect", "uid"}).err,
              "plistbridge: type: a.plist: the value at $top is a dictionary, not uid\n");
    EXPECT_EQ(Run({"extract", "$top.root", "raw", "a.plist"}).out, "1\n");
    EXPECT_EQ(Run({"extract", "$top.root", "json", "a.plist"}).out, "{\n  \"CF$UID\": 1\n}\n");
    EXPECT_NE(Run({"print", "a.plist"}).out.find("\"root\" = UID 1\n"), std::string::npos);
    // Its number is reachable as the dictionary it is underneath.
    EXPECT_EQ(Run({"type", "$top.root.CF$UID", "a.plist"}).out, "integer\n");

    ASSERT_EQ(Run({"replace", "$top.root.CF$UID", "-integer", "7", "a.plist", "-o", "b.plist"})
                  .exitStatus,
              0);
    EXPECT_EQ(Run({"diff", "a.plist", "b.plist"}).out, "changed $top.root: UID 1 -> UID 7\n");
    ASSERT_EQ(Run({"replace", "$top.root", "-json", R"({"CF$UID": 1, "x": 2})", "a.plist", "-o",
                   "c.plist"})
                  .exitStatus,
              0);
    EXPECT_EQ(Run({"diff", "a.plist", "c.plist"}).out,
              "changed type $top.root: UID 1 -> a dictionary of 2 keys\n");
    // A UID written by hand in JSON is one too.
    ASSERT_EQ(Run({"replace", "$top.root", "-json", R"({"CF$UID": 1})", "c.plist"}).exitStatus, 0);
    EXPECT_EQ(Run({"diff", "a.plist", "c.plist"}).exitStatus, 0);
}

}  // namespace

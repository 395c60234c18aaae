// The mutant table: thousands of mutated property lists, each with what the real framework made
// of it. Our reader and writer must give the same verdict and the same bytes, except for the few
// deliberate differences listed below, whose own behaviour is tested separately.
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "desc/CFRef.h"
#include "support/PListDocument.h"
#include "support/PlatformTest.h"
#include "support/TypedValue.h"

namespace {

struct MutantCase {
    std::string name;
    std::string input;
    std::string verdict;  // ACCEPT or REJECT
    std::string expected;
};

std::string DecodeBase64(const std::string& text) {
    std::array<int, 256> value{};
    value.fill(-1);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i)
        value[static_cast<unsigned char>(alphabet[i])] = int(i);
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        int v = value[static_cast<unsigned char>(c)];
        if (v < 0) continue;
        bits = (bits << 6) | unsigned(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

std::vector<MutantCase> LoadCases() {
    std::ifstream file(std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/mutants/cases.tsv");
    std::vector<MutantCase> cases;
    std::string line;
    std::getline(file, line);  // header
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        MutantCase c;
        std::string input, expected;
        std::getline(fields, c.name, '\t');
        std::getline(fields, input, '\t');
        std::getline(fields, c.verdict, '\t');
        std::getline(fields, expected, '\t');
        c.input = DecodeBase64(input);
        c.expected = DecodeBase64(expected);
        cases.push_back(std::move(c));
    }
    return cases;
}

// What our reader and writer make of `input`: "REJECT", "WRITE-FAILED\n" or the written bytes.
std::string OurOutcome(const std::string& input) {
    CFRef<CFDataRef> data = testjson::MakeData(input);
    CFStringRef error = nullptr;
    CFRef<CFTypeRef> value(
        CFPropertyListCreateFromXMLData(nullptr, data.Get(), kCFPropertyListImmutable, &error));
    CFRef<CFStringRef> ownedError(error);
    if (!value) return "REJECT";
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.Get()));
    if (!xml) return "WRITE-FAILED\n";
    return testjson::Bytes(xml.Get());
}

std::string RealOutcome(const MutantCase& c) {
    return c.verdict == "REJECT" ? "REJECT" : c.expected;
}

// Our deliberate differences from the real framework. Each rule recognises a disagreement
// that comes from that difference alone, so a case it covers cannot hide another fault.
struct Deliberate {
    const char* name;
    const char* reason;
    bool (*covers)(const MutantCase& c, const std::string& ours);
};

bool Accepted(const std::string& outcome) {
    return outcome != "REJECT" && outcome != "WRITE-FAILED\n";
}

// `text` without U+FEFF at the start of element content (after "<string>" or "<key>").
std::string WithoutLeadingBOMs(std::string text) {
    for (const char* tag : {"<string>\xEF\xBB\xBF", "<key>\xEF\xBB\xBF"}) {
        const size_t keep = std::string_view(tag).size() - 3;
        for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at))
            text.erase(at + keep, 3);
    }
    return text;
}

// True when `<!---->` comes before the first element's start tag.
bool HasEmptyCommentBeforeRoot(const std::string& input) {
    size_t comment = input.find("<!---->");
    if (comment == std::string::npos) return false;
    for (size_t at = input.find('<'); at < comment; at = input.find('<', at + 1))
        if (at + 1 < input.size() && std::isalpha(static_cast<unsigned char>(input[at + 1])))
            return false;
    return true;
}

bool DeclaresMacintosh(const std::string& input) {
    size_t end = input.find("?>");
    std::string declaration = input.substr(0, end);
    for (char& ch : declaration)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return declaration.rfind("<?xml", 0) == 0 &&
           (declaration.find("encoding=\"macintosh\"") != std::string::npos ||
            declaration.find("encoding='macintosh'") != std::string::npos);
}

bool IsUTF16WithoutBOM(const std::string& input) {
    if (input.size() < 2 || (input[0] != '\0' && input[1] != '\0')) return false;
    return input.rfind(std::string("\0\0\xFE\xFF", 4), 0) != 0;  // not a UTF-32 BOM
}

const Deliberate kDeliberate[] = {
    {"leading U+FEFF kept",
     "the real reader drops a U+FEFF that starts a string's content; ours keeps it like any "
     "other character",
     [](const MutantCase& c, const std::string& ours) {
         return c.verdict == "ACCEPT" && Accepted(ours) && WithoutLeadingBOMs(ours) == c.expected;
     }},
    {"empty comment before the root",
     "the real reader refuses <!----> before the root element (an off-by-one); ours reads it",
     [](const MutantCase& c, const std::string& ours) {
         return c.verdict == "REJECT" && Accepted(ours) && HasEmptyCommentBeforeRoot(c.input);
     }},
    {"macintosh declared",
     "the real reader knows no encoding called macintosh; ours reads it as Mac OS Roman",
     [](const MutantCase& c, const std::string& ours) {
         return c.verdict == "REJECT" && Accepted(ours) && DeclaresMacintosh(c.input);
     }},
    {"UTF-16 without a BOM",
     "the real reader skips two bytes of BOM-less UTF-16 and then fails; ours reads either "
     "byte order",
     [](const MutantCase& c, const std::string& ours) {
         return c.verdict == "REJECT" && Accepted(ours) && IsUTF16WithoutBOM(c.input);
     }},
};

const Deliberate* DeliberateDifference(const MutantCase& c, const std::string& ours) {
    for (const Deliberate& rule : kDeliberate)
        if (rule.covers(c, ours)) return &rule;
    return nullptr;
}

class MutantTable : public PlatformTest {};

TEST_F(MutantTable, ReaderAndWriterAgreeWithTheRealFramework) {
    auto cases = LoadCases();
    ASSERT_GT(cases.size(), 2000u);
    int agree = 0;
    std::map<std::string, int> deliberate;
    std::vector<std::string> faults;
    for (const auto& c : cases) {
        std::string ours = OurOutcome(c.input);
        if (ours == RealOutcome(c)) {
            ++agree;
        } else if (const Deliberate* rule = DeliberateDifference(c, ours)) {
            ++deliberate[rule->name];
        } else {
            faults.push_back(c.name);
        }
    }
    std::ostringstream list;
    for (const auto& name : faults) list << "\n  " << name;
    for (const auto& [name, count] : deliberate) list << "\n  (" << name << ": " << count << ")";
    EXPECT_TRUE(faults.empty()) << agree << " of " << cases.size()
                                << " agree; unexpected:" << list.str();
}

// Our own behaviour where we differ on purpose, on the table's seed cases.
TEST_F(MutantTable, DeliberateDifferencesKeepOurBehaviour) {
    const struct {
        const char* name;
        std::string ours;  // the exact outcome
    } rows[] = {
        {"seed.golden.str_leading_bom_char.0172",
         PListDocument("<array>\n\t<string>\xEF\xBB\xBF"
                       "abc</string>\n\t<string>a\xEF\xBB\xBF"
                       "b</string>\n\t<string>\xEF\xBB\xBF</string>\n</array>\n")},
        {"seed.golden.frame_empty_comment_prolog.0068", PListDocument("<string>x</string>\n")},
        {"seed.golden.enc_macroman_declared.0045", PListDocument("<string>caf\xC3\xA9</string>\n")},
    };
    auto cases = LoadCases();
    for (const auto& row : rows) {
        auto c = std::find_if(cases.begin(), cases.end(),
                              [&](const MutantCase& m) { return m.name == row.name; });
        ASSERT_NE(c, cases.end()) << row.name;
        EXPECT_EQ(OurOutcome(c->input), row.ours) << row.name;
        EXPECT_NE(RealOutcome(*c), row.ours) << row.name << " is no longer a difference";
    }
    // BOM-less UTF-16 in either byte order.
    const std::string ascii = "<plist><string>hi</string></plist>";
    std::string bigEndian, littleEndian;
    for (char ch : ascii) {
        bigEndian += std::string(1, '\0') + ch;
        littleEndian += std::string(1, ch) + '\0';
    }
    EXPECT_EQ(OurOutcome(bigEndian), PListDocument("<string>hi</string>\n"));
    EXPECT_EQ(OurOutcome(littleEndian), PListDocument("<string>hi</string>\n"));
}

}  // namespace

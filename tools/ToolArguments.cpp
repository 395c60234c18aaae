#include "tools/ToolArguments.h"

#include <cstring>

#include "common/FourCharCode.h"
#include "notation/DescNotation.h"

namespace {

// `text` in single quotes, built by appending: gcc 12 misreports "literal" + std::string as an
// overlapping copy (-Wrestrict).
std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    out.append(text);
    out.push_back('\'');
    return out;
}

// "--x…" names an option; "----" and "----=…" are the direct parameter's keyword.
bool LooksLikeOption(std::string_view arg) {
    return arg.size() > 2 && arg[0] == '-' && arg[1] == '-' && arg[2] != '-';
}

// Splits "CODE<separator>rest" at the first separator whose left side is a valid code.
bool SplitAfterCode(std::string_view arg, char separator, FourCharCode& code, size_t& restStart) {
    for (size_t p = arg.find(separator); p != std::string_view::npos;
         p = arg.find(separator, p + 1)) {
        if (ParseCodeArgument(arg.substr(0, p), code)) {
            restStart = p + 1;
            return true;
        }
    }
    return false;
}

size_t CharacterCount(std::string_view text) {
    size_t count = 0;
    for (char c : text)
        if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++count;
    return count;
}

class ArgumentReader {
public:
    ArgumentReader(const std::vector<std::string>& args, ToolArguments& out, std::string& error)
        : mArgs(args), mOut(out), mError(error) {}
    bool Read();

private:
    bool ReadLoad(const std::vector<std::string_view>& words);
    bool ReadStore(const std::vector<std::string_view>& words);
    bool ReadSend(const std::vector<std::string_view>& words);
    bool Fail(std::string message) {
        mError = std::move(message);
        return false;
    }

    const std::vector<std::string>& mArgs;
    ToolArguments& mOut;
    std::string& mError;
    std::vector<std::string_view> mOptional;
};

bool ArgumentReader::Read() {
    // Options with a value are taken out first; the rest are the command's words in order.
    std::vector<std::string_view> words;
    bool text = false;
    for (size_t i = 0; i < mArgs.size(); ++i) {
        const std::string_view arg = mArgs[i];
        const bool takesValue = arg == "--bundle" || arg == "--to" || arg == "--text";
        if (takesValue && i + 1 >= mArgs.size()) return Fail(std::string(arg) + " needs a value");
        if (arg == "--help" || arg == "-h") {
            mOut.command = ToolCommand::Help;
            return true;
        }
        if (arg == "--version") {
            mOut.command = ToolCommand::Version;
            return true;
        }
        if (arg == "--bundle") {
            mOut.bundlePath = mArgs[++i];
        } else if (arg == "--to") {
            mOut.destination = mArgs[++i];
        } else if (arg == "--text") {
            text = true;
            mOut.operand = mArgs[++i];
        } else if (arg == "--optional") {
            // Every following bare code is an optional keyword.
            FourCharCode code;
            while (i + 1 < mArgs.size() && !LooksLikeOption(mArgs[i + 1]) &&
                   ParseCodeArgument(mArgs[i + 1], code))
                mOptional.push_back(mArgs[++i]);
            if (mOptional.empty()) return Fail("--optional needs at least one keyword");
        } else if (LooksLikeOption(arg)) {
            return Fail("unknown option '" + std::string(arg) + "'");
        } else {
            words.push_back(arg);
        }
    }
    mOut.loadText = text;
    if (words.empty()) return Fail("no command given (load, store or send)");
    const std::string_view command = words.front();
    words.erase(words.begin());
    if (text && command != "load") return Fail("--text belongs to load");
    if (mOut.destination && command != "store") return Fail("--to belongs to store");
    if (!mOptional.empty() && command != "send") return Fail("--optional belongs to send");
    if (command == "load") return ReadLoad(words);
    if (command == "store") return ReadStore(words);
    if (command == "send") return ReadSend(words);
    return Fail("unknown command '" + std::string(command) + "' (load, store or send)");
}

bool ArgumentReader::ReadLoad(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Load;
    if (mOut.loadText) {
        if (!words.empty()) return Fail("load --text takes no file");
        return true;
    }
    if (words.size() != 1) return Fail("load takes one FILE, or --text TEXT");
    mOut.operand = words[0];
    return true;
}

bool ArgumentReader::ReadStore(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Store;
    if (words.size() != 1)
        return Fail("store takes one VALUE (in the notation, or - for standard input)");
    mOut.operand = words[0];
    return true;
}

bool ArgumentReader::ReadSend(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Send;
    if (words.empty()) return Fail("send needs CLASS/ID, e.g. Gmqb/plsL");
    size_t idStart = 0;
    if (!SplitAfterCode(words[0], '/', mOut.eventClass, idStart) ||
        !ParseCodeArgument(words[0].substr(idStart), mOut.eventID))
        return Fail(Quoted(words[0]) + " is not CLASS/ID with two four-char codes");
    for (size_t i = 1; i < words.size(); ++i) {
        FourCharCode keyword;
        size_t valueStart = 0;
        if (!SplitAfterCode(words[i], '=', keyword, valueStart))
            return Fail(Quoted(words[i]) + " is not KEY=VALUE with a four-char KEY");
        mOut.parameters.push_back({keyword, std::string(words[i].substr(valueStart)),
                                   CharacterCount(words[i].substr(0, valueStart))});
    }
    for (std::string_view text : mOptional) {
        FourCharCode keyword;
        ParseCodeArgument(text, keyword);
        mOut.optionalKeywords.push_back(keyword);
    }
    return true;
}

}  // namespace

bool ParseToolArguments(const std::vector<std::string>& args, ToolArguments& out,
                        std::string& error) {
    out = ToolArguments{};
    error.clear();
    ArgumentReader reader(args, out, error);
    return reader.Read();
}

bool ParseCodeArgument(std::string_view text, FourCharCode& code) {
    if (text.size() == 4 && text.find('\'') == std::string_view::npos) {
        code = FourCCFromBytes(text.data());
        return true;
    }
    if (text.size() < 6 || text.front() != '\'' || text.back() != '\'') return false;
    OwnedDesc desc;
    NotationError error;
    if (!ParseDesc(text, desc, error) || desc.Type() != typeType ||
        AEGetDescDataSize(&desc.Get()) != sizeof code)
        return false;
    return AEGetDescData(&desc.Get(), &code, sizeof code) == noErr;
}

const char* ToolUsageText() {
    return R"USAGE(usage: plistbridge [--bundle PATH] COMMAND ...

Commands:
  load FILE                 run load plist on a property-list file (sent as a file URL)
  load --text TEXT          run load plist on property-list text (- reads standard input)
  store VALUE               run store plist on VALUE and print the XML it returns
  store VALUE --to FILE     write the XML to FILE and print the destination it returns
  send CLASS/ID [KEY=VALUE ...] [--optional KEY ...]
                            send any event, e.g. send Gmqb/plsL ----='utf8'("<plist/>");
                            KEY is a four-char code (---- is the direct parameter), and
                            --optional lists keywords the handler may leave unread;
                            prints the reply's parameters as a record
  --help                    show this text
  --version                 show the version

Options:
  --bundle PATH             the PlistBridge.osax bundle to load (default: the one beside
                            this program, else the installed one in
                            ../lib/plistbridge)

VALUE and results are written in the descriptor notation, on one line:
  42  3000000000  1.5  "text"  true  'type'  [1, "a"]  {'pnam':"x", 'usrf':["k", 1]}
  'shor'(5)  'sing'(1.5)  'fixd'(1.5)  'ldt '(3600)  'TEXT'("abc")  'utf8'("é")
  'furl'("file:///tmp/a.plist")  'enum'('yes ')  'obj '{...}  'null'()  'rdat'(«0AFF»)

Exit status:
  0  success
  1  the command failed; one line on standard error with the addition's error text and the
     status, "plistbridge: load plist: no property list specified (-10000)", or, when there
     is no text, "plistbridge: load plist failed (-43)" ("store plist failed",
     "event CLAS/EVID failed" for send); also when the bundle cannot be loaded
  2  a usage or notation error, e.g.
     "plistbridge: notation error at column 7: expected ',' or ']'"
)USAGE";
}

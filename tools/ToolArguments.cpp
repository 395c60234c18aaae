#include "tools/ToolArguments.h"

#include <algorithm>
#include <cstring>
#include <optional>

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

// Every option: its spellings, whether it takes a value, and the commands it belongs to
// (empty: every command).
struct OptionSpec {
    std::string_view name;
    std::string_view shortName;
    bool takesValue;
    std::string_view commands;
};

class ArgumentReader {
public:
    ArgumentReader(const std::vector<std::string>& args, ToolArguments& out, std::string& error)
        : mArgs(args), mOut(out), mError(error) {}
    bool Read();

private:
    bool ReadLoad(const std::vector<std::string_view>& words);
    bool ReadStore(const std::vector<std::string_view>& words);
    bool ReadSend(const std::vector<std::string_view>& words);
    bool ReadConvert(const std::vector<std::string_view>& words);
    bool ReadLint(const std::vector<std::string_view>& words);
    bool Apply(const OptionSpec& spec, std::string_view value, size_t& i);
    bool Fail(std::string message) {
        mError = std::move(message);
        return false;
    }

    const std::vector<std::string>& mArgs;
    ToolArguments& mOut;
    std::string& mError;
    std::vector<std::string_view> mOptional;
};

constexpr OptionSpec kOptions[] = {
    {"--bundle", "", true, ""},        {"--to", "-o", true, "store convert"},
    {"--text", "", true, "load"},      {"--pretty", "", false, "load"},
    {"--format", "", true, "convert"}, {"--strict", "", false, "convert"},
    {"--optional", "", false, "send"}, {"--max-input", "", true, ""},
};

// "1048576", "64K", "64M", "2G" (powers of 1024) as a count of bytes; false when it is none.
bool ParseByteCount(std::string_view text, size_t& bytes) {
    size_t shift = 0;
    if (!text.empty() && std::string_view("KMG").find(text.back()) != std::string_view::npos) {
        shift = text.back() == 'K' ? 10 : text.back() == 'M' ? 20 : 30;
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    const unsigned long long count = std::stoull(std::string(text));
    if (count == 0 || count > (SIZE_MAX >> shift)) return false;
    bytes = static_cast<size_t>(count) << shift;
    return true;
}

// The spec `arg` names ("--to", "-o", or "--to=…" with `inlineValue` set), or nullptr.
const OptionSpec* FindOption(std::string_view arg, std::optional<std::string_view>& inlineValue) {
    inlineValue.reset();
    for (const OptionSpec& spec : kOptions) {
        if (arg == spec.name || (!spec.shortName.empty() && arg == spec.shortName)) return &spec;
        if (spec.takesValue && arg.size() > spec.name.size() && arg.starts_with(spec.name) &&
            arg[spec.name.size()] == '=') {
            inlineValue = arg.substr(spec.name.size() + 1);
            return &spec;
        }
    }
    return nullptr;
}

bool BelongsTo(const OptionSpec& spec, std::string_view command) {
    if (spec.commands.empty()) return true;
    for (size_t start = 0; start < spec.commands.size();) {
        size_t end = spec.commands.find(' ', start);
        if (end == std::string_view::npos) end = spec.commands.size();
        if (spec.commands.substr(start, end - start) == command) return true;
        start = end + 1;
    }
    return false;
}

// "store", "store or convert": for "--to belongs to …".
std::string OwnersText(const OptionSpec& spec) {
    std::string text(spec.commands);
    const size_t space = text.find(' ');
    if (space != std::string::npos) text.replace(space, 1, " or ");
    return text;
}

bool ArgumentReader::Read() {
    // Options are taken out first, wherever they stand (until "--"); the rest are the
    // command's words in order.
    std::vector<std::string_view> words;
    std::vector<const OptionSpec*> given;
    bool help = false, endOfOptions = false;
    for (size_t i = 0; i < mArgs.size(); ++i) {
        const std::string_view arg = mArgs[i];
        if (endOfOptions) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            help = true;
            continue;
        }
        if (arg == "--version") {
            mOut.command = ToolCommand::Version;
            return true;
        }
        std::optional<std::string_view> inlineValue;
        const OptionSpec* spec = FindOption(arg, inlineValue);
        if (!spec) {
            if (LooksLikeOption(arg)) return Fail("unknown option '" + std::string(arg) + "'");
            words.push_back(arg);
            continue;
        }
        if (std::find(given.begin(), given.end(), spec) != given.end())
            return Fail("option " + std::string(spec->name) + " given twice");
        given.push_back(spec);
        std::string_view value;
        if (spec->takesValue) {
            if ((!inlineValue && i + 1 >= mArgs.size()) || (inlineValue && inlineValue->empty()))
                return Fail(std::string(spec->name) + " needs a value");
            value = inlineValue ? *inlineValue : std::string_view(mArgs[++i]);
        }
        if (!Apply(*spec, value, i)) return false;
    }
    if (help) {
        mOut.command = ToolCommand::Help;
        if (!words.empty()) mOut.helpTopic = words.front();
        return true;
    }
    if (words.empty()) return Fail("no command given (load, store, send, convert or lint)");
    const std::string_view command = words.front();
    words.erase(words.begin());
    for (const OptionSpec* spec : given)
        if (!BelongsTo(*spec, command))
            return Fail(std::string(spec->name) + " belongs to " + OwnersText(*spec));
    if (command == "load") return ReadLoad(words);
    if (command == "store") return ReadStore(words);
    if (command == "send") return ReadSend(words);
    if (command == "convert") return ReadConvert(words);
    if (command == "lint") return ReadLint(words);
    return Fail("unknown command '" + std::string(command) +
                "' (load, store, send, convert or lint)");
}

bool ArgumentReader::Apply(const OptionSpec& spec, std::string_view value, size_t& i) {
    if (spec.name == "--bundle") {
        mOut.bundlePath = value;
    } else if (spec.name == "--to") {
        mOut.destination = std::string(value);
    } else if (spec.name == "--text") {
        mOut.loadText = true;
        mOut.operand = value;
    } else if (spec.name == "--pretty") {
        mOut.pretty = true;
    } else if (spec.name == "--strict") {
        mOut.strict = true;
    } else if (spec.name == "--format") {
        if (value != "xml" && value != "binary" && value != "json" && value != "openstep")
            return Fail("--format takes xml, binary, json or openstep, not '" + std::string(value) +
                        "'");
        mOut.format = value;
    } else if (spec.name == "--max-input") {
        if (!ParseByteCount(value, mOut.maxInputBytes))
            return Fail("--max-input takes a size such as 256M, not '" + std::string(value) + "'");
    } else {
        // --optional: every following bare code is an optional keyword.
        FourCharCode code;
        while (i + 1 < mArgs.size() && !LooksLikeOption(mArgs[i + 1]) &&
               ParseCodeArgument(mArgs[i + 1], code))
            mOptional.push_back(mArgs[++i]);
        if (mOptional.empty()) return Fail("--optional needs at least one keyword");
    }
    return true;
}

bool ArgumentReader::ReadLoad(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Load;
    if (mOut.loadText) {
        if (!words.empty()) return Fail("load --text takes no file");
        return true;
    }
    if (words.size() != 1) return Fail("load takes one FILE, or --text TEXT");
    mOut.operand = words[0];
    mOut.loadText = mOut.operand == "-";  // standard input, sent as text
    return true;
}

bool ArgumentReader::ReadConvert(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Convert;
    if (words.size() != 1) return Fail("convert takes one input FILE (- for standard input)");
    mOut.operand = words[0];
    return true;
}

bool ArgumentReader::ReadLint(const std::vector<std::string_view>& words) {
    mOut.command = ToolCommand::Lint;
    if (words.empty()) return Fail("lint takes one or more FILEs (- for standard input)");
    mOut.files.assign(words.begin(), words.end());
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
  load FILE                 run load plist on a property-list file (sent as a file URL;
                            - reads standard input)
  load --text TEXT          run load plist on property-list text (- reads standard input)
  load --pretty ...         print the result indented, one level per container
  store VALUE               run store plist on VALUE and print the XML it returns
  store VALUE --to FILE     write the XML to FILE and print the destination it returns
  send CLASS/ID [KEY=VALUE ...] [--optional KEY ...]
                            send any event, e.g. send Gmqb/plsL ----='utf8'("<plist/>");
                            KEY is a four-char code (---- is the direct parameter), and
                            --optional lists keywords the handler may leave unread;
                            prints the reply's parameters as a record
  convert IN [-o OUT] [--format xml|binary|json|openstep] [--strict]
                            read XML, binary, old-style or JSON and write the format
                            given (XML by default) to OUT, or to standard output
  lint FILE ...             check property-list files: "FILE: OK" or what is wrong, and
                            where
  COMMAND --help            show that command's usage
  --help                    show this text
  --version                 show the version

Options:
  --bundle PATH             the PlistBridge.osax bundle to load (default: the one beside
                            this program, else the installed one in
                            ../lib/plistbridge)
  --to FILE, --to=FILE, -o FILE
                            where store and convert write
  --max-input SIZE          read at most SIZE bytes (e.g. 256M; K, M, G are powers of
                            1024) from a device or pipe, default 64M; a longer one is
                            refused
  --                        ends the options: every later argument is an operand
  An option given twice, or one the command does not take, is a usage error.

VALUE and results are written in the descriptor notation, on one line:
  42  3000000000  1.5  "text"  true  'type'  [1, "a"]  {'pnam':"x", 'usrf':["k", 1]}
  'shor'(5)  'sing'(1.5)  'fixd'(1.5)  'ldt '(3600)  'TEXT'("abc")  'utf8'("é")
  'furl'("file:///tmp/a.plist")  'enum'('yes ')  'obj '{...}  'null'()  'rdat'(«0AFF»)

Exit status:
  0  success
  1  the command failed; one line on standard error with the addition's error text and the
     status, "plistbridge: load plist: no property list specified (-10000)",
     "plistbridge: load plist: a.plist: No such file or directory (-43)", or, when there
     is no text, "plistbridge: load plist failed (-43)" ("store plist failed",
     "event CLAS/EVID failed" for send); also when the bundle cannot be loaded; lint: a
     file is not a property list
  2  a usage or notation error, e.g.
     "plistbridge: notation error at column 7: expected ',' or ']'"
)USAGE";
}

const char* ToolCommandUsageText(std::string_view command) {
    if (command == "load")
        return R"USAGE(usage: plistbridge load [--pretty] FILE
       plistbridge load [--pretty] --text TEXT

Runs load plist on a property-list file (XML, binary or old-style), sent as a file URL, or on
property-list text; - (as FILE or TEXT) reads standard input. Prints the result in the
descriptor notation, on one line, or with --pretty indented one level per container.
)USAGE";
    if (command == "store")
        return R"USAGE(usage: plistbridge store VALUE [--to FILE | --to=FILE | -o FILE]

Runs store plist on VALUE (in the descriptor notation; - reads it from standard input) and
prints the XML it returns, or writes the XML to FILE and prints the destination it returns.
)USAGE";
    if (command == "send")
        return R"USAGE(usage: plistbridge send CLASS/ID [KEY=VALUE ...] [--optional KEY ...]

Sends any event, e.g. send Gmqb/plsL ----='utf8'("<plist/>"). KEY is a four-char code (----
is the direct parameter), and --optional lists keywords the handler may leave unread. Prints
the reply's parameters as a record.
)USAGE";
    if (command == "convert")
        return R"USAGE(usage: plistbridge convert IN [-o OUT | --to OUT | --to=OUT]
                          [--format xml|binary|json|openstep] [--strict]

Reads IN (- for standard input): an XML, binary or old-style property list, or JSON. Writes
it in the format given, XML by default, to OUT (replaced atomically) or to standard output.
Binary output is never written to a terminal.
  xml       the platform's XML writer
  binary    the binary format (bplist00)
  json      dates as "2024-01-05T10:00:26Z" strings and data as base64 strings; --strict
            refuses them instead; real NaN and infinities are refused
  openstep  old-style text; numbers are written as their text (they read back as strings);
            dates and Booleans are refused
)USAGE";
    if (command == "lint")
        return R"USAGE(usage: plistbridge lint FILE ...

Reads each FILE (- for standard input) as convert reads its input (an XML, binary or
old-style property list, or JSON) and prints "FILE: OK", or "FILE: " and what is wrong, on
which line. Exits with 1 when any file fails.
)USAGE";
    return nullptr;
}

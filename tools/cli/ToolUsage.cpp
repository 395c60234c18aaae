// The tables of commands and options, and the usage texts made from them.
#include <string>
#include <vector>

#include "tools/cli/ToolCommandTable.h"
#include "tools/commands/Commands.h"

namespace {

constexpr char kEdits[] = "replace insert";

constexpr OptionSpec kOptions[] = {
    {"--bundle", "", "PATH", "",
     "the PlistBridge.osax bundle to load (default: the one beside "
     "this program, else ../lib/plistbridge)",
     OptionAction::Bundle},
    {"--max-input", "", "SIZE", "",
     "read at most SIZE bytes (e.g. 256M; K, M, G are powers of 1024) from a device or pipe, "
     "default 64M; a longer one is refused",
     OptionAction::MaxInput},
    {"--max-output", "", "SIZE", "",
     "write or compare at most SIZE bytes for one list (default: 64M, or 64 times the input's "
     "size when more); a binary list that expands shared values past it is refused",
     OptionAction::MaxOutput},
    {"--to", "-o", "FILE", "store convert extract replace insert remove edit",
     "where the result is written (also --to=FILE); a file is replaced atomically",
     OptionAction::To},
    {"--text", "", "TEXT", "load", "property-list text instead of a file (- reads standard input)",
     OptionAction::Text},
    {"--pretty", "", "", "load", "the result indented, one level per container",
     OptionAction::Pretty},
    {"--format", "", "FORMAT", "convert", "xml (the default), binary, json or openstep",
     OptionAction::Format},
    {"--strict", "", "", "convert", "JSON: refuse dates and data instead of writing strings",
     OptionAction::Strict},
    {"--in-place", "", "", "convert replace insert remove edit",
     "write each FILE back (convert: in the format given; the edits always do without -o)",
     OptionAction::InPlace},
    {"--force", "", "", "create", "replace FILE when it exists", OptionAction::Force},
    {"--clause", "-c", "CLAUSE", "edit",
     "one edit: a replace, insert or remove command line without FILE, e.g. "
     "'replace Window.Zoom -real 2' (also --clause=CLAUSE; repeat for more)",
     OptionAction::Clause},
    {"--silent", "-s", "", "lint", "print nothing for a file that is a property list",
     OptionAction::Silent},
    {"--optional", "", "", "send", "the keywords after it are optional parameters",
     OptionAction::Optional},
    {"--expect", "", "TYPE", "extract type", "fail (status 1) unless the value is of TYPE",
     OptionAction::Expect},
    {"--no-newline", "-n", "", "extract", "no newline after the value", OptionAction::NoNewline},
    {"--append", "", "", "insert", "add the value at the end of the array KEYPATH names",
     OptionAction::Append},
    {"--quiet", "-q", "", "diff", "print nothing; the status says whether the files differ",
     OptionAction::Quiet},
    {"-bool", "", "VALUE", kEdits, "true, false, yes, no, 1 or 0", OptionAction::ValueType},
    {"-integer", "", "VALUE", kEdits, "decimal (or 0x hex), -2^63 to 2^64 - 1",
     OptionAction::ValueType},
    {"-float", "-real", "VALUE", kEdits, "a real: 1.5, 1e+16, nan, inf (1e400 is refused)",
     OptionAction::ValueType},
    {"-string", "", "VALUE", kEdits, "the text as it is", OptionAction::ValueType},
    {"-date", "", "VALUE", kEdits, "2024-01-05T10:00:26Z (UTC), a day that exists",
     OptionAction::ValueType},
    {"-data", "", "VALUE", kEdits,
     "base64, padded with = to a multiple of 4: 3q2+7w==", OptionAction::ValueType},
    {"-hex", "", "VALUE", kEdits, "data as two hex digits a byte: deadbeef",
     OptionAction::ValueType},
    {"-array", "", "", kEdits, "an empty array", OptionAction::ValueType},
    {"-dictionary", "-dict", "", kEdits, "an empty dictionary", OptionAction::ValueType},
    {"-xml", "", "VALUE", kEdits, "one XML property-list value: <dict>...</dict>, <true/>",
     OptionAction::ValueType},
    {"-json", "", "VALUE", kEdits, "any JSON value but null: {\"a\": [1]}, \"text\"",
     OptionAction::ValueType},
};

constexpr CommandSpec kCommands[] = {
    {"load", ToolCommand::Load, RunLoad, "", "load FILE [--pretty]\nload --text TEXT [--pretty]",
     "run load plist on a file or on text; print the result in the notation",
     "Runs load plist on a property-list file in any format convert reads, sent as a file URL\n"
     "(- reads standard input as bytes, in any format), or with --text on property-list text\n"
     "(- reads it from standard input). Prints the result in the descriptor notation, on one\n"
     "line, or with --pretty indented one level per container.\n"},
    {"store", ToolCommand::Store, RunStore, "", "store VALUE\nstore VALUE --to FILE",
     "run store plist on VALUE; print the XML, or write it to FILE",
     "Runs store plist on VALUE (in the descriptor notation; - reads it from standard input) and\n"
     "prints the XML it returns, or writes the XML to FILE and prints the destination it\n"
     "returns.\n"},
    {"send", ToolCommand::Send, RunSend, "", "send CLASS/ID [KEY=VALUE ...] [--optional KEY ...]",
     "send any event; print the reply's parameters as a record",
     "Sends any event, e.g. send Gmqb/plsL ----='utf8'(\"<plist/>\"). KEY is a four-char code\n"
     "(---- is the direct parameter), and --optional lists keywords the handler may leave\n"
     "unread. Prints the reply's parameters as a record.\n"},
    {"convert", ToolCommand::Convert, RunConvert, "FILE...",
     "convert FILE... [-o OUT | --in-place] [--format xml|binary|json|openstep] [--strict]",
     "write property lists in another format",
     "Reads each FILE (- for standard input): an XML, binary or old-style property list, or\n"
     "JSON. Writes it in the format given, XML by default, to OUT (one FILE; replaced\n"
     "atomically), back to each FILE with --in-place, or to standard output, one after another.\n"
     "Binary output is never written to a terminal.\n"
     "  xml       the platform's XML writer\n"
     "  binary    the binary format (bplist00)\n"
     "  json      dates as \"2024-01-05T10:00:26Z\" strings and data as base64 strings; --strict\n"
     "            refuses them instead; real NaN and infinities are refused\n"
     "  openstep  old-style text; numbers are written as their text (they read back as\n"
     "            strings); dates and Booleans are refused\n"},
    {"lint", ToolCommand::Lint, RunLint, "FILE...", "lint [-s] FILE...",
     "check property-list files: \"FILE: OK\" or what is wrong, and where",
     "Reads each FILE (- for standard input) as convert reads its input and prints \"FILE: OK\",\n"
     "or \"FILE: \" and what is wrong, on which line; -s prints only the failures. Exits with 1\n"
     "when any file fails.\n"},
    {"print", ToolCommand::Print, RunPrint, "FILE [KEYPATH]", "print FILE [KEYPATH]",
     "show a property list, or the value at KEYPATH, for a person",
     "Prints the property list, or the value at KEYPATH, nested, two spaces a level: keys in\n"
     "the XML writer's order, array items numbered from 0 (\"3: ...\"), strings quoted, dates\n"
     "in ISO 8601, data as its length and first bytes, integers and reals as the XML writer\n"
     "writes them.\n"},
    {"extract", ToolCommand::Extract, RunExtract, "KEYPATH FORMAT FILE",
     "extract KEYPATH FORMAT FILE [--expect TYPE] [-n] [-o OUT]",
     "print the value at KEYPATH in a format",
     "Prints the value at KEYPATH in FORMAT: xml, binary (never to a terminal), json, openstep,\n"
     "or raw: a string as it is, a number, true or false, a date as 2024-01-05T10:00:26Z, data\n"
     "in base64, a UID as its number; for an array its count, for a dictionary its keys, one a\n"
     "line, escaped as key path components (a\\.b). A newline follows raw output unless -n.\n"
     "--expect fails (status 1) when the value is not of TYPE. -o writes OUT atomically\n"
     "instead.\n"},
    {"type", ToolCommand::Type, RunType, "KEYPATH FILE", "type KEYPATH FILE [--expect TYPE]",
     "print the type of the value at KEYPATH",
     "Prints the type of the value at KEYPATH: bool, integer, float, string, date, data, uid\n"
     "(a dictionary of CF$UID alone, with an integer of 32 bits: a keyed archive's UID), array\n"
     "or dictionary. --expect fails (status 1) when it is not TYPE (real and dict are float and\n"
     "dictionary).\n"},
    {"replace", ToolCommand::Replace, RunReplace, "KEYPATH FILE...",
     "replace KEYPATH -TYPE VALUE FILE... [-o OUT]", "set the value at KEYPATH",
     "Sets the value at KEYPATH (a missing dictionary key is added) and rewrites each FILE\n"
     "atomically in the format it had (--in-place, the default), or writes OUT. TYPE is bool,\n"
     "integer, float (real), string, date, data, hex, array, dictionary (dict), xml or json;\n"
     "-array and -dictionary take no VALUE. VALUE - reads standard input: -string - takes it\n"
     "byte for byte, a final newline included; the other types leave out one final newline. A\n"
     "VALUE that is not exactly a value of TYPE (a day that does not exist, base64 that is not\n"
     "padded, a real beyond the range), or that the file's format cannot hold (an integer in\n"
     "old-style text, a date in JSON), is refused with status 2 and the file is untouched. A\n"
     "FILE that fails is reported and the others are still edited; the status is then 1.\n"},
    {"insert", ToolCommand::Insert, RunInsert, "KEYPATH FILE...",
     "insert KEYPATH -TYPE VALUE [--append] FILE... [-o OUT]", "add a value at KEYPATH",
     "Adds a value: a new dictionary key (an existing one is an error), or an array item\n"
     "before the index KEYPATH ends with (the count adds at the end); with --append, at the end\n"
     "of the array KEYPATH names. Each FILE is rewritten as replace rewrites it.\n"},
    {"remove", ToolCommand::Remove, RunRemove, "KEYPATH FILE...", "remove KEYPATH FILE... [-o OUT]",
     "remove the value at KEYPATH",
     "Removes the value at KEYPATH and rewrites each FILE as replace rewrites it.\n"},
    {"edit", ToolCommand::Edit, RunEditCommand, "FILE...",
     "edit -c CLAUSE [-c CLAUSE ...] FILE... [-o OUT]", "make several edits, written once",
     "Makes the edits of the clauses in order and writes each FILE once, as replace rewrites\n"
     "it; when one clause fails, nothing of that FILE is written. A clause is what follows\n"
     "plistbridge in a replace, insert or remove command, without FILE, split as a shell splits\n"
     "words ('...', \"...\", \\): -c 'replace Window.Zoom -real 2' -c 'remove \"Old key\"'.\n"},
    {"create", ToolCommand::Create, RunCreate, "FORMAT FILE", "create FORMAT FILE [--force]",
     "write an empty dictionary to FILE",
     "Writes a property list holding an empty dictionary to FILE in FORMAT: xml, binary, json\n"
     "or openstep; - writes it to standard output. An existing FILE is refused unless --force.\n"},
    {"diff", ToolCommand::Diff, RunDiff, "FILE FILE", "diff [-q] A B",
     "compare two property lists by value",
     "Compares two property lists in any formats by value and prints each difference as its\n"
     "key path and what changed: \"added PATH: VALUE\", \"removed PATH: VALUE\", \"changed PATH:\n"
     "OLD -> NEW\", \"changed type PATH: OLD -> NEW\". Array items are matched by value, so an\n"
     "item added or removed is one line; a removed or changed item is named by its index in A,\n"
     "an added one by its index in B. Exits with 0 when they are equal, 1 when they differ or\n"
     "one cannot be read, 2 on a usage error; -q prints nothing.\n"},
};

constexpr char kKeyPaths[] =
    "Key paths name one value: components separated by dots, a number indexing an array\n"
    "(Tracks.3.Name), \\. and \\\\ escaping a dot and a backslash inside a key, the empty path\n"
    "for the top value; a path starting with : is read in the colon form\n"
    "(:CFBundleDocumentTypes:2:CFBundleTypeExtensions). Messages name values the same way,\n"
    "from the top; an empty key at the top is shown as \"\".\n";

constexpr char kNotationAndStatuses[] =
    R"USAGE(VALUE and results of load, store and send are written in the descriptor notation:
  42  3000000000  1.5  "text"  true  'type'  [1, "a"]  {'pnam':"x", 'usrf':["k", 1]}
  'shor'(5)  'sing'(1.5)  'fixd'(1.5)  'ldt '(3600)  'TEXT'("abc")  'utf8'("é")
  'furl'("file:///tmp/a.plist")  'enum'('yes ')  'obj '{...}  'null'()  'rdat'(«0AFF»)

Exit status:
  0  success (diff: the files are equal)
  1  the command failed, with one line on standard error: the addition's error text and the
     status, "plistbridge: load plist: a.plist: No such file or directory (-43)",
               or, when there is no text, "plistbridge: load plist failed (-43)";
also when the bundle cannot be loaded;
lint : a file is not a property list; diff: the files differ
  2  a usage or notation error, e.g.
     "plistbridge: notation error at column 7: expected ',' or ']'"
)USAGE";

std::string OptionSpelling(const OptionSpec& spec) {
    std::string text(spec.name);
    if (!spec.valueName.empty()) text += " " + std::string(spec.valueName);
    if (!spec.shortName.empty()) {
        text += ", " + std::string(spec.shortName);
        if (!spec.valueName.empty()) text += " " + std::string(spec.valueName);
    }
    return text;
}

// "  SPELLING  HELP", the help on the next line when the spelling is long, and wrapped at
// word boundaries to fit 92 columns.
void AppendRow(std::string_view left, std::string_view right, std::string& out) {
    constexpr size_t kColumn = 28, kWidth = 92;
    out += "  " + std::string(left);
    if (left.size() + 2 < kColumn - 1)
        out.append(kColumn - 2 - left.size(), ' ');
    else
        out += "\n" + std::string(kColumn, ' ');
    size_t used = kColumn;
    while (!right.empty()) {
        const size_t end = std::min(right.find(' '), right.size());
        if (used > kColumn && used + 1 + end > kWidth) {
            out += "\n" + std::string(kColumn, ' ');
            used = kColumn;
        } else if (used > kColumn) {
            out.push_back(' ');
            ++used;
        }
        out += right.substr(0, end);
        used += end;
        right.remove_prefix(std::min(end + 1, right.size()));
    }
    out.push_back('\n');
}

std::string MakeToolUsage() {
    std::string text = "usage: plistbridge [--bundle PATH] COMMAND ...\n\nCommands:\n";
    for (const CommandSpec& command : kCommands) {
        std::string_view synopsis = command.synopsis;
        while (!synopsis.empty()) {
            const size_t end = std::min(synopsis.find('\n'), synopsis.size());
            text += "  " + std::string(synopsis.substr(0, end)) + "\n";
            synopsis.remove_prefix(std::min(end + 1, synopsis.size()));
        }
        text += "      " + std::string(command.summary) + "\n";
    }
    text += "  COMMAND --help\n      show that command's usage\n";
    text += "  --help, -h\n      show this text\n  --version\n      show the version\n\n";
    text += "Options:\n";
    for (const OptionSpec& spec : kOptions)
        if (spec.action != OptionAction::ValueType)
            AppendRow(OptionSpelling(spec),
                      spec.commands.empty()
                          ? std::string(spec.help)
                          : OptionOwnersText(spec) + ": " + std::string(spec.help),
                      text);
    AppendRow("-TYPE VALUE",
              "replace, insert and their clauses: the value (- reads standard input); TYPE is "
              "one of",
              text);
    for (const OptionSpec& spec : kOptions)
        if (spec.action == OptionAction::ValueType)
            AppendRow("  " + OptionSpelling(spec), spec.help, text);
    AppendRow("--", "ends the options: every later argument is an operand", text);
    text +=
        "\nAn option given twice, or one the command does not take, is a usage error; - is\n"
        "standard input wherever a file is read and as one -TYPE VALUE a run, and standard\n"
        "output where a file is written (-o -, create FORMAT -).\n\n";
    return text + kKeyPaths + "\n" + kNotationAndStatuses;
}

std::string MakeCommandUsage(const CommandSpec& command) {
    std::string text = "usage: plistbridge ";
    std::string_view synopsis = command.synopsis;
    for (size_t end; (end = synopsis.find('\n')) != std::string_view::npos;) {
        text += std::string(synopsis.substr(0, end)) + "\n       plistbridge ";
        synopsis.remove_prefix(end + 1);
    }
    text += std::string(synopsis) + "\n\n" + std::string(command.details);
    std::string options;
    for (const OptionSpec& spec : kOptions)
        if (!spec.commands.empty() && OptionBelongsTo(spec, command.name))
            AppendRow(OptionSpelling(spec), spec.help, options);
    if (!options.empty()) text += "\nOptions:\n" + options;
    if (command.operands.find("KEYPATH") != std::string_view::npos ||
        command.command == ToolCommand::Edit)
        text += "\n" + std::string(kKeyPaths);
    return text;
}

}  // namespace

std::span<const OptionSpec> ToolOptions() {
    return kOptions;
}

std::span<const CommandSpec> ToolCommands() {
    return kCommands;
}

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& command : kCommands)
        if (command.name == name) return &command;
    return nullptr;
}

const CommandSpec* FindCommand(ToolCommand which) {
    for (const CommandSpec& command : kCommands)
        if (command.command == which) return &command;
    return nullptr;
}

bool OptionBelongsTo(const OptionSpec& spec, std::string_view command) {
    if (spec.commands.empty()) return true;
    for (size_t start = 0; start < spec.commands.size();) {
        size_t end = spec.commands.find(' ', start);
        if (end == std::string_view::npos) end = spec.commands.size();
        if (spec.commands.substr(start, end - start) == command) return true;
        start = end + 1;
    }
    return false;
}

std::string ChoiceText(std::span<const std::string_view> choices) {
    std::string text;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) text += i + 1 == choices.size() ? " or " : ", ";
        text += choices[i];
    }
    return text;
}

std::string OptionOwnersText(const OptionSpec& spec) {
    std::vector<std::string_view> names;
    for (std::string_view rest = spec.commands; !rest.empty();) {
        const size_t space = std::min(rest.find(' '), rest.size());
        names.push_back(rest.substr(0, space));
        rest.remove_prefix(std::min(space + 1, rest.size()));
    }
    return ChoiceText(names);
}

std::string CommandNamesText() {
    std::vector<std::string_view> names;
    for (const CommandSpec& command : kCommands) names.push_back(command.name);
    return ChoiceText(names);
}

const char* ToolUsageText() {
    static const std::string text = MakeToolUsage();
    return text.c_str();
}

const char* ToolCommandUsageText(std::string_view name) {
    static std::string texts[std::size(kCommands)];
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        if (kCommands[i].name != name) continue;
        if (texts[i].empty()) texts[i] = MakeCommandUsage(kCommands[i]);
        return texts[i].c_str();
    }
    return nullptr;
}

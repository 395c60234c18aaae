#include "tools/cli/ToolArguments.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "common/FourCharCode.h"
#include "notation/DescNotation.h"
#include "tools/cli/ToolCommandTable.h"

namespace {

constexpr std::string_view kConvertFormats[] = {"xml", "binary", "json", "openstep"};
constexpr std::string_view kExtractFormats[] = {"xml", "binary", "json", "openstep", "raw"};
constexpr std::string_view kTypes[] = {"bool", "integer", "float", "string",    "date",
                                       "data", "uid",     "array", "dictionary"};
// What --expect takes: the types and their synonyms.
constexpr std::string_view kTypeWords[] = {"bool", "integer", "float", "real", "string",    "date",
                                           "data", "uid",     "array", "dict", "dictionary"};
constexpr std::string_view kValueTypes[] = {"bool",       "integer", "float", "string",
                                            "date",       "data",    "hex",   "array",
                                            "dictionary", "xml",     "json"};

bool IsOneOf(std::string_view word, std::span<const std::string_view> choices) {
    return std::find(choices.begin(), choices.end(), word) != choices.end();
}

// "--format takes xml, …, not 'jsn' (did you mean json?)".
// The suggestion is one of `near`, `choices` when it is not given.
std::string NotOneOf(std::string what, std::span<const std::string_view> choices,
                     std::string_view word, std::span<const std::string_view> near = {}) {
    if (near.empty()) near = choices;
    return what + " " + ChoiceText(choices) + ", not '" + std::string(word) + "'" +
           Suggestion(word, {near.begin(), near.end()});
}

// Every spelling of every option, for suggestions.
std::vector<std::string_view> OptionSpellings() {
    std::vector<std::string_view> names = {"--help", "--version"};
    for (const OptionSpec& spec : ToolOptions()) {
        names.push_back(spec.name);
        if (!spec.shortName.empty()) names.push_back(spec.shortName);
    }
    return names;
}

bool IsEdit(ToolCommand command) {
    return command == ToolCommand::Replace || command == ToolCommand::Insert ||
           command == ToolCommand::Remove;
}

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

// An argument that is not a known option but looks like one: "--x…", or "-x…" other than a
// negative number ("-5", "-.5", "-inf"), "----" and "----=…" (the direct parameter's keyword),
// and a send parameter with a four-char code ("-abc=…"). "-" alone is standard input.
bool LooksLikeOption(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    if (arg[1] == '-') return arg.size() > 2 && arg[2] != '-';
    const bool number = (arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.' || arg == "-inf";
    return !number && !(arg.size() > 4 && arg[4] == '=');
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
    // `clause`: the words of one edit -c clause, a replace, insert or remove without FILE.
    ArgumentReader(const std::vector<std::string>& args, ToolArguments& out, std::string& error,
                   bool clause = false)
        : mArgs(args), mOut(out), mError(error), mClause(clause) {}
    bool Read();

private:
    bool ReadClauses();
    bool ReadCommand(std::string_view command, std::vector<std::string_view>& words);
    bool ReadLoad(const std::vector<std::string_view>& words);
    bool ReadStore(const std::vector<std::string_view>& words);
    bool ReadSend(const std::vector<std::string_view>& words);
    bool ReadOperands(const CommandSpec& spec, const std::vector<std::string_view>& words);
    bool CheckCombination(const CommandSpec& spec);
    bool Apply(const OptionSpec& spec, std::string_view value, size_t& i);
    bool Fail(std::string message) {
        mError = std::move(message);
        return false;
    }

    const std::vector<std::string>& mArgs;
    ToolArguments& mOut;
    std::string& mError;
    bool mClause;
    std::vector<std::string_view> mOptional;
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
    for (const OptionSpec& spec : ToolOptions()) {
        if (arg == spec.name || (!spec.shortName.empty() && arg == spec.shortName)) return &spec;
        if (!spec.valueName.empty() && spec.name.starts_with("--") &&
            arg.size() > spec.name.size() && arg.starts_with(spec.name) &&
            arg[spec.name.size()] == '=') {
            inlineValue = arg.substr(spec.name.size() + 1);
            return &spec;
        }
    }
    return nullptr;
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
        if (mClause && (arg == "--help" || arg == "-h" || arg == "--version"))
            return Fail(std::string(arg) + " cannot stand in a clause");
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
            if (LooksLikeOption(arg))
                return Fail("unknown option '" + std::string(arg) + "'" +
                            Suggestion(arg, OptionSpellings()));
            words.push_back(arg);
            continue;
        }
        if (mClause && spec->action != OptionAction::ValueType &&
            spec->action != OptionAction::Append)
            return Fail(std::string(arg) + " cannot stand in a clause");
        const bool twice = spec->action != OptionAction::Clause &&
                           std::find(given.begin(), given.end(), spec) != given.end();
        if (twice || (spec->action == OptionAction::ValueType && !mOut.valueType.empty()))
            return Fail(twice ? "option " + std::string(spec->name) + " given twice"
                              : "give one -TYPE VALUE");
        given.push_back(spec);
        std::string_view value;
        if (!spec->valueName.empty()) {
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
    if (words.empty() && mClause) return Fail("a clause is a replace, insert or remove, not empty");
    if (words.empty()) return Fail("no command given (" + CommandNamesText() + ")");
    const std::string_view command = words.front();
    words.erase(words.begin());
    if (!FindCommand(command))
        return Fail("unknown command '" + std::string(command) + "' (" + CommandNamesText() + ")");
    if (mClause && !IsEdit(FindCommand(command)->command))
        return Fail("a clause is a replace, insert or remove, not '" + std::string(command) + "'");
    for (const OptionSpec* spec : given)
        if (!OptionBelongsTo(*spec, command))
            return Fail(std::string(spec->name) + " belongs to " + OptionOwnersText(*spec));
    return ReadCommand(command, words);
}

// The switch an option without a value turns on, or nullptr.
bool* FlagOf(OptionAction action, ToolArguments& out) {
    switch (action) {
        case OptionAction::Pretty:
            return &out.pretty;
        case OptionAction::Strict:
            return &out.strict;
        case OptionAction::InPlace:
            return &out.inPlace;
        case OptionAction::Silent:
            return &out.silent;
        case OptionAction::NoNewline:
            return &out.noNewline;
        case OptionAction::Append:
            return &out.append;
        case OptionAction::Quiet:
            return &out.quiet;
        case OptionAction::Force:
            return &out.force;
        default:
            return nullptr;
    }
}

bool ArgumentReader::Apply(const OptionSpec& spec, std::string_view value, size_t& i) {
    if (bool* flag = FlagOf(spec.action, mOut)) {
        *flag = true;
        return true;
    }
    switch (spec.action) {
        case OptionAction::Bundle:
            mOut.bundlePath = value;
            break;
        case OptionAction::To:
            mOut.destination = std::string(value);
            break;
        case OptionAction::Text:
            mOut.loadText = true;
            mOut.operand = value;
            break;
        case OptionAction::Format:
            if (!IsOneOf(value, kConvertFormats))
                return Fail(NotOneOf("--format takes", kConvertFormats, value));
            mOut.format = value;
            break;
        case OptionAction::Expect:
            if (!IsOneOf(value, kTypeWords))
                return Fail(NotOneOf("--expect takes", kTypes, value, kTypeWords));
            mOut.expect = std::string(CanonicalTypeWord(value));
            break;
        case OptionAction::Clause:
            mOut.clauseTexts.emplace_back(value);
            break;
        case OptionAction::MaxInput:
            if (!ParseByteCount(value, mOut.maxInputBytes))
                return Fail("--max-input takes a size such as 256M, not '" + std::string(value) +
                            "'");
            break;
        case OptionAction::MaxOutput:
            if (!ParseByteCount(value, mOut.maxOutputBytes))
                return Fail("--max-output takes a size such as 256M, not '" + std::string(value) +
                            "'");
            break;
        case OptionAction::ValueType:
            mOut.valueType = spec.name.substr(1);
            mOut.valueText = value;
            break;
        default: {  // --optional
            // Every following bare code is an optional keyword.
            FourCharCode code;
            while (i + 1 < mArgs.size() && !LooksLikeOption(mArgs[i + 1]) &&
                   ParseCodeArgument(mArgs[i + 1], code))
                mOptional.push_back(mArgs[++i]);
            if (mOptional.empty()) return Fail("--optional needs at least one keyword");
            break;
        }
    }
    return true;
}

bool ArgumentReader::ReadCommand(std::string_view command, std::vector<std::string_view>& words) {
    const CommandSpec& spec = *FindCommand(command);
    mOut.command = spec.command;
    if (command == "load") return ReadLoad(words);
    if (command == "store") return ReadStore(words);
    if (command == "send") return ReadSend(words);
    return ReadOperands(spec, words) && CheckCombination(spec);
}

// The operands the row names, in order: KEYPATH, FORMAT, FILE; FILE... for one or more and
// [KEYPATH] for an optional last one. A clause has no FILE.
bool ArgumentReader::ReadOperands(const CommandSpec& spec,
                                  const std::vector<std::string_view>& words) {
    std::string_view operands = spec.operands;
    if (mClause) operands = operands.substr(0, operands.find(" FILE"));
    std::vector<std::string_view> names;
    for (std::string_view rest = operands; !rest.empty();) {
        const size_t space = std::min(rest.find(' '), rest.size());
        names.push_back(rest.substr(0, space));
        rest.remove_prefix(std::min(space + 1, rest.size()));
    }
    const bool many = !names.empty() && names.back().ends_with("...");
    const size_t optional = !names.empty() && names.back().starts_with('[') ? 1 : 0;
    if (words.size() < names.size() - optional || (!many && words.size() > names.size())) {
        if (mClause)
            return Fail("a " + std::string(spec.name) + " clause takes " + std::string(operands) +
                        " and no FILE");
        if (operands == "FILE...")
            return Fail(std::string(spec.name) + " takes one or more FILEs (- for standard input)");
        return Fail(std::string(spec.name) + " takes " + std::string(operands) +
                    " (- for standard input)");
    }
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string_view name = names[std::min(i, names.size() - 1)];
        if (name.find("KEYPATH") != std::string_view::npos) {
            mOut.keyPath = words[i];
        } else if (name == "FORMAT") {
            std::span<const std::string_view> formats = kConvertFormats;
            if (spec.command == ToolCommand::Extract) formats = kExtractFormats;
            if (!IsOneOf(words[i], formats))
                return Fail(
                    NotOneOf(std::string(spec.name) + " takes the FORMAT", formats, words[i]));
            mOut.format = words[i];
        } else {
            mOut.files.emplace_back(words[i]);
        }
    }
    return true;
}

// Each -c CLAUSE read as the command line it is, without FILE.
bool ArgumentReader::ReadClauses() {
    for (size_t i = 0; i < mOut.clauseTexts.size(); ++i) {
        const std::string& text = mOut.clauseTexts[i];
        std::vector<std::string> words;
        ToolArguments clause;
        std::string error;
        if (SplitClause(text, words, error)) {
            ArgumentReader reader(words, clause, error, true);
            if (reader.Read()) {
                mOut.clauses.push_back(clause.clauses.front());
                mOut.clauses.back().text = text;
                continue;
            }
        }
        return Fail("clause " + std::to_string(i + 1) + " " + Quoted(text) + ": " + error);
    }
    if (mOut.clauses.empty()) return Fail("edit needs at least one -c 'CLAUSE'");
    return true;
}

// What the options mean together.
bool ArgumentReader::CheckCombination(const CommandSpec& spec) {
    const std::string name(spec.name);
    if ((spec.command == ToolCommand::Replace || spec.command == ToolCommand::Insert) &&
        mOut.valueType.empty())
        return Fail(name + " needs the value as -TYPE VALUE (TYPE " + ChoiceText(kValueTypes) +
                    ")");
    if (mOut.inPlace && mOut.destination)
        return Fail(name + " writes each FILE back with --in-place, or one FILE to -o OUT");
    if (mOut.destination && mOut.files.size() > 1)
        return Fail(name + " -o writes one FILE; " +
                    (spec.command == ToolCommand::Convert ? "use --in-place for several"
                                                          : "without it each FILE is rewritten"));
    if (IsEdit(spec.command))
        mOut.clauses.push_back(
            {spec.command, "", mOut.keyPath, mOut.valueType, mOut.valueText, mOut.append});
    if (spec.command == ToolCommand::Edit && !ReadClauses()) return false;
    // Standard input is read once: as one FILE or as one value.
    size_t readers = static_cast<size_t>(std::count(mOut.files.begin(), mOut.files.end(), "-"));
    for (const EditClauseArguments& clause : mOut.clauses) readers += clause.valueText == "-";
    if (readers > 1 && !mClause)
        return Fail("standard input is read once: give - as one FILE or one VALUE");
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

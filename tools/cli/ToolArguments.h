// The plistbridge tool's command line: what to run, with which operands. Parsing checks only
// the shape of the command line; values in the notation are parsed later, by the command.
#ifndef TOOLS_CLI_TOOLARGUMENTS_H
#define TOOLS_CLI_TOOLARGUMENTS_H

#include <CoreServices/CoreServices.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class ToolCommand {
    Help,
    Version,
    Load,
    Store,
    Send,
    Convert,
    Lint,
    Print,
    Extract,
    Type,
    Replace,
    Insert,
    Remove,
    Create,
    Diff,
    Edit
};

// KEY=VALUE of send: the value still in the notation, and how many characters of the argument
// come before it, so that a notation error can point at the argument's own column.
struct SendParameter {
    AEKeyword keyword;
    std::string valueText;
    size_t valueColumn;
};

// One edit: what follows "plistbridge" in a replace, insert or remove command line, without the
// FILE. replace, insert and remove make one of their own operands; edit one per -c.
struct EditClauseArguments {
    ToolCommand command = ToolCommand::Replace;
    std::string text;       // edit -c: the clause as given, for messages; else empty
    std::string keyPath;    // KEYPATH, as given
    std::string valueType;  // bool, integer, float, string, date, data, array, dictionary, xml,
                            // json; empty for remove
    std::string valueText;  // "-": read from standard input
    bool append = false;    // insert --append
};

struct ToolArguments {
    ToolCommand command = ToolCommand::Help;
    std::string helpTopic;                     // COMMAND --help: the command; empty for all
    std::string bundlePath;                    // --bundle PATH; empty for the default
    std::string operand;                       // load: FILE or TEXT; store: VALUE
                                               // ("-": standard input)
    bool loadText = false;                     // load --text
    bool pretty = false;                       // load --pretty
    std::optional<std::string> destination;    // store, convert, edits: --to FILE, -o FILE
    std::string format = "xml";                // convert --format; extract, create FORMAT
    bool strict = false;                       // convert --strict (JSON: refuse dates, data)
    bool inPlace = false;                      // convert and the edits: --in-place
    bool force = false;                        // create --force
    bool silent = false;                       // lint -s
    std::vector<std::string> files;            // every command's FILEs, in order
    std::string keyPath;                       // KEYPATH, as given
    std::string valueType;                     // replace, insert: -TYPE … (-real is float,
                                               // -dict dictionary)
    std::string valueText;                     // … VALUE
    bool append = false;                       // insert --append
    std::vector<std::string> clauseTexts;      // edit -c CLAUSE …, as given
    std::vector<EditClauseArguments> clauses;  // replace, insert, remove, edit: the edits
    std::optional<std::string> expect;         // extract, type: --expect TYPE
    bool noNewline = false;                    // extract -n
    bool quiet = false;                        // diff -q
    AEEventClass eventClass = 0;               // send CLASS/ID
    AEEventID eventID = 0;
    std::vector<SendParameter> parameters;    // send KEY=VALUE …
    std::vector<AEKeyword> optionalKeywords;  // send --optional KEY …
    size_t maxInputBytes = 0;                 // --max-input SIZE; 0: the platform's default
    size_t maxOutputBytes = 0;                // --max-output SIZE; 0: the default bound
};

// Parses the arguments after the program name. Returns true, or false with a one-line
// message (without the "plistbridge: " prefix) for a usage error.
bool ParseToolArguments(const std::vector<std::string>& args, ToolArguments& out,
                        std::string& error);

// A four-char code as written on the command line: four bytes as they are ("plsL", "----"),
// or the notation's quoted form with escapes ("'ldt '", "'\x00abc'").
bool ParseCodeArgument(std::string_view text, FourCharCode& code);

// The type a type word names: "real" is float and "dict" dictionary; any other word as it is.
std::string_view CanonicalTypeWord(std::string_view word);

// Splits a clause as a shell splits a command line: words at blanks, '…' taken as it is, "…"
// with \" and \\ escaped, a backslash outside quotes taking the next character as it is.
// False with `error` for an open quote or a backslash at the end.
bool SplitClause(std::string_view text, std::vector<std::string>& words, std::string& error);

// " (did you mean -float?)" when `word` is close to one of `choices` (a few typing slips, or
// the start of only one), else empty.
std::string Suggestion(std::string_view word, const std::vector<std::string_view>& choices);

// The --help text.
const char* ToolUsageText();

// COMMAND --help: that command's usage, or nullptr for an unknown command.
const char* ToolCommandUsageText(std::string_view command);

#endif

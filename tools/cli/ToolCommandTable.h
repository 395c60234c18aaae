// The tool's commands and options as tables: one row per command and one per option. The
// argument reader and every usage text are made from these rows, so a command's synopsis, its
// --help and the options it takes cannot disagree.
#ifndef TOOLS_CLI_TOOLCOMMANDTABLE_H
#define TOOLS_CLI_TOOLCOMMANDTABLE_H

#include <span>
#include <string>
#include <string_view>

#include "tools/cli/ToolArguments.h"

enum class OptionAction {
    Bundle,
    To,
    Text,
    Pretty,
    Format,
    Strict,
    Optional,
    Expect,
    NoNewline,
    Silent,
    InPlace,
    Append,
    Quiet,
    MaxInput,
    MaxOutput,
    ValueType,
    Force,
    Clause
};

struct OptionSpec {
    std::string_view name;       // "--to", or "-integer" for a value type
    std::string_view shortName;  // "-o", or empty; for a value type its synonym ("-real")
    std::string_view valueName;  // "FILE"; empty when the option takes no value
    std::string_view commands;   // the commands that take it, space-separated; empty: every one
    std::string_view help;       // one line for the usage texts
    OptionAction action;
};

struct CommandSpec {
    std::string_view name;
    ToolCommand command;
    int (*run)(const ToolArguments&);  // the command, in tools/commands/; its exit status
    // The operands in order: KEYPATH, FORMAT, FILE; FILE... for one or more, [KEYPATH] for an
    // optional last one; empty for the commands whose operands are read by hand (load, store,
    // send).
    std::string_view operands;
    std::string_view synopsis;  // after "plistbridge ", one form a line
    std::string_view summary;   // one line for the list of commands
    std::string_view details;   // the rest of COMMAND --help
};

std::span<const OptionSpec> ToolOptions();
std::span<const CommandSpec> ToolCommands();

// The row for `name`, or nullptr.
const CommandSpec* FindCommand(std::string_view name);
// The row for `command`, or nullptr for help and version, which have none.
const CommandSpec* FindCommand(ToolCommand command);

// True when `spec` is an option of `command`.
bool OptionBelongsTo(const OptionSpec& spec, std::string_view command);

// "xml, binary, json or openstep".
std::string ChoiceText(std::span<const std::string_view> choices);

// "store", "store or convert", "store, convert or replace": the commands that take `spec`.
std::string OptionOwnersText(const OptionSpec& spec);

// "load, store, …, or diff": every command's name, for messages.
std::string CommandNamesText();

#endif

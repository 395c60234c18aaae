// What the commands that read or change one value share (extract, type, replace, insert,
// remove): the value at the key path, the expected type, and the rewrite of the file.
#ifndef TOOLS_COMMANDS_TOOLEDITING_H
#define TOOLS_COMMANDS_TOOLEDITING_H

#include "tools/cli/ToolSupport.h"
#include "tools/edit/KeyPath.h"
#include "tools/edit/PlistEdit.h"

// Reads args.files[0] and finds the value at args.keyPath in it (borrowed from `plist`).
// False with `status` set after complaining: 2 for a key path that cannot be read, 1 for a
// file that cannot, or a path that names no value.
bool ReadValueAt(std::string_view command, const ToolArguments& args,
                 CFRef<CFPropertyListRef>& plist, CFPropertyListRef& value, int& status);

// True when there is no --expect or the value is of that type; else false after complaining
// "COMMAND: FILE: the value at a.b is a string, not integer".
bool HasExpectedType(std::string_view command, const ToolArguments& args, CFPropertyListRef value);

// "COMMAND: FILE: another edit held the file for 10 s; nothing was changed", status 1.
int ComplainLocked(std::string_view command, const std::string& file);

// replace, insert and remove: the edit at args.keyPath, written back to the file in the format
// it had, or to -o OUT in that format.
int RunEdit(std::string_view command, const ToolArguments& args, plistedit::EditKind kind);

#endif

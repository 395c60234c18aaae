// What the commands that read or change one value share (print, extract, type, replace, insert,
// remove, edit): the value at the key path, the expected type, and the edits of a file.
#ifndef TOOLS_COMMANDS_TOOLEDITING_H
#define TOOLS_COMMANDS_TOOLEDITING_H

#include <vector>

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

// One edit, ready to be made: where, which, and the value it puts there (none for remove).
struct EditClause {
    plistedit::KeyPath path;
    plistedit::EditKind kind = plistedit::EditKind::Replace;
    CFRef<CFPropertyListRef> value;
};

// A file being edited: its value with the clauses made so far, and the format it is written in.
struct EditedFile {
    std::string path;
    std::string format;
    CFRef<CFPropertyListRef> plist;
};

// Makes one clause's edit in `file`. False with `error` naming the key path from the top, and
// `file` as it was.
bool ApplyClause(const EditClause& clause, EditedFile& file, std::string& error);

// replace, insert, remove and edit: the clauses of args.clauses made in order in each FILE,
// which is written back once in the format it had (or to -o OUT in that format), or not at
// all when a clause fails. A FILE that fails does not stop the others; the status is then 1.
int RunEdit(std::string_view command, const ToolArguments& args);

#endif

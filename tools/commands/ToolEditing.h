// What the commands that read or change one value share (print, extract, type, replace, insert,
// remove, edit): the value at the key path, the expected type, and the edits of a file.
#ifndef TOOLS_COMMANDS_TOOLEDITING_H
#define TOOLS_COMMANDS_TOOLEDITING_H

#include <string>
#include <string_view>
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

// "COMMAND: FILE: another edit held the file for 10 s; nothing was changed", status 1.
int ComplainLocked(std::string_view command, const std::string& file);

// One edit, ready to be made: where, which, and the value it puts there (none for remove).
struct EditClause {
    plistedit::KeyPath path;
    plistedit::EditKind kind = plistedit::EditKind::Replace;
    CFRef<CFPropertyListRef> value;
    std::string given;  // the value as messages name it: "-date '2024-02-30T10:00:26Z'"
};

// A file being edited: its value with the clauses made so far, the format it is written in,
// and its bytes with the same clauses made in them, for as long as each could be made there.
struct EditedFile {
    std::string path;
    std::string format;
    CFRef<CFPropertyListRef> plist;
    std::string_view original;  // the file as read; it must outlive the edit
    std::string edited;         // the bytes with the clauses made, once one was
    bool bytesEdited = false;   // `edited` holds the file, not `original`
    bool bytesFollow = true;    // every clause so far was made in the bytes too
    std::string whyWhole;       // why the file is rewritten whole; empty for binary

    std::string_view Bytes() const { return bytesEdited ? std::string_view(edited) : original; }
};

// Makes one clause's edit in `file`: in its value and, while every clause before it could be,
// in its bytes alone (a text file keeps its layout); a clause that cannot be made there leaves
// the file to be written whole from its value. 0, or the exit status with `error` set and
// `file` as it was: 2 for a value the file's format cannot hold, 1 for an edit that cannot be
// made (naming the key path from the top).
int ApplyClause(const EditClause& clause, EditedFile& file, std::string& error);

// replace, insert, remove and edit: the clauses of args.clauses made in order in each FILE,
// which is written back once in the format it had (or to -o OUT in that format), or not at
// all when a clause fails. Each FILE is locked from its read to its rewrite. A FILE that fails
// does not stop the others; the status is then the highest of theirs.
int RunEdit(std::string_view command, const ToolArguments& args);

#endif

// plistbridge insert: adds a new dictionary key or array item (or, with --append, an item at the
// end of an array) and rewrites the file in the format it had.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

int RunInsert(const ToolArguments& args) {
    return RunEdit("insert", args);
}

// plistbridge edit: several replace, insert and remove clauses made in order, each file written
// once, or not at all when a clause fails.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

int RunEditCommand(const ToolArguments& args) {
    return RunEdit("edit", args);
}

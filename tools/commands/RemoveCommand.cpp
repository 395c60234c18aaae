// plistbridge remove: takes out the value at a key path and rewrites the file in the format it had.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

int RunRemove(const ToolArguments& args) {
    return RunEdit("remove", args);
}

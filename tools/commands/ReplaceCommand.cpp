// plistbridge replace: sets the value at a key path (adding a missing dictionary key) and rewrites
// the file in the format it had.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

int RunReplace(const ToolArguments& args) {
    return RunEdit("replace", args);
}

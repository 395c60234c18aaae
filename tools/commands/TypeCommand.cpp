// plistbridge type: the type of the value at a key path.
#include <cstdio>

#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

int RunType(const ToolArguments& args) {
    CFRef<CFPropertyListRef> plist;
    CFPropertyListRef value = nullptr;
    int status = 0;
    if (!ReadValueAt("type", args, plist, value, status)) return status;
    if (!HasExpectedType("type", args, value)) return kExitFailed;
    std::printf("%s\n", plistedit::TypeName(value));
    return 0;
}

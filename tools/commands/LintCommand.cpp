// plistbridge lint: reads each file as the converter would and says whether it is a property
// list, and if not, what is wrong and on which line; with -s, only the failures.
#include <cstdio>

#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"

int RunLint(const ToolArguments& args) {
    int status = 0;
    for (const std::string& file : args.files) {
        std::string reason;
        InputFile input;
        CFRef<CFPropertyListRef> plist;
        const bool opened = input.Open(file, reason);
        if (opened) PrepareHeapForList(input.Bytes());
        const bool parsed = opened && ParseInput(input.Bytes(), plist, reason);
        if (input.Shrank()) {
            reason = kShrankWhileRead;
        } else if (parsed) {
            if (!args.silent) std::printf("%s: OK\n", EscapeControls(file).c_str());
            if (&file == &args.files.back()) LeaveUntilExit(plist);
            continue;
        }
        std::printf("%s: %s\n", EscapeControls(file).c_str(), EscapeControls(reason).c_str());
        status = kExitFailed;
    }
    return status;
}

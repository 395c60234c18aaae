// plistbridge print: a property list in any format, or the value at a key path in it, laid out
// for a person.
#include <cerrno>
#include <cstdio>

#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"
#include "tools/edit/PlistPrint.h"

int RunPrint(const ToolArguments& args) {
    CFRef<CFPropertyListRef> plist;
    CFPropertyListRef value = nullptr;
    int status = 0;
    if (!ReadValueAt("print", args, plist, value, status)) return status;
    const std::string problem = ExpansionProblem(value, "print");
    if (!problem.empty()) return Complain(kExitFailed, "print: " + args.files[0] + ": " + problem);
    std::string text;
    if (!plistedit::AppendPrinted(value, text))
        return Complain(kExitFailed, "print: " + args.files[0] +
                                         ": a container is repeated more than 1536 times, "
                                         "which would print without end");
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        return ComplainOutputFailed("print", errno);
    return 0;
}

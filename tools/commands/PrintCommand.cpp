// plistbridge print: a property list in any format, laid out for a person.
#include <cerrno>
#include <cstdio>

#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"
#include "tools/edit/PlistPrint.h"

int RunPrint(const ToolArguments& args) {
    CFRef<CFPropertyListRef> plist;
    if (!ReadPlistFile("print", args.files[0], plist)) return kExitFailed;
    const std::string problem = ExpansionProblem(plist.Get(), "print");
    if (!problem.empty()) return Complain(kExitFailed, "print: " + args.files[0] + ": " + problem);
    std::string text;
    if (!plistedit::AppendPrinted(plist.Get(), text))
        return Complain(kExitFailed, "print: " + args.files[0] +
                                         ": a container is repeated more than 1536 times, "
                                         "which would print without end");
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        return ComplainOutputFailed("print", errno);
    return 0;
}

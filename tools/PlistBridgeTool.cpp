// plistbridge: runs the addition's commands from a shell, and converts, checks and edits
// property lists. main reads the command line and runs the command's row of the command table;
// each command is in tools/commands/.
#include <malloc.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/SanitizerDefaults.h"
#include "platform/CoreFoundation/CFFilePrivate.h"
#include "tools/cli/ToolArguments.h"
#include "tools/cli/ToolCommandTable.h"
#include "tools/cli/ToolSupport.h"

namespace {

// A command builds and frees millions of small nodes. Keeping freed memory in the heap rather
// than handing it back to the system and faulting it in again, and leaving out the fast bins
// (and the consolidation passes over them), saves much of the allocator's and the kernel's
// time in a large run; the peak is the same.
void TuneAllocator() {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MXFAST, 0);
}

// A success whose output did not all reach standard output (a full disk, /dev/full, a closed
// descriptor) is a failure, with the system's reason.
int FinishOutput(int status) {
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written || status != 0) return status;
    return ComplainOutputFailed("", errno);
}

// A write past the file-size limit, or to a reader that went away, fails (EFBIG, EPIPE) and is
// reported, instead of ending the tool by a signal halfway through its output.
void IgnoreOutputSignals() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    TuneAllocator();
    IgnoreOutputSignals();
    ToolArguments args;
    std::string error;
    if (!ParseToolArguments(std::vector<std::string>(argv + 1, argv + argc), args, error))
        return Complain(kExitUsage, error + " (see plistbridge --help)");
    if (args.command == ToolCommand::Help) {
        const char* usage =
            args.helpTopic.empty() ? ToolUsageText() : ToolCommandUsageText(args.helpTopic);
        if (!usage)
            return Complain(kExitUsage,
                            "unknown command '" + args.helpTopic + "' (see plistbridge --help)");
        std::fputs(usage, stdout);
        return FinishOutput(0);
    }
    if (args.command == ToolCommand::Version) {
        std::printf("plistbridge %s\n", PLISTBRIDGE_VERSION);
        return FinishOutput(0);
    }
    if (args.maxInputBytes) PBFileSetReadLimit(args.maxInputBytes);
    SetOutputBound(args.maxOutputBytes);
    int status = 0;
    try {
        status = FindCommand(args.command)->run(args);
    } catch (const std::bad_alloc&) {
        // Printing a huge result, or building a big value, can run out of memory: one line
        // and the failure status rather than an abort.
        status = Complain(kExitFailed, "out of memory" + StatusSuffix(memFullErr));
    }
    return FinishOutput(status);
}

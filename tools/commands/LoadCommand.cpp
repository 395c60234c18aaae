// plistbridge load: runs load plist on a file, standard input or text, and prints the result in
// the descriptor notation.
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "platform/CoreFoundation/CFFilePrivate.h"
#include "tools/commands/AdditionCommand.h"
#include "tools/commands/Commands.h"
#include "tools/commands/LoadDiagnosis.h"

namespace {

// The file load sends for FILE. Standard input ("-") goes as /dev/fd/0, which the addition
// opens and reads as it reads any file: a pipe or a device through the platform's stream
// path, a regular file by its size and in any format, so its bytes are never taken as text.
// Opening /dev/fd/0 reopens a regular file from its start, so one that standard input has
// already been read into is refused rather than read again from the top.
bool LoadPath(const std::string& operand, std::string& path) {
    path = operand;
    if (operand != "-") return true;
    path = "/dev/fd/0";
    struct stat info;
    return fstat(STDIN_FILENO, &info) != 0 || !S_ISREG(info.st_mode) ||
           lseek(STDIN_FILENO, 0, SEEK_CUR) <= 0;
}

// True when the list in the file at `path` is too large once its shared values are written
// out, by the measure the tool's own outputs are bounded with.
bool ExpandsPastTheBound(const std::string& path) {
    CFRef<CFPropertyListRef> plist;
    return ReadPlistFile("load plist", path, plist) &&
           !ExpansionProblem(plist.Get(), "print").empty();
}

}  // namespace

int RunLoad(const ToolArguments& args) {
    CAdditionHost host;
    int exitStatus = 0;
    if (!LoadAddition(args, host, exitStatus)) return exitStatus;
    OwnedDesc value;
    std::string path;
    if (!args.loadText && !LoadPath(args.operand, path))
        return Complain(kExitFailed,
                        "load plist: standard input is a file already read in part; give the "
                        "file's name instead");
    if (args.loadText) {
        InputFile input;
        std::string reason;
        const auto text = OperandText(args, input, reason);
        if (!text) return Complain(kExitFailed, "standard input: " + reason);
        const OSStatus made = CreateUnicodeTextDesc(*text, value);
        if (input.Shrank()) return ComplainShrankInput();
        if (made == memFullErr) throw std::bad_alloc();
        if (made != noErr) return Complain(kExitUsage, "the text is not valid UTF-8");
    } else if (OSStatus err = CreateFileURLDesc(path, value)) {
        return Complain(kExitFailed,
                        "cannot make a file URL for '" + args.operand + "'" + StatusSuffix(err));
    } else {
        PrepareHeapForFile(path);
    }
    const unsigned long failedBefore = FailedAllocations();
    EventOutcome outcome = SendLoadPList(value.Get());
    if (!args.loadText && PBFileGuardedMappingShrank())
        return Complain(kExitFailed, "load plist: " + args.operand + ": " + kShrankWhileRead);
    if (outcome.status == fnfErr && !args.loadText) {
        // The addition knows only that the file cannot be read; the system says why.
        const std::string problem = FileProblem(path);
        if (!problem.empty())
            return Complain(kExitFailed, "load plist: " + args.operand + ": " + problem +
                                             StatusSuffix(outcome.status));
    }
    if (outcome.status == coreFoundationUnknownErr) {
        // The addition knows only that this is no property list; the reader says why.
        const std::string why =
            args.loadText ? ExplainRefusedText(value.Get()) : ExplainRefusedFile(args.operand);
        if (!why.empty()) return Complain(kExitFailed, why + StatusSuffix(outcome.status));
    }
    if (outcome.status == memFullErr && !args.loadText && args.operand != "-") {
        // The addition answers a list its shared values would expand past its bound with a
        // bare -108, as it answers memory running out; the tool's own measure tells them apart.
        if (ExpandsPastTheBound(path))
            return Complain(kExitFailed, "load plist: " + args.operand +
                                             ": its shared values expand it past what the "
                                             "addition takes" +
                                             StatusSuffix(outcome.status));
    }
    if (outcome.status != noErr) return ReportFailure("load plist", outcome, failedBefore);
    const int status = PrintDirectResult(outcome, args.pretty);
    LeaveForExit(outcome.reply);
    return status;
}

// plistbridge: runs the addition's commands from a shell. Loads PlistBridge.osax, sends one
// event, prints the result in the descriptor notation (or the XML), and turns the outcome
// into an exit status: 0 success, 1 the command failed, 2 a usage or notation error.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/SanitizerDefaults.h"
#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "host/HostValues.h"
#include "notation/DescNotation.h"
#include "platform/CoreFoundation/CFFilePrivate.h"
#include "tools/LoadDiagnosis.h"
#include "tools/ToolArguments.h"
#include "tools/ToolCommands.h"

namespace {

std::string StatusSuffix(OSStatus status) {
    return " (" + std::to_string(status) + ")";
}

// "load plist", "store plist", or "event CLAS/EVID" for any other event.
std::string EventName(AEEventClass eventClass, AEEventID eventID) {
    if (eventClass == kPlistBridgeSuite && eventID == kAELoadPList) return "load plist";
    if (eventClass == kPlistBridgeSuite && eventID == kAEStorePList) return "store plist";
    std::string name = "event ";
    for (FourCharCode code : {eventClass, eventID}) {
        if (code == eventID) name.push_back('/');
        std::string quoted;
        for (int shift = 24; shift >= 0; shift -= 8)
            quoted.push_back(static_cast<char>(code >> shift));
        name += quoted;
    }
    return name;
}

// The addition answers a failure by its status alone: -10000 for an allocation of the C++
// library, -4960 for XML it could not make, -43 for a file it could not read. Whether memory ran
// out meanwhile is what the process saw.
bool RanOutOfMemory(unsigned long failedBefore) {
    return FailedAllocations() != failedBefore || PBFileLastError() == ENOMEM;
}

int ReportFailure(const std::string& eventName, const EventOutcome& outcome,
                  unsigned long failedBefore) {
    if (outcome.errorText && !outcome.errorText->empty())
        return Complain(kExitFailed, *outcome.errorText + StatusSuffix(outcome.status));
    if (outcome.status == memFullErr || RanOutOfMemory(failedBefore))
        return Complain(kExitFailed, eventName + ": out of memory" + StatusSuffix(outcome.status));
    return Complain(kExitFailed, eventName + " failed" + StatusSuffix(outcome.status));
}

// The operand's text: all of standard input for "-" (held by `input`), else the operand;
// nothing, with `reason`, when standard input gives more than the read limit.
std::optional<std::string_view> OperandText(const ToolArguments& args, InputFile& input,
                                            std::string& reason) {
    if (args.operand != "-") return args.operand;
    if (!input.OpenStandardInput(reason)) return std::nullopt;
    return input.Bytes();
}

int ComplainShrankInput() {
    return Complain(kExitFailed, std::string("standard input: ") + kShrankWhileRead);
}

// Parses a value in the notation; on failure prints the error with the column in `argument`
// (the value starts after `column` characters of it), or that `input` (the text's file) was
// shortened while it was read, and returns false.
bool ParseValue(std::string_view text, size_t column, OwnedDesc& out, int& exitStatus,
                const InputFile* input = nullptr) {
    NotationError error;
    if (ParseDesc(text, out, error)) return true;
    if (input && input->Shrank()) {
        exitStatus = ComplainShrankInput();
        return false;
    }
    if (error.status == memFullErr) throw std::bad_alloc();  // not the notation's fault
    if (error.line == 1) error.column += column;
    exitStatus = Complain(kExitUsage, "notation error " + error.Describe());
    return false;
}

// The process ends once the result is written. Tearing down a value of a million items would
// cost a tenth of a large load or store, for memory the system takes back at once; builds with a
// leak checker tear down as usual, so that it still sees every other leak.
void LeaveForExit(OwnedDesc& desc) {
#ifdef PLISTBRIDGE_LEAK_CHECKED
    (void)desc;
#else
    (void)desc.Detach();
#endif
}

int PrintLine(const AEDesc& desc, bool pretty = false) {
    if (!pretty) {
        // Written as it is made: a large result's text is never held whole.
        if (OSStatus err = PrintDesc(desc, stdout))
            return Complain(kExitFailed, "cannot print the result" + StatusSuffix(err));
        std::fputc('\n', stdout);
        return 0;
    }
    std::string text;
    if (OSStatus err = PrintDesc(desc, text))
        return Complain(kExitFailed, "cannot print the result" + StatusSuffix(err));
    text = PrettyNotation(text);
    // The newline apart: appending it could copy a text of hundreds of megabytes.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

int PrintDirectResult(const EventOutcome& outcome, bool pretty = false) {
    OwnedDesc result;
    if (OSStatus err = CopyDirectResult(outcome.reply.Get(), result)) {
        if (err != errAEDescNotFound)
            return Complain(kExitFailed, "cannot read the result" + StatusSuffix(err));
    }
    return PrintLine(result.Get(), pretty);
}

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

int RunLoad(const ToolArguments& args) {
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
    if (outcome.status != noErr) return ReportFailure("load plist", outcome, failedBefore);
    const int status = PrintDirectResult(outcome, args.pretty);
    LeaveForExit(outcome.reply);
    return status;
}

int RunStore(const ToolArguments& args, OwnedDesc& value) {
    OwnedDesc destination;
    if (args.destination) {
        if (OSStatus err = CreateFileURLDesc(*args.destination, destination))
            return Complain(kExitFailed, "cannot make a file URL for '" + *args.destination + "'" +
                                             StatusSuffix(err));
    }
    const unsigned long failedBefore = FailedAllocations();
    const EventOutcome outcome =
        SendStorePList(value.Get(), args.destination ? &destination.Get() : nullptr);
    LeaveForExit(value);
    if (outcome.status != noErr && args.destination &&
        !(outcome.errorText && !outcome.errorText->empty()) && PBFileLastError() != 0)
        // The addition knows only that the file was not written; the system says why.
        return Complain(kExitFailed, "store plist: " + *args.destination + ": " + WriteProblem(0) +
                                         StatusSuffix(outcome.status));
    if (outcome.status != noErr) return ReportFailure("store plist", outcome, failedBefore);
    if (args.destination) return PrintDirectResult(outcome);
    // The text route: the XML exactly as the addition returned it.
    OwnedDesc result;
    if (CopyDirectResult(outcome.reply.Get(), result) != noErr || result.Type() != typeUnicodeText)
        return PrintLine(result.Get());
    if (WriteUTF8Text(result.Get(), stdout) != noErr)
        return Complain(kExitFailed, "cannot write the output");
    return 0;
}

int RunSend(const ToolArguments& args, const std::vector<OwnedDesc>& values) {
    std::vector<EventParameter> parameters;
    for (size_t i = 0; i < values.size(); ++i) {
        const AEKeyword keyword = args.parameters[i].keyword;
        bool optional = false;
        for (AEKeyword k : args.optionalKeywords) optional = optional || k == keyword;
        parameters.push_back({keyword, &values[i].Get(), optional});
    }
    std::vector<AEKeyword> optionalOnly;
    for (AEKeyword k : args.optionalKeywords) {
        bool given = false;
        for (const EventParameter& p : parameters) given = given || p.keyword == k;
        if (!given) optionalOnly.push_back(k);
    }
    OwnedDesc event;
    if (OSStatus err = BuildEvent(args.eventClass, args.eventID, parameters, optionalOnly, event))
        return Complain(kExitFailed, "cannot build the event" + StatusSuffix(err));
    const unsigned long failedBefore = FailedAllocations();
    const EventOutcome outcome = SendEvent(event.Get());
    if (outcome.status != noErr)
        return ReportFailure(EventName(args.eventClass, args.eventID), outcome, failedBefore);
    OwnedDesc record;
    if (OSStatus err = CopyReplyParameters(outcome.reply.Get(), record))
        return Complain(kExitFailed, "cannot read the reply" + StatusSuffix(err));
    return PrintLine(record.Get());
}

int Run(const ToolArguments& args) {
    // Values are parsed before the bundle is loaded, so a notation error is reported as such.
    int exitStatus = 0;
    std::vector<OwnedDesc> values;
    if (args.command == ToolCommand::Store) {
        values.emplace_back();
        InputFile input;
        std::string reason;
        const auto text = OperandText(args, input, reason);
        if (!text) return Complain(kExitFailed, "standard input: " + reason);
        PrepareHeapFor(text->size(), kNotationTreeBytes);
        const bool parsed = ParseValue(*text, 0, values.back(), exitStatus, &input);
        if (parsed && input.Shrank()) return ComplainShrankInput();
        if (!parsed) return exitStatus;
    }
    for (const SendParameter& parameter : args.parameters) {
        values.emplace_back();
        if (!ParseValue(parameter.valueText, parameter.valueColumn, values.back(), exitStatus))
            return exitStatus;
    }
    const std::string bundlePath =
        args.bundlePath.empty() ? CAdditionHost::DefaultBundlePath() : args.bundlePath;
    CAdditionHost host;
    if (OSStatus err = host.Load(bundlePath))
        return Complain(kExitFailed,
                        "cannot load the addition at " + bundlePath + StatusSuffix(err));
    switch (args.command) {
        case ToolCommand::Load:
            return RunLoad(args);
        case ToolCommand::Store:
            return RunStore(args, values.front());
        default:
            return RunSend(args, values);
    }
}

// A command builds and frees millions of small nodes. Keeping freed memory in the heap rather
// than handing it back to the system and faulting it in again, and leaving out the fast bins
// (and the consolidation passes over them), saves much of the allocator's and the kernel's
// time in a large run; the peak is the same.
void TuneAllocator() {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MXFAST, 0);
}

// The command's function when it needs no addition, else nullptr.
int (*FileCommand(ToolCommand command))(const ToolArguments&) {
    switch (command) {
        case ToolCommand::Convert:
            return RunConvert;
        case ToolCommand::Lint:
            return RunLint;
        case ToolCommand::Print:
            return RunPrint;
        case ToolCommand::Extract:
            return RunExtract;
        case ToolCommand::Type:
            return RunType;
        case ToolCommand::Replace:
            return RunReplace;
        case ToolCommand::Insert:
            return RunInsert;
        case ToolCommand::Remove:
            return RunRemove;
        case ToolCommand::Create:
            return RunCreate;
        case ToolCommand::Diff:
            return RunDiff;
        default:
            return nullptr;
    }
}

// A success whose output did not all reach standard output (a full disk, /dev/full, a closed
// descriptor) is a failure, with the system's reason.
int FinishOutput(int status) {
    const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (written || status != 0) return status;
    return Complain(kExitFailed, std::string("cannot write the output: ") + std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
    TuneAllocator();
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
    int status = 0;
    try {
        // Every command but load, store and send runs on the platform directly, without the
        // addition.
        const auto direct = FileCommand(args.command);
        status = direct ? direct(args) : Run(args);
    } catch (const std::bad_alloc&) {
        // Printing a huge result, or building a big value, can run out of memory: one line
        // and the failure status rather than an abort.
        status = Complain(kExitFailed, "out of memory" + StatusSuffix(memFullErr));
    }
    return FinishOutput(status);
}

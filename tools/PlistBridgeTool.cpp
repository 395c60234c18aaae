// plistbridge: runs the addition's commands from a shell. Loads PlistBridge.osax, sends one
// event, prints the result in the descriptor notation (or the XML), and turns the outcome
// into an exit status: 0 success, 1 the command failed, 2 a usage or notation error.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "host/HostValues.h"
#include "notation/DescNotation.h"
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

int ReportFailure(const std::string& eventName, const EventOutcome& outcome) {
    if (outcome.errorText && !outcome.errorText->empty())
        return Complain(kExitFailed, *outcome.errorText + StatusSuffix(outcome.status));
    return Complain(kExitFailed, eventName + " failed" + StatusSuffix(outcome.status));
}

// The operand's text: all of standard input for "-" (held by `input`), else the operand.
std::string_view OperandText(const ToolArguments& args, InputFile& input) {
    if (args.operand != "-") return args.operand;
    input.OpenStandardInput();
    return input.Bytes();
}

int ComplainShrankInput() {
    return Complain(kExitFailed, std::string("standard input: ") + kShrankWhileRead);
}

// Parses a value in the notation; on failure prints the error with the column in `argument`
// (the value starts after `column` characters of it) and returns false.
bool ParseValue(std::string_view text, size_t column, OwnedDesc& out, int& exitStatus) {
    NotationError error;
    if (ParseDesc(text, out, error)) return true;
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

int RunLoad(const ToolArguments& args) {
    OwnedDesc value;
    if (args.loadText) {
        InputFile input;
        const OSStatus made = CreateUnicodeTextDesc(OperandText(args, input), value);
        if (input.Shrank()) return ComplainShrankInput();
        if (made != noErr) return Complain(kExitUsage, "the text is not valid UTF-8");
    } else if (OSStatus err = CreateFileURLDesc(args.operand, value)) {
        return Complain(kExitFailed,
                        "cannot make a file URL for '" + args.operand + "'" + StatusSuffix(err));
    }
    EventOutcome outcome = SendLoadPList(value.Get());
    if (outcome.status == fnfErr && !args.loadText) {
        // The addition knows only that the file cannot be read; the system says why.
        const std::string problem = FileProblem(args.operand);
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
    if (outcome.status != noErr) return ReportFailure("load plist", outcome);
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
    const EventOutcome outcome =
        SendStorePList(value.Get(), args.destination ? &destination.Get() : nullptr);
    LeaveForExit(value);
    if (outcome.status != noErr) return ReportFailure("store plist", outcome);
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
    const EventOutcome outcome = SendEvent(event.Get());
    if (outcome.status != noErr)
        return ReportFailure(EventName(args.eventClass, args.eventID), outcome);
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
        const bool parsed = ParseValue(OperandText(args, input), 0, values.back(), exitStatus);
        if (input.Shrank()) return ComplainShrankInput();
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
        return 0;
    }
    if (args.command == ToolCommand::Version) {
        std::printf("plistbridge %s\n", PLISTBRIDGE_VERSION);
        return 0;
    }
    int status = 0;
    try {
        // convert and lint need no addition: they run on the platform directly.
        status = args.command == ToolCommand::Convert ? RunConvert(args)
                 : args.command == ToolCommand::Lint  ? RunLint(args)
                                                      : Run(args);
    } catch (const std::bad_alloc&) {
        // Printing a huge result, or building a big value, can run out of memory: one line
        // and the failure status rather than an abort.
        status = Complain(kExitFailed, "out of memory" + StatusSuffix(memFullErr));
    }
    if (std::fflush(stdout) != 0 && status == 0)
        return Complain(kExitFailed, "cannot write the output");
    return status;
}

// plistbridge store: runs store plist on a value in the notation and prints the XML it returns,
// or writes it to a file and prints the destination.
#include <cerrno>
#include <cstdio>

#include "notation/DescNotation.h"
#include "platform/CoreFoundation/CFFilePrivate.h"
#include "tools/commands/AdditionCommand.h"
#include "tools/commands/Commands.h"

namespace {

int SendStore(const ToolArguments& args, OwnedDesc& value) {
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
    errno = 0;
    if (WriteUTF8Text(result.Get(), stdout) != noErr) return ComplainOutputFailed("", errno);
    return 0;
}

// Parses the value to store from the operand or standard input. False with `exitStatus` set
// after complaining.
bool ReadValue(const ToolArguments& args, OwnedDesc& value, int& exitStatus) {
    InputFile input;
    std::string reason;
    const auto text = OperandText(args, input, reason);
    if (!text) {
        exitStatus = Complain(kExitFailed, "standard input: " + reason);
        return false;
    }
    PrepareHeapFor(text->size(), kNotationTreeBytes);
    const bool parsed = ParseValue(*text, 0, value, exitStatus, &input);
    if (parsed && input.Shrank()) exitStatus = ComplainShrankInput();
    return parsed && !input.Shrank();
}

}  // namespace

int RunStore(const ToolArguments& args) {
    // The addition and its libraries are loaded while memory is still free (parsing a large
    // value may take all there is), but a notation error is reported before a failed load.
    CAdditionHost host;
    const OSStatus loadError = LoadAdditionQuietly(args, host);
    OwnedDesc value;
    int exitStatus = 0;
    // The text is given back once parsed: the addition's property list and XML take its place.
    if (!ReadValue(args, value, exitStatus)) return exitStatus;
    if (loadError) return ComplainCannotLoad(args, loadError);
    return SendStore(args, value);
}

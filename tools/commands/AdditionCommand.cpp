#include "tools/commands/AdditionCommand.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "notation/DescNotation.h"
#include "platform/CoreFoundation/CFFilePrivate.h"

namespace {

// The addition answers a failure by its status alone: -10000 for an allocation of the C++
// library, -4960 for XML it could not make, -43 for a file it could not read. Whether memory ran
// out meanwhile is what the process saw.
bool RanOutOfMemory(unsigned long failedBefore) {
    return FailedAllocations() != failedBefore || PBFileLastError() == ENOMEM;
}

std::string AdditionPath(const ToolArguments& args) {
    return args.bundlePath.empty() ? CAdditionHost::DefaultBundlePath() : args.bundlePath;
}

}  // namespace

OSStatus LoadAdditionQuietly(const ToolArguments& args, CAdditionHost& host) {
    return host.Load(AdditionPath(args));
}

int ComplainCannotLoad(const ToolArguments& args, OSStatus error) {
    return Complain(kExitFailed,
                    "cannot load the addition at " + AdditionPath(args) + StatusSuffix(error));
}

bool LoadAddition(const ToolArguments& args, CAdditionHost& host, int& exitStatus) {
    if (OSStatus err = LoadAdditionQuietly(args, host)) {
        exitStatus = ComplainCannotLoad(args, err);
        return false;
    }
    return true;
}

int ReportFailure(const std::string& eventName, const EventOutcome& outcome,
                  unsigned long failedBefore) {
    if (outcome.errorText && !outcome.errorText->empty())
        return Complain(kExitFailed, *outcome.errorText + StatusSuffix(outcome.status));
    if (outcome.status == memFullErr || RanOutOfMemory(failedBefore))
        return Complain(kExitFailed, eventName + ": out of memory" + StatusSuffix(outcome.status));
    return Complain(kExitFailed, eventName + " failed" + StatusSuffix(outcome.status));
}

std::optional<std::string_view> OperandText(const ToolArguments& args, InputFile& input,
                                            std::string& reason) {
    if (args.operand != "-") return args.operand;
    if (!input.OpenStandardInput(reason)) return std::nullopt;
    return input.Bytes();
}

int ComplainShrankInput() {
    return Complain(kExitFailed, std::string("standard input: ") + kShrankWhileRead);
}

bool ParseValue(std::string_view text, size_t column, OwnedDesc& out, int& exitStatus,
                const InputFile* input) {
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

void LeaveForExit(OwnedDesc& desc) {
#ifdef PLISTBRIDGE_LEAK_CHECKED
    (void)desc;
#else
    (void)desc.Detach();
#endif
}

int PrintLine(const AEDesc& desc, bool pretty) {
    if (!pretty) {
        // Written as it is made: a large result's text is never held whole.
        errno = 0;
        if (OSStatus err = PrintDesc(desc, stdout)) {
            if (err == ioErr) return ComplainOutputFailed("", errno);
            return Complain(kExitFailed, "cannot print the result" + StatusSuffix(err));
        }
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

int PrintDirectResult(const EventOutcome& outcome, bool pretty) {
    OwnedDesc result;
    if (OSStatus err = CopyDirectResult(outcome.reply.Get(), result)) {
        if (err != errAEDescNotFound)
            return Complain(kExitFailed, "cannot read the result" + StatusSuffix(err));
    }
    return PrintLine(result.Get(), pretty);
}

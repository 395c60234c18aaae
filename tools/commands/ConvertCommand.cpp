// plistbridge convert: any format the tool reads into XML, binary, JSON or old-style text,
// written atomically to a file, back to each file, or to standard output.
#include "tools/cli/FileLock.h"
#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"

namespace {

int ConvertOne(const ToolArguments& args, const std::string& input) {
    if (args.inPlace && input == "-")
        return Complain(kExitFailed, "convert: -: --in-place cannot write standard input back");
    FileLock lock;  // --in-place: held from the read to the rewrite, as an edit's
    if (args.inPlace && !lock.Acquire(input)) return ComplainLocked("convert", input);
    CFRef<CFPropertyListRef> plist;
    if (!ReadPlistFile("convert", input, plist)) return kExitFailed;
    std::string reason;
    CFRef<CFDataRef> output(CreateEncoded(plist.Get(), args.format, args.strict, reason));
    if (!output) return Complain(kExitFailed, "convert: " + input + ": " + reason);
    plist.Reset();  // the value's memory back before the output is written
    if (args.inPlace) return WriteFileAtomically("convert", input, output.Get());
    if (args.destination && *args.destination != "-")
        return WriteFileAtomically("convert", *args.destination, output.Get());
    return WriteStandardOutput("convert", output.Get());
}

}  // namespace

int RunConvert(const ToolArguments& args) {
    if (args.destination && args.destination->empty())
        return Complain(kExitUsage, "convert: the output file name is empty");
    const bool toStandardOutput = !args.inPlace && (!args.destination || *args.destination == "-");
    // Refused before anything is read: the terminal would only show noise.
    if (RefuseBinaryToTerminal("convert", args.format, toStandardOutput)) return kExitFailed;
    int status = 0;
    for (const std::string& input : args.files)
        if (ConvertOne(args, input) != 0) status = kExitFailed;
    return status;
}

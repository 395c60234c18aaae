// plistbridge convert: any format the tool reads into XML, binary, JSON or old-style text,
// written atomically to a file or to standard output.
#include <unistd.h>

#include <cstdio>

#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

namespace {

// The output of `plist` in the chosen format; NULL with `reason` set.
CFDataRef Encode(CFPropertyListRef plist, const ToolArguments& args, std::string& reason) {
    if (args.format == "json" || args.format == "openstep") {
        std::string text;
        const bool ok = args.format == "json"
                            ? plisttext::WriteJSON(plist, args.strict, text, reason)
                            : plisttext::WriteOpenStep(plist, text, reason);
        if (!ok) return nullptr;
        return CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                            static_cast<CFIndex>(text.size()));
    }
    const CFPropertyListFormat format =
        args.format == "binary" ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    CFDataRef data = CFPropertyListCreateData(kCFAllocatorDefault, plist, format, 0, nullptr);
    if (!data)
        reason =
            "the value cannot be written as a property list (a key that is not a string, or "
            "a value the format has no form for)";
    return data;
}

std::string WriteProblem(SInt32 code) {
    switch (code) {
        case kCFURLResourceNotFoundError:
            return "No such file or directory";
        case kCFURLResourceAccessViolationError:
            return "Permission denied";
        default:
            return "cannot be written";
    }
}

int WriteFile(const std::string& path, CFDataRef data) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), false));
    SInt32 code = 0;
    if (!url) return Complain(kExitFailed, "convert: " + path + ": out of memory");
    if (!CFURLWriteDataAndPropertiesToResource(url.Get(), data, nullptr, &code))
        return Complain(kExitFailed, "convert: " + path + ": " + WriteProblem(code));
    return 0;
}

}  // namespace

int RunConvert(const ToolArguments& args) {
    const std::string& input = args.operand;
    const bool toStandardOutput = !args.destination || *args.destination == "-";
    // Refused before anything is read: the terminal would only show noise.
    if (args.format == "binary" && toStandardOutput && isatty(STDOUT_FILENO))
        return Complain(kExitFailed,
                        "convert: binary output is not written to a terminal (use -o FILE or a "
                        "pipe)");
    std::string reason;
    InputFile file;
    if (!file.Open(input, reason))
        return Complain(kExitFailed, "convert: " + input + ": " + reason);
    PrepareHeapFor(file.Bytes().size());
    CFRef<CFPropertyListRef> plist;
    const bool parsed = ParseInput(file.Bytes(), plist, reason);
    if (file.Shrank()) reason = kShrankWhileRead;
    if (!parsed || file.Shrank()) return Complain(kExitFailed, "convert: " + input + ": " + reason);
    file.Close();  // the input's memory back before the output's is taken
    CFRef<CFDataRef> output(Encode(plist.Get(), args, reason));
    if (!output) return Complain(kExitFailed, "convert: " + input + ": " + reason);
    plist.Reset();
    if (!toStandardOutput) return WriteFile(*args.destination, output.Get());
    const std::string_view text = BytesOf(output.Get());
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        return Complain(kExitFailed, "convert: cannot write the output");
    return 0;
}

// plistbridge convert: any format the tool reads into XML, binary, JSON or old-style text,
// written atomically to a file or to standard output.
#include <unistd.h>

#include <cstdio>

#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

namespace {

// The output bytes of `plist` in `format`; false with `reason` set.
bool Encode(CFPropertyListRef plist, const ToolArguments& args, std::string& bytes,
            std::string& reason) {
    if (args.format == "json") return plisttext::WriteJSON(plist, args.strict, bytes, reason);
    if (args.format == "openstep") return plisttext::WriteOpenStep(plist, bytes, reason);
    const CFPropertyListFormat format =
        args.format == "binary" ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    CFRef<CFDataRef> data(CFPropertyListCreateData(kCFAllocatorDefault, plist, format, 0, nullptr));
    if (!data) {
        reason =
            "the value cannot be written as a property list (a key that is not a string, or "
            "a value the format has no form for)";
        return false;
    }
    bytes.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(data.Get())),
                 static_cast<size_t>(CFDataGetLength(data.Get())));
    return true;
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

int WriteFile(const std::string& path, const std::string& bytes) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), false));
    CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault,
                                       reinterpret_cast<const UInt8*>(bytes.data()),
                                       static_cast<CFIndex>(bytes.size())));
    SInt32 code = 0;
    if (!url || !data) return Complain(kExitFailed, "convert: " + path + ": out of memory");
    if (!CFURLWriteDataAndPropertiesToResource(url.Get(), data.Get(), nullptr, &code))
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
    std::string bytes, reason;
    if (!ReadInputFile(input, bytes, reason))
        return Complain(kExitFailed, "convert: " + input + ": " + reason);
    CFRef<CFPropertyListRef> plist;
    if (!ParseInput(bytes, plist, reason))
        return Complain(kExitFailed, "convert: " + input + ": " + reason);
    std::string output;
    if (!Encode(plist.Get(), args, output, reason))
        return Complain(kExitFailed, "convert: " + input + ": " + reason);
    if (!toStandardOutput) return WriteFile(*args.destination, output);
    if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size())
        return Complain(kExitFailed, "convert: cannot write the output");
    return 0;
}

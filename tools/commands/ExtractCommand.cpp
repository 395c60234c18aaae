// plistbridge extract: the value at a key path, alone, in a property-list format or as plain
// text.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"
#include "tools/edit/PlistPrint.h"

int RunExtract(const ToolArguments& args) {
    if (RefuseBinaryToTerminal("extract", args.format, true)) return kExitFailed;
    CFRef<CFPropertyListRef> plist;
    CFPropertyListRef value = nullptr;
    int status = 0;
    if (!ReadValueAt("extract", args, plist, value, status)) return status;
    if (!HasExpectedType("extract", args, value)) return kExitFailed;
    const std::string prefix = "extract: " + args.files[0] + ": ";
    std::string error;
    if (args.format == "raw") {
        std::string text;
        if (!plistedit::RawText(value, text, error)) return Complain(kExitFailed, prefix + error);
        if (!args.noNewline) text.push_back('\n');
        CFRef<CFDataRef> data(CFDataCreateWithBytesNoCopy(
            kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
            static_cast<CFIndex>(text.size()), kCFAllocatorNull));
        return WriteStandardOutput("extract", data.Get());
    }
    CFRef<CFDataRef> output(CreateEncoded(value, args.format, false, error, true));
    if (!output) return Complain(kExitFailed, prefix + error);
    return WriteStandardOutput("extract", output.Get());
}

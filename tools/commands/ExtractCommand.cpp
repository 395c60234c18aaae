// plistbridge extract: the value at a key path, alone, in a property-list format or as plain
// text, on standard output or in a file.
#include "tools/commands/Commands.h"
#include "tools/commands/ToolEditing.h"
#include "tools/edit/PlistPrint.h"

namespace {

CFDataRef CreateRaw(CFPropertyListRef value, bool newline, std::string& error) {
    std::string text;
    if (!plistedit::RawText(value, text, error)) return nullptr;
    if (newline) text.push_back('\n');
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                                  static_cast<CFIndex>(text.size()));
    if (!data) throw std::bad_alloc();
    return data;
}

}  // namespace

int RunExtract(const ToolArguments& args) {
    const bool toStandardOutput = !args.destination || *args.destination == "-";
    if (RefuseBinaryToTerminal("extract", args.format, toStandardOutput)) return kExitFailed;
    CFRef<CFPropertyListRef> plist;
    CFPropertyListRef value = nullptr;
    int status = 0;
    if (!ReadValueAt("extract", args, plist, value, status)) return status;
    if (!HasExpectedType("extract", args, value)) return kExitFailed;
    const std::string prefix = "extract: " + args.files[0] + ": ";
    std::string error;
    plistedit::KeyPath path;
    plistedit::ParseKeyPath(args.keyPath, path, error);
    // A refusal names the value's path from the top of the file, not from the value.
    CFRef<CFDataRef> output(args.format == "raw"
                                ? CreateRaw(value, !args.noNewline, error)
                                : CreateEncoded(value, args.format, false, error, true,
                                                plistedit::FormatKeyPath(path)));
    if (!output) return Complain(kExitFailed, prefix + error);
    if (toStandardOutput) return WriteStandardOutput("extract", output.Get());
    return WriteFileAtomically("extract", *args.destination, output.Get());
}

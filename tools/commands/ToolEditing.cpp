#include "tools/commands/ToolEditing.h"

#include "tools/edit/GivenValues.h"

namespace {

std::string FilePrefix(std::string_view command, const std::string& file) {
    return std::string(command) + ": " + file + ": ";
}

bool ParsePath(const ToolArguments& args, plistedit::KeyPath& path, int& status) {
    std::string error;
    if (plistedit::ParseKeyPath(args.keyPath, path, error)) return true;
    status = Complain(kExitUsage, error);
    return false;
}

}  // namespace

bool ReadValueAt(std::string_view command, const ToolArguments& args,
                 CFRef<CFPropertyListRef>& plist, CFPropertyListRef& value, int& status) {
    plistedit::KeyPath path;
    if (!ParsePath(args, path, status)) return false;
    const std::string& file = args.files[0];
    status = kExitFailed;
    if (!ReadPlistFile(command, file, plist)) return false;
    std::string error;
    value = plistedit::LookUp(plist.Get(), path, error);
    if (!value) Complain(kExitFailed, FilePrefix(command, file) + error);
    return value != nullptr;
}

bool HasExpectedType(std::string_view command, const ToolArguments& args, CFPropertyListRef value) {
    if (!args.expect || *args.expect == plistedit::TypeName(value)) return true;
    plistedit::KeyPath path;
    std::string error;
    plistedit::ParseKeyPath(args.keyPath, path, error);
    Complain(kExitFailed, FilePrefix(command, args.files[0]) + plistedit::DescribeKeyPath(path) +
                              " is " + plistedit::TypeWithArticle(value) + ", not " + *args.expect);
    return false;
}

int RunEdit(std::string_view command, const ToolArguments& args, plistedit::EditKind kind) {
    int status = 0;
    plistedit::KeyPath path;
    if (!ParsePath(args, path, status)) return status;
    std::string error;
    CFRef<CFPropertyListRef> value;
    const std::string& file = args.files[0];
    if (kind != plistedit::EditKind::Remove &&
        !plistedit::CreateValue(args.valueType, args.valueText, value, error))
        return Complain(kExitUsage, FilePrefix(command, file) + error);
    if (file == "-" && !args.destination)
        return Complain(kExitUsage, std::string(command) +
                                        ": -: standard input cannot be "
                                        "written back; give -o OUT");
    CFRef<CFPropertyListRef> plist;
    std::string format;
    if (!ReadPlistFile(command, file, plist, &format)) return kExitFailed;
    // Refused, not written as a string or left for the writer to refuse half-way.
    if (value) {
        const std::string unheld = plistedit::FormatCannotHold(value.Get(), format);
        if (!unheld.empty())
            return Complain(kExitUsage,
                            FilePrefix(command, file) +
                                plistedit::GivenValueText(args.valueType, args.valueText) + " " +
                                unheld);
    }
    CFRef<CFPropertyListRef> edited;
    if (!plistedit::EditPlist(plist.Get(), path, kind, value.Get(), edited, error))
        return Complain(kExitFailed, FilePrefix(command, file) + error);
    plist.Reset();
    CFRef<CFDataRef> output(CreateEncoded(edited.Get(), format, false, error));
    if (!output) return Complain(kExitFailed, FilePrefix(command, file) + error);
    edited.Reset();
    if (args.destination && *args.destination == "-") {
        if (RefuseBinaryToTerminal(command, format, true)) return kExitFailed;
        return WriteStandardOutput(command, output.Get());
    }
    return WriteFileAtomically(command, args.destination.value_or(file), output.Get());
}

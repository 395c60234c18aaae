#include "tools/commands/ToolEditing.h"

#include <new>

#include "tools/cli/FileLock.h"
#include "tools/edit/EntryLocator.h"
#include "tools/edit/GivenValues.h"

namespace {

std::string FilePrefix(std::string_view command, const std::string& file) {
    return std::string(command) + ": " + file + ": ";
}

struct EditRequest {
    const plistedit::KeyPath& path;
    plistedit::EditKind kind;
    CFPropertyListRef value;
    CFPropertyListRef result;  // the whole list with the edit made
};

bool ParsePath(const ToolArguments& args, plistedit::KeyPath& path, int& status) {
    std::string error;
    if (plistedit::ParseKeyPath(args.keyPath, path, error)) return true;
    status = Complain(kExitUsage, error);
    return false;
}

// The file with the edit: only the entry's bytes changed where the file is text, else the whole
// list written anew, saying why when a text file could not be edited in place. `surgical` holds
// the bytes of an in-place edit. NULL after complaining.
CFDataRef CreateEditedBytes(std::string_view command, const std::string& file,
                            std::string_view bytes, const std::string& format,
                            const EditRequest& edit, std::string& surgical) {
    std::string whyNot;
    if (plistedit::EditTextSurgically(bytes, format, edit.path, edit.kind, edit.value, edit.result,
                                      surgical, whyNot)) {
        CFDataRef data =
            CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(surgical.data()),
                                        static_cast<CFIndex>(surgical.size()), kCFAllocatorNull);
        if (!data) throw std::bad_alloc();
        return data;
    }
    std::string error;
    CFDataRef data = CreateEncoded(edit.result, format, false, error);
    if (!data) return Complain(kExitFailed, FilePrefix(command, file) + error), nullptr;
    if (!whyNot.empty()) Complain(0, FilePrefix(command, file) + "rewritten whole: " + whyNot);
    return data;
}

}  // namespace

int ComplainLocked(std::string_view command, const std::string& file) {
    const long wait = FileLock::Wait();
    const std::string waited =
        wait % 1000 == 0 ? std::to_string(wait / 1000) + " s" : std::to_string(wait) + " ms";
    return Complain(kExitFailed, FilePrefix(command, file) + "another edit held the file for " +
                                     waited + "; nothing was changed");
}

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
    FileLock lock;  // held from the read to the rewrite
    if (!args.destination && !lock.Acquire(file)) return ComplainLocked(command, file);
    CFRef<CFPropertyListRef> plist;
    std::string format;
    InputFile source;
    if (!ReadPlistFile(command, file, plist, &format, &source)) return kExitFailed;
    // Refused, not written as a string or left for the writer to refuse half-way.
    if (value) {
        const std::string unheld = plistedit::FormatCannotHold(value.Get(), format);
        if (!unheld.empty())
            return Complain(kExitUsage,
                            FilePrefix(command, file) +
                                plistedit::GivenValueText(args.valueType, args.valueText) + " " +
                                unheld);
    }
    if (value) value.Reset(plistedit::CreateAsFormatReadsIt(value.Get(), format));
    CFRef<CFPropertyListRef> edited;
    if (!plistedit::EditPlist(plist.Get(), path, kind, value.Get(), edited, error))
        return Complain(kExitFailed, FilePrefix(command, file) + error);
    plist.Reset();
    std::string surgical;
    CFRef<CFDataRef> output(CreateEditedBytes(command, file, source.Bytes(), format,
                                              {path, kind, value.Get(), edited.Get()}, surgical));
    if (!output) return kExitFailed;
    edited.Reset();
    if (args.destination && *args.destination == "-") {
        if (RefuseBinaryToTerminal(command, format, true)) return kExitFailed;
        return WriteStandardOutput(command, output.Get());
    }
    return WriteFileAtomically(command, args.destination.value_or(file), output.Get());
}

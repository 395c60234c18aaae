#include "tools/commands/ToolEditing.h"

#include <algorithm>
#include <new>

#include "tools/cli/FileLock.h"
#include "tools/edit/EntryLocator.h"
#include "tools/edit/GivenValues.h"

namespace {

std::string FilePrefix(std::string_view command, const std::string& file) {
    return std::string(command) + ": " + file + ": ";
}

bool ParsePath(std::string_view text, plistedit::KeyPath& path, int& status) {
    std::string error;
    if (plistedit::ParseKeyPath(text, path, error)) return true;
    status = Complain(kExitUsage, error);
    return false;
}

plistedit::EditKind KindOf(const EditClauseArguments& clause) {
    if (clause.command == ToolCommand::Remove) return plistedit::EditKind::Remove;
    if (clause.command == ToolCommand::Replace) return plistedit::EditKind::Replace;
    return clause.append ? plistedit::EditKind::Append : plistedit::EditKind::Insert;
}

// "clause 2: " for edit's clauses; replace, insert and remove have one and no label.
std::string ClauseLabel(const ToolArguments& args, size_t index) {
    if (args.command != ToolCommand::Edit) return {};
    return "clause " + std::to_string(index + 1) + ": ";
}

// What comes before the complaint about a value typed for clause `index`: the FILE it was
// meant for when there is one (a value given for several files is wrong for all of them).
std::string ValuePrefix(std::string_view command, const ToolArguments& args, size_t index) {
    std::string prefix = std::string(command) + ": ";
    if (args.files.size() == 1) prefix += args.files[0] + ": ";
    return prefix + ClauseLabel(args, index);
}

// The VALUE "-": standard input, byte for byte for a string; any other type leaves out one
// final newline (what echo and most editors end a value with), which it could not hold.
bool ReadValueText(std::string_view command, const std::string& type, std::string& text,
                   int& status) {
    InputFile input;
    std::string reason;
    if (!input.OpenStandardInput(reason)) {
        status = Complain(kExitFailed, std::string(command) + ": -: " + reason);
        return false;
    }
    text.assign(input.Bytes());
    if (input.Shrank()) {
        status = Complain(kExitFailed, std::string(command) + ": -: " + kShrankWhileRead);
        return false;
    }
    if (type != "string" && text.ends_with('\n')) text.pop_back();
    if (type != "string" && text.ends_with('\r')) text.pop_back();
    return true;
}

// The key paths and values of args.clauses; false with `status` set after complaining.
bool MakeClauses(std::string_view command, const ToolArguments& args,
                 std::vector<EditClause>& clauses, int& status) {
    for (size_t i = 0; i < args.clauses.size(); ++i) {
        const EditClauseArguments& given = args.clauses[i];
        EditClause& clause = clauses.emplace_back();
        clause.kind = KindOf(given);
        if (!ParsePath(given.keyPath, clause.path, status)) return false;
        if (clause.kind == plistedit::EditKind::Remove) continue;
        std::string text = given.valueText, error;
        if (text == "-" && plistedit::ValueTypeTakesText(given.valueType) &&
            !ReadValueText(command, given.valueType, text, status))
            return false;
        if (!plistedit::CreateValue(given.valueType, text, clause.value, error)) {
            status = Complain(kExitUsage, ValuePrefix(command, args, i) + error);
            return false;
        }
        clause.given = plistedit::GivenValueText(given.valueType, text);
    }
    return true;
}

// The file with the clauses made: its edited bytes where each clause could be made in them,
// else the whole list written anew, saying why when a text file could not be edited in place.
// NULL after complaining. The file's value is released either way.
CFDataRef CreateEditedBytes(std::string_view command, EditedFile& file) {
    if (file.bytesFollow) {
        file.plist.Reset();
        const std::string_view bytes = file.Bytes();
        CFDataRef data =
            CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                        static_cast<CFIndex>(bytes.size()), kCFAllocatorNull);
        if (!data) throw std::bad_alloc();
        return data;
    }
    std::string error;
    CFDataRef data = CreateEncoded(file.plist.Get(), file.format, false, error);
    file.plist.Reset();
    if (!data) return Complain(kExitFailed, FilePrefix(command, file.path) + error), nullptr;
    if (!file.whyWhole.empty())
        Complain(0, FilePrefix(command, file.path) + "rewritten whole: " + file.whyWhole);
    return data;
}

// Whether the edit of `path` writes it back (and so must hold its lock): not when it reads
// standard input or writes elsewhere.
bool RewritesInPlace(const ToolArguments& args, const std::string& path) {
    return path != "-" && (!args.destination || *args.destination == path);
}

int EditFile(std::string_view command, const ToolArguments& args, const std::string& path,
             const std::vector<EditClause>& clauses) {
    FileLock lock;  // held from the read to the rewrite
    if (RewritesInPlace(args, path) && !lock.Acquire(path)) return ComplainLocked(command, path);
    EditedFile file;
    file.path = path;
    InputFile source;
    if (!ReadPlistFile(command, path, file.plist, &file.format, &source)) return kExitFailed;
    file.original = source.Bytes();
    std::string error;
    for (size_t i = 0; i < clauses.size(); ++i)
        if (const int status = ApplyClause(clauses[i], file, error); status != 0)
            return Complain(status, FilePrefix(command, path) + ClauseLabel(args, i) + error);
    CFRef<CFDataRef> output(CreateEditedBytes(command, file));
    if (!output) return kExitFailed;
    if (args.destination && *args.destination == "-") {
        if (RefuseBinaryToTerminal(command, file.format, true)) return kExitFailed;
        return WriteStandardOutput(command, output.Get());
    }
    return WriteFileAtomically(command, args.destination.value_or(path), output.Get());
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
    if (!ParsePath(args.keyPath, path, status)) return false;
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

int ApplyClause(const EditClause& clause, EditedFile& file, std::string& error) {
    CFRef<CFPropertyListRef> value;
    if (clause.value) {
        // Refused, not written as something else or left for the writer to refuse half-way.
        const std::string unheld = plistedit::FormatCannotHold(clause.value.Get(), file.format);
        if (!unheld.empty()) {
            error = clause.given + " " + unheld;
            return kExitUsage;
        }
        value.Reset(plistedit::CreateAsFormatReadsIt(clause.value.Get(), file.format));
    }
    CFRef<CFPropertyListRef> edited;
    if (!plistedit::EditPlist(file.plist.Get(), clause.path, clause.kind, value.Get(), edited,
                              error))
        return kExitFailed;
    if (file.bytesFollow) {
        std::string bytes, whyNot;
        if (plistedit::EditTextSurgically(file.Bytes(), file.format, clause.path, clause.kind,
                                          value.Get(), edited.Get(), bytes, whyNot)) {
            file.edited = std::move(bytes);
            file.bytesEdited = true;
        } else {
            // The clauses from here on are made in the value alone, which is written whole.
            file.bytesFollow = false;
            file.whyWhole = whyNot;
            file.edited = std::string();
            file.bytesEdited = false;
        }
    }
    file.plist = std::move(edited);
    return 0;
}

int RunEdit(std::string_view command, const ToolArguments& args) {
    int status = 0;
    std::vector<EditClause> clauses;
    if (!MakeClauses(command, args, clauses, status)) return status;
    for (const std::string& file : args.files)
        if (file == "-" && !args.destination)
            return Complain(kExitUsage, std::string(command) +
                                            ": -: standard input cannot be written back; give "
                                            "-o OUT");
    for (const std::string& file : args.files)
        status = std::max(status, EditFile(command, args, file, clauses));
    return status;
}

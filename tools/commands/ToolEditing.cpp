#include "tools/commands/ToolEditing.h"

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
            status =
                Complain(kExitUsage, std::string(command) + ": " + ClauseLabel(args, i) + error);
            return false;
        }
    }
    return true;
}

int EditFile(std::string_view command, const ToolArguments& args, const std::string& path,
             const std::vector<EditClause>& clauses) {
    EditedFile file{path, {}, {}};
    if (!ReadPlistFile(command, path, file.plist, &file.format)) return kExitFailed;
    std::string error;
    for (size_t i = 0; i < clauses.size(); ++i)
        if (!ApplyClause(clauses[i], file, error))
            return Complain(kExitFailed, FilePrefix(command, path) + ClauseLabel(args, i) + error);
    CFRef<CFDataRef> output(CreateEncoded(file.plist.Get(), file.format, false, error));
    if (!output) return Complain(kExitFailed, FilePrefix(command, path) + error);
    file.plist.Reset();
    if (args.destination && *args.destination == "-") {
        if (RefuseBinaryToTerminal(command, file.format, true)) return kExitFailed;
        return WriteStandardOutput(command, output.Get());
    }
    return WriteFileAtomically(command, args.destination.value_or(path), output.Get());
}

}  // namespace

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

bool ApplyClause(const EditClause& clause, EditedFile& file, std::string& error) {
    CFRef<CFPropertyListRef> edited;
    if (!plistedit::EditPlist(file.plist.Get(), clause.path, clause.kind, clause.value.Get(),
                              edited, error))
        return false;
    file.plist = std::move(edited);
    return true;
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
        if (EditFile(command, args, file, clauses) != 0) status = kExitFailed;
    return status;
}

// plistbridge diff: two property lists, in any formats, compared by value.
#include <cerrno>
#include <cstdio>

#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"
#include "tools/edit/PlistDiff.h"

namespace {

// Reads FILE and checks that comparing it stays within the expansion bound.
bool ReadComparable(const std::string& path, CFRef<CFPropertyListRef>& plist) {
    if (!ReadPlistFile("diff", path, plist)) return false;
    const std::string problem = ExpansionProblem(plist.Get(), "compare");
    if (problem.empty()) return true;
    Complain(kExitFailed, "diff: " + path + ": " + problem);
    return false;
}

}  // namespace

int RunDiff(const ToolArguments& args) {
    // Every failure is status 1, as a difference is, with its line on standard error; 2 is
    // kept for a usage error.
    CFRef<CFPropertyListRef> before, after;
    if (!ReadComparable(args.files[0], before) || !ReadComparable(args.files[1], after))
        return kExitFailed;
    bool failed = false;
    int writeError = 0;
    std::string refused;
    const size_t count = plistedit::DiffPlists(
        before.Get(), after.Get(),
        [&](const plistedit::Difference& d) {
            if (args.quiet || failed) return;
            const std::string line = plistedit::DescribeDifference(d) + "\n";
            failed = std::fwrite(line.data(), 1, line.size(), stdout) != line.size();
            writeError = errno;
        },
        &refused);
    if (failed) return ComplainOutputFailed("diff", writeError);
    if (!refused.empty()) return Complain(kExitFailed, "diff: " + refused);
    return count == 0 ? 0 : kExitFailed;
}

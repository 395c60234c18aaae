// plistbridge diff: two property lists, in any formats, compared by value.
#include <cstdio>

#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"
#include "tools/edit/PlistDiff.h"

int RunDiff(const ToolArguments& args) {
    // An unreadable file is status 2, as diff's own: 1 means only that the files differ.
    CFRef<CFPropertyListRef> before, after;
    if (!ReadPlistFile("diff", args.files[0], before) ||
        !ReadPlistFile("diff", args.files[1], after))
        return kExitUsage;
    bool failed = false;
    std::string refused;
    const size_t count = plistedit::DiffPlists(
        before.Get(), after.Get(),
        [&](const plistedit::Difference& d) {
            if (args.quiet || failed) return;
            const std::string line = plistedit::DescribeDifference(d) + "\n";
            failed = std::fwrite(line.data(), 1, line.size(), stdout) != line.size();
        },
        &refused);
    if (failed) return Complain(kExitUsage, "diff: cannot write the output");
    if (!refused.empty()) return Complain(kExitUsage, "diff: " + refused);
    return count == 0 ? 0 : kExitFailed;
}

// Fuzz target: the editing commands' library. The first line of the input is a key path, the
// rest a property list in any format; the path is looked up, every edit is made at it, and the
// result is compared with the original, printed, and given as raw text.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/edit/KeyPath.h"
#include "tools/edit/PlistDiff.h"
#include "tools/edit/PlistEdit.h"
#include "tools/edit/PlistPrint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t newline = std::min(input.find('\n'), input.size());
    plistedit::KeyPath path;
    std::string error;
    if (!plistedit::ParseKeyPath(input.substr(0, newline), path, error)) return 0;
    (void)plistedit::FormatKeyPath(path);
    const std::string_view rest = input.substr(std::min(newline + 1, input.size()));
    CFRef<CFPropertyListRef> plist;
    if (!plistedit::CreateValue("xml", rest, plist, error)) return 0;
    if (CFPropertyListRef found = plistedit::LookUp(plist.Get(), path, error)) {
        std::string text;
        plistedit::RawText(found, text, error);
        plistedit::AppendPrinted(found, text);
    }
    for (auto kind : {plistedit::EditKind::Replace, plistedit::EditKind::Insert,
                      plistedit::EditKind::Append, plistedit::EditKind::Remove}) {
        CFRef<CFPropertyListRef> edited;
        if (!plistedit::EditPlist(plist.Get(), path, kind, CFSTR("x"), edited, error)) continue;
        plistedit::DiffPlists(plist.Get(), edited.Get(), [](const plistedit::Difference& d) {
            (void)plistedit::DescribeDifference(d);
        });
    }
    return 0;
}

// Surgical edits of text property lists: replace, insert and remove change the bytes of the
// edited entry only, in the file's own indentation, quoting, line endings and encoding, so that
// comments, layout, key order and number spellings stay as they were.
#ifndef TOOLS_EDIT_ENTRYLOCATOR_H
#define TOOLS_EDIT_ENTRYLOCATOR_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "tools/edit/KeyPath.h"
#include "tools/edit/PlistEdit.h"

namespace plistedit {

// `fileBytes` (a file in `format`, as DetectFormat tells it, also of UTF-16 text: "xml",
// "openstep" or "json"; UTF-8, or UTF-16 with a byte-order mark in either order) with the edit made
// to the bytes of the one entry, in `outBytes`. `newValue` is unused for Remove; `expectedResult`
// is what EditPlist made of the whole list: the new bytes are read back and must equal it, so
// whatever the scanners miss can cost an in-place edit but never a wrong file. False with `whyNot`
// saying why the file must be rewritten whole ("a key without a value"), or empty for a format that
// has no text to edit (binary). Linear in the size of the file.
bool EditTextSurgically(std::string_view fileBytes, std::string_view format, const KeyPath& path,
                        EditKind kind, CFPropertyListRef newValue, CFPropertyListRef expectedResult,
                        std::string& outBytes, std::string& whyNot);

// +1: `value` as a file in `format` reads back what the format's writer makes of it: JSON keeps
// a date or data as a string, old-style text a number as a string. `value` itself where the
// format keeps it, or where its writer refuses it (the rewrite then says why).
CFPropertyListRef CreateAsFormatReadsIt(CFPropertyListRef value, std::string_view format);

}  // namespace plistedit

#endif

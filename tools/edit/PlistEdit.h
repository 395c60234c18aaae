// Changing one value of a property list: the value a command line gives (-TYPE VALUE), and the
// replace, insert and remove edits at a key path. An edit copies only the containers on the
// path (shallowly) and shares everything else with the original, so changing one value of a
// large list costs about the length of the containers on the way to it.
#ifndef TOOLS_EDIT_PLISTEDIT_H
#define TOOLS_EDIT_PLISTEDIT_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "desc/CFRef.h"
#include "tools/edit/KeyPath.h"

namespace plistedit {

// True for the types a value can be given as: bool, integer, float, string, date, data, array,
// dictionary, xml, json.
bool IsValueType(std::string_view type);
// False for array and dictionary, which make an empty container and take no text.
bool ValueTypeTakesText(std::string_view type);

// The value `text` gives as `type`: bool (true, false, yes, no, 1, 0), integer (decimal,
// -2^63 to 2^64 - 1, or 0x hex), float (as XML's <real>), string (as it is, UTF-8), date
// (2024-01-05T10:00:26Z, UTC), data (base64), array and dictionary (empty), xml (a property-list
// fragment in any format the reader reads, such as <dict>…</dict>) or json (any JSON value but
// null). False with `error` saying why the text is not one.
bool CreateValue(std::string_view type, std::string_view text, CFRef<CFPropertyListRef>& out,
                 std::string& error);

enum class EditKind {
    Replace,  // the value at the path; a missing key of a dictionary is added
    Insert,   // a new key of a dictionary, or before the index of an array (the count appends)
    Append,   // at the end of the array the path names
    Remove,   // the value at the path
};

// `out` (+1): `root` with the edit made; `value` is unused for Remove. False with `error`
// naming the key path when the path does not lead there (a missing key or index, a path through
// a value that is no container, an existing key for Insert, the top value for Insert and
// Remove, a non-array for Append).
bool EditPlist(CFPropertyListRef root, const KeyPath& path, EditKind kind, CFPropertyListRef value,
               CFRef<CFPropertyListRef>& out, std::string& error);

}  // namespace plistedit

#endif

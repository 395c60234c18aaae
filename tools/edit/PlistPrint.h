// Property lists as text for a person: the print command's nested listing, and the plain text
// of one value that extract's raw format gives.
#ifndef TOOLS_EDIT_PLISTPRINT_H
#define TOOLS_EDIT_PLISTPRINT_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace plistedit {

// Appends `plist` to `out`, ending with a newline:
//   {
//     "Name" = "Ana"
//     "Tags" = [
//       0: "a"
//       1: 12
//     ]
//     "When" = 2024-01-05T10:00:26Z
//     "Blob" = <5 bytes: 00 01 02 03 04>
//   }
// two spaces a level; array items numbered from 0; keys in the XML writer's order; strings quoted
// with \" \\ \n \t \r and \uXXXX for other controls; integers and reals as the XML writer writes
// them; Booleans as true and false; data as its length and up to its first 16 bytes in hex. False
// when a container is met more than ContainerVisits::kMaxVisits times (a shared container nested as
// [x, x]); `out` then holds a part.
bool AppendPrinted(CFPropertyListRef plist, std::string& out);

// One value as plain text, without a newline: a string as it is, a number as the XML writer
// writes it, true or false, a date as 2024-01-05T10:00:26Z, data as padded base64; for an
// array its count, and for a dictionary its keys, one a line, in the XML writer's order, each
// escaped as a key path component (a\.b).
// False with `error` for a string with an unpaired surrogate, which has no UTF-8 form.
bool RawText(CFPropertyListRef value, std::string& out, std::string& error);

// The one-line form of a value in messages and diff lines: a scalar as AppendPrinted writes
// it, a container as "an array of 3 items" or "a dictionary of 1 key".
std::string ShortText(CFPropertyListRef value);

}  // namespace plistedit

#endif

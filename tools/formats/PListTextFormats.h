// The property-list text formats the tool speaks beyond the platform's own XML and binary:
// JSON both ways, and old-style (OpenStep) text output. They are no platform API, so they live
// with the tool, built only on the public CoreFoundation calls.
#ifndef TOOLS_FORMATS_PLISTTEXTFORMATS_H
#define TOOLS_FORMATS_PLISTTEXTFORMATS_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "desc/CFRef.h"

namespace plisttext {

// JSON output: dictionaries (keys sorted as the XML writer sorts them), arrays, strings,
// numbers and Booleans as themselves; dates as "2024-01-05T10:00:26Z" strings, exactly as the
// XML writer writes them, and data as standard padded base64 strings, unless `strict`, which
// refuses them instead. Real NaN and infinities have no JSON form and are refused. Indented
// two spaces per level; ends with a newline. The top value must be an array or a dictionary,
// the only JSON the reader takes, unless `scalarAtTop` (a value extracted on its own, which
// nothing reads back as a file). False with `error` saying what and where (a key path like
// Tracks.3.Name, from the top of the file when `plist` is the value at the key path `at`).
bool WriteJSON(CFPropertyListRef plist, bool strict, std::string& out, std::string& error,
               bool scalarAtTop = false, std::string_view at = {});

// JSON input: UTF-8 (a BOM is skipped) whose top value is an object or an array. Integers in
// the signed or unsigned 64-bit range stay integers; any other number is a real. null is
// refused. False with `error` saying what and on which line.
bool ReadJSON(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& error);

// One JSON value of any kind, a scalar too (a value typed on a command line); as ReadJSON, but
// `error` places the problem by column of the text: "unexpected end of the JSON text at column
// 4", "no value at column 1".
bool ReadJSONValue(std::string_view text, CFRef<CFPropertyListRef>& out, std::string& error);

// Old-style text output: strings (quoted where needed; non-ASCII as \U escapes), data as
// <hex>, arrays as ( … ), dictionaries as { key = value; }; numbers as their text, which
// reads back as a string. Dates and Booleans have no form and are refused, as is a string with
// an unpaired surrogate. Ends with a newline. `error` as WriteJSON's. `style` follows a file
// being edited in place: every string quoted, and non-ASCII text as itself (UTF-8) rather than
// \U escapes.
struct OpenStepStyle {
    bool quoteAll = false;
    bool escapeNonASCII = true;
};
bool WriteOpenStep(CFPropertyListRef plist, std::string& out, std::string& error,
                   const OpenStepStyle& style = {}, std::string_view at = {});

// The date as the XML writer writes it: 2024-01-05T10:00:26Z. Empty when the writer refuses
// the date (too far from the present for its calendar).
std::string DateText(CFDateRef date);

// Standard padded base64 without line breaks, as JSON output writes data.
std::string Base64(const UInt8* bytes, size_t length);

}  // namespace plisttext

#endif

// The descriptor notation: a one-line text form of any Apple Event descriptor, used by the
// plistbridge tool to take values on its command line and to print results.
//
//   42  -7  3000000000            'long' when it fits 32 bits, else 'comp'
//   1.5  1e+16  nan  -inf         'doub'
//   "caf\u00E9 \"x\""             'utxt'
//   true  false                   'bool'
//   'abcd'                        'type'
//   [1, "a"]                      'list'
//   {'pnam':"x", 'usrf':["k", 1]} 'reco'
//   'obj '{'want':'file'}         a record of another type
//   'shor'(5) 'sing'(1.5) 'fixd'(1.5) 'ldt '(3600) 'magn'(4000000000)
//   'TEXT'("abc") 'utf8'("é") 'furl'("file:///tmp/a") 'enum'('yes ')
//   'null'()  'rdat'(«0AFF»)      a type with no data, or with exactly those bytes
#ifndef NOTATION_DESCNOTATION_H
#define NOTATION_DESCNOTATION_H

#include <CoreServices/CoreServices.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/OwnedDesc.h"

// Why a parse failed and where.
struct NotationError {
    size_t offset = 0;    // byte offset of the offending text
    size_t line = 1;      // 1-based
    size_t column = 1;    // 1-based, counted in characters of its line
    OSStatus status = 0;  // the platform status when a platform call refused, else 0
    std::string message;  // e.g. "expected ']'"

    // "at column 7: expected ']'" (with "line 2, " in front for input of several lines).
    std::string Describe() const;
};

// Appends the notation of `desc` to `out`, on one line. Every descriptor has a form that
// ParseDesc turns back into the same type and bytes: types without a value form, bytes that
// are not exactly a value's encoding (a 3-byte 'long', invalid UTF-8, a NaN with a payload)
// and containers nested deeper than 2048 levels print as 'code'(«hex»).
// Returns noErr, or the status of the platform call that failed (out then holds a prefix).
// An Apple event prints as a record of type 'aevt' holding its parameters; attributes are
// not shown.
OSStatus PrintDesc(const AEDesc& desc, std::string& out);
// The same notation written to `to` as it is made, so a large value never needs its whole
// text in memory. ioErr when writing fails; on any failure a prefix may have been written.
OSStatus PrintDesc(const AEDesc& desc, std::FILE* to);

// Parses one value (surrounding white space allowed) into `out`, which the caller owns.
// On failure returns false, leaves `out` null and fills `error`; a refusal by the platform
// (e.g. AECreateDesc of malformed 'list' bytes, -1702) carries its status. Nesting deeper
// than 2048 levels, integers outside 64 bits, reals outside the double range, values that do
// not fit their typed form and duplicate record keywords are errors.
bool ParseDesc(std::string_view text, OwnedDesc& out, NotationError& error);

#endif

// What a value typed on the command line must be to be stored as it was typed: a date that
// exists in the calendar, base64 or hex that is exactly some bytes, and a value the file's
// format can hold. Anything else is refused rather than stored as something near it.
#ifndef TOOLS_EDIT_GIVENVALUES_H
#define TOOLS_EDIT_GIVENVALUES_H

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

namespace plistedit {

// "-date '2024-02-30T10:00:26Z'": how messages name a value given as -TYPE VALUE (a long value
// cut short).
std::string GivenValueText(std::string_view type, std::string_view text);

// YYYY-MM-DDTHH:MM:SSZ in shape only.
bool IsDateShape(std::string_view text);
// A date of that shape whose day exists in its month (leap years counted), hour below 24 and
// minute and second below 60.
bool IsCalendarDate(std::string_view text);

// Standard base64 with = padding: after whitespace is removed, a multiple of 4 characters of
// the alphabet, = only as the last one or two, and no bits set past the last byte (so each
// text names one byte string and each byte string has one text). False with `why` saying what
// is wrong.
bool DecodeBase64(std::string_view text, std::string& bytes, std::string& why);

// Two hex digits a byte (either case), whitespace between bytes allowed.
bool DecodeHex(std::string_view text, std::string& bytes, std::string& why);

// Why a file in `format` (xml, binary, json, openstep) cannot hold `value`, e.g. "is a date,
// which a JSON file cannot hold (JSON has no dates or data)"; empty when it can.
std::string FormatCannotHold(CFPropertyListRef value, std::string_view format);

}  // namespace plistedit

#endif

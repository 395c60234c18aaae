// Why load plist refused its input. The addition answers a text or file that is not a property
// list with -4960 alone; the tool, which can read the same bytes, asks the platform's reader what
// is wrong and where.
#ifndef TOOLS_COMMANDS_LOADDIAGNOSIS_H
#define TOOLS_COMMANDS_LOADDIAGNOSIS_H

#include <CoreServices/CoreServices.h>

#include <string>
#include <string_view>

// The reader's complaint about `bytes`, with its "… at line N" written "… on line N" as lint
// writes it; empty when the reader takes the bytes.
std::string PropertyListComplaint(std::string_view bytes);

// The message for a load that got -4960: "load plist: FILE: REASON" for the file at `path`, or
// "load plist: REASON" for `text`, the value sent (a text descriptor, read as UTF-8 as the
// addition reads it). Empty when the bytes cannot be had again or the reader takes them.
std::string ExplainRefusedFile(const std::string& path);
std::string ExplainRefusedText(const AEDesc& text);

#endif

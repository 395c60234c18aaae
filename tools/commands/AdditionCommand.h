// What load, store and send share: loading the addition, parsing values in the notation, and
// turning the event's outcome into output and an exit status.
#ifndef TOOLS_COMMANDS_ADDITIONCOMMAND_H
#define TOOLS_COMMANDS_ADDITIONCOMMAND_H

#include <optional>
#include <string>
#include <string_view>

#include "host/AdditionHost.h"
#include "host/EventSender.h"
#include "host/HostValues.h"
#include "tools/cli/ToolArguments.h"
#include "tools/cli/ToolSupport.h"

// Loads the addition given by --bundle, or the default one. False with `exitStatus` set after
// complaining.
bool LoadAddition(const ToolArguments& args, CAdditionHost& host, int& exitStatus);
// The same without complaining: the load's status, for ComplainCannotLoad to report later.
OSStatus LoadAdditionQuietly(const ToolArguments& args, CAdditionHost& host);
int ComplainCannotLoad(const ToolArguments& args, OSStatus error);

// One line for a failed event: its 'errs' text when it has one, else that memory ran out
// (allocations that failed since `failedBefore`) or that EVENTNAME failed, with the status.
int ReportFailure(const std::string& eventName, const EventOutcome& outcome,
                  unsigned long failedBefore);

// The operand's text: all of standard input for "-" (held by `input`), else the operand;
// nothing, with `reason`, when standard input gives more than the read limit.
std::optional<std::string_view> OperandText(const ToolArguments& args, InputFile& input,
                                            std::string& reason);

int ComplainShrankInput();

// Parses a value in the notation; on failure prints the error with the column in `argument`
// (the value starts after `column` characters of it), or that `input` (the text's file) was
// shortened while it was read, and returns false with `exitStatus` set.
bool ParseValue(std::string_view text, size_t column, OwnedDesc& out, int& exitStatus,
                const InputFile* input = nullptr);

// The process ends once the result is written. Tearing down a value of a million items would
// cost a tenth of a large load or store, for memory the system takes back at once; builds with a
// leak checker tear down as usual, so that it still sees every other leak.
void LeaveForExit(OwnedDesc& desc);

// Prints `desc` in the notation on one line, or indented with `pretty`.
int PrintLine(const AEDesc& desc, bool pretty = false);

// Prints the reply's direct parameter (nothing when it has none).
int PrintDirectResult(const EventOutcome& outcome, bool pretty = false);

#endif

// The tool's commands, one file each in tools/commands/. Each Run… returns the exit status (0, 1
// failed, 2 usage) after printing what it has to say.
#ifndef TOOLS_COMMANDS_COMMANDS_H
#define TOOLS_COMMANDS_COMMANDS_H

#include "tools/cli/ToolArguments.h"

// Through the addition: each loads it, sends one event and prints the outcome.
int RunLoad(const ToolArguments& args);
int RunStore(const ToolArguments& args);
int RunSend(const ToolArguments& args);

// On the platform directly, without the addition.
int RunConvert(const ToolArguments& args);
int RunLint(const ToolArguments& args);
int RunPrint(const ToolArguments& args);
int RunExtract(const ToolArguments& args);
int RunType(const ToolArguments& args);
int RunReplace(const ToolArguments& args);
int RunInsert(const ToolArguments& args);
int RunRemove(const ToolArguments& args);
int RunCreate(const ToolArguments& args);
int RunDiff(const ToolArguments& args);
int RunEditCommand(const ToolArguments& args);

#endif

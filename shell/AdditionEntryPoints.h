// The five functions the bundle exports, with C linkage. Everything else in the bundle is
// compiled with hidden visibility, and shell/exports.map keeps the dynamic table to these five.
#ifndef SHELL_ADDITIONENTRYPOINTS_H
#define SHELL_ADDITIONENTRYPOINTS_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#define SA_EXPORT extern "C" __attribute__((visibility("default")))

// Start-up: retains `additionBundle` and installs both command handlers in the system table.
// 0 when at least one handler was installed (a failed row is not retried); when none was, start-up
// is undone as by SATerminate and the status of the last row is returned (memFullErr for a row
// without handler).
SA_EXPORT OSErr SAInitialize(CFBundleRef additionBundle);

// Shut-down: releases the bundle reference and removes every handler still recorded. A refused
// removal is ignored and keeps its slot. Safe after a failed start-up.
SA_EXPORT void SATerminate(void);

// True while a command handler call is in progress.
SA_EXPORT Boolean SAIsBusy(void);

// The command handlers, defined in commands/. Both run in the command frame and never throw.
SA_EXPORT OSErr LoadPList(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);
SA_EXPORT OSErr StorePList(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);

#endif

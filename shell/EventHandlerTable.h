// The handler table and the start-up and shut-down logic that walks it. The logic takes the
// table as an argument so it can be exercised with any handlers; the bundle passes
// gEventHandlers.
#ifndef SHELL_EVENTHANDLERTABLE_H
#define SHELL_EVENTHANDLERTABLE_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstddef>

#include "common/PlistBridgeEvents.h"

// One row of the table; a NULL handler means the row cannot be installed.
struct EventHandlerEntry {
    AEEventClass eventClass;
    AEEventID eventID;
    AEEventHandlerProcPtr handler;
};

inline constexpr std::size_t kEventHandlerCount = 2;
using EventHandlerTable = EventHandlerEntry[kEventHandlerCount];

// Row 0 load plist, row 1 store plist (shell/SAEntryPoints.cpp).
extern const EventHandlerTable gEventHandlers;

// The handler each row tried to install: written before the attempt, emptied only when the
// Apple Event Manager confirms the removal.
extern AEEventHandlerProcPtr gInstalledHandlers[kEventHandlerCount];

// The bundle reference retained from start-up to shut-down; NULL otherwise.
extern CFBundleRef gAdditionBundle;

// SAInitialize over `table`: retains `bundle` (may be NULL: nothing is retained), installs each
// row in the system table with refcon 0, and returns 0 if any row went in; otherwise undoes
// start-up with StopAddition and returns the last row's status (memFullErr for a NULL handler).
OSErr StartAddition(CFBundleRef bundle, const EventHandlerTable& table);

// SATerminate over `table`: releases and empties gAdditionBundle, then removes every recorded
// handler from the system table, emptying a slot only when the removal succeeded.
void StopAddition(const EventHandlerTable& table);

#endif

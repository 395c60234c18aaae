// Start-up and shut-down over a handler table, and the state they keep.
#include "shell/EventHandlerTable.h"

AEEventHandlerProcPtr gInstalledHandlers[kEventHandlerCount] = {};
CFBundleRef gAdditionBundle = nullptr;

OSErr StartAddition(CFBundleRef bundle, const EventHandlerTable& table) {
    // CFRetain hands back the reference it was given.
    if (bundle != nullptr) CFRetain(bundle);
    gAdditionBundle = bundle;
    bool anyInstalled = false;
    OSErr lastStatus = noErr;
    for (std::size_t row = 0; row < kEventHandlerCount; ++row) {
        const EventHandlerEntry& entry = table[row];
        // Recorded before the attempt, so shut-down also tries rows whose install failed.
        gInstalledHandlers[row] = entry.handler;
        lastStatus = entry.handler == nullptr
                         ? static_cast<OSErr>(memFullErr)
                         : AEInstallEventHandler(entry.eventClass, entry.eventID, entry.handler,
                                                 nullptr, true);
        if (lastStatus == noErr) anyInstalled = true;
    }
    if (anyInstalled) return noErr;
    StopAddition(table);
    return lastStatus;
}

void StopAddition(const EventHandlerTable& table) {
    if (gAdditionBundle != nullptr) {
        CFRelease(gAdditionBundle);
        gAdditionBundle = nullptr;
    }
    for (std::size_t row = 0; row < kEventHandlerCount; ++row) {
        AEEventHandlerProcPtr handler = gInstalledHandlers[row];
        if (handler == nullptr) continue;
        if (AERemoveEventHandler(table[row].eventClass, table[row].eventID, handler, true) ==
            noErr) {
            gInstalledHandlers[row] = nullptr;
        }
    }
}

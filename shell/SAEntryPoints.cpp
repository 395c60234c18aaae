// The entry points the host calls, and the table of the two command handlers.
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"
#include "shell/EventHandlerTable.h"

const EventHandlerTable gEventHandlers = {
    {kPlistBridgeSuite, kAELoadPList, LoadPList},
    {kPlistBridgeSuite, kAEStorePList, StorePList},
};

SA_EXPORT OSErr SAInitialize(CFBundleRef additionBundle) {
    return StartAddition(additionBundle, gEventHandlers);
}

SA_EXPORT void SATerminate(void) {
    StopAddition(gEventHandlers);
}

SA_EXPORT Boolean SAIsBusy(void) {
    return gBusyCount != 0;
}

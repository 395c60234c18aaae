/*
 * AppleEvents.h — event handler tables and sending.
 */
#ifndef __APPLEEVENTS__
#define __APPLEEVENTS__

#include <CoreServices/AEDataModel.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

/* Keywords of parameters. */
enum {
    keyDirectObject = 0x2D2D2D2D /* '----' */,
    keyErrorNumber = 0x6572726E /* 'errn' */,
    keyErrorString = 0x65727273 /* 'errs' */,
    keyProcessSerialNumber = 0x70736E20 /* 'psn ' */,
    keyPreDispatch = 0x70686163 /* 'phac' */,
    keySelectProc = 0x73656C68 /* 'selh' */,
    keyAERecorderCount = 0x72656372 /* 'recr' */,
    keyAEVersion = 0x76657273 /* 'vers' */
};

/* The core event suite. */
enum {
    kCoreEventClass = 0x61657674 /* 'aevt' */
};

enum {
    kAEOpenApplication = 0x6F617070 /* 'oapp' */,
    kAEOpenDocuments = 0x6F646F63 /* 'odoc' */,
    kAEPrintDocuments = 0x70646F63 /* 'pdoc' */,
    kAEOpenContents = 0x6F636F6E /* 'ocon' */,
    kAEQuitApplication = 0x71756974 /* 'quit' */,
    kAEAnswer = 0x616E7372 /* 'ansr' */,
    kAEApplicationDied = 0x6F626974 /* 'obit' */,
    kAEShowPreferences = 0x70726566 /* 'pref' */
};

/* Send modes, priorities and timeouts. The stand-in delivers events to the current process
   synchronously whatever the mode; the values are kept for callers that pass them. */
typedef SInt32 AESendMode;
enum {
    kAENoReply = 0x00000001,
    kAEQueueReply = 0x00000002,
    kAEWaitReply = 0x00000003,
    kAEDontReconnect = 0x00000080,
    kAEWantReceipt = 0x00000200,
    kAENeverInteract = 0x00000010,
    kAECanInteract = 0x00000020,
    kAEAlwaysInteract = 0x00000030,
    kAECanSwitchLayer = 0x00000040,
    kAEDontRecord = 0x00001000,
    kAEDontExecute = 0x00002000,
    kAEProcessNonReplyEvents = 0x00008000,
    kAEDoNotAutomaticallyAddAnnotationsToEvent = 0x00010000
};

typedef SInt16 AESendPriority;
enum { kAENormalPriority = 0x00000000, kAEHighPriority = 0x00000001 };

enum { kAEDefaultTimeout = -1, kNoTimeOut = -2 };

/* Event handlers. The universal procedure pointer is the plain function pointer. */
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* theAppleEvent, AppleEvent* reply,
                                       SRefCon handlerRefcon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine);
void DisposeAEEventHandlerUPP(AEEventHandlerUPP userUPP);
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply,
                              SRefCon handlerRefcon, AEEventHandlerUPP userUPP);

/* Idle and filter procedures of AESend; the stand-in never calls them. */
typedef struct EventRecord {
    UInt16 what;
    unsigned long message;
    UInt32 when;
    Point where;
    UInt16 modifiers;
} EventRecord;
struct OpaqueRgnHandle;
typedef Boolean (*AEIdleProcPtr)(struct EventRecord* theEvent, SInt32* sleepTime,
                                 struct OpaqueRgnHandle** mouseRgn);
typedef Boolean (*AEFilterProcPtr)(struct EventRecord* theEvent, SInt32 returnID,
                                   AETransactionID transactionID, const AEAddressDesc* sender);
typedef AEIdleProcPtr AEIdleUPP;
typedef AEFilterProcPtr AEFilterUPP;

/*
 * AEInstallEventHandler: installs `handler` for (class, ID) in the application table, or in
 * the system table when isSysHandler is true; an existing row for the same class and ID is
 * replaced. paramErr for a NULL handler.
 */
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                            AEEventHandlerUPP handler, SRefCon handlerRefcon, Boolean isSysHandler);

/* AERemoveEventHandler: removes the row for (class, ID) only when its handler is `handler`;
   errAEHandlerNotFound (-1717) otherwise. */
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                           AEEventHandlerUPP handler, Boolean isSysHandler);

/* AEGetEventHandler: the handler and refcon of the row for (class, ID), or -1717 with both
   cleared. */
OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                        AEEventHandlerUPP* handler, SRefCon* handlerRefcon, Boolean isSysHandler);

/*
 * AESend: delivers the event. Only the current process is a supported target: an address of
 * typeProcessSerialNumber {0, kCurrentProcess}, or typeKernelProcessID with this process's
 * pid; any other address fails with errAEUnknownAddressType (-1716) and a missing address
 * with errAENotAEDesc (-1704). Dispatch is synchronous: the application table, then the
 * system table; errAEEventNotHandled (-1708) when neither has a handler. `reply` (may be
 * NULL) receives an event of class kCoreEventClass, ID kAEAnswer that the caller disposes;
 * when the handler returns non-zero and left no keyErrorNumber, the status is put there.
 * The result is the handler's status.
 */
OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, SInt32 timeOutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif

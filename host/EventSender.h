// Building Apple events, sending them to the current process, and reading the reply, as a
// script runner does for a scripting addition.
#ifndef HOST_EVENTSENDER_H
#define HOST_EVENTSENDER_H

#include <CoreServices/CoreServices.h>

#include <optional>
#include <string>
#include <vector>

#include "common/OwnedDesc.h"
#include "common/PlistBridgeEvents.h"

// One parameter of an event to build. `value` is borrowed (copied into the event). An
// optional parameter's keyword goes into the event's 'optk' attribute, so the handler may
// leave it unread.
struct EventParameter {
    AEKeyword keyword;
    const AEDesc* value;
    bool optional = false;
};

// Makes an event of the given class and ID addressed to the current process (a 'psn ' of
// kCurrentProcess), with the parameters in order and, when any is optional, an 'optk' list of
// their keywords (as 'keyw' descriptors). A keyword listed twice keeps its last value.
// `optionalOnly` names further keywords for 'optk' that carry no parameter. Returns noErr or
// the status of the first platform call that failed; `event` is left null on failure.
OSStatus BuildEvent(AEEventClass eventClass, AEEventID eventID,
                    const std::vector<EventParameter>& parameters,
                    const std::vector<AEKeyword>& optionalOnly, OwnedDesc& event);

// What one sent event came back with.
struct EventOutcome {
    // AESend's result (the handler's status), or the reply's 'errn' when AESend returned noErr
    // but the handler left one.
    OSStatus status = noErr;
    // The reply event ('aevt'/'ansr'); null when AESend made none.
    OwnedDesc reply;
    // The reply's 'errs' text in UTF-8, when it has one.
    std::optional<std::string> errorText;
};

// Sends `event` with AESend (wait for the reply) and collects the outcome.
EventOutcome SendEvent(const AppleEvent& event);

// Copies the reply's direct parameter ('----') into `out`. errAEDescNotFound when there is
// none (the reply is then left null); other statuses from AEGetParamDesc.
OSStatus CopyDirectResult(const AppleEvent& reply, OwnedDesc& out);

// Copies every parameter of `reply` into a new 'reco' record, in order. A null reply gives an
// empty record. Returns noErr or the status of the first platform call that failed.
OSStatus CopyReplyParameters(const AppleEvent& reply, OwnedDesc& out);

// Sends load plist with `value` as the direct parameter.
EventOutcome SendLoadPList(const AEDesc& value);

// Sends store plist with `value` as the direct parameter and, when `destination` is not
// nullptr, the optional 'XMlO' destination.
EventOutcome SendStorePList(const AEDesc& value, const AEDesc* destination);

#endif

// plistbridge send: sends any event with parameters in the notation and prints the reply's
// parameters as a record.
#include <string>
#include <vector>

#include "tools/commands/AdditionCommand.h"
#include "tools/commands/Commands.h"

namespace {

// "load plist", "store plist", or "event CLAS/EVID" for any other event.
std::string EventName(AEEventClass eventClass, AEEventID eventID) {
    if (eventClass == kPlistBridgeSuite && eventID == kAELoadPList) return "load plist";
    if (eventClass == kPlistBridgeSuite && eventID == kAEStorePList) return "store plist";
    std::string name = "event ";
    for (FourCharCode code : {eventClass, eventID}) {
        if (code == eventID) name.push_back('/');
        std::string quoted;
        for (int shift = 24; shift >= 0; shift -= 8)
            quoted.push_back(static_cast<char>(code >> shift));
        name += quoted;
    }
    return name;
}

int SendWith(const ToolArguments& args, const std::vector<OwnedDesc>& values) {
    std::vector<EventParameter> parameters;
    for (size_t i = 0; i < values.size(); ++i) {
        const AEKeyword keyword = args.parameters[i].keyword;
        bool optional = false;
        for (AEKeyword k : args.optionalKeywords) optional = optional || k == keyword;
        parameters.push_back({keyword, &values[i].Get(), optional});
    }
    std::vector<AEKeyword> optionalOnly;
    for (AEKeyword k : args.optionalKeywords) {
        bool given = false;
        for (const EventParameter& p : parameters) given = given || p.keyword == k;
        if (!given) optionalOnly.push_back(k);
    }
    OwnedDesc event;
    if (OSStatus err = BuildEvent(args.eventClass, args.eventID, parameters, optionalOnly, event))
        return Complain(kExitFailed, "cannot build the event" + StatusSuffix(err));
    const unsigned long failedBefore = FailedAllocations();
    const EventOutcome outcome = SendEvent(event.Get());
    if (outcome.status != noErr)
        return ReportFailure(EventName(args.eventClass, args.eventID), outcome, failedBefore);
    OwnedDesc record;
    if (OSStatus err = CopyReplyParameters(outcome.reply.Get(), record))
        return Complain(kExitFailed, "cannot read the reply" + StatusSuffix(err));
    return PrintLine(record.Get());
}

}  // namespace

int RunSend(const ToolArguments& args) {
    // Values are parsed before the addition is loaded, so a notation error is reported as such.
    int exitStatus = 0;
    std::vector<OwnedDesc> values;
    for (const SendParameter& parameter : args.parameters) {
        values.emplace_back();
        if (!ParseValue(parameter.valueText, parameter.valueColumn, values.back(), exitStatus))
            return exitStatus;
    }
    CAdditionHost host;
    if (!LoadAddition(args, host, exitStatus)) return exitStatus;
    return SendWith(args, values);
}

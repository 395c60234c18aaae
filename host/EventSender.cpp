#include "host/EventSender.h"

#include "host/HostValues.h"

namespace {

OSStatus MakeCurrentProcessAddress(OwnedDesc& out) {
    const ProcessSerialNumber psn = {0, kCurrentProcess};
    return AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, out.Out());
}

OSStatus PutOptionalKeywords(const std::vector<AEKeyword>& keywords, OwnedDesc& event) {
    OwnedDesc list;
    if (OSErr err = AECreateList(nullptr, 0, false, list.Out())) return err;
    for (AEKeyword keyword : keywords) {
        if (OSErr err = AEPutPtr(list.Mutable(), 0, typeKeyword, &keyword, sizeof keyword))
            return err;
    }
    return AEPutAttributeDesc(event.Mutable(), keyOptionalKeywordAttr, &list.Get());
}

// 'errs' as UTF-8, whatever text type the handler used.
std::optional<std::string> ReadErrorText(const AppleEvent& reply) {
    OwnedDesc text;
    if (AEGetParamDesc(&reply, keyErrorString, typeWildCard, text.Out()) != noErr) return {};
    std::string utf8;
    if (CopyUTF8Text(text.Get(), utf8) != noErr) return {};
    return utf8;
}

}  // namespace

OSStatus BuildEvent(AEEventClass eventClass, AEEventID eventID,
                    const std::vector<EventParameter>& parameters,
                    const std::vector<AEKeyword>& optionalOnly, OwnedDesc& event) {
    event.Dispose();
    OwnedDesc address;
    if (OSStatus err = MakeCurrentProcessAddress(address)) return err;
    OwnedDesc built;
    if (OSErr err = AECreateAppleEvent(eventClass, eventID, &address.Get(), kAutoGenerateReturnID,
                                       kAnyTransactionID, built.Out()))
        return err;
    std::vector<AEKeyword> optional = optionalOnly;
    for (const EventParameter& parameter : parameters) {
        if (OSErr err = AEPutParamDesc(built.Mutable(), parameter.keyword, parameter.value))
            return err;
        if (parameter.optional) optional.push_back(parameter.keyword);
    }
    if (!optional.empty()) {
        if (OSStatus err = PutOptionalKeywords(optional, built)) return err;
    }
    event = std::move(built);
    return noErr;
}

EventOutcome SendEvent(const AppleEvent& event) {
    EventOutcome outcome;
    outcome.status = AESend(&event, outcome.reply.Out(), kAEWaitReply, kAENormalPriority,
                            kAEDefaultTimeout, nullptr, nullptr);
    if (outcome.reply.IsNull()) return outcome;
    if (outcome.status == noErr) {
        SInt32 number = 0;
        DescType type;
        Size size;
        if (AEGetParamPtr(&outcome.reply.Get(), keyErrorNumber, typeSInt32, &type, &number,
                          sizeof number, &size) == noErr)
            outcome.status = number;
    }
    outcome.errorText = ReadErrorText(outcome.reply.Get());
    return outcome;
}

OSStatus CopyDirectResult(const AppleEvent& reply, OwnedDesc& out) {
    return AEGetParamDesc(&reply, keyDirectObject, typeWildCard, out.Out());
}

OSStatus CopyReplyParameters(const AppleEvent& reply, OwnedDesc& out) {
    out.Dispose();
    OwnedDesc record;
    if (OSErr err = AECreateList(nullptr, 0, true, record.Out())) return err;
    long count = 0;
    if (reply.descriptorType != typeNull) {
        if (OSErr err = AECountItems(&reply, &count)) return err;
    }
    for (long i = 1; i <= count; ++i) {
        AEKeyword keyword;
        OwnedDesc item;
        if (OSErr err = AEGetNthDesc(&reply, i, typeWildCard, &keyword, item.Out())) return err;
        if (OSErr err = AEPutParamDesc(record.Mutable(), keyword, &item.Get())) return err;
    }
    out = std::move(record);
    return noErr;
}

namespace {

EventOutcome BuildAndSend(AEEventID eventID, const std::vector<EventParameter>& parameters) {
    OwnedDesc event;
    if (OSStatus err = BuildEvent(kPlistBridgeSuite, eventID, parameters, {}, event)) {
        EventOutcome failed;
        failed.status = err;
        return failed;
    }
    return SendEvent(event.Get());
}

}  // namespace

EventOutcome SendLoadPList(const AEDesc& value) {
    return BuildAndSend(kAELoadPList, {{keyDirectObject, &value}});
}

EventOutcome SendStorePList(const AEDesc& value, const AEDesc* destination) {
    std::vector<EventParameter> parameters = {{keyDirectObject, &value}};
    if (destination != nullptr) parameters.push_back({kStoreDestination, destination, true});
    return BuildAndSend(kAEStorePList, parameters);
}

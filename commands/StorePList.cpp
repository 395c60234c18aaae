#include "common/PlistBridgeEvents.h"
#include "convert/DescToPropertyList.h"
#include "desc/CAEDesc.h"
#include "desc/CFRef.h"
#include "desc/FileReference.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"

namespace {

void WriteToDestination(const CAEDesc& destination, CFDataRef xml, CAEDesc& result) {
    CFRef<CFURLRef> url(ToCFURL(&destination.mDesc));
    SInt32 errorCode = 0;
    // Whatever the cause, a failed write is reported the same way.
    if (!CFURLWriteDataAndPropertiesToResource(url.Get(), xml, nullptr, &errorCode))
        ThrowStatus(coreFoundationUnknownErr);
    result = destination.mDesc;
}

void MakeXMLText(CFDataRef xml, CAEDesc& result) {
    CFRef<CFStringRef> text(
        CFStringCreateFromExternalRepresentation(kCFAllocatorDefault, xml, kCFStringEncodingUTF8));
    // The writer makes valid UTF-8, so no string means no memory: answering with no text
    // would pass for success.
    if (!text) ThrowStatus(memFullErr);
    result.SetCFString(text.Get());
}

void StorePListBody(const AppleEvent* event, AppleEvent* reply) {
    // Declared in the order that makes destruction release the result, the XML data, the
    // property list, the destination, then the direct parameter.
    CAEDescReader eventView(event);
    CAEDescReader replyView(reply);
    CAEDesc direct;
    ThrowIfError(AEGetParamDesc(&eventView.mDesc, keyDirectObject, typeWildCard, &direct.mDesc));
    CAEDesc destination;
    DescType destinationType = 0;
    Size destinationSize = 0;
    const OSErr lookup =
        AESizeOfParam(&eventView.mDesc, kStoreDestination, &destinationType, &destinationSize);
    // Only a missing destination means the text route: a destination that could not be looked
    // at must not turn a write into a text answer.
    if (lookup != errAEDescNotFound) ThrowIfError(lookup);
    if (lookup == noErr)
        ThrowIfError(
            AEGetParamDesc(&eventView.mDesc, kStoreDestination, typeWildCard, &destination.mDesc));
    ThrowIfStatus(CheckMissedParams(event));
    CFRef<CFPropertyListRef> list(DescToPropertyList(direct.mDesc));
    // The converter throws rather than return nothing; this guards what it cannot promise for
    // CoreFoundation's own allocations.
    if (!list) ThrowStatus(memFullErr);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(kCFAllocatorDefault, list.Get()));
    if (!xml) ThrowStatus(coreFoundationUnknownErr);
    CAEDesc result;
    if (!destination.IsNull())
        WriteToDestination(destination, xml.Get(), result);
    else
        MakeXMLText(xml.Get(), result);
    ThrowIfError(AEPutParamDesc(&replyView.mDesc, keyDirectObject, &result.mDesc));
}

}  // namespace

OSErr StorePList(const AppleEvent* event, AppleEvent* reply, SRefCon) {
    return RunCommand(reply, [&] { StorePListBody(event, reply); });
}

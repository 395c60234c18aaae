#include "commands/LoadPList.h"

#include <new>
#include <string>

#include "convert/PropertyListToDesc.h"
#include "desc/CAEDesc.h"
#include "desc/CFRef.h"
#include "desc/FileReference.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"

namespace {

const char* const kNoPropertyList = "load plist: no property list specified";

// Puts "load plist: " and the reader's complaint (what is wrong, and the line) into the reply's
// 'errs' as 'TEXT', like every message of the addition (a character Mac OS Roman lacks becomes
// '?'); the status stays the reader's. A text that cannot be put is simply left out.
void PutReaderError(AppleEvent* reply, CFStringRef complaint) {
    if (!reply || !complaint) return;
    CFRef<CFDataRef> utf8(CFStringCreateExternalRepresentation(kCFAllocatorDefault, complaint,
                                                               kCFStringEncodingMacRoman, '?'));
    if (!utf8) return;
    std::string text = "load plist: ";
    text.append(reinterpret_cast<const char*>(CFDataGetBytePtr(utf8.Get())),
                static_cast<size_t>(CFDataGetLength(utf8.Get())));
    (void)AEPutParamPtr(reply, keyErrorString, typeChar, text.data(),
                        static_cast<Size>(text.size()));
}

CFPropertyListRef CreatePropertyListOrThrow(CFDataRef data, AppleEvent* reply) {
    CFStringRef complaint = nullptr;
    CFPropertyListRef list = CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data,
                                                             kCFPropertyListImmutable, &complaint);
    CFRef<CFStringRef> ownedComplaint(complaint);
    if (!list) {
        PutReaderError(reply, complaint);
        ThrowStatus(coreFoundationUnknownErr);
    }
    return list;
}

CFDataRef ReadPropertyListFile(const AEDesc* reference) {
    // Declared so that the contents go before the URL.
    CFRef<CFURLRef> url(ToCFURL(reference));
    CFRef<CFDataRef> contents;
    SInt32 error = 0;
    if (!CFURLCreateDataAndPropertiesFromResource(kCFAllocatorDefault, url.Get(), contents.Out(),
                                                  nullptr, nullptr, &error))
        ThrowStatus(error == memFullErr ? memFullErr : fnfErr);  // memory is no missing file
    return contents.Detach();
}

void LoadPListBody(const AppleEvent* event, AppleEvent* reply) {
    // Declared in the order that makes destruction release the result, then the property
    // list, then the direct parameter.
    CAEDescReader eventView(event);
    CAEDescReader replyView(reply);
    CAEDesc direct;
    ThrowIfError(AEGetParamDesc(&eventView.mDesc, keyDirectObject, typeWildCard, &direct.mDesc));
    if (direct.IsNull()) ThrowMessage(kNoPropertyList);
    ThrowIfStatus(CheckMissedParams(event));
    CFRef<CFDataRef> bytes(IsFileReference(&direct.mDesc) ? ReadPropertyListFile(&direct.mDesc)
                                                          : CreateCFDataFromText(&direct.mDesc));
    CFRef<CFPropertyListRef> list(CreatePropertyListOrThrow(bytes.Get(), reply));
    // What the list may expand to is bounded by the bytes it came from, which are not needed
    // any more.
    ConversionBudget budget(static_cast<size_t>(CFDataGetLength(bytes.Get())));
    bytes.Reset();
    CAEDesc result;
    PropertyListToDesc(list.Get(), result);
    ThrowIfError(AEPutParamDesc(&replyView.mDesc, keyDirectObject, &result.mDesc));
}

}  // namespace

CFDataRef CreateCFDataFromText(const AEDesc* desc) {
    std::string bytes;
    CAEDescReader(desc).GetUTF8String(bytes);
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                                  static_cast<CFIndex>(bytes.size()));
    if (!data) ThrowStatus(memFullErr);
    return data;
}

OSErr LoadPList(const AppleEvent* event, AppleEvent* reply, SRefCon) {
    return RunCommand(reply, [&] {
        try {
            LoadPListBody(event, reply);
        } catch (const std::bad_alloc&) {
            ThrowStatus(memFullErr);  // memory is a status like any other resource
        }
    });
}

#include "commands/LoadPList.h"

#include <cstring>
#include <string>

#include "convert/PropertyListToDesc.h"
#include "desc/CAEDesc.h"
#include "desc/CFRef.h"
#include "desc/FileReference.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"

namespace {

const char* const kNoPropertyList = "load plist: no property list specified";

// What the expansion guard needs to know of the bytes a list was parsed from.
struct ParsedBytes {
    size_t size = 0;
    // Only a binary property list can reference one array or dictionary from several places.
    bool binary = false;
};

// The parsed list, owned by the caller; -4960 when the bytes are not a property list.
CFPropertyListRef CreatePropertyListOrThrow(CFDataRef data, ParsedBytes& parsed) {
    CFPropertyListRef list = CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data,
                                                             kCFPropertyListImmutable, nullptr);
    if (!list) ThrowStatus(coreFoundationUnknownErr);
    parsed.size = static_cast<size_t>(CFDataGetLength(data));
    // Bytes that cannot be looked at are guarded as if they were binary.
    const UInt8* bytes = CFDataGetBytePtr(data);
    parsed.binary = parsed.size >= 6 && (!bytes || std::memcmp(bytes, "bplist", 6) == 0);
    return list;
}

// The property list in the file `reference` names. The file's contents are released before the
// URL.
CFPropertyListRef CreatePropertyListFromFile(const AEDesc* reference, ParsedBytes& parsed) {
    CFRef<CFURLRef> url(ToCFURL(reference));
    CFRef<CFDataRef> contents;
    if (!CFURLCreateDataAndPropertiesFromResource(kCFAllocatorDefault, url.Get(), contents.Out(),
                                                  nullptr, nullptr, nullptr))
        ThrowStatus(fnfErr);
    return CreatePropertyListOrThrow(contents.Get(), parsed);
}

// The property list whose text `text` holds.
CFPropertyListRef CreatePropertyListFromText(const AEDesc* text, ParsedBytes& parsed) {
    CFRef<CFDataRef> data(CreateCFDataFromText(text));
    return CreatePropertyListOrThrow(data.Get(), parsed);
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
    ParsedBytes parsed;
    CFRef<CFPropertyListRef> list(IsFileReference(&direct.mDesc)
                                      ? CreatePropertyListFromFile(&direct.mDesc, parsed)
                                      : CreatePropertyListFromText(&direct.mDesc, parsed));
    if (parsed.binary) CheckExpansion(list.Get(), parsed.size);
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
    return RunCommand(reply, [&] { LoadPListBody(event, reply); });
}

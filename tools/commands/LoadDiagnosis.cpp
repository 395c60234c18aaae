// Why load plist refused its input, told by the platform's reader.
#include "tools/commands/LoadDiagnosis.h"

#include <CoreFoundation/CoreFoundation.h>

#include "common/OwnedDesc.h"
#include "tools/cli/ToolSupport.h"

std::string PropertyListComplaint(std::string_view bytes) {
    CFRef<CFDataRef> data(CFDataCreateWithBytesNoCopy(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
        static_cast<CFIndex>(bytes.size()), kCFAllocatorNull));
    CFStringRef complaint = nullptr;
    CFRef<CFPropertyListRef> list(CFPropertyListCreateFromXMLData(
        kCFAllocatorDefault, data.Get(), kCFPropertyListImmutable, &complaint));
    CFRef<CFStringRef> ownedComplaint(complaint);
    if (list) return "";
    if (!complaint) return "not a property list";
    CFRef<CFDataRef> utf8(CFStringCreateExternalRepresentation(kCFAllocatorDefault, complaint,
                                                               kCFStringEncodingUTF8, '?'));
    if (!utf8) return "not a property list";
    std::string reason(BytesOf(utf8.Get()));
    const size_t at = reason.rfind(" at line ");
    if (at != std::string::npos) reason.replace(at, 3, " on");
    return reason;
}

std::string ExplainRefusedFile(const std::string& path) {
    InputFile input;
    std::string reason;
    if (!input.Open(path, reason)) return "";
    reason = PropertyListComplaint(input.Bytes());
    if (reason.empty() || input.Shrank()) return "";
    return "load plist: " + path + ": " + reason;
}

std::string ExplainRefusedText(const AEDesc& text) {
    OwnedDesc utf8;
    if (AECoerceDesc(&text, typeUTF8Text, utf8.Out()) != noErr) return "";
    std::string bytes(static_cast<size_t>(AEGetDescDataSize(&utf8.Get())), '\0');
    if (AEGetDescData(&utf8.Get(), bytes.data(), static_cast<Size>(bytes.size())) != noErr)
        return "";
    const std::string reason = PropertyListComplaint(bytes);
    return reason.empty() ? "" : "load plist: " + reason;
}

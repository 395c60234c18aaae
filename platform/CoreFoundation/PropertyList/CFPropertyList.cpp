// The public property-list entry points: counted wrappers over the stand-in's readers and
// writer.
#include <CoreFoundation/CFPropertyList.h>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "platform/Testing/PTInternal.h"

// Reads binary, XML or old-style text (in that order). Returns +1 or NULL; *errorString
// (when not NULL) is cleared first and, on failure, gets a +1 description with the line.
// A NULL or non-data xmlData fails like empty data. The allocator is ignored.
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString) {
    if (errorString) *errorString = nullptr;
    int32_t injected;
    if (PT_ENTER("CFPropertyListCreateFromXMLData", injected)) return nullptr;
    const uint8_t* bytes = cf::IsData(xmlData) ? cf::DataBytes(xmlData) : nullptr;
    size_t length = bytes ? cf::DataLength(xmlData) : 0;
    return cf::plist::Read(bytes, length, mutabilityOption, errorString);
}

// +1 UTF-8 XML document, or NULL when propertyList is not a valid property list. The
// allocator is ignored.
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList) {
    int32_t injected;
    if (PT_ENTER("CFPropertyListCreateXMLData", injected)) return nullptr;
    return cf::plist::WriteXML(propertyList);
}

namespace {

// The document in `format` (XML or binary), or NULL for another format or an invalid list.
CFDataRef WriteInFormat(CFPropertyListRef propertyList, CFPropertyListFormat format) {
    if (format == kCFPropertyListXMLFormat_v1_0) return cf::plist::WriteXML(propertyList);
    if (format == kCFPropertyListBinaryFormat_v1_0) return cf::plist::WriteBinary(propertyList);
    return nullptr;
}

}  // namespace

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList,
                                   CFPropertyListFormat format, CFOptionFlags options,
                                   CFErrorRef* error) {
    if (error) *error = nullptr;
    int32_t injected;
    if (PT_ENTER("CFPropertyListCreateData", injected)) return nullptr;
    if (options != 0) return nullptr;
    return WriteInFormat(propertyList, format);
}

CFIndex CFPropertyListWrite(CFPropertyListRef propertyList, CFWriteStreamRef stream,
                            CFPropertyListFormat format, CFOptionFlags options, CFErrorRef* error) {
    if (error) *error = nullptr;
    int32_t injected;
    if (PT_ENTER("CFPropertyListWrite", injected)) return 0;
    if (options != 0) return 0;
    cf::Ref<CFDataRef> data(WriteInFormat(propertyList, format));
    if (!data) return 0;
    const auto length = static_cast<CFIndex>(cf::DataLength(data.Get()));
    // The stand-in's writers make the whole document first: one write of all of it.
    if (length > 0 && CFWriteStreamWrite(stream, cf::DataBytes(data.Get()), length) != length)
        return 0;
    return length;
}

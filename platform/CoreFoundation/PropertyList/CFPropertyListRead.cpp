// The reading entry point: binary, then XML, then old-style text.
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

#include <cstring>

namespace cf::plist {

PBBinaryReadMeasure& LastBinaryMeasure() {
    thread_local PBBinaryReadMeasure measure{};
    return measure;
}

CFPropertyListRef Read(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                       CFStringRef* error) {
    if (error) *error = nullptr;
    LastBinaryMeasure() = {};
    if (!bytes || length == 0) return ReadXML(bytes, length, mutability, error);
    // A binary header (any "bplist0" version) decides: such bytes are neither XML nor
    // old-style text, unless they are too few for a binary list ("bplist00" alone is a word).
    if (length >= 8 && std::memcmp(bytes, "bplist0", 7) == 0) {
        if (length < kMinBinaryLength)
            if (CFPropertyListRef word = ReadOldStyle(bytes, length, mutability, nullptr))
                return word;
        return ReadBinary(bytes, length, mutability, error);
    }
    CFStringRef xmlErrorText = nullptr;
    CFPropertyListRef result = ReadXML(bytes, length, mutability, error ? &xmlErrorText : nullptr);
    Ref<CFStringRef> xmlError(xmlErrorText);
    if (result) return result;
    result = ReadOldStyle(bytes, length, mutability, nullptr);
    if (result) return result;
    // Both text readers failed: the XML reader's complaint is the more useful one.
    if (error) *error = xmlError.Detach();
    return nullptr;
}

}  // namespace cf::plist

void PBPropertyListLastBinaryRead(PBBinaryReadMeasure* measure) {
    *measure = cf::plist::LastBinaryMeasure();
}

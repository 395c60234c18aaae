// Fuzz target: the old-style (text) property-list reader alone.
#include <cstdint>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFStringRef error = nullptr;
    cf::Release(cf::plist::ReadOldStyle(data, size, kCFPropertyListImmutable, &error));
    cf::Release(error);
    return 0;
}

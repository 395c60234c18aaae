// Fuzz target: the binary property-list reader alone, in both sharing modes.
#include <cstdint>
#include <initializer_list>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (CFOptionFlags mutability : {kCFPropertyListImmutable, kCFPropertyListMutableContainers}) {
        CFStringRef error = nullptr;
        cf::Release(cf::plist::ReadBinary(data, size, mutability, &error));
        cf::Release(error);
    }
    return 0;
}

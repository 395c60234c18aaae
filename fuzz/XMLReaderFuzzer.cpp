// Fuzz target: the full reading entry point (binary, then XML, then old-style), so every
// XML input also exercises the fallbacks. Must never crash, hang, leak or over-read.
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFDataRef bytes =
        CFDataCreateWithBytesNoCopy(nullptr, data, static_cast<CFIndex>(size), kCFAllocatorNull);
    if (!bytes) return 0;
    CFStringRef error = nullptr;
    for (CFOptionFlags mutability :
         {kCFPropertyListImmutable, kCFPropertyListMutableContainersAndLeaves}) {
        CFPropertyListRef value =
            CFPropertyListCreateFromXMLData(nullptr, bytes, mutability, &error);
        if (value) CFRelease(value);
        if (error) CFRelease(error);
        error = nullptr;
    }
    CFRelease(bytes);
    return 0;
}

// Small builders of CoreFoundation property-list objects for tests. Each returns an owner.
#ifndef TESTS_CONVERT_CFBUILDERS_H
#define TESTS_CONVERT_CFBUILDERS_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "desc/CFRef.h"

using CFObject = CFRef<CFTypeRef>;

inline CFObject CFNum(CFNumberType type, const void* value) {
    return CFObject(CFNumberCreate(kCFAllocatorDefault, type, value));
}
inline CFObject CFInt64(int64_t value) {
    return CFNum(kCFNumberSInt64Type, &value);
}
inline CFObject CFInt32(int32_t value) {
    return CFNum(kCFNumberSInt32Type, &value);
}
inline CFObject CFReal(double value) {
    return CFNum(kCFNumberDoubleType, &value);
}
inline CFObject CFStr(std::string_view utf8) {
    return CFObject(
        CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(utf8.data()),
                                static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
}
inline CFObject CFBytes(std::string_view bytes) {
    return CFObject(CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                                 static_cast<CFIndex>(bytes.size())));
}
inline CFObject CFShared(CFTypeRef immortal) {
    return CFObject(CFRetain(immortal));
}

inline CFObject CFArr(std::initializer_list<CFTypeRef> values) {
    std::vector<const void*> items(values.begin(), values.end());
    return CFObject(CFArrayCreate(kCFAllocatorDefault, items.data(),
                                  static_cast<CFIndex>(items.size()), &kCFTypeArrayCallBacks));
}
inline CFObject CFDict(std::initializer_list<std::pair<CFTypeRef, CFTypeRef>> entries) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : entries) CFDictionarySetValue(dict, key, value);
    return CFObject(dict);
}

// Parses property-list text (XML or old-style) as the load command does.
inline CFObject CFParse(std::string_view text) {
    CFObject data = CFBytes(text);
    return CFObject(CFPropertyListCreateFromXMLData(kCFAllocatorDefault,
                                                    static_cast<CFDataRef>(data.Get()),
                                                    kCFPropertyListImmutable, nullptr));
}

#endif

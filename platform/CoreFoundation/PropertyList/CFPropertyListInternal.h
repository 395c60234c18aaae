// The property-list readers and writer as the stand-in's own code calls them. None of these
// are counted or fault-injected by the testing facility; the public entry points in
// CFPropertyList.cpp are.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPROPERTYLISTINTERNAL_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFPROPERTYLISTINTERNAL_H

#include <CoreFoundation/CoreFoundation.h>

#include "platform/CoreFoundation/CFPropertyListPrivate.h"

#include <cstddef>
#include <cstdint>

namespace cf::plist {

// Nesting limit shared by every reader and the writer.
inline constexpr int kMaxDepth = 512;

// The smallest binary list: header, one object, one offset, trailer. A shorter input that
// starts like one is tried as old-style text first, as the real reader does.
inline constexpr size_t kMinBinaryLength = 8 + 1 + 1 + 32;

// Each reader returns a +1 object, or NULL with *error (when error is not NULL) set to a +1
// string that says what is wrong and where. `bytes` is read only within [bytes, bytes+length).
// `mutability` is a CFPropertyListMutabilityOptions value.
CFPropertyListRef ReadBinary(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                             CFStringRef* error);
// This thread's measure of its last binary read (CFPropertyListPrivate.h); Read clears it.
PBBinaryReadMeasure& LastBinaryMeasure();
CFPropertyListRef ReadXML(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                          CFStringRef* error);
CFPropertyListRef ReadOldStyle(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                               CFStringRef* error);

// Binary, then XML, then old-style, as CFPropertyListCreateFromXMLData does.
CFPropertyListRef Read(const uint8_t* bytes, size_t length, CFOptionFlags mutability,
                       CFStringRef* error);

// +1 data holding the XML document, or NULL when the tree is not a valid property list.
CFDataRef WriteXML(CFPropertyListRef plist);
// +1 data holding the "bplist00" document, or NULL as WriteXML.
CFDataRef WriteBinary(CFPropertyListRef plist);

}  // namespace cf::plist

#endif

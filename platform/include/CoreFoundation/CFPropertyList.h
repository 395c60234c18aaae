/* CFPropertyList.h — reading and writing property lists. */
#ifndef __COREFOUNDATION_CFPROPERTYLIST__
#define __COREFOUNDATION_CFPROPERTYLIST__

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFError.h>
#include <CoreFoundation/CFStream.h>
#include <CoreFoundation/CFString.h>

CF_EXTERN_C_BEGIN

typedef CF_OPTIONS(CFOptionFlags, CFPropertyListMutabilityOptions) {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1,
    kCFPropertyListMutableContainersAndLeaves = 2
};

typedef CF_ENUM(CFIndex, CFPropertyListFormat) {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};

/*
 * +1 property list parsed from xmlData: a binary property list, an XML property list, or an
 * old-style text property list, tried in that order. NULL when the data is none of these; then
 * *errorString (when not NULL) is a +1 string saying what is wrong and where.
 */
CF_EXPORT CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator,
                                                            CFDataRef xmlData,
                                                            CFOptionFlags mutabilityOption,
                                                            CFStringRef* errorString);

/* +1 data holding the XML form of propertyList (UTF-8), or NULL when it is not a valid
   property list. */
CF_EXPORT CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator,
                                                CFPropertyListRef propertyList);

/*
 * +1 data holding propertyList in `format`: kCFPropertyListXMLFormat_v1_0 (as
 * CFPropertyListCreateXMLData) or kCFPropertyListBinaryFormat_v1_0. NULL when the tree is not
 * a valid property list, or for the old-style format, which has no writer. `options` must be
 * 0. *error (when not NULL) is set to NULL: the stand-in makes no error objects.
 */
CF_EXPORT CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator,
                                             CFPropertyListRef propertyList,
                                             CFPropertyListFormat format, CFOptionFlags options,
                                             CFErrorRef* error);

/*
 * Writes propertyList in `format` (as CFPropertyListCreateData) to an open stream. Returns the
 * number of bytes written, or 0 when the tree cannot be written in that format or the stream
 * refuses the bytes. *error (when not NULL) is set to NULL.
 */
CF_EXPORT CFIndex CFPropertyListWrite(CFPropertyListRef propertyList, CFWriteStreamRef stream,
                                      CFPropertyListFormat format, CFOptionFlags options,
                                      CFErrorRef* error);

/* True when plist is a valid property list for `format`. */
CF_EXPORT Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);

CF_EXTERN_C_END

#endif

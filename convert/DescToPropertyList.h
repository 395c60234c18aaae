// Descriptor → property list: the writing half of the shared encoding described in
// convert/PropertyListToDesc.h, so that what this side writes the other side reads back.
#ifndef CONVERT_DESCTOPROPERTYLIST_H
#define CONVERT_DESCTOPROPERTYLIST_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

// Converts `desc` (only read) and everything nested in it into a property-list object the
// caller owns and releases once: CFString for the text types, CFBoolean, CFNumber (SInt32 for
// 'shor'/'long'/'magn', SInt64 for 'comp' and for a 'magn' above 2^31 - 1 whose coercion to
// 'long' fails, Double for 'sing'/'doub', the 128-bit type for a 'ucom' above INT64_MAX), CFDate,
// CFData for '****', a mutable CFArray for 'list', a mutable CFDictionary for 'reco' and a
// raw-descriptor dictionary for every other type, a 'ucom' up to INT64_MAX included. Booleans are
// the shared kCFBooleanTrue/kCFBooleanFalse, which releasing leaves alive. The first failure
// anywhere ends the whole conversion, with everything built so far released. Throws an int32_t
// status:
//   the status of a reader (desc/CAEDesc.h), e.g. -1700 for a refused coercion;
//   the status of AECountItems, AEGetNthDesc, AEGetNthPtr, AEGetParamDesc or AEGetDescData,
//   sign-extended; the status of UCConvertLongDateTimeToCFAbsoluteTime;
//   -4960 (coreFoundationUnknownErr) when an array or dictionary cannot be created;
//   -108 (memFullErr) when a number, date, data or string object cannot be created;
//   -2706 (errOSAStackOverflow) for lists, records and raw-descriptor dictionaries nested
//         deeper than 512 levels.
CFPropertyListRef DescToPropertyList(const AEDesc& desc);

// Converts a record ('reco') into a mutable dictionary the caller owns: user fields from its
// 'usrf' list (pairs of key and value, an odd last item ignored, a later equal key replacing an
// earlier one) under their own converted keys, then every other field under its quoted keyword
// "'abcd'", replacing a user field of the same key. A record whose 'usrf' cannot be sized
// (AESizeOfParam fails, whatever the status) has no user fields.
// A keyword is cut at a zero byte; one with a byte of 0x80 or above is spelled in Mac OS Roman,
// so its field is kept (it reads back as a user field). Throws as DescToPropertyList.
CFMutableDictionaryRef RecordToDictionary(const AEDesc& record);

#endif

// Property list → descriptor: the reading half of the shared encoding of script values in
// property lists.
//
// The encoding, used in both directions:
//   - a record field 'abcd' is the dictionary entry under the six-character key "'abcd'";
//   - every other dictionary entry is a user-defined field, kept in the record's 'usrf' field as
//     a list of alternating keys and values;
//   - a descriptor without a property-list counterpart is the two-entry dictionary
//     {"AEDescType": its type's four characters (Mac OS Roman), "AEDescData": its bytes}; for
//     'enum' the bytes are the code in reading order, for every other type as the descriptor
//     holds them;
//   - dates go through UCConvertCFAbsoluteTimeToLongDateTime and its inverse only.
#ifndef CONVERT_PROPERTYLISTTODESC_H
#define CONVERT_PROPERTYLISTTODESC_H

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>

#include "desc/CAEDesc.h"

// Deepest nesting of arrays and dictionaries either converter accepts, the same limit as the
// property-list reader's; deeper input throws errOSAStackOverflow (-2706).
inline constexpr int kMaxPropertyListDepth = 512;

// The expansion guard. A binary property list may reference one array, dictionary or string
// from many places, and the conversion gives every place its own copy: a few hundred bytes of
// nested [x, x] would make billions of descriptors, or gigabytes of text. A load may therefore
// make at most kExpansionFloor values (every array, dictionary, key and leaf counted once for
// each place it appears), or kExpansionPerInputByte per byte of its input when that is more;
// and at most kExpansionByteFloor bytes of descriptors, or kExpansionBytesPerInputByte per
// byte of its input when that is more. A value's bytes are its descriptor's data ('utxt' two a
// character) and kExpansionItemBytes for its place in its list or record. Every reference
// takes at least a byte, and every value of the other formats at least a character, so a list
// in which nothing is shared stays well below both.
inline constexpr uint64_t kExpansionFloor = uint64_t{1} << 22;
inline constexpr uint64_t kExpansionPerInputByte = 4;
inline constexpr uint64_t kExpansionByteFloor = uint64_t{64} << 20;
inline constexpr uint64_t kExpansionBytesPerInputByte = 64;
inline constexpr uint64_t kExpansionItemBytes = 8;

// Throws memFullErr, as a load that runs out of memory, when `plist` (read from `inputBytes`
// bytes) expands beyond either bound of the guard. Counts without building anything and stops
// at the bound, so the cost is bounded too; a container nested deeper than
// kMaxPropertyListDepth counts as one value (the conversion refuses it).
void CheckExpansion(CFPropertyListRef plist, size_t inputBytes);

// What AddRecordField needs to build one record: the record and its user-field list.
struct RecordFieldsContext {
    CAEDesc* mRecord;      // the 'reco' being built
    CAEDesc* mUserFields;  // the 'list' of alternating user-field keys and values
};

// Converts `plist` (borrowed, never NULL, never changed) and everything nested in it into one
// descriptor that `target` owns on return. `target` is disposed before the new descriptor is
// created in it; when an exception leaves, it may hold a partly built descriptor that its owner
// releases. Throws an int32_t status:
//   -4960 (coreFoundationUnknownErr) for an object of no property-list type, or a number that
//         does not read back exactly;
//   -2706 (errOSAStackOverflow) for arrays and dictionaries nested deeper than 512 levels, or
//         deeper than the Apple Event Manager can hold (a record's 'usrf' list is a level there);
//   the status of UCConvertCFAbsoluteTimeToLongDateTime (target untouched), of AECreateDesc,
//   AECreateList or AEPutParamDesc sign-extended, or of SetCFString.
//   -108 (memFullErr) when a platform call runs out of memory; std::bad_alloc as it comes;
//   -4960 as well when an apply function did not offer every element to its applier.
// A failing array element or dictionary entry is left out silently (see the appliers), except
// for too deep a nesting and no memory (-108 or std::bad_alloc), which always reach the caller:
// a tree short of an element for want of memory must not pass for the whole one.
// Integers above the signed 64-bit range load as 'ucom'. Keys are read as the text reader's
// GetString reads them, through the coercion of 'utxt' to 'utf8'.
// A two-entry dictionary {"AEDescType", "AEDescData"} whose values are not a string and a data
// object is converted as an ordinary record, so nothing in it is lost.
// Each call has a conversion state of its own: a call made while another runs on the thread (a
// key's coercion handler sending its own load plist) neither sees nor changes the outer one's.
void PropertyListToDesc(CFPropertyListRef plist, CAEDesc& target);

// CFArrayApplierFunction; `context` is the CAEDesc holding the list being built. Converts one
// element and appends it; every exception is caught: the element is dropped, or for a failure
// that must reach the caller, kept for the container's converter to rethrow (no further
// element is converted then).
void AppendListItem(const void* value, void* context);

// CFDictionaryApplierFunction; `context` is a RecordFieldsContext. A quoted-keyword key puts the
// value into the record under that keyword, any other key appends key and value to the
// user-field list. Every exception is caught and handled as in AppendListItem.
void AddRecordField(const void* key, const void* value, void* context);

#endif

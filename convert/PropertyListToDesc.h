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

// The message (thrown as the message kind) of a conversion that would make more values than
// its ConversionBudget allows.
inline constexpr const char* kExpansionBudgetExceeded =
    "load plist: the property list expands to more values than its size allows";

// Bounds the values (every array, dictionary, key and leaf counted once for each place it
// appears) that the conversions on this thread may make while it lives, to
// kBudgetPerInputByte per byte of the input plus kBudgetFloor. A binary list may reference one
// container many times: expanded naively, a few hundred bytes of nested [x, x] make billions
// of descriptors. Every reference takes at least one byte and every XML or old-style value at
// least one character, so an input whose values are not shared containers never comes near
// the bound, however many strings and numbers it shares. Scopes nest; the innermost applies.
class ConversionBudget {
public:
    static constexpr uint64_t kBudgetPerInputByte = 4;
    static constexpr uint64_t kBudgetFloor = 65536;
    explicit ConversionBudget(size_t inputBytes);
    ~ConversionBudget();
    ConversionBudget(const ConversionBudget&) = delete;
    ConversionBudget& operator=(const ConversionBudget&) = delete;

private:
    bool mOuterBounded;
    uint64_t mOuterRemaining;
};

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
//   -108 (memFullErr) when memory runs out, std::bad_alloc included;
//   the message kExpansionBudgetExceeded when a ConversionBudget in force runs out;
//   -4960 as well when an apply function did not offer every element to its applier.
// A failing array element or dictionary entry is left out silently (see the appliers), except
// for too deep a nesting, no memory and the budget, which always reach the caller: a tree
// short of an element for want of memory must not pass for the whole one.
// A two-entry dictionary {"AEDescType", "AEDescData"} whose values are not a string and a data
// object is converted as an ordinary record, so nothing in it is lost.
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

// Helpers shared by the Apple Event Manager's source files. Uncounted: public functions
// call these, never each other, so the testing facility sees only the caller's calls.
#ifndef PLATFORM_AE_AEINTERNAL_H
#define PLATFORM_AE_AEINTERNAL_H

#include "platform/AE/AEFlat.h"
#include "platform/AE/AEStorage.h"

namespace ae {

// A copy of a descriptor's type and value as an item (the keyword left as typeWildCard).
// errAENotAEDesc for a dead handle, paramErr for NULL.
OSErr ItemFromDesc(const AEDesc* desc, Item& out);

// An item of `type` from caller bytes, read as AECreateDesc reads them. paramErr for a
// negative size or NULL bytes with a positive size.
OSErr ItemFromPtr(DescType type, const void* bytes, Size size, Item& out);

// A new descriptor for the item's value, coerced to `desired` unless that is typeWildCard or
// the item's own type. `result` is cleared first and filled only on success.
OSErr DeliverDesc(const Item& item, DescType desired, AEDesc* result);

// The item's value (coerced as DeliverDesc does) copied into caller memory: at most
// `maximum` bytes, the full size in *actualSize, the delivered type in *typeCode.
OSErr DeliverPtr(const Item& item, DescType desired, DescType* typeCode, void* dataPtr,
                 Size maximum, Size* actualSize);

// The value of a descriptor of `fromType` coerced to `toType`: installed handlers first,
// then the built-in coercions; errAECoercionFail when none applies.
OSErr CoerceValue(DescType fromType, const Payload& from, DescType toType, Item& out);

// The built-in coercions alone (no handlers, no same-type shortcut).
OSErr CoerceBuiltIn(DescType fromType, const Payload& from, DescType toType, Item& out);

// Text coercions: sources and targets among the text, number, code and file types.
// errAECoercionFail when the pair is not one of theirs or the value does not convert.
OSErr CoerceText(DescType fromType, const Payload& from, DescType toType, Item& out);
OSErr CoerceFile(DescType fromType, const Payload& from, DescType toType, Item& out);

// Creates an Apple event value with its standard attributes.
Payload NewEventValue(AEEventClass eventClass, AEEventID eventID, const Item* address,
                      AEReturnID returnID, AETransactionID transactionID);

// The first required parameter of an event not yet read, or false when there is none.
bool FirstMissedParam(const Storage& event, AEKeyword& key);

// Reads a scalar attribute of an event value into `out` (4 bytes for codes); false if absent.
bool GetAttributeCode(const Container& event, AEKeyword key, uint32_t& out);

}  // namespace ae

#endif

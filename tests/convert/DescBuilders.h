// Test helpers shared by the convert and commands tests: builders for descriptor trees that
// need none of the bundle's code, and a canonical text form to compare trees with readable
// failures.
#ifndef TESTS_CONVERT_DESCBUILDERS_H
#define TESTS_CONVERT_DESCBUILDERS_H

#include <Carbon/Carbon.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "common/FourCharCode.h"
#include "common/OwnedDesc.h"

OwnedDesc MakeBytes(DescType type, std::string_view bytes);
template <class T>
OwnedDesc MakeValue(DescType type, T value) {
    return MakeBytes(type, std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}
OwnedDesc MakeUnicode(std::u16string_view text);  // 'utxt'
OwnedDesc MakeNull();
OwnedDesc MakeList(std::initializer_list<OwnedDesc> items);
struct Field {
    AEKeyword key;
    OwnedDesc value;
};
// A 'reco', or a record of `type` ('obj ', a custom class) holding the same fields.
OwnedDesc MakeRecord(std::initializer_list<Field> fields, DescType type = typeAERecord);
// Alternating keys and values for a record's 'usrf' field.
OwnedDesc MakeUserFields(std::initializer_list<std::pair<std::u16string_view, OwnedDesc>> pairs);

// `desc` coerced by the Apple Event Manager (e.g. 'utxt' to 'STXT').
OwnedDesc CoercedTo(const AEDesc& desc, DescType type);

// The bytes a descriptor holds (the flat form for a list or record).
std::string DataOf(const AEDesc& desc);

// One-line canonical text of a tree: record fields sorted by keyword, user-field pairs sorted
// by their key's text, reals by value. Two trees that must come back equal print the same.
std::string Describe(const AEDesc& desc);

// The value "store then load" must give for `desc`: text types become 'utxt', integers 'long'
// or 'comp' by range, 'sing' becomes 'doub', 'true'/'fals'/'bool' a 0/1 'bool', records gain an
// empty 'usrf' and keep only whole user-field pairs; every other descriptor is unchanged.
OwnedDesc ExpectedAfterRoundTrip(const AEDesc& desc);

#endif

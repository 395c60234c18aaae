// The flat, self-describing byte form of lists, records and events, which AEGetDescData
// hands out and AECreateDesc reads back.
//
//   flat      := magic "AEfl" container
//   container := shape:u8 (0 list, 1 record, 2 event) count:u32 item*count
//                [event only: attributeCount:u32 item*attributeCount]
//   item      := key:u32 type:u32 tag:u8 (0 bytes, 1 container)
//                (length:u32 byte*length | container)
// Integers are in host byte order, like all descriptor data.
#ifndef PLATFORM_AE_AEFLAT_H
#define PLATFORM_AE_AEFLAT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/AE/AEStorage.h"

namespace ae {

constexpr uint8_t kMagic[4] = {'A', 'E', 'f', 'l'};

// Every value put by bytes is tested for this, so the test is inlined.
inline bool HasMagic(const uint8_t* p) {
    uint32_t word, magic;
    std::memcpy(&word, p, 4);
    std::memcpy(&magic, kMagic, 4);
    return word == magic;
}

// Shape a container must have to be a descriptor of `type`.
Shape ShapeForType(DescType type);

// Size of the flat form of a container, and a copy of its first `maximum` bytes.
size_t FlatSize(const Container& node);
void CopyFlat(const Container& node, uint8_t* out, size_t maximum);

// Size of the data of a value: its bytes, or the flat form of its container. Inline: every
// item read asks it.
inline size_t DataSize(const Payload& value) {
    const Container* node = value.Node();
    return node ? FlatSize(*node) : value.Size();
}

// Copies min(DataSize(value), maximum) bytes of the value's data to `out`; a prefix of a
// container's flat form costs about its length, whatever the container's size.
inline void CopyData(const Payload& value, uint8_t* out, size_t maximum) {
    if (const Container* node = value.Node()) {
        CopyFlat(*node, out, maximum);
        return;
    }
    const size_t n = std::min(maximum, value.Size());
    if (n) std::memcpy(out, value.Bytes(), n);
}

// The value of a descriptor of `type` made from `size` bytes. For typeAEList, typeAERecord
// and typeAppleEvent the bytes must be a flat form of the matching shape, nested at most
// kMaxDepth deep (errAECorruptData otherwise). Any other type becomes a record when its bytes
// are a valid flat record and keeps the bytes as they are otherwise. Throws std::bad_alloc.
OSErr ValueFromBytes(DescType type, const void* bytes, size_t size, Payload& out);

// True for the types whose descriptors always hold a container.
inline bool IsContainerType(DescType type) {
    return type == typeAEList || type == typeAERecord || type == typeAppleEvent;
}

// True when ValueFromBytes would keep these bytes as they are, without reading them: a type
// other than typeNull and the container types, and bytes that do not start as a flat form.
inline bool KeepsBytes(DescType type, const void* bytes, size_t size) {
    return type != typeNull && !IsContainerType(type) &&
           (size < sizeof kMagic || !HasMagic(static_cast<const uint8_t*>(bytes)));
}

}  // namespace ae

#endif

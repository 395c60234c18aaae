// Helpers for the Apple Event Manager tests: quick builders and readers of descriptors.
#ifndef TESTS_PLATFORM_AE_AETESTSUPPORT_H
#define TESTS_PLATFORM_AE_AETESTSUPPORT_H

#include <CoreServices/CoreServices.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/FourCharCode.h"
#include "common/OwnedDesc.h"

// True for the cleared state every failed call leaves its out descriptor in.
inline bool IsCleared(const AEDesc& desc) {
    return desc.descriptorType == typeNull && desc.dataHandle == nullptr;
}

// The bytes a descriptor holds (the flat form for a list or record).
inline std::vector<uint8_t> DataBytes(const AEDesc& desc) {
    std::vector<uint8_t> out(static_cast<size_t>(AEGetDescDataSize(&desc)));
    AEGetDescData(&desc, out.data(), static_cast<Size>(out.size()));
    return out;
}

template <class T>
std::vector<uint8_t> BytesOf(T value) {
    std::vector<uint8_t> out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

inline std::vector<uint8_t> BytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

inline std::vector<uint8_t> UTF16Bytes(const std::u16string& s) {
    std::vector<uint8_t> out(s.size() * 2);
    if (!s.empty()) std::memcpy(out.data(), s.data(), out.size());
    return out;
}

inline OSErr Make(DescType type, const std::vector<uint8_t>& bytes, AEDesc* out) {
    return AECreateDesc(type, bytes.data(), static_cast<Size>(bytes.size()), out);
}

inline OSErr MakeText(const std::string& text, AEDesc* out) {
    return AECreateDesc(typeUTF8Text, text.data(), static_cast<Size>(text.size()), out);
}

#endif

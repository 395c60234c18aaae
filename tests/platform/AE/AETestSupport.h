// Helpers for the Apple Event Manager tests: an owning descriptor and quick builders.
#ifndef TESTS_PLATFORM_AE_AETESTSUPPORT_H
#define TESTS_PLATFORM_AE_AETESTSUPPORT_H

#include <CoreServices/CoreServices.h>

#include <cstring>
#include <string>
#include <vector>

// Four-char code from its characters, without multi-character literals.
constexpr uint32_t FourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// Owns one descriptor and disposes it once.
class OwnedDesc {
public:
    OwnedDesc() = default;
    OwnedDesc(const OwnedDesc&) = delete;
    OwnedDesc& operator=(const OwnedDesc&) = delete;
    ~OwnedDesc() { AEDisposeDesc(&mDesc); }
    AEDesc* operator&() { return &mDesc; }
    const AEDesc* get() const { return &mDesc; }
    DescType type() const { return mDesc.descriptorType; }
    bool isNullState() const { return mDesc.descriptorType == typeNull && !mDesc.dataHandle; }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out(static_cast<size_t>(AEGetDescDataSize(&mDesc)));
        AEGetDescData(&mDesc, out.data(), static_cast<Size>(out.size()));
        return out;
    }

private:
    AEDesc mDesc = {typeNull, nullptr};
};

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

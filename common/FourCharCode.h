// Four-char codes (descriptor types, keywords, event classes and IDs) packed from their
// characters, the first one most significant, as the platform stores them. Everything outside
// the bundle writes codes this way rather than as multi-character literals, whose value is
// implementation-defined (the bundle keeps 'utxt'-style literals, as on the real platform), and
// every code packed from bytes at run time goes through FourCCFromBytes.
#ifndef COMMON_FOURCHARCODE_H
#define COMMON_FOURCHARCODE_H

#include <cstdint>

// The code written as its four characters, e.g. FourCC("utxt").
constexpr std::uint32_t FourCC(const char (&text)[5]) {
    return (std::uint32_t{static_cast<std::uint8_t>(text[0])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(text[1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(text[2])} << 8) |
           std::uint32_t{static_cast<std::uint8_t>(text[3])};
}

// The code held in four bytes in reading order (big-endian), e.g. four characters of a string.
template <class Byte>
constexpr std::uint32_t FourCCFromBytes(const Byte* bytes) {
    static_assert(sizeof(Byte) == 1, "four-char codes are packed from bytes");
    return (std::uint32_t{static_cast<std::uint8_t>(bytes[0])} << 24) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[1])} << 16) |
           (std::uint32_t{static_cast<std::uint8_t>(bytes[2])} << 8) |
           std::uint32_t{static_cast<std::uint8_t>(bytes[3])};
}

static_assert(FourCC("utxt") == 0x75747874);

#endif

// Byte classes of the property-list text readers. Scan loops test `kByteClass[c] & flag` and
// run over ordinary bytes without a branch per kind.
#ifndef PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTREADERTABLES_H
#define PLATFORM_COREFOUNDATION_PROPERTYLIST_CFXMLPLISTREADERTABLES_H

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cf::plist {

enum ByteClass : uint8_t {
    kXMLSpace = 1 << 0,    // XML whitespace: space, TAB, CR, LF
    kTextStop = 1 << 1,    // ends a run of character data: '<', '&'
    kNameEnd = 1 << 2,     // ends an element name: XML whitespace, '/', '>'
    kUnquoted = 1 << 3,    // old-style unquoted string: A-Z a-z 0-9 _ $ / : . -
    kOldSpace = 1 << 4,    // old-style whitespace: space, TAB, LF, VT, FF, CR
    kQuotedStop = 1 << 5,  // ends a run inside an old-style quoted string: '"', '\'', '\\'
    kHex = 1 << 6,         // hex digit
};

constexpr std::array<uint8_t, 256> MakeByteClasses() {
    std::array<uint8_t, 256> t{};
    for (int c : {' ', '\t', '\r', '\n'}) t[c] |= kXMLSpace | kNameEnd;
    for (int c : {'<', '&'}) t[c] |= kTextStop;
    for (int c : {'/', '>'}) t[c] |= kNameEnd;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] |= kUnquoted;
    for (int c = 'a'; c <= 'z'; ++c) t[c] |= kUnquoted;
    for (int c = '0'; c <= '9'; ++c) t[c] |= kUnquoted | kHex;
    for (int c = 'a'; c <= 'f'; ++c) t[c] |= kHex;
    for (int c = 'A'; c <= 'F'; ++c) t[c] |= kHex;
    for (int c : {'_', '$', '/', ':', '.', '-'}) t[c] |= kUnquoted;
    for (int c : {' ', '\t', '\n', '\v', '\f', '\r'}) t[c] |= kOldSpace;
    for (int c : {'"', '\'', '\\'}) t[c] |= kQuotedStop;
    return t;
}

inline constexpr std::array<uint8_t, 256> kByteClass = MakeByteClasses();

inline bool Is(uint8_t c, ByteClass flag) {
    return (kByteClass[c] & flag) != 0;
}

#if defined(__SSE2__)
// Bit i set when byte i of the sixteen at `p` equals one of the given bytes.
template <char... kBytes>
inline unsigned MatchMask(const uint8_t* p) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(kBytes)))), ...);
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The first byte in [p, end) that is not XML whitespace, or end. Sixteen bytes a step while
// a whole block remains: the indentation between the tags of a large document.
inline const uint8_t* SkipXMLSpace(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        unsigned other = ~MatchMask<' ', '\t', '\n', '\r'>(p) & 0xFFFFu;
        if (other) return p + __builtin_ctz(other);
    }
#endif
    while (p < end && Is(*p, kXMLSpace)) ++p;
    return p;
}

// The end of an element name in [p, end): XML whitespace, '/', '>' or end.
inline const uint8_t* FindNameEnd(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        if (unsigned stop = MatchMask<' ', '\t', '\n', '\r', '/', '>'>(p))
            return p + __builtin_ctz(stop);
    }
#endif
    while (p < end && !Is(*p, kNameEnd)) ++p;
    return p;
}

// The first '<' or '&' in [p, end), or end; sixteen bytes a step like SkipXMLSpace.
inline const uint8_t* FindTextStop(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        if (unsigned stop = MatchMask<'<', '&'>(p)) return p + __builtin_ctz(stop);
    }
#endif
    while (p < end && !Is(*p, kTextStop)) ++p;
    return p;
}

}  // namespace cf::plist

#endif

// Transcoding between UTF-16 units and the byte encodings the stand-in knows, and the public
// calls that tell about encodings.
#include "platform/CoreFoundation/CFStringEncodingInternal.h"

#include <CoreFoundation/CFString.h>

#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/Testing/PTInternal.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cf::text {
namespace {

// Mac OS Roman 0x80–0xFF (the current table: 0xDB is the euro sign, 0xF0 the Apple logo).
constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Windows Latin 1 0x80–0x9F; the five unassigned bytes map to the C1 controls of the same
// value, as Windows itself decodes them, so no byte is refused and every byte round-trips.
constexpr char16_t kWindowsLatin1C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Reverse lookup for a 128-entry high half: sorted (unit, byte) pairs, binary searched.
struct ReverseTable {
    std::array<std::pair<char16_t, uint8_t>, 128> entries{};
    size_t size = 0;
    constexpr ReverseTable(const char16_t* high, size_t count, uint8_t firstByte) {
        for (size_t i = 0; i < count; ++i)
            entries[size++] = {high[i], static_cast<uint8_t>(firstByte + i)};
        for (size_t i = 1; i < size; ++i)  // insertion sort: constexpr and tiny
            for (size_t j = i; j > 0 && entries[j - 1].first > entries[j].first; --j)
                std::swap(entries[j - 1], entries[j]);
    }
    bool Find(char16_t unit, uint8_t& byte) const {
        size_t lo = 0, hi = size;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (entries[mid].first < unit)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == size || entries[lo].first != unit) return false;
        byte = entries[lo].second;
        return true;
    }
};

constexpr ReverseTable kMacRomanReverse(kMacRomanHigh, 128, 0x80);
constexpr ReverseTable kWindowsLatin1Reverse(kWindowsLatin1C1, 32, 0x80);

constexpr bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// The first byte of [p, end) that is not ASCII, or end; sixteen bytes per step.
const uint8_t* SkipASCII(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (high) return p + std::countr_zero(static_cast<unsigned>(high));
        p += 16;
    }
#endif
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL) break;
        p += 8;
    }
    while (p < end && *p < 0x80) ++p;
    return p;
}

// Widens the ASCII run at the start of [p, end) into units at `out`, sixteen bytes per step;
// returns where it stopped (the first byte >= 0x80, or end) and moves `out` past the units.
const uint8_t* WidenASCIIRun(const uint8_t* p, const uint8_t* end, char16_t*& out) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(bytes)) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
        p += 16, out += 16;
    }
#endif
    while (p < end && *p < 0x80) *out++ = *p++;
    return p;
}

// Decodes the multi-byte UTF-8 sequence at p (p < end, *p >= 0x80) into one or two UTF-16
// units at `units` and moves p past it. 0 when the sequence is invalid: a continuation or
// overlong lead byte, F5–FF, truncation, an overlong form, a surrogate or a value above
// U+10FFFF.
inline size_t DecodeSequence(const uint8_t*& p, const uint8_t* end, char16_t* units) {
    uint8_t b0 = *p;
    uint32_t cp;
    size_t n;
    uint32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        n = 2, cp = b0 & 0x1F, min = 0x80;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        n = 3, cp = b0 & 0x0F, min = 0x800;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        n = 4, cp = b0 & 0x07, min = 0x10000;
    else
        return 0;
    if (static_cast<size_t>(end - p) < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        uint8_t b = p[i];
        if ((b & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    p += n;
    if (cp < 0x10000) {
        units[0] = static_cast<char16_t>(cp);
        return 1;
    }
    cp -= 0x10000;  // four bytes become two units
    units[0] = static_cast<char16_t>(0xD800 + (cp >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    return 2;
}

// The units of 8-bit text, one per byte.
void Decode8Bit(const uint8_t* bytes, size_t length, uint32_t encoding, char16_t* out) {
    const uint8_t* end = bytes + length;
    for (const uint8_t* p = bytes; p < end; ++p) {
        p = WidenASCIIRun(p, end, out);
        if (p == end) break;
        uint8_t b = *p;
        char16_t u = b;
        if (encoding == kCFStringEncodingMacRoman)
            u = kMacRomanHigh[b - 0x80];
        else if (encoding == kCFStringEncodingWindowsLatin1 && b < 0xA0)
            u = kWindowsLatin1C1[b - 0x80];
        *out++ = u;
    }
}

void DecodeUTF16(const uint8_t* bytes, size_t count, bool bigEndian, char16_t* out) {
    for (size_t i = 0; i < count; ++i) {
        uint8_t a = bytes[2 * i], b = bytes[2 * i + 1];
        out[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
}

constexpr bool kHostBigEndian = std::endian::native == std::endian::big;

}  // namespace

bool AppendUTF16FromUTF8(const uint8_t* bytes, size_t length, std::u16string& out) {
    size_t count = CountUTF8(bytes, length);
    if (count == kInvalidUTF8) return false;
    size_t old = out.size();
    out.resize(old + count);
    DecodeUTF8(bytes, length, out.data() + old);
    return true;
}

size_t DecodeUTF8(const uint8_t* bytes, size_t length, char16_t* out) {
    const uint8_t* p = bytes;
    const uint8_t* end = bytes + length;
    char16_t* o = out;
    while (p < end) {
        p = WidenASCIIRun(p, end, o);
        if (p == end) break;
        size_t count = DecodeSequence(p, end, o);
        if (count == 0) return kInvalidUTF8;
        o += count;
    }
    return static_cast<size_t>(o - out);
}

void AppendUTF8FromUTF16(const char16_t* units, size_t count, std::string& out) {
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t cp = units[i];
        if (cp < 0x80) {  // narrow a whole ASCII run through a stack buffer
            char chunk[512];
            size_t n = 0;
            while (i < count && units[i] < 0x80) {
                chunk[n++] = static_cast<char>(units[i++]);
                if (n == sizeof chunk) out.append(chunk, n), n = 0;
            }
            out.append(chunk, n);
            --i;
            continue;
        }
        if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char buf[4];
        size_t n;
        if (cp < 0x800) {
            buf[0] = static_cast<char>(0xC0 | cp >> 6), n = 2;
        } else if (cp < 0x10000) {
            buf[0] = static_cast<char>(0xE0 | cp >> 12);
            buf[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F)), n = 3;
        } else {
            buf[0] = static_cast<char>(0xF0 | cp >> 18);
            buf[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            buf[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F)), n = 4;
        }
        buf[n - 1] = static_cast<char>(0x80 | (cp & 0x3F));
        out.append(buf, n);
    }
}

void AppendUTF16FromMacRoman(const uint8_t* bytes, size_t length, std::u16string& out) {
    size_t old = out.size();
    out.resize(old + length);
    Decode8Bit(bytes, length, kCFStringEncodingMacRoman, out.data() + old);
}

bool MacRomanByteForUnit(char16_t unit, uint8_t& byte) {
    if (unit < 0x80) {
        byte = static_cast<uint8_t>(unit);
        return true;
    }
    return kMacRomanReverse.Find(unit, byte);
}

bool IsSupportedEncoding(uint32_t encoding) {
    switch (encoding) {
        case kCFStringEncodingMacRoman:
        case kCFStringEncodingASCII:
        case kCFStringEncodingISOLatin1:
        case kCFStringEncodingWindowsLatin1:
        case kCFStringEncodingUTF8:
        case kCFStringEncodingUnicode:
        case kCFStringEncodingUTF16BE:
        case kCFStringEncodingUTF16LE:
            return true;
        default:
            return false;
    }
}

size_t CountUTF8(const uint8_t* bytes, size_t length) {
    const uint8_t* p = bytes;
    const uint8_t* end = bytes + length;
    size_t count = 0;
    while (p < end) {
        const uint8_t* run = p;
        p = SkipASCII(p, end);
        count += static_cast<size_t>(p - run);
        if (p == end) break;
        char16_t scratch[2];
        size_t n = DecodeSequence(p, end, scratch);
        if (n == 0) return kInvalidUTF8;
        count += n;
    }
    return count;
}

bool MeasureBytes(const uint8_t* bytes, size_t length, uint32_t encoding,
                  bool isExternalRepresentation, Decoding& decoding) {
    decoding = {bytes, length, encoding, false, 0};
    switch (encoding) {
        case kCFStringEncodingUTF8:
            if (isExternalRepresentation && length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB &&
                bytes[2] == 0xBF)
                decoding.bytes += 3, decoding.length -= 3;
            decoding.units = CountUTF8(decoding.bytes, decoding.length);
            return decoding.units != kInvalidUTF8;
        case kCFStringEncodingUnicode:
            decoding.bigEndian = isExternalRepresentation || kHostBigEndian;
            if (length >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                                (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
                decoding.bigEndian = bytes[0] == 0xFE;
                decoding.bytes += 2, decoding.length -= 2;
            }
            break;
        case kCFStringEncodingUTF16BE:
            decoding.bigEndian = true;
            break;
        case kCFStringEncodingUTF16LE:
            break;
        case kCFStringEncodingASCII:
            if (SkipASCII(bytes, bytes + length) != bytes + length) return false;
            [[fallthrough]];
        case kCFStringEncodingMacRoman:
        case kCFStringEncodingISOLatin1:
        case kCFStringEncodingWindowsLatin1:
            decoding.units = length;
            return true;
        default:
            return false;
    }
    if (decoding.length % 2 != 0) return false;  // the UTF-16 encodings
    decoding.units = decoding.length / 2;
    return true;
}

void DecodeBytes(const Decoding& decoding, char16_t* out) {
    switch (decoding.encoding) {
        case kCFStringEncodingUTF8:
            DecodeUTF8(decoding.bytes, decoding.length, out);
            return;
        case kCFStringEncodingUnicode:
        case kCFStringEncodingUTF16BE:
        case kCFStringEncodingUTF16LE:
            DecodeUTF16(decoding.bytes, decoding.units, decoding.bigEndian, out);
            return;
        default:
            Decode8Bit(decoding.bytes, decoding.length, decoding.encoding, out);
    }
}

bool AppendUTF16FromBytes(const uint8_t* bytes, size_t length, uint32_t encoding,
                          bool isExternalRepresentation, std::u16string& out) {
    Decoding decoding;
    if (!MeasureBytes(bytes, length, encoding, isExternalRepresentation, decoding)) return false;
    size_t old = out.size();
    out.resize(old + decoding.units);
    DecodeBytes(decoding, out.data() + old);
    return true;
}

bool ByteForUnit(uint32_t encoding, char16_t unit, uint8_t& byte) {
    if (unit < 0x80) {
        byte = static_cast<uint8_t>(unit);
        return true;
    }
    switch (encoding) {
        case kCFStringEncodingMacRoman:
            return kMacRomanReverse.Find(unit, byte);
        case kCFStringEncodingISOLatin1:
            if (unit > 0xFF) return false;
            byte = static_cast<uint8_t>(unit);
            return true;
        case kCFStringEncodingWindowsLatin1:
            if (unit >= 0xA0 && unit <= 0xFF) {
                byte = static_cast<uint8_t>(unit);
                return true;
            }
            return kWindowsLatin1Reverse.Find(unit, byte);
        default:
            return false;
    }
}

namespace {

// One character's bytes in `encoding`: writes up to 4 bytes into `out`, sets `units` to the
// UTF-16 units it spans; false when it has no form there.
bool EncodeOne(const char16_t* units, size_t remaining, uint32_t encoding, uint8_t* out,
               size_t& length, size_t& consumed) {
    char16_t u = units[0];
    bool pair = IsHighSurrogate(u) && remaining > 1 && IsLowSurrogate(units[1]);
    consumed = pair ? 2 : 1;
    switch (encoding) {
        case kCFStringEncodingUTF8: {
            if (!pair && u >= 0xD800 && u <= 0xDFFF) return false;
            std::string tmp;
            AppendUTF8FromUTF16(units, consumed, tmp);
            length = tmp.size();
            std::memcpy(out, tmp.data(), length);
            return true;
        }
        case kCFStringEncodingUnicode:
        case kCFStringEncodingUTF16BE:
        case kCFStringEncodingUTF16LE: {
            consumed = 1;  // UTF-16 carries every unit, paired or not
            bool be = encoding == kCFStringEncodingUTF16BE ||
                      (encoding == kCFStringEncodingUnicode && kHostBigEndian);
            out[be ? 0 : 1] = static_cast<uint8_t>(u >> 8);
            out[be ? 1 : 0] = static_cast<uint8_t>(u & 0xFF);
            length = 2;
            return true;
        }
        default:
            length = 1;
            return !pair && ByteForUnit(encoding, u, out[0]);
    }
}

}  // namespace

size_t EncodeUnits(const char16_t* units, size_t count, uint32_t encoding, uint8_t lossByte,
                   bool isExternalRepresentation, uint8_t* buffer, size_t maxLength, size_t& used) {
    used = 0;
    if (!IsSupportedEncoding(encoding)) return 0;
    auto fits = [&](size_t n) { return !buffer || maxLength - used >= n; };
    if (isExternalRepresentation && encoding == kCFStringEncodingUnicode) {
        if (!fits(2)) return 0;
        if (buffer) {
            buffer[0] = kHostBigEndian ? 0xFE : 0xFF;
            buffer[1] = kHostBigEndian ? 0xFF : 0xFE;
        }
        used = 2;
    }
    size_t i = 0;
    bool ascii = encoding != kCFStringEncodingUnicode && encoding != kCFStringEncodingUTF16BE &&
                 encoding != kCFStringEncodingUTF16LE;
    while (i < count) {
        if (ascii && units[i] < 0x80) {  // the common case: one unit, one byte
            if (!fits(1)) break;
            if (buffer) buffer[used] = static_cast<uint8_t>(units[i]);
            ++used, ++i;
            continue;
        }
        uint8_t bytes[4];
        size_t length = 0, consumed = 0;
        if (!EncodeOne(units + i, count - i, encoding, bytes, length, consumed)) {
            if (lossByte == 0) break;
            bytes[0] = lossByte;
            length = 1;
        }
        if (!fits(length)) break;
        if (buffer) std::memcpy(buffer + used, bytes, length);
        used += length;
        i += consumed;
    }
    return i;
}

}  // namespace cf::text

extern "C" {

CFStringEncoding CFStringGetSystemEncoding(void) {
    int32_t injected;
    PT_ENTER("CFStringGetSystemEncoding", injected);  // a constant: nothing to fail
    return kCFStringEncodingMacRoman;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringGetMaximumSizeForEncoding", injected)) return kCFNotFound;
    if (length < 0 || !cf::text::IsSupportedEncoding(encoding)) return kCFNotFound;
    CFIndex factor =
        encoding == kCFStringEncodingUTF8 ? 3
        : (encoding == kCFStringEncodingUnicode || encoding == kCFStringEncodingUTF16BE ||
           encoding == kCFStringEncodingUTF16LE)
            ? 2
            : 1;
    if (length > (static_cast<CFIndex>(0x7fffffffffffffffL) - 2) / factor) return kCFNotFound;
    return length * factor;
}

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFStringIsEncodingAvailable", injected)) return false;
    return cf::text::IsSupportedEncoding(encoding);
}

CFStringEncoding CFStringConvertIANACharSetNameToEncoding(CFStringRef theString) {
    int32_t injected;
    if (PT_ENTER("CFStringConvertIANACharSetNameToEncoding", injected))
        return kCFStringEncodingInvalidId;
    std::string name;
    cf::AppendUTF8(theString, name);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    static const struct {
        const char* name;
        CFStringEncoding encoding;
    } kNames[] = {
        {"utf-8", kCFStringEncodingUTF8},
        {"utf8", kCFStringEncodingUTF8},
        {"macintosh", kCFStringEncodingMacRoman},
        {"x-mac-roman", kCFStringEncodingMacRoman},
        {"macroman", kCFStringEncodingMacRoman},
        {"us-ascii", kCFStringEncodingASCII},
        {"ascii", kCFStringEncodingASCII},
        {"iso-8859-1", kCFStringEncodingISOLatin1},
        {"latin1", kCFStringEncodingISOLatin1},
        {"iso_8859-1", kCFStringEncodingISOLatin1},
        {"windows-1252", kCFStringEncodingWindowsLatin1},
        {"cp1252", kCFStringEncodingWindowsLatin1},
        {"utf-16", kCFStringEncodingUnicode},
        {"utf-16be", kCFStringEncodingUTF16BE},
        {"utf-16le", kCFStringEncodingUTF16LE},
    };
    for (const auto& entry : kNames)
        if (name == entry.name) return entry.encoding;
    return kCFStringEncodingInvalidId;
}

}  // extern "C"

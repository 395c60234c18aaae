// Base64 encoder and the lenient <data> decoder.
#include "platform/CoreFoundation/PropertyList/Base64.h"

#include <array>

namespace cf::base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoder classes: 0..63 digit value, then the three kinds of non-digit.
constexpr int8_t kSkip = -1;
constexpr int8_t kPad = -2;
constexpr int8_t kRefuse = -3;

constexpr std::array<int8_t, 256> MakeDecodeTable() {
    std::array<int8_t, 256> table{};
    for (int i = 0; i < 256; ++i) table[i] = i < 0x80 ? kSkip : kRefuse;
    for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    table['='] = kPad;
    return table;
}
constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

void Encode(const uint8_t* bytes, size_t length, char* out) {
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out[0] = kAlphabet[v >> 18];
        out[1] = kAlphabet[(v >> 12) & 63];
        out[2] = kAlphabet[(v >> 6) & 63];
        out[3] = kAlphabet[v & 63];
        out += 4;
    }
    size_t rest = length - i;
    if (rest == 0) return;
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (rest == 2) v |= uint32_t{bytes[i + 1]} << 8;
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = '=';
}

bool Decode(const uint8_t* text, size_t length, std::vector<uint8_t>& out, size_t* badOffset) {
    out.reserve(out.size() + length / 4 * 3);
    uint32_t acc = 0;
    unsigned digits = 0;  // digits (and '=') in the current quad
    unsigned padRun = 0;  // '=' seen since the last character other than '=' or white space
    for (size_t i = 0; i < length; ++i) {
        int8_t value = kDecode[text[i]];
        if (value == kSkip) {
            // Skipped junk still ends a run of '=', as in the real decoder; white space does not.
            uint8_t c = text[i];
            if (c != ' ' && (c < '\t' || c > '\r')) padRun = 0;
            continue;
        }
        if (value == kRefuse) {
            if (badOffset) *badOffset = i;
            return false;
        }
        if (value == kPad) {
            ++padRun;
            value = 0;
        } else {
            padRun = 0;
        }
        acc = (acc << 6) | static_cast<uint32_t>(value);
        if (++digits < 4) continue;
        out.push_back(static_cast<uint8_t>(acc >> 16));
        if (padRun < 2) out.push_back(static_cast<uint8_t>(acc >> 8));
        if (padRun < 1) out.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        digits = 0;
    }
    return true;
}

}  // namespace cf::base64

#include "support/BinaryPListText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace testbplist {

namespace {

constexpr size_t kTrailerSize = 32;
constexpr size_t kMaxDepth = 600;
constexpr size_t kMaxVisits = 10'000'000;  // a shared container expands at each use

class Walker {
public:
    explicit Walker(std::string_view bytes) : mBytes(bytes) {}

    std::optional<std::string> Run() {
        if (mBytes.size() < 8 + kTrailerSize || mBytes.substr(0, 8) != "bplist00") return {};
        const size_t trailer = mBytes.size() - kTrailerSize;
        mOffsetSize = Byte(trailer + 6);
        mRefSize = Byte(trailer + 7);
        mCount = Number(trailer + 8, 8);
        const uint64_t top = Number(trailer + 16, 8);
        mTable = Number(trailer + 24, 8);
        if (mOffsetSize == 0 || mOffsetSize > 8 || mRefSize == 0 || mRefSize > 8 ||
            mTable > trailer || mCount > (trailer - mTable) / mOffsetSize)
            return {};
        std::string out;
        if (!Object(top, 0, out)) return {};
        return out;
    }

private:
    uint8_t Byte(size_t at) const { return static_cast<uint8_t>(mBytes[at]); }

    uint64_t Number(size_t at, size_t width) const {
        uint64_t n = 0;
        for (size_t i = 0; i < width; ++i) n = n << 8 | Byte(at + i);
        return n;
    }

    bool Fits(uint64_t at, uint64_t length) const {
        return at <= mBytes.size() && length <= mBytes.size() - at;
    }

    // The count in a marker's low bits, or in the integer object after it (0xF); `at` moves
    // past both.
    bool Count(uint64_t& at, uint64_t& count) const {
        count = Byte(at) & 0x0F;
        ++at;
        if (count != 0x0F) return true;
        if (!Fits(at, 1) || (Byte(at) & 0xF0) != 0x10) return false;
        const size_t width = size_t{1} << (Byte(at) & 0x0F);
        if (width > 8 || !Fits(at + 1, width)) return false;
        count = Number(at + 1, width);
        at += 1 + width;
        return true;
    }

    static void Appendf(std::string& out, const char* format, auto value) {
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        out += text;
    }

    // UTF-16 units as a quoted string: printable ASCII as it is, anything else (and " \ #)
    // as \uXXXX, so "#" marks only UIDs.
    static void AppendUnits(const std::vector<uint16_t>& units, std::string& out) {
        out.push_back('"');
        for (uint16_t unit : units) {
            if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\' && unit != '#')
                out.push_back(static_cast<char>(unit));
            else
                Appendf(out, "\\u%04X", static_cast<unsigned>(unit));
        }
        out.push_back('"');
    }

    bool Scalar(uint64_t at, std::string& out) const {
        const uint8_t marker = Byte(at);
        const unsigned low = marker & 0x0F;
        switch (marker >> 4) {
            case 0x0:
                if (marker != 0x08 && marker != 0x09) return false;
                out += marker == 0x09 ? "true" : "false";
                return true;
            case 0x1: {  // 1, 2, 4 bytes unsigned; 8 signed; 16 the low 8 of an unsigned
                const size_t width = size_t{1} << low;
                if (width > 16 || !Fits(at + 1, width)) return false;
                const uint64_t n =
                    Number(at + 1 + (width == 16 ? 8 : 0), std::min<size_t>(width, 8));
                if (width == 8)
                    Appendf(out, "i:%lld", static_cast<long long>(n));
                else
                    Appendf(out, "i:%llu", static_cast<unsigned long long>(n));
                return true;
            }
            case 0x2:
            case 0x3: {  // a real of 4 or 8 bytes; a date (0x33) of 8
                const size_t width = marker == 0x33 ? 8 : size_t{1} << low;
                if ((width != 4 && width != 8) || !Fits(at + 1, width)) return false;
                double value;
                if (width == 4) {
                    const auto bits = static_cast<uint32_t>(Number(at + 1, 4));
                    float single;
                    std::memcpy(&single, &bits, 4);
                    value = single;
                } else {
                    const uint64_t bits = Number(at + 1, 8);
                    std::memcpy(&value, &bits, 8);
                }
                Appendf(out, marker == 0x33 ? "d:%a" : "r:%a", value);
                return true;
            }
            case 0x8:
                if (!Fits(at + 1, low + 1u)) return false;
                Appendf(out, "#UID(%llu)",
                        static_cast<unsigned long long>(Number(at + 1, low + 1)));
                return true;
            default:
                return false;
        }
    }

    bool Sized(uint64_t at, std::string& out) const {
        const unsigned kind = Byte(at) >> 4;
        uint64_t count;
        if (!Count(at, count)) return false;
        const uint64_t unit = kind == 0x6 ? 2 : 1;
        if (count > mBytes.size() || !Fits(at, count * unit)) return false;
        if (kind == 0x4) {
            out += "<";
            for (uint64_t i = 0; i < count; ++i) Appendf(out, "%02x", Byte(at + i));
            out += ">";
            return true;
        }
        std::vector<uint16_t> units(count);
        for (uint64_t i = 0; i < count; ++i)
            units[i] = static_cast<uint16_t>(Number(at + i * unit, unit));
        AppendUnits(units, out);
        return true;
    }

    bool Object(uint64_t index, size_t depth, std::string& out) {
        if (index >= mCount || depth > kMaxDepth || ++mVisits > kMaxVisits) return false;
        const uint64_t at = Number(mTable + index * mOffsetSize, mOffsetSize);
        if (!Fits(at, 1)) return false;
        const unsigned kind = Byte(at) >> 4;
        if (kind == 0x4 || kind == 0x5 || kind == 0x6) return Sized(at, out);
        if (kind != 0xA && kind != 0xD) return Scalar(at, out);
        uint64_t refs = at, count;
        if (!Count(refs, count) || count > mBytes.size()) return false;
        const uint64_t entries = kind == 0xD ? 2 * count : count;
        if (!Fits(refs, entries * mRefSize)) return false;
        std::vector<std::string> items(count);
        for (uint64_t i = 0; i < count; ++i) {
            if (kind == 0xD) {
                if (!Object(Number(refs + i * mRefSize, mRefSize), depth + 1, items[i]))
                    return false;
                items[i] += "=";
            }
            const uint64_t value = kind == 0xD ? count + i : i;
            if (!Object(Number(refs + value * mRefSize, mRefSize), depth + 1, items[i]))
                return false;
        }
        // Keys are unique strings, so sorting the "key=value" texts sorts by key.
        if (kind == 0xD) std::sort(items.begin(), items.end());
        out += kind == 0xD ? "{" : "[";
        for (uint64_t i = 0; i < count; ++i) out += (i ? "," : "") + items[i];
        out += kind == 0xD ? "}" : "]";
        return true;
    }

    std::string_view mBytes;
    size_t mOffsetSize = 0, mRefSize = 0;
    uint64_t mCount = 0, mTable = 0;
    size_t mVisits = 0;
};

}  // namespace

std::optional<std::string> ValueText(std::string_view bytes) {
    return Walker(bytes).Run();
}

size_t CountUIDs(std::string_view valueText) {
    size_t count = 0;
    for (size_t at = 0; (at = valueText.find("#UID(", at)) != std::string_view::npos; ++at) ++count;
    return count;
}

}  // namespace testbplist

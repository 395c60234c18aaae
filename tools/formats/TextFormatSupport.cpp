#include "tools/formats/TextFormatSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "notation/NotationText.h"

namespace plisttext {

std::u16string_view Units(CFStringRef string, std::u16string& scratch) {
    const CFIndex length = CFStringGetLength(string);
    if (const UniChar* units = CFStringGetCharactersPtr(string))
        return {reinterpret_cast<const char16_t*>(units), static_cast<size_t>(length)};
    scratch.resize(static_cast<size_t>(length));
    CFStringGetCharacters(string, CFRangeMake(0, length),
                          reinterpret_cast<UniChar*>(scratch.data()));
    return scratch;
}

bool SortedPairs(CFDictionaryRef dictionary, std::vector<std::pair<CFTypeRef, CFTypeRef>>& out) {
    const auto count = static_cast<size_t>(CFDictionaryGetCount(dictionary));
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::pair<std::u16string, size_t>> order(count);
    for (size_t i = 0; i < count; ++i) {
        if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) return false;
        std::u16string scratch;
        order[i] = {std::u16string(Units(static_cast<CFStringRef>(keys[i]), scratch)), i};
    }
    std::sort(order.begin(), order.end());
    out.clear();
    for (const auto& [units, index] : order) out.emplace_back(keys[index], values[index]);
    return true;
}

bool AppendUTF8(std::u16string_view units, std::string& out) {
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xE000) {
            if (c >= 0xDC00 || i + 1 == units.size() || units[i + 1] < 0xDC00 ||
                units[i + 1] >= 0xE000)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        notation::AppendUTF8(c, out);
    }
    return true;
}

std::string NumberText(CFNumberRef number) {
    char text[64];
    if (CFNumberIsFloatType(number)) {
        double d = 0;
        CFNumberGetValue(number, kCFNumberFloat64Type, &d);
        if (std::isnan(d)) return "nan";
        if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
        std::string shortest(text, std::to_chars(text, text + sizeof text, d).ptr);
        if (shortest.find_first_of(".en") == std::string::npos) shortest += ".0";
        return shortest;
    }
    int64_t value = 0;
    // A value above INT64_MAX reads back as SInt64 only lossily, as its two's complement.
    if (!CFNumberGetValue(number, kCFNumberSInt64Type, &value))
        return std::string(
            text, std::to_chars(text, text + sizeof text, static_cast<uint64_t>(value)).ptr);
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string EscapeKeyPathComponent(std::string_view component) {
    std::string escaped;
    escaped.reserve(component.size());
    for (size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        if (c == '.' || c == '\\' || (c == ':' && i == 0)) escaped.push_back('\\');
        escaped.push_back(c);
    }
    return escaped;
}

void PrependSegment(std::string& path, std::string_view segment) {
    path.insert(0, "." + EscapeKeyPathComponent(segment));
}

std::string PathFromTop(std::string_view at, const std::string& path) {
    std::string full(at);
    if (!path.empty()) full += std::string_view(path).substr(at.empty() ? 1 : 0);
    if (full.empty() && !path.empty()) return "\"\"";
    return full;
}

std::string Where(std::string_view at, const std::string& path) {
    const std::string full = PathFromTop(at, path);
    return full.empty() ? "the top value" : "the value at " + full;
}

namespace {

// The units as the platform's writers write them: each unpaired surrogate as U+FFFD.
std::u16string AsWritten(std::u16string_view units) {
    std::u16string out(units);
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] < 0xD800 || out[i] >= 0xE000) continue;
        if (out[i] < 0xDC00 && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] < 0xE000)
            ++i;
        else
            out[i] = 0xFFFD;
    }
    return out;
}

// A path component that is UTF-8 whatever the key holds.
std::string Segment(CFTypeRef key) {
    std::u16string scratch;
    std::string text;
    AppendUTF8(AsWritten(Units(static_cast<CFStringRef>(key), scratch)), text);
    return text;
}

class MergeFinder {
public:
    // True when a merge was found in `value`; mProblem then says where from `value` down.
    bool Find(CFTypeRef value) {
        const CFTypeID type = CFGetTypeID(value);
        if (type != CFArrayGetTypeID() && type != CFDictionaryGetTypeID()) return false;
        if (!mVisits.Enter(value)) return false;
        if (type == CFArrayGetTypeID()) {
            const auto array = static_cast<CFArrayRef>(value);
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
                if (Find(CFArrayGetValueAtIndex(array, i))) {
                    PrependSegment(mPath, std::to_string(i));
                    return true;
                }
            return false;
        }
        std::vector<std::pair<CFTypeRef, CFTypeRef>> pairs;
        if (!SortedPairs(static_cast<CFDictionaryRef>(value), pairs)) return false;
        if (Merges(pairs)) return true;
        for (const auto& [key, item] : pairs)
            if (Find(item)) {
                PrependSegment(mPath, Segment(key));
                return true;
            }
        return false;
    }

    std::string Problem(std::string_view at) const {
        const std::string full = PathFromTop(at, mPath);
        return (full.empty() ? std::string("the top dictionary") : "the dictionary at " + full) +
               " has the keys " + mKeys +
               ", which become one key once each unpaired surrogate "
               "is written as U+FFFD";
    }

private:
    bool Merges(const std::vector<std::pair<CFTypeRef, CFTypeRef>>& pairs) {
        std::vector<std::pair<std::u16string, CFTypeRef>> written;
        for (const auto& pair : pairs) {
            std::u16string scratch;
            written.emplace_back(AsWritten(Units(static_cast<CFStringRef>(pair.first), scratch)),
                                 pair.first);
        }
        std::sort(written.begin(), written.end());
        for (size_t i = 1; i < written.size(); ++i) {
            if (written[i - 1].first != written[i].first) continue;
            std::u16string scratch;
            notation::AppendQuoted(Units(static_cast<CFStringRef>(written[i - 1].second), scratch),
                                   mKeys);
            mKeys += " and ";
            notation::AppendQuoted(Units(static_cast<CFStringRef>(written[i].second), scratch),
                                   mKeys);
            return true;
        }
        return false;
    }

    ContainerVisits mVisits;
    std::string mPath;
    std::string mKeys;
};

}  // namespace

std::string MergedKeysProblem(CFPropertyListRef plist, std::string_view at) {
    MergeFinder finder;
    return finder.Find(plist) ? finder.Problem(at) : std::string();
}

}  // namespace plisttext

#include "tools/edit/PlistPrint.h"

#include <utility>
#include <vector>

#include "notation/NotationText.h"
#include "tools/edit/KeyPath.h"
#include "tools/formats/PListTextFormats.h"
#include "tools/formats/TextFormatSupport.h"

namespace plistedit {

namespace {

constexpr size_t kLeadingBytes = 16;  // of data, in print

using Pairs = std::vector<std::pair<CFTypeRef, CFTypeRef>>;

void AppendQuotedString(CFStringRef string, std::string& out) {
    std::u16string scratch;
    notation::AppendQuoted(plisttext::Units(string, scratch), out);
}

std::string CountText(CFIndex count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void AppendDataSummary(CFDataRef data, std::string& out) {
    const CFIndex length = CFDataGetLength(data);
    out += "<" + CountText(length, "byte");
    const UInt8* bytes = CFDataGetBytePtr(data);
    for (size_t i = 0; i < static_cast<size_t>(length) && i < kLeadingBytes; ++i) {
        static const char kHex[] = "0123456789abcdef";
        out += i == 0 ? ": " : " ";
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 15]);
    }
    if (static_cast<size_t>(length) > kLeadingBytes) out += " …";
    out.push_back('>');
}

// A scalar as print writes it; false for a container.
bool AppendScalar(CFTypeRef value, std::string& out) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        AppendQuotedString(static_cast<CFStringRef>(value), out);
    } else if (type == CFNumberGetTypeID()) {
        out += plisttext::NumberText(static_cast<CFNumberRef>(value));
    } else if (type == CFBooleanGetTypeID()) {
        out += CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false";
    } else if (type == CFDateGetTypeID()) {
        const std::string text = plisttext::DateText(static_cast<CFDateRef>(value));
        out += text.empty() ? "(a date out of the writer's range)" : text;
    } else if (type == CFDataGetTypeID()) {
        AppendDataSummary(static_cast<CFDataRef>(value), out);
    } else if (const auto uid = UIDNumber(value)) {
        out += "UID " + std::to_string(*uid);
    } else {
        return false;
    }
    return true;
}

// The pairs in the writer's order; a dictionary with a non-string key (never read from a file)
// keeps its own order.
Pairs OrderedPairs(CFDictionaryRef dictionary) {
    Pairs pairs;
    if (plisttext::SortedPairs(dictionary, pairs)) return pairs;
    const auto count = static_cast<size_t>(CFDictionaryGetCount(dictionary));
    std::vector<const void*> keys(count), values(count);
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    for (size_t i = 0; i < count; ++i) pairs.emplace_back(keys[i], values[i]);
    return pairs;
}

// False when a container is met more than the writers' bound allows (a shared container
// nested as [x, x] would print billions of lines).
bool AppendIndented(CFTypeRef value, size_t level, std::string& out,
                    plisttext::ContainerVisits& visits) {
    if (AppendScalar(value, out)) return true;
    if (!visits.Enter(value)) return false;
    const std::string indent(2 * level + 2, ' ');
    if (CFGetTypeID(value) == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        const CFIndex count = CFArrayGetCount(array);
        if (count == 0) {
            out += "[]";
            return true;
        }
        out += "[\n";
        for (CFIndex i = 0; i < count; ++i) {
            out += indent;
            out += std::to_string(i);
            out += ": ";
            if (!AppendIndented(CFArrayGetValueAtIndex(array, i), level + 1, out, visits))
                return false;
            out.push_back('\n');
        }
        out.append(2 * level, ' ').push_back(']');
        return true;
    }
    const Pairs pairs = OrderedPairs(static_cast<CFDictionaryRef>(value));
    if (pairs.empty()) {
        out += "{}";
        return true;
    }
    out += "{\n";
    for (const auto& [key, item] : pairs) {
        out += indent;
        AppendIndented(key, level + 1, out, visits);
        out += " = ";
        if (!AppendIndented(item, level + 1, out, visits)) return false;
        out.push_back('\n');
    }
    out.append(2 * level, ' ').push_back('}');
    return true;
}

}  // namespace

bool AppendPrinted(CFPropertyListRef plist, std::string& out) {
    plisttext::ContainerVisits visits;
    if (!AppendIndented(plist, 0, out, visits)) return false;
    out.push_back('\n');
    return true;
}

bool RawText(CFPropertyListRef value, std::string& out, std::string& error) {
    const CFTypeID type = CFGetTypeID(value);
    std::u16string scratch;
    if (type == CFStringGetTypeID()) {
        if (plisttext::AppendUTF8(plisttext::Units(static_cast<CFStringRef>(value), scratch), out))
            return true;
        error = "the string has an unpaired surrogate, which has no UTF-8 form";
        return false;
    }
    if (type == CFDataGetTypeID()) {
        const auto data = static_cast<CFDataRef>(value);
        out +=
            plisttext::Base64(CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data)));
        return true;
    }
    if (type == CFArrayGetTypeID()) {
        out += std::to_string(CFArrayGetCount(static_cast<CFArrayRef>(value)));
        return true;
    }
    if (const auto uid = UIDNumber(value)) {
        out += std::to_string(*uid);
        return true;
    }
    if (type == CFDictionaryGetTypeID()) {
        bool first = true;
        for (const auto& pair : OrderedPairs(static_cast<CFDictionaryRef>(value))) {
            if (!first) out.push_back('\n');
            first = false;
            // Escaped as a key path component, so that each line pastes back into a path.
            std::string key;
            if (!RawText(pair.first, key, error)) return false;
            out += plisttext::EscapeKeyPathComponent(key);
        }
        return true;
    }
    return AppendScalar(value, out);
}

std::string ShortText(CFPropertyListRef value) {
    std::string text;
    if (AppendScalar(value, text)) return text;
    if (CFGetTypeID(value) == CFArrayGetTypeID())
        return "an array of " + CountText(CFArrayGetCount(static_cast<CFArrayRef>(value)), "item");
    return "a dictionary of " +
           CountText(CFDictionaryGetCount(static_cast<CFDictionaryRef>(value)), "key");
}

}  // namespace plistedit

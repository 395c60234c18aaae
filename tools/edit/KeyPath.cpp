#include "tools/edit/KeyPath.h"

#include <algorithm>

#include "tools/formats/TextFormatSupport.h"

namespace plistedit {

namespace {

// Splits `text` at unescaped `separator`s; `\separator`, `\\`, and `\:` in the dotted form,
// stand for the character. A backslash before anything else, or at the end, is an error.
bool SplitComponents(std::string_view text, char separator, KeyPath& out, std::string& error) {
    out.components.assign(1, std::string());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == separator) {
            out.components.emplace_back();
            continue;
        }
        if (c == '\\') {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (next != separator && next != '\\' && next != ':') {
                error = "the key path '" + std::string(text) + "' has a backslash at column " +
                        std::to_string(i + 1) + " that escapes nothing (\\" + separator +
                        " and \\\\ are the escapes)";
                return false;
            }
            c = next;
            ++i;
        }
        out.components.back().push_back(c);
    }
    return true;
}

bool IsDictionary(CFTypeRef value) {
    return CFGetTypeID(value) == CFDictionaryGetTypeID();
}

bool IsArray(CFTypeRef value) {
    return CFGetTypeID(value) == CFArrayGetTypeID();
}

}  // namespace

bool ParseKeyPath(std::string_view text, KeyPath& out, std::string& error) {
    out.components.clear();
    if (text.starts_with(':')) {
        // The colon form: ":" alone is the top value, as the empty dotted path.
        if (text.size() == 1) return true;
        return SplitComponents(text.substr(1), ':', out, error);
    }
    if (text.empty()) return true;
    return SplitComponents(text, '.', out, error);
}

std::string FormatKeyPath(const KeyPath& path, size_t count) {
    count = std::min(count, path.components.size());
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text.push_back('.');
        text += plisttext::EscapeKeyPathComponent(path.components[i]);
    }
    return text;
}

std::string ShownKeyPath(const KeyPath& path, size_t count) {
    constexpr size_t kLongest = 160, kHead = 100, kTail = 50;
    count = std::min(count, path.components.size());
    std::string text = FormatKeyPath(path, count);
    if (text.empty() && count > 0) return "\"\"";
    if (text.size() <= kLongest) return text;
    // Cut at UTF-8 character boundaries.
    size_t head = kHead, tail = text.size() - kTail;
    while (head > 0 && (text[head] & 0xC0) == 0x80) --head;
    while (tail < text.size() && (text[tail] & 0xC0) == 0x80) ++tail;
    return text.substr(0, head) + "…" + text.substr(tail) + " (" + std::to_string(count) +
           (count == 1 ? " component)" : " components)");
}

std::string DescribeKeyPath(const KeyPath& path, size_t count) {
    if (std::min(count, path.components.size()) == 0) return "the top value";
    return "the value at " + ShownKeyPath(path, count);
}

CFStringRef CreateKeyString(std::string_view component) {
    return CFStringCreateWithBytes(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(component.data()),
        static_cast<CFIndex>(component.size()), kCFStringEncodingUTF8, false);
}

std::optional<CFIndex> ArrayIndex(std::string_view component, CFIndex count, bool allowEnd) {
    if (component.empty() || component.size() > 18) return std::nullopt;
    CFIndex index = 0;
    for (char c : component) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    if (index < count || (allowEnd && index == count)) return index;
    return std::nullopt;
}

std::optional<uint32_t> UIDNumber(CFTypeRef value) {
    if (!IsDictionary(value)) return std::nullopt;
    const auto dictionary = static_cast<CFDictionaryRef>(value);
    if (CFDictionaryGetCount(dictionary) != 1) return std::nullopt;
    const void* number = CFDictionaryGetValue(dictionary, CFSTR("CF$UID"));
    if (!number || CFGetTypeID(number) != CFNumberGetTypeID() ||
        CFNumberIsFloatType(static_cast<CFNumberRef>(number)))
        return std::nullopt;
    // False for an integer above 2^63 - 1, which is no UID either.
    SInt64 n = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt64Type, &n) || n < 0 ||
        n > SInt64{UINT32_MAX})
        return std::nullopt;
    return static_cast<uint32_t>(n);
}

const char* TypeName(CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFDictionaryGetTypeID()) return UIDNumber(value) ? "uid" : "dictionary";
    if (type == CFArrayGetTypeID()) return "array";
    if (type == CFStringGetTypeID()) return "string";
    if (type == CFBooleanGetTypeID()) return "bool";
    if (type == CFDateGetTypeID()) return "date";
    if (type == CFDataGetTypeID()) return "data";
    if (type == CFNumberGetTypeID())
        return CFNumberIsFloatType(static_cast<CFNumberRef>(value)) ? "float" : "integer";
    return "unknown";
}

std::string TypeWithArticle(CFTypeRef value) {
    const std::string name = TypeName(value);
    if (name == "data") return name;
    if (name == "uid") return "a UID";
    return (name[0] == 'a' || name[0] == 'i' ? "an " : "a ") + name;
}

std::string NoValueMessage(const KeyPath& path, size_t depth, CFTypeRef container) {
    std::string message = "no value at " + ShownKeyPath(path, depth + 1);
    if (IsDictionary(container)) return message;
    message += ": " + DescribeKeyPath(path, depth) + " is ";
    if (!IsArray(container))
        return message + TypeWithArticle(container) + ", not an array or dictionary";
    const CFIndex count = CFArrayGetCount(static_cast<CFArrayRef>(container));
    return message + "an array of " + std::to_string(count) + (count == 1 ? " item" : " items");
}

CFPropertyListRef LookUp(CFPropertyListRef root, const KeyPath& path, std::string& error) {
    CFPropertyListRef value = root;
    for (size_t i = 0; i < path.components.size(); ++i) {
        const std::string& component = path.components[i];
        if (IsDictionary(value)) {
            CFRef<CFStringRef> key(CreateKeyString(component));
            const void* found = nullptr;
            if (key && CFDictionaryGetValueIfPresent(static_cast<CFDictionaryRef>(value), key.Get(),
                                                     &found)) {
                value = found;
                continue;
            }
        } else if (IsArray(value)) {
            const auto array = static_cast<CFArrayRef>(value);
            if (const auto index = ArrayIndex(component, CFArrayGetCount(array), false)) {
                value = CFArrayGetValueAtIndex(array, *index);
                continue;
            }
        }
        error = NoValueMessage(path, i, value);
        return nullptr;
    }
    return value;
}

}  // namespace plistedit

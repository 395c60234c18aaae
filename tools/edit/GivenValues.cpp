#include "tools/edit/GivenValues.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/edit/KeyPath.h"

namespace plistedit {

namespace {

constexpr size_t kShownBytes = 60;  // of a long value in a message

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int Digits2(std::string_view text, size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Column(size_t at) {
    return "column " + std::to_string(at + 1);
}

// The first value inside `value` (itself included) the format has no form for, as "a date".
std::string FirstUnheld(CFTypeRef value, std::string_view format) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            std::string found = FirstUnheld(CFArrayGetValueAtIndex(array, i), format);
            if (!found.empty()) return found;
        }
        return {};
    }
    if (type == CFDictionaryGetTypeID()) {
        const auto dictionary = static_cast<CFDictionaryRef>(value);
        std::vector<const void*> items(static_cast<size_t>(CFDictionaryGetCount(dictionary)));
        CFDictionaryGetKeysAndValues(dictionary, nullptr, items.data());
        for (const void* item : items) {
            std::string found = FirstUnheld(item, format);
            if (!found.empty()) return found;
        }
        return {};
    }
    if (format == "json") {
        if (type == CFDateGetTypeID()) return "a date";
        if (type == CFDataGetTypeID()) return "data";
        if (type == CFNumberGetTypeID()) {
            double real = 0;
            CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat64Type, &real);
            if (!std::isfinite(real)) return "a real NaN or infinity";
        }
    } else if (format == "openstep") {
        if (type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() ||
            type == CFDateGetTypeID())
            return TypeWithArticle(value);
    }
    return {};
}

}  // namespace

std::string GivenValueText(std::string_view type, std::string_view text) {
    std::string shown(text.substr(0, kShownBytes));
    if (text.size() > kShownBytes) {
        // Cut at a character's start, not inside its UTF-8 bytes.
        while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
            shown.pop_back();
        if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0) shown.pop_back();
        shown += "…";
    }
    return "-" + std::string(type) + " '" + shown + "'";
}

bool IsDateShape(std::string_view text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i])
            return false;
    return true;
}

bool IsCalendarDate(std::string_view text) {
    if (!IsDateShape(text)) return false;
    const int year = Digits2(text, 0) * 100 + Digits2(text, 2);
    const int month = Digits2(text, 5), day = Digits2(text, 8);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    return Digits2(text, 11) < 24 && Digits2(text, 14) < 60 && Digits2(text, 17) < 60;
}

bool DecodeBase64(std::string_view text, std::string& bytes, std::string& why) {
    std::string digits;  // the text without whitespace, with each digit's column
    std::vector<size_t> columns;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsSpace(text[i])) continue;
        if (text[i] != '=' && Base64Digit(text[i]) < 0) {
            why = "'" + std::string(1, text[i]) + "' at " + Column(i) + " is not a base64 digit";
            return false;
        }
        digits.push_back(text[i]);
        columns.push_back(i);
    }
    if (digits.size() % 4 != 0) {
        why = std::to_string(digits.size()) + (digits.size() == 1 ? " digit" : " digits") +
              ", not a multiple of 4 (pad with =)";
        return false;
    }
    const size_t padding = digits.ends_with("==") ? 2 : digits.ends_with('=') ? 1 : 0;
    const size_t firstPad = digits.find('=');
    if (firstPad != std::string::npos && firstPad != digits.size() - padding) {
        why = "'=' at " + Column(columns[firstPad]) + " before the end";
        return false;
    }
    uint32_t bits = 0;
    size_t count = 0;
    bytes.clear();
    for (size_t i = 0; i + padding < digits.size(); ++i) {
        bits = bits << 6 | static_cast<uint32_t>(Base64Digit(digits[i]));
        if ((count += 6) >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>(bits >> count & 0xFF));
        }
    }
    if ((bits & ((1u << count) - 1)) != 0) {
        why =
            "bits set after the last byte (the last digit before = is not the one base64 "
            "writes)";
        return false;
    }
    return true;
}

bool DecodeHex(std::string_view text, std::string& bytes, std::string& why) {
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsSpace(text[i])) continue;
        const int high = HexDigit(text[i]);
        const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const size_t bad = high < 0 ? i : i + 1;
        if ((high < 0 || low < 0) && bad < text.size() && !IsSpace(text[bad])) {
            why = "'" + std::string(1, text[bad]) + "' at " + Column(bad) + " is not a hex digit";
            return false;
        }
        if (low < 0) {
            why = "the digit at " + Column(i) + " is half a byte";
            return false;
        }
        bytes.push_back(static_cast<char>(high << 4 | low));
        ++i;
    }
    return true;
}

std::string FormatCannotHold(CFPropertyListRef value, std::string_view format) {
    const std::string found = FirstUnheld(value, format);
    if (found.empty()) return {};
    const CFTypeID type = CFGetTypeID(value);
    const bool nested = type == CFArrayGetTypeID() || type == CFDictionaryGetTypeID();
    const std::string what = (nested ? "holds " : "is ") + found;
    if (format == "json")
        return what + ", which a JSON file cannot hold (JSON has no " +
               (found == "a real NaN or infinity" ? "NaN or infinities)" : "dates or data)");
    return what +
           ", which an old-style file cannot hold (old-style text has only strings, "
           "data, arrays and dictionaries)";
}

}  // namespace plistedit

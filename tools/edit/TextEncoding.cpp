#include "tools/edit/TextEncoding.h"

#include "desc/CFRef.h"
#include "tools/formats/TextFormatSupport.h"

namespace plistedit::surgery {

bool DecodeText(std::string_view bytes, TextEncoding& encoding, std::string& utf8,
                std::string& why) {
    encoding = TextEncoding();
    if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
        bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4)))
        return why = "UTF-32 text", false;
    const bool little = bytes.starts_with("\xFF\xFE");
    if (!little && !bytes.starts_with("\xFE\xFF")) {
        if (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'))
            return why = "UTF-16 text without a byte-order mark", false;
        return true;
    }
    encoding.utf16 = true;
    encoding.bigEndian = !little;
    if (bytes.size() % 2) return why = "UTF-16 text of an odd length", false;
    std::u16string units(bytes.size() / 2 - 1, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 + 2 * i]);
        const auto second = static_cast<unsigned char>(bytes[3 + 2 * i]);
        units[i] = static_cast<char16_t>(little ? first | second << 8 : first << 8 | second);
    }
    utf8.clear();
    if (!plisttext::AppendUTF8(units, utf8))
        return why = "UTF-16 text with a lone surrogate", false;
    return true;
}

bool EncodeText(std::string_view utf8, const TextEncoding& encoding, std::string& out,
                std::string& why) {
    if (!encoding.utf16) {
        out.assign(utf8);
        return true;
    }
    CFRef<CFStringRef> string(
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
    if (!string) return why = "the edited text is not UTF-8", false;
    std::u16string scratch;
    const std::u16string_view units = plisttext::Units(string.Get(), scratch);
    out.assign(encoding.bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    out.reserve(2 + 2 * units.size());
    for (char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        out.push_back(encoding.bigEndian ? high : low);
        out.push_back(encoding.bigEndian ? low : high);
    }
    return true;
}

std::string UTF8Of(CFStringRef string) {
    std::u16string scratch;
    std::string utf8;
    plisttext::AppendUTF8(plisttext::Units(string, scratch), utf8);
    return utf8;
}

}  // namespace plistedit::surgery

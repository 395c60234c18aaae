// Adding and replacing percent escapes in URL strings.
#include <CoreFoundation/CFURL.h>

#include <string>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFStringEncodingInternal.h"
#include "platform/CoreFoundation/CFURLSyntax.h"
#include "platform/Testing/PTInternal.h"

namespace cf::url {
namespace {

bool IsHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Length in units of the character starting at i (2 for a surrogate pair).
size_t CharLength(std::u16string_view s, size_t i) {
    return IsHigh(s[i]) && i + 1 < s.size() && IsLow(s[i + 1]) ? 2 : 1;
}

bool Contains(std::u16string_view set, std::u16string_view character) {
    return !character.empty() && set.find(character) != std::u16string_view::npos;
}

bool IsHexUnit(char16_t u) {
    return u < 0x80 && HexValue(static_cast<char>(u)) >= 0;
}

// The bytes of one character in `encoding`; false when it has none.
bool EncodeCharacter(std::u16string_view character, CFStringEncoding encoding, std::string& bytes) {
    uint8_t buffer[8];
    size_t used = 0;
    size_t converted = text::EncodeUnits(character.data(), character.size(), encoding, 0, false,
                                         buffer, sizeof buffer, used);
    if (converted != character.size()) return false;
    bytes.assign(reinterpret_cast<const char*>(buffer), used);
    return true;
}

CFStringRef AddEscapes(std::u16string_view in, std::u16string_view leave, std::u16string_view force,
                       CFStringEncoding encoding) {
    std::u16string out;
    out.reserve(in.size());
    std::string bytes;
    std::string escaped;
    for (size_t i = 0; i < in.size();) {
        size_t n = CharLength(in, i);
        std::u16string_view ch = in.substr(i, n);
        char16_t u = in[i];
        bool legal;
        if (u == '%')
            legal = i + 2 < in.size() && IsHexUnit(in[i + 1]) && IsHexUnit(in[i + 2]);
        else
            legal = u < 0x80 && IsLegalByte(static_cast<unsigned char>(u));
        bool escape = (!legal && !Contains(leave, ch)) || Contains(force, ch);
        if (!escape) {
            out.append(ch);
        } else {
            if (!EncodeCharacter(ch, encoding, bytes)) return nullptr;
            escaped.clear();
            for (char b : bytes) AppendEscape(escaped, static_cast<unsigned char>(b));
            for (char c : escaped) out.push_back(static_cast<char16_t>(c));
        }
        i += n;
    }
    return CreateStringAdoptingUTF16(std::move(out));
}

// Length of the UTF-8 sequence a lead byte starts.
size_t UTF8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

CFStringRef ReplaceEscapes(std::u16string_view in, std::u16string_view leave) {
    std::u16string out;
    out.reserve(in.size());
    std::u16string decoded;
    for (size_t i = 0; i < in.size();) {
        if (in[i] != '%') {
            out.push_back(in[i++]);
            continue;
        }
        // A run of escapes, decoded together so multi-byte characters come out whole.
        size_t start = i;
        std::string bytes;
        while (i < in.size() && in[i] == '%') {
            if (i + 2 >= in.size() || !IsHexUnit(in[i + 1]) || !IsHexUnit(in[i + 2]))
                return nullptr;
            bytes.push_back(static_cast<char>(HexValue(static_cast<char>(in[i + 1])) << 4 |
                                              HexValue(static_cast<char>(in[i + 2]))));
            i += 3;
        }
        decoded.clear();
        if (!text::AppendUTF16FromUTF8(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                       decoded))
            return nullptr;
        // Walk characters and their escape text side by side; keep the text of left ones.
        size_t escapeAt = start, byteAt = 0;
        for (size_t k = 0; k < decoded.size();) {
            size_t n = CharLength(decoded, k);
            size_t byteCount = UTF8Length(static_cast<unsigned char>(bytes[byteAt]));
            if (Contains(leave, std::u16string_view(decoded).substr(k, n)))
                out.append(in.substr(escapeAt, byteCount * 3));
            else
                out.append(decoded, k, n);
            k += n, byteAt += byteCount, escapeAt += byteCount * 3;
        }
    }
    return CreateStringAdoptingUTF16(std::move(out));
}

}  // namespace
}  // namespace cf::url

extern "C" {

CFStringRef CFURLCreateStringByAddingPercentEscapes(CFAllocatorRef, CFStringRef originalString,
                                                    CFStringRef charactersToLeaveUnescaped,
                                                    CFStringRef legalURLCharactersToBeEscaped,
                                                    CFStringEncoding encoding) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateStringByAddingPercentEscapes", injected)) return nullptr;
    if (!cf::IsString(originalString) || !cf::text::IsSupportedEncoding(encoding)) return nullptr;
    return cf::url::AddEscapes(cf::StringUnits(originalString),
                               cf::StringUnits(charactersToLeaveUnescaped),
                               cf::StringUnits(legalURLCharactersToBeEscaped), encoding);
}

CFStringRef CFURLCreateStringByReplacingPercentEscapes(CFAllocatorRef, CFStringRef originalString,
                                                       CFStringRef charactersToLeaveEscaped) {
    int32_t injected;
    if (PT_ENTER("CFURLCreateStringByReplacingPercentEscapes", injected)) return nullptr;
    if (!cf::IsString(originalString)) return nullptr;
    std::u16string_view in = cf::StringUnits(originalString);
    if (!charactersToLeaveEscaped) return cf::CreateStringFromUTF16(in.data(), in.size());
    return cf::url::ReplaceEscapes(in, cf::StringUnits(charactersToLeaveEscaped));
}

}  // extern "C"

// Built-in coercions among the text types, and between text and numbers or codes.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/AE/AEInternal.h"
#include "platform/AE/AETextInternal.h"
#include "platform/CoreFoundation/CFStringEncodingInternal.h"

namespace ae {
namespace {

constexpr AEKeyword kStyledUnicodeTextKey = FourCC("utxt");
constexpr AEKeyword kUnicodeStylesKey = FourCC("ustl");
constexpr DescType kStyleScrapType = FourCC("styl");

// The bytes of a keyed field of a record value, or NULL.
const Item* Field(const Payload& v, AEKeyword key) {
    const Container* c = v.Node();
    if (!c || !c->IsKeyed()) return nullptr;
    long at = c->Find(key);
    return at < 0 ? nullptr : &c->At(static_cast<size_t>(at));
}

bool DecodeUTF16Bytes(const Payload& v, std::u16string& out) {
    if (v.IsNode() || v.Size() % 2 != 0) return false;
    size_t units = v.Size() / 2;
    size_t at = out.size();
    out.resize(at + units);
    if (units) std::memcpy(&out[at], v.Bytes(), v.Size());
    return true;
}

Item TextItem(DescType type, std::string bytes) {
    Item item;
    item.type = type;
    item.value = Payload::FromBytes(bytes.data(), bytes.size());
    return item;
}

Payload RecordOf(Item first, Item second) {
    NodeRef node(new Container(Shape::Record));
    node.Get()->Append(std::move(first));
    node.Get()->Append(std::move(second));
    return Payload::FromNode(std::move(node));
}

// Number → decimal text in ASCII; reals in their shortest round-trip form.
bool NumberText(DescType type, const Payload& v, std::string& out) {
    char buffer[64];
    std::to_chars_result r{};
    auto load = [&](auto value) {
        std::memcpy(&value, v.Bytes(), sizeof value);
        return value;
    };
    size_t width = v.Size();
    switch (type) {
        case typeSInt16:
            if (width != 2) return false;
            r = std::to_chars(buffer, buffer + 64, load(int16_t()));
            break;
        case typeSInt32:
            if (width != 4) return false;
            r = std::to_chars(buffer, buffer + 64, load(int32_t()));
            break;
        case typeUInt32:
            if (width != 4) return false;
            r = std::to_chars(buffer, buffer + 64, load(uint32_t()));
            break;
        case typeSInt64:
            if (width != 8) return false;
            r = std::to_chars(buffer, buffer + 64, load(int64_t()));
            break;
        case typeIEEE32BitFloatingPoint: {
            if (width != 4) return false;
            float f = load(float());
            if (!std::isfinite(f)) return false;
            r = std::to_chars(buffer, buffer + 64, f);
            break;
        }
        case typeIEEE64BitFloatingPoint: {
            if (width != 8) return false;
            double d = load(double());
            if (!std::isfinite(d)) return false;
            r = std::to_chars(buffer, buffer + 64, d);
            break;
        }
        case typeFixed:
            if (width != 4) return false;
            r = std::to_chars(buffer, buffer + 64, load(int32_t()) / 65536.0);
            break;
        default:
            return false;
    }
    out.assign(buffer, r.ptr);
    return true;
}

bool IsNumberType(DescType t) {
    return t == typeSInt16 || t == typeSInt32 || t == typeUInt32 || t == typeSInt64 ||
           t == typeIEEE32BitFloatingPoint || t == typeIEEE64BitFloatingPoint || t == typeFixed;
}

bool IsCode(DescType t) {
    return t == typeType || t == typeEnumerated || t == typeAbsoluteOrdinal || t == typeProperty ||
           t == typeKeyword;
}

// Text → number: a decimal literal (optional sign, digits, fraction, exponent) after
// trimming white space; anything else, "inf" and "nan" included, refuses.
OSErr ParseNumber(const std::u16string& text, DescType toType, Item& out) {
    size_t b = 0, e = text.size();
    auto space = [](char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (b < e && space(text[b])) ++b;
    while (e > b && space(text[e - 1])) --e;
    std::string ascii;
    for (size_t i = b; i < e; ++i) {
        char16_t c = text[i];
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            return errAECoercionFail;
        ascii.push_back(static_cast<char>(c));
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    if (first != last && *first == '+') ++first;  // from_chars takes no plus sign
    if (first == last || *first == '+') return errAECoercionFail;
    bool digitsOnly = ascii.find_first_of(".eE") == std::string::npos;
    Item number;
    if (digitsOnly) {
        int64_t i;
        auto r = std::from_chars(first, last, i);
        if (r.ec == std::errc() && r.ptr == last) {
            number.type = typeSInt64;
            number.value = Payload::FromBytes(&i, sizeof i);
        }
    }
    if (number.type == typeNull) {
        double d;
        auto r = std::from_chars(first, last, d, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != last || !std::isfinite(d)) return errAECoercionFail;
        number.type = typeIEEE64BitFloatingPoint;
        number.value = Payload::FromBytes(&d, sizeof d);
    }
    if (number.type == toType) {
        out = std::move(number);
        return noErr;
    }
    return CoerceBuiltIn(number.type, number.value, toType, out);
}

}  // namespace

TextStatus DecodeText(DescType type, const Payload& v, std::u16string& out) {
    const uint8_t* bytes = v.Bytes();
    size_t size = v.Size();
    switch (type) {
        case typeChar:
            if (v.IsNode()) return TextStatus::Invalid;
            cf::text::AppendUTF16FromMacRoman(bytes, size, out);
            return TextStatus::Ok;
        case typeUTF8Text:
        case typeApplicationURL:
        case typeApplicationBundleID:
            if (v.IsNode()) return TextStatus::Invalid;
            return cf::text::AppendUTF16FromUTF8(bytes, size, out) ? TextStatus::Ok
                                                                   : TextStatus::Invalid;
        case typeUnicodeText:
            return DecodeUTF16Bytes(v, out) ? TextStatus::Ok : TextStatus::Invalid;
        case typeIntlText:
            if (v.IsNode() || size < 4) return TextStatus::Invalid;
            cf::text::AppendUTF16FromMacRoman(bytes + 4, size - 4, out);
            return TextStatus::Ok;
        case typeStyledText: {
            const Item* text = Field(v, keyAEText);
            if (!text || text->type != typeChar || text->value.IsNode()) return TextStatus::Invalid;
            cf::text::AppendUTF16FromMacRoman(text->value.Bytes(), text->value.Size(), out);
            return TextStatus::Ok;
        }
        case typeStyledUnicodeText: {
            const Item* text = Field(v, kStyledUnicodeTextKey);
            if (!text || text->type != typeUnicodeText) return TextStatus::Invalid;
            return DecodeUTF16Bytes(text->value, out) ? TextStatus::Ok : TextStatus::Invalid;
        }
        default:
            return TextStatus::NotText;
    }
}

bool EncodeText(const std::u16string& text, DescType toType, Item& out) {
    std::string bytes;
    auto roman = [&]() {
        for (char16_t unit : text) {
            uint8_t b;
            if (!cf::text::MacRomanByteForUnit(unit, b)) return false;
            bytes.push_back(static_cast<char>(b));
        }
        return true;
    };
    switch (toType) {
        case typeChar:
            if (!roman()) return false;
            out = TextItem(typeChar, std::move(bytes));
            return true;
        case typeUTF8Text:
            cf::text::AppendUTF8FromUTF16(text.data(), text.size(), bytes);
            out = TextItem(typeUTF8Text, std::move(bytes));
            return true;
        case typeUnicodeText:
            out.type = typeUnicodeText;
            out.value = Payload::FromBytes(text.data(), text.size() * 2);
            return true;
        case typeIntlText:
            bytes.assign(4, '\0');  // script smRoman, language langEnglish
            if (!roman()) return false;
            out = TextItem(typeIntlText, std::move(bytes));
            return true;
        case typeStyledText: {
            if (!roman()) return false;
            Item body = TextItem(typeChar, std::move(bytes));
            body.key = keyAEText;
            Item styles = TextItem(kStyleScrapType, std::string(2, '\0'));  // no style runs
            styles.key = keyAEStyles;
            out.type = typeStyledText;
            out.value = RecordOf(std::move(body), std::move(styles));
            return true;
        }
        case typeStyledUnicodeText: {
            Item body;
            body.key = kStyledUnicodeTextKey;
            body.type = typeUnicodeText;
            body.value = Payload::FromBytes(text.data(), text.size() * 2);
            Item styles = TextItem(kUnicodeStylesKey, std::string());
            styles.key = kUnicodeStylesKey;
            out.type = typeStyledUnicodeText;
            out.value = RecordOf(std::move(body), std::move(styles));
            return true;
        }
        default:
            return false;
    }
}

namespace {

// 'utxt' → 'utf8', the coercion every record key of a loaded property list takes: through
// reused buffers, so it allocates only the result.
bool UnicodeToUTF8(const Payload& from, Item& out) {
    if (from.IsNode() || from.Size() % 2 != 0) return false;
    thread_local std::u16string units;
    thread_local std::string bytes;
    units.resize(from.Size() / 2);
    if (!units.empty()) std::memcpy(units.data(), from.Bytes(), from.Size());
    bytes.clear();
    cf::text::AppendUTF8FromUTF16(units.data(), units.size(), bytes);
    out.type = typeUTF8Text;
    out.value = Payload::FromBytes(bytes.data(), bytes.size());
    return true;
}

}  // namespace

OSErr CoerceText(DescType fromType, const Payload& from, DescType toType, Item& out) {
    if (fromType == typeUnicodeText && toType == typeUTF8Text)
        return UnicodeToUTF8(from, out) ? OSErr(noErr) : OSErr(errAECoercionFail);
    std::u16string text;
    TextStatus decoded = DecodeText(fromType, from, text);
    if (decoded == TextStatus::Invalid) return errAECoercionFail;
    if (decoded == TextStatus::Ok) {
        if (IsNumberType(toType)) return ParseNumber(text, toType, out);
        return EncodeText(text, toType, out) ? OSErr(noErr) : OSErr(errAECoercionFail);
    }
    bool plainTarget = toType == typeChar || toType == typeUTF8Text || toType == typeUnicodeText;
    if (IsNumberType(fromType) && plainTarget) {
        std::string ascii;
        if (!NumberText(fromType, from, ascii)) return errAECoercionFail;
        text.assign(ascii.begin(), ascii.end());
        return EncodeText(text, toType, out) ? OSErr(noErr) : OSErr(errAECoercionFail);
    }
    if (IsCode(fromType) && (toType == typeChar || toType == typeUnicodeText)) {
        if (from.IsNode() || from.Size() != 4) return errAECoercionFail;
        uint32_t code;
        std::memcpy(&code, from.Bytes(), 4);
        const uint8_t chars[4] = {uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8),
                                  uint8_t(code)};
        cf::text::AppendUTF16FromMacRoman(chars, 4, text);
        return EncodeText(text, toType, out) ? OSErr(noErr) : OSErr(errAECoercionFail);
    }
    return errAECoercionFail;
}

}  // namespace ae

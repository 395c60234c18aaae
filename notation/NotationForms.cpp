#include "notation/NotationForms.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace notation {
namespace {

// Every type with a value form, and how its value is laid out.
constexpr std::array<TypedForm, 24> kForms = {{
    {FourCC("utxt"), Form::UTF16, 0, false},    {FourCC("long"), Form::Integer, 4, true},
    {FourCC("doub"), Form::Real, 8, true},      {FourCC("comp"), Form::Integer, 8, true},
    {FourCC("ldt "), Form::Integer, 8, true},   {FourCC("shor"), Form::Integer, 2, true},
    {FourCC("magn"), Form::Integer, 4, false},  {FourCC("ucom"), Form::Integer, 8, false},
    {FourCC("sing"), Form::Real, 4, true},      {FourCC("fixd"), Form::Fixed, 4, true},
    {FourCC("TEXT"), Form::MacRoman, 0, false}, {FourCC("utf8"), Form::UTF8, 0, false},
    {FourCC("furl"), Form::UTF8, 0, false},     {FourCC("aprl"), Form::UTF8, 0, false},
    {FourCC("bund"), Form::UTF8, 0, false},     {FourCC("alis"), Form::UTF8, 0, false},
    {FourCC("fsrf"), Form::UTF8, 0, false},     {FourCC("file"), Form::UTF8, 0, false},
    {FourCC("psxf"), Form::UTF8, 0, false},     {FourCC("type"), Form::Code, 4, false},
    {FourCC("enum"), Form::Code, 4, false},     {FourCC("abso"), Form::Code, 4, false},
    {FourCC("prop"), Form::Code, 4, false},     {FourCC("keyw"), Form::Code, 4, false},
}};

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The bytes a code shows as themselves: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> kPlainCodeBytes = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 0x7F; ++b) plain[b] = b != '\'' && b != '\\';
    return plain;
}();

bool IsPlainCodeByte(uint8_t b) {
    return kPlainCodeBytes[b];
}

// The index of each form by type, for a lookup in a step or two: FindTypedForm runs for every
// value printed, and a type without a form would otherwise pass every entry.
constexpr size_t kFormSlots = 64;
constexpr size_t FormSlot(DescType type) {
    return static_cast<uint32_t>(type * 0x9E3779B1u) >> 26;  // the top six bits
}
constexpr std::array<int8_t, kFormSlots> kFormIndex = [] {
    std::array<int8_t, kFormSlots> index{};
    index.fill(-1);
    for (size_t i = 0; i < kForms.size(); ++i) {
        size_t slot = FormSlot(kForms[i].type);
        while (index[slot] >= 0) slot = (slot + 1) % kFormSlots;
        index[slot] = static_cast<int8_t>(i);
    }
    return index;
}();

char* Copy(const char* first, const char* last, char* to) {
    std::memcpy(to, first, static_cast<size_t>(last - first));
    return to + (last - first);
}
char* Copy(std::string_view text, char* to) {
    return Copy(text.data(), text.data() + text.size(), to);
}

// Lays out the output of to_chars(scientific), "[-]d[.ddd]e±XX", the way Python's repr does.
char* WriteLaidOut(const char* first, const char* last, char* to) {
    // The exponent is the last few characters, read within [first, last): to_chars writes no
    // terminator.
    const char* e = last;
    while (e > first && *(e - 1) != 'e') --e;
    int exponent = 0;
    if (e > first) {
        const char* digitsOfExponent = e < last && *e == '+' ? e + 1 : e;
        std::from_chars(digitsOfExponent, last, exponent);
        --e;
    } else {
        e = last;
    }
    if (exponent < -4 || exponent > 15) return Copy(first, last, to);
    const char* p = first;
    if (*p == '-') *to++ = *p++;
    // The significant digits: the one before the point and those after it.
    char digits[32];
    digits[0] = *p;
    const char* fraction = p + 1 < e && p[1] == '.' ? p + 2 : p + 1;
    const size_t count = 1 + static_cast<size_t>(Copy(fraction, e, digits + 1) - (digits + 1));
    if (exponent < 0) {
        const auto zeros = static_cast<size_t>(-exponent - 1);
        std::memcpy(to, "0.0000", 2 + zeros);
        return Copy(digits, digits + count, to + 2 + zeros);
    }
    const auto integerDigits = static_cast<size_t>(exponent) + 1;
    if (count <= integerDigits) {
        to = Copy(digits, digits + count, to);
        std::memset(to, '0', integerDigits - count);
        to += integerDigits - count;
        return Copy(".0", to);
    }
    to = Copy(digits, digits + integerDigits, to);
    *to++ = '.';
    return Copy(digits + integerDigits, digits + count, to);
}

template <class Real>
char* WriteRealImpl(Real value, char* to) {
    if (std::isnan(value)) return Copy("nan", to);
    if (std::isinf(value)) return Copy(value < 0 ? "-inf" : "inf", to);
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    return WriteLaidOut(buffer, result.ptr, to);
}

}  // namespace

const TypedForm* FindTypedForm(DescType type) {
    for (size_t slot = FormSlot(type);; slot = (slot + 1) % kFormSlots) {
        const int index = kFormIndex[slot];
        if (index < 0) return nullptr;
        if (kForms[static_cast<size_t>(index)].type == type)
            return &kForms[static_cast<size_t>(index)];
    }
}

char* WriteCode(FourCharCode code, char* to) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(code >> 24), static_cast<uint8_t>(code >> 16),
                              static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    // Most codes are four letters: one check, one store.
    if (IsPlainCodeByte(bytes[0]) && IsPlainCodeByte(bytes[1]) && IsPlainCodeByte(bytes[2]) &&
        IsPlainCodeByte(bytes[3])) {
        to[0] = '\'';
        std::memcpy(to + 1, bytes, 4);
        to[5] = '\'';
        return to + 6;
    }
    *to++ = '\'';
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto b = static_cast<uint8_t>(code >> shift);
        if (IsPlainCodeByte(b)) {
            *to++ = static_cast<char>(b);
        } else {
            to[0] = '\\';
            to[1] = 'x';
            to[2] = kHexDigits[b >> 4];
            to[3] = kHexDigits[b & 0xF];
            to += 4;
        }
    }
    *to++ = '\'';
    return to;
}

void AppendCode(FourCharCode code, std::string& out) {
    char text[kMaxCodeBytes];
    out.append(text, WriteCode(code, text));
}

char* WriteReal(double value, char* to) {
    return WriteRealImpl(value, to);
}
char* WriteReal(float value, char* to) {
    return WriteRealImpl(value, to);
}

void AppendReal(double value, std::string& out) {
    char text[kMaxRealBytes];
    out.append(text, WriteReal(value, text));
}
void AppendReal(float value, std::string& out) {
    char text[kMaxRealBytes];
    out.append(text, WriteReal(value, text));
}

}  // namespace notation

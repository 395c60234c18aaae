#include "notation/NotationForms.h"

#include <array>
#include <charconv>
#include <cmath>

namespace notation {
namespace {

// Looked up for every value printed or parsed, so the types of property-list values (text,
// integers, reals, dates) come first.
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

// Lays out the output of to_chars(scientific), "[-]d[.ddd]e±XX", the way Python's repr does.
void AppendLaidOut(const char* first, const char* last, std::string& out) {
    const char* e = first;
    while (e < last && *e != 'e') ++e;
    // The exponent is read within [first, last): to_chars writes no terminator.
    int exponent = 0;
    if (e < last) {
        const char* digitsOfExponent = e + 1;
        if (digitsOfExponent < last && *digitsOfExponent == '+') ++digitsOfExponent;
        std::from_chars(digitsOfExponent, last, exponent);
    }
    if (exponent < -4 || exponent > 15) {
        out.append(first, last);
        return;
    }
    const char* p = first;
    if (*p == '-') out.push_back(*p++);
    std::string digits;
    for (; p < e; ++p)
        if (*p != '.') digits.push_back(*p);
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto integerDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        out += digits;
        out.append(integerDigits - digits.size(), '0');
        out += ".0";
    } else {
        out.append(digits, 0, integerDigits);
        out.push_back('.');
        out.append(digits, integerDigits, std::string::npos);
    }
}

template <class Real>
void AppendRealImpl(Real value, std::string& out) {
    if (std::isnan(value)) {
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    AppendLaidOut(buffer, result.ptr, out);
}

}  // namespace

const TypedForm* FindTypedForm(DescType type) {
    for (const TypedForm& form : kForms)
        if (form.type == type) return &form;
    return nullptr;
}

char* WriteCode(FourCharCode code, char* to) {
    *to++ = '\'';
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto b = static_cast<uint8_t>(code >> shift);
        if (b >= 0x20 && b < 0x7F && b != '\'' && b != '\\') {
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

void AppendReal(double value, std::string& out) {
    AppendRealImpl(value, out);
}
void AppendReal(float value, std::string& out) {
    AppendRealImpl(value, out);
}

}  // namespace notation

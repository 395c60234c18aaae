// The notation printer: one pass over the descriptor tree into one growing string.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"
#include "notation/NotationText.h"

using namespace notation;

namespace {

class Printer {
public:
    explicit Printer(std::string& out) : mOut(out) {}
    OSStatus Print(const AEDesc& desc, int depth);

private:
    OSStatus PrintContainer(const AEDesc& desc, long count, int depth);
    OSStatus PrintBytes(const AEDesc& desc);
    bool PrintTypedValue(DescType type, const std::string& data);
    bool PrintFixedWidth(const TypedForm& form, const std::string& data);
    bool PrintText(const TypedForm& form, const std::string& data);
    void PrintHex(DescType type, const std::string& data);

    std::string& mOut;
    // Scratch buffers reused for every value, so printing a large tree allocates little.
    std::string mData;
    std::u16string mUnits;
};

template <class T>
T Load(const std::string& data) {
    T value;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

// The bits the parser makes for "nan"; any other NaN prints as hex to keep its payload.
template <class Real>
bool IsCanonicalReal(Real value) {
    if (!std::isnan(value)) return true;
    const Real canonical = std::numeric_limits<Real>::quiet_NaN();
    return std::memcmp(&value, &canonical, sizeof value) == 0;
}

OSStatus Printer::Print(const AEDesc& desc, int depth) {
    if (desc.descriptorType == typeNull) {
        mOut += "'null'()";
        return noErr;
    }
    long count = 0;
    if (AECountItems(&desc, &count) == noErr) {
        const bool isRecord = AECheckIsRecord(&desc);
        // A list of a type other than 'list' has no bracket form; its flat bytes rebuild it.
        if (depth < kMaxDepth && (isRecord || desc.descriptorType == typeAEList))
            return PrintContainer(desc, count, depth);
    }
    return PrintBytes(desc);
}

OSStatus Printer::PrintContainer(const AEDesc& desc, long count, int depth) {
    const bool isRecord = desc.descriptorType != typeAEList;
    if (isRecord && desc.descriptorType != typeAERecord) AppendCode(desc.descriptorType, mOut);
    mOut.push_back(isRecord ? '{' : '[');
    for (long i = 1; i <= count; ++i) {
        if (i > 1) mOut += ", ";
        AEKeyword keyword = typeWildCard;
        OwnedDesc item;
        if (OSErr err = AEGetNthDesc(&desc, i, typeWildCard, &keyword, item.Out())) return err;
        if (isRecord) {
            AppendCode(keyword, mOut);
            mOut.push_back(':');
        }
        if (OSStatus err = Print(item.Get(), depth + 1)) return err;
    }
    mOut.push_back(isRecord ? '}' : ']');
    return noErr;
}

OSStatus Printer::PrintBytes(const AEDesc& desc) {
    std::string& data = mData;
    data.resize(static_cast<size_t>(AEGetDescDataSize(&desc)));
    if (!data.empty()) {
        if (OSErr err = AEGetDescData(&desc, data.data(), static_cast<Size>(data.size())))
            return err;
    }
    if (!PrintTypedValue(desc.descriptorType, data)) PrintHex(desc.descriptorType, data);
    return noErr;
}

// The bare and typed value forms; false when the bytes are not exactly a value's encoding.
bool Printer::PrintTypedValue(DescType type, const std::string& data) {
    const TypedForm* form = FindTypedForm(type);
    if (type == typeBoolean && data.size() == 1 && static_cast<uint8_t>(data[0]) <= 1) {
        mOut += data[0] ? "true" : "false";
        return true;
    }
    if (form == nullptr) return false;
    if (form->width != 0) return data.size() == form->width && PrintFixedWidth(*form, data);
    return PrintText(*form, data);
}

bool Printer::PrintFixedWidth(const TypedForm& form, const std::string& data) {
    const DescType type = form.type;
    // 'long', 'doub' and 'type' are the bare forms; 'comp' is bare only outside 32 bits.
    const bool bare = type == typeSInt32 || type == typeIEEE64BitFloatingPoint ||
                      type == typeType ||
                      (type == typeSInt64 &&
                       (Load<int64_t>(data) < INT32_MIN || Load<int64_t>(data) > INT32_MAX));
    std::string value;
    switch (form.form) {
        case Form::Integer: {
            int64_t v = 0;
            if (form.width == 2) v = Load<int16_t>(data);
            if (form.width == 4 && form.isSigned) v = Load<int32_t>(data);
            if (form.width == 4 && !form.isSigned) v = Load<uint32_t>(data);
            if (form.width == 8) v = Load<int64_t>(data);
            value = form.width == 8 && !form.isSigned ? std::to_string(Load<uint64_t>(data))
                                                      : std::to_string(v);
            break;
        }
        case Form::Real:
            if (form.width == 4) {
                if (!IsCanonicalReal(Load<float>(data))) return false;
                AppendReal(Load<float>(data), value);
            } else {
                if (!IsCanonicalReal(Load<double>(data))) return false;
                AppendReal(Load<double>(data), value);
            }
            break;
        case Form::Fixed:
            AppendReal(Load<int32_t>(data) / 65536.0, value);
            break;
        case Form::Code:
            AppendCode(Load<FourCharCode>(data), value);
            break;
        default:
            return false;
    }
    if (bare) {
        mOut += value;
    } else {
        AppendCode(type, mOut);
        mOut.push_back('(');
        mOut += value;
        mOut.push_back(')');
    }
    return true;
}

bool Printer::PrintText(const TypedForm& form, const std::string& data) {
    std::u16string& units = mUnits;
    units.clear();
    switch (form.form) {
        case Form::UTF16:
            if (data.size() % 2 != 0) return false;
            units.resize(data.size() / 2);
            if (!data.empty()) std::memcpy(units.data(), data.data(), data.size());
            AppendQuoted(units, mOut);
            return true;
        case Form::UTF8:
            if (!UTF8ToUTF16(data, units)) return false;
            break;
        case Form::MacRoman:
            MacRomanToUTF16(data, units);
            break;
        default:
            return false;
    }
    AppendCode(form.type, mOut);
    mOut.push_back('(');
    AppendQuoted(units, mOut);
    mOut.push_back(')');
    return true;
}

void Printer::PrintHex(DescType type, const std::string& data) {
    AppendCode(type, mOut);
    if (data.empty()) {
        mOut += "()";
        return;
    }
    mOut += "(\u00AB";
    AppendHex(reinterpret_cast<const uint8_t*>(data.data()), data.size(), mOut);
    mOut += "\u00BB)";
}

}  // namespace

OSStatus PrintDesc(const AEDesc& desc, std::string& out) {
    Printer printer(out);
    return printer.Print(desc, 0);
}

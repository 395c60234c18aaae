// The seven scalar readers of CAEDescReader.
#include <optional>

#include "desc/CAEDesc.h"
#include "desc/CoercedValue.h"
#include "shell/Exceptions.h"

namespace {

// Reads `desc`'s data, which must be exactly sizeof(T) bytes: data of another size is corrupt
// (-1702) rather than padded or cut into a value nobody wrote.
template <class T>
T ReadExact(const AEDesc& desc) {
    if (AEGetDescDataSize(&desc) != static_cast<Size>(sizeof(T))) ThrowStatus(errAECorruptData);
    T value{};
    ThrowIfError(AEGetDescData(&desc, &value, static_cast<Size>(sizeof value)));
    return value;
}

// The shape the integer, code, Boolean and date readers share. `readNative` returns the value
// of a native descriptor, or nothing for any other type. A non-native value is coerced to
// `target` (a value without data stays null) and the result read the same way.
template <class ReadNative>
auto ReadScalar(const AEDesc& desc, DescType target, ReadNative readNative) {
    CCoercedValue value(desc);
    for (;;) {
        if (auto native = readNative(value.Current())) return *native;
        if (value.Current().descriptorType == typeNull) ThrowStatus(errAECoercionFail);
        value.Step(
            [target](const AEDesc& source, CAEDesc& into) { into.CoerceTo(&source, target); });
    }
}

std::optional<double> NativeDouble(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeIEEE64BitFloatingPoint:
            return ReadExact<double>(desc);
        case typeIEEE32BitFloatingPoint:
            return static_cast<double>(ReadExact<float>(desc));
        case typeFixed:
            return Fix2X(ReadExact<Fixed>(desc));
        case typeSInt32:
            return static_cast<double>(ReadExact<int32_t>(desc));
        case typeSInt16:
            return static_cast<double>(ReadExact<int16_t>(desc));
        default:
            return std::nullopt;
    }
}

std::optional<int32_t> NativeSInt32(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeSInt32:
            return ReadExact<int32_t>(desc);
        case typeSInt16:
            return static_cast<int32_t>(ReadExact<int16_t>(desc));
        default:
            return std::nullopt;
    }
}

std::optional<DescType> NativeEnum(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeEnumerated:
        case typeType:
        case typeAbsoluteOrdinal:
            return ReadExact<DescType>(desc);
        default:
            return std::nullopt;
    }
}

std::optional<DescType> NativeTypeCode(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeType:
        case typeEnumerated:
        case typeAbsoluteOrdinal:
        case typeProperty:
            return ReadExact<DescType>(desc);
        default:
            return std::nullopt;
    }
}

std::optional<bool> NativeBoolean(const AEDesc& desc) {
    switch (desc.descriptorType) {
        case typeBoolean:
            return ReadExact<uint8_t>(desc) != 0;
        case typeTrue:
            return true;
        case typeFalse:
            return false;
        default:
            return std::nullopt;
    }
}

std::optional<LongDateTime> NativeLongDateTime(const AEDesc& desc) {
    if (desc.descriptorType != typeLongDateTime) return std::nullopt;
    return ReadExact<LongDateTime>(desc);
}

// The coercion targets GetDouble tries, in order; only -1700 moves on to the next one.
constexpr DescType kDoubleChain[] = {typeIEEE64BitFloatingPoint, typeIEEE32BitFloatingPoint,
                                     typeFixed, typeSInt32, typeSInt16};

// Coerces `source` into `into` with the first target of kDoubleChain the manager accepts.
void CoerceToSomeNumber(const AEDesc& source, CAEDesc& into) {
    OSErr err = errAECoercionFail;
    for (DescType target : kDoubleChain) {
        err = AECoerceDesc(&source, target, into.Out());
        if (err != errAECoercionFail) break;
    }
    ThrowIfError(err);
}

}  // namespace

double CAEDescReader::GetDouble() const {
    CCoercedValue value(mDesc);
    for (;;) {
        if (auto native = NativeDouble(value.Current())) return *native;
        if (value.Current().descriptorType == typeNull) ThrowStatus(errAECoercionFail);
        // Unlike the other readers, a value without data is still offered to the manager.
        value.Step(CoerceToSomeNumber);
    }
}

int32_t CAEDescReader::GetSInt32() const {
    return ReadScalar(mDesc, typeSInt32, NativeSInt32);
}

int64_t CAEDescReader::GetSInt64() const {
    if (mDesc.descriptorType == typeSInt64) return ReadExact<int64_t>(mDesc);
    return GetSInt32();
}

DescType CAEDescReader::GetEnum() const {
    return ReadScalar(mDesc, typeEnumerated, NativeEnum);
}

DescType CAEDescReader::GetTypeCode() const {
    return ReadScalar(mDesc, typeType, NativeTypeCode);
}

bool CAEDescReader::GetBoolean() const {
    return ReadScalar(mDesc, typeBoolean, NativeBoolean);
}

LongDateTime CAEDescReader::GetLongDateTime() const {
    return ReadScalar(mDesc, typeLongDateTime, NativeLongDateTime);
}

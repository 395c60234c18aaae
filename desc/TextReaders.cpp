// The text readers of CAEDescReader.
#include <new>
#include <stdexcept>

#include "desc/CAEDesc.h"
#include "desc/CoercedValue.h"
#include "shell/Exceptions.h"

namespace {

bool IsDirectByteType(DescType type) {
    return type == typeChar || type == typeApplicationURL || type == typeFileURL ||
           type == typeUTF8Text;
}

// Fills `temp` with `source` coerced to `target`; a source without a value cannot be coerced.
void CoercionStep(CAEDesc& temp, const AEDesc& source, DescType target) {
    if (CAEDescReader(&source).IsNull()) ThrowStatus(errAECoercionFail);
    temp.CoerceTo(&source, target);
}

// Statuses of a refused coercion after which a styled-text detour may still succeed.
bool IsFallbackStatus(int32_t status, bool onCoercionFail) {
    return status == paramErr || (onCoercionFail && status == errAECoercionFail);
}

// Coerces `source` to `target` into `temp`; on a fallback status, to 'STXT' instead, unless the
// source is styled text already (that detour would lead back to it). Whatever the 'STXT'
// attempt throws is passed on.
void CoerceWithStyledFallback(CAEDesc& temp, const AEDesc& source, DescType target,
                              bool onCoercionFail) {
    try {
        CoercionStep(temp, source, target);
    } catch (int32_t status) {
        if (!IsFallbackStatus(status, onCoercionFail) || source.descriptorType == typeStyledText)
            throw;
        temp.Dispose();
        CoercionStep(temp, source, typeStyledText);
    }
}

// Copies the data of `desc` byte for byte into `output`.
void ReadBytes(const AEDesc& desc, std::string& output) {
    const Size size = AEGetDescDataSize(&desc);
    output.resize(static_cast<std::size_t>(size));
    ThrowIfError(AEGetDescData(&desc, output.data(), size));
}

// Reads the code units of a 'utxt' descriptor; `output` changes only on success.
void ReadUnicode(const AEDesc& desc, TCLString& output) {
    const Size size = AEGetDescDataSize(&desc);
    TCLString units;
    try {
        // Room for every byte, odd last one included; it is dropped below.
        units.resize((static_cast<std::size_t>(size) + 1) / 2);
    } catch (const std::exception&) {  // bad_alloc or length_error
        ThrowStatus(memFullErr);
    }
    ThrowIfError(AEGetDescData(&desc, units.data(), size));
    units.resize(static_cast<std::size_t>(size) / 2);
    output.swap(units);
}

// Stores a freshly made string into the caller's reference.
void StoreString(CFStringRef made, CFStringRef& held) {
    if (made == nullptr) ThrowStatus(memFullErr);
    if (held != nullptr && held != made) CFRelease(held);
    held = made;
}

CFStringRef CreateStringFromBytes(const std::string& bytes, CFStringEncoding encoding) {
    return CFStringCreateWithBytes(kCFAllocatorDefault,
                                   reinterpret_cast<const UInt8*>(bytes.data()),
                                   static_cast<CFIndex>(bytes.size()), encoding, false);
}

// A string of the code units of a 'utxt' descriptor (an odd last byte dropped), read as
// ReadUnicode reads them; short text goes through a buffer on the stack instead of the heap.
CFStringRef CreateStringFromUnicode(const AEDesc& desc) {
    const Size size = AEGetDescDataSize(&desc);
    CUniCharBuffer units((static_cast<std::size_t>(size) + 1) / 2);
    UniChar* buffer = units.Data();
    ThrowIfError(AEGetDescData(&desc, buffer, size));
    return CFStringCreateWithCharacters(kCFAllocatorDefault, buffer,
                                        static_cast<CFIndex>(size / 2));
}

}  // namespace

void CAEDescReader::GetTCLString(TCLString& output) const {
    CCoercedValue value(mDesc);
    while (value.Current().descriptorType != typeUnicodeText) {
        value.Step([](const AEDesc& source, CAEDesc& into) {
            CoerceWithStyledFallback(into, source, typeUnicodeText, true);
        });
    }
    ReadUnicode(value.Current(), output);
}

void CAEDescReader::GetString(std::string& output) const {
    CCoercedValue value(mDesc);
    while (!IsDirectByteType(value.Current().descriptorType)) {
        value.Step([](const AEDesc& source, CAEDesc& into) {
            if (source.descriptorType == typeUnicodeText) {
                CoercionStep(into, source, typeUTF8Text);
            } else {
                CoerceWithStyledFallback(into, source, typeChar, false);
            }
        });
    }
    ReadBytes(value.Current(), output);
}

void CAEDescReader::GetUTF8String(std::string& output) const {
    CCoercedValue value(mDesc);
    while (!IsDirectByteType(value.Current().descriptorType)) {
        value.Step(
            [](const AEDesc& source, CAEDesc& into) { CoercionStep(into, source, typeUTF8Text); });
    }
    ReadBytes(value.Current(), output);
}

void CAEDescReader::GetCFString(CFStringRef& held) const {
    const DescType type = mDesc.descriptorType;
    if (type == typeChar || type == typeApplicationURL || type == typeFileURL ||
        type == typeApplicationBundleID) {
        std::string bytes;
        GetString(bytes);
        const CFStringEncoding encoding = type == typeChar
                                              ? CFStringGetSystemEncoding()
                                              : CFStringEncoding{kCFStringEncodingUTF8};
        return StoreString(CreateStringFromBytes(bytes, encoding), held);
    }
    if (type == typeUnicodeText) return StoreString(CreateStringFromUnicode(mDesc), held);
    TCLString units;
    GetTCLString(units);
    StoreString(CFStringCreateWithCharacters(kCFAllocatorDefault, units.data(),
                                             static_cast<CFIndex>(units.size())),
                held);
}

void CAEDescReader::GetCFString(CFRef<CFStringRef>& held) const {
    CFStringRef made = nullptr;
    GetCFString(made);
    held.Reset(made);
}

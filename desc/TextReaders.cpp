// The text readers of CAEDescReader.
#include <new>
#include <stdexcept>

#include "desc/CAEDesc.h"
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

// Coerces `source` to `target` into `temp`; on a fallback status, to 'STXT' instead. Whatever
// the 'STXT' attempt throws is passed on.
void CoerceWithStyledFallback(CAEDesc& temp, const AEDesc& source, DescType target,
                              bool onCoercionFail) {
    try {
        CoercionStep(temp, source, target);
    } catch (int32_t status) {
        if (!IsFallbackStatus(status, onCoercionFail)) throw;
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

// Reads the bytes of a coerced temporary. The styled text of a fallback gets one more coercion
// to 'TEXT', without a second fallback, so a refusal there cannot start the detour again.
void ReadCoercedBytes(const AEDesc& temp, std::string& output) {
    if (IsDirectByteType(temp.descriptorType)) return ReadBytes(temp, output);
    if (temp.descriptorType == typeStyledText) {
        CAEDesc text;
        CoercionStep(text, temp, typeChar);
        if (IsDirectByteType(text.mDesc.descriptorType)) return ReadBytes(text.mDesc, output);
    }
    ThrowStatus(errAECoercionFail);  // a coercion answered with a type we do not read
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

void ReadCoercedUnicode(const AEDesc& temp, TCLString& output) {
    if (temp.descriptorType == typeUnicodeText) return ReadUnicode(temp, output);
    if (temp.descriptorType == typeStyledText) {
        CAEDesc unicode;
        CoercionStep(unicode, temp, typeUnicodeText);
        if (unicode.mDesc.descriptorType == typeUnicodeText) {
            return ReadUnicode(unicode.mDesc, output);
        }
    }
    ThrowStatus(errAECoercionFail);
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
    if (mDesc.descriptorType == typeUnicodeText) return ReadUnicode(mDesc, output);
    CAEDesc temp;
    CoerceWithStyledFallback(temp, mDesc, typeUnicodeText, true);
    ReadCoercedUnicode(temp.mDesc, output);
}

void CAEDescReader::GetString(std::string& output) const {
    if (IsDirectByteType(mDesc.descriptorType)) return ReadBytes(mDesc, output);
    CAEDesc temp;
    if (mDesc.descriptorType == typeUnicodeText) {
        CoercionStep(temp, mDesc, typeUTF8Text);
    } else {
        CoerceWithStyledFallback(temp, mDesc, typeChar, false);
    }
    ReadCoercedBytes(temp.mDesc, output);
}

void CAEDescReader::GetUTF8String(std::string& output) const {
    if (IsDirectByteType(mDesc.descriptorType)) return ReadBytes(mDesc, output);
    CAEDesc temp;
    CoercionStep(temp, mDesc, typeUTF8Text);
    ReadCoercedBytes(temp.mDesc, output);
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

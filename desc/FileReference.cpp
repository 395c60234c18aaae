// Descriptors that name a file or a URL.
#include "desc/FileReference.h"

#include "desc/CAEDesc.h"
#include "desc/CFRef.h"
#include "desc/CoercedValue.h"
#include "shell/Exceptions.h"

namespace {

// A block from NewPtr, freed with DisposePtr.
class PtrBlock {
public:
    explicit PtrBlock(Size size) : mPtr(NewPtr(size)) {
        mStatus = MemError();
        // An allocator that fails without saying so must not look like a success.
        if (mStatus == noErr && mPtr == nullptr) mStatus = memFullErr;
    }
    ~PtrBlock() { DisposePtr(mPtr); }
    PtrBlock(const PtrBlock&) = delete;
    PtrBlock& operator=(const PtrBlock&) = delete;

    Ptr Get() const { return mPtr; }
    OSErr Status() const { return mStatus; }

private:
    Ptr mPtr;
    OSErr mStatus;
};

bool IsTextType(DescType type) {
    return type == typeChar || type == typeFileURL || type == typeIntlText ||
           type == typeUTF8Text || type == typeStyledText || type == typeUnicodeText;
}

bool IsFileObjectSpecifier(const AEDesc& specifier) {
    CAEDesc record;
    record.CoerceTo(&specifier, typeAERecord);
    CAEDesc form, seld, want, from;
    ThrowIfError(AEGetParamDesc(&record.mDesc, keyAEKeyForm, typeWildCard, &form.mDesc));
    ThrowIfError(AEGetParamDesc(&record.mDesc, keyAEKeyData, typeWildCard, &seld.mDesc));
    ThrowIfError(AEGetParamDesc(&record.mDesc, keyAEDesiredClass, typeWildCard, &want.mDesc));
    ThrowIfError(AEGetParamDesc(&record.mDesc, keyAEContainer, typeWildCard, &from.mDesc));
    const DescType wanted = want.GetTypeCode();
    if (wanted != typeAlias && wanted != cFile) return false;
    // A file named inside another object (a folder, an application) is not ours to resolve.
    if (!from.IsNull()) return false;
    if (form.GetEnum() != formName) return false;
    return IsTextType(seld.mDesc.descriptorType);
}

// The types ToCFURL hands to CreateURLFromDesc without a coercion of its own.
bool IsDirectURLType(DescType type) {
    return type == typeFileURL || type == typeUnicodeText || type == typeStyledText ||
           type == typeChar;
}

CFURLRef CreateURLFromDirect(const AEDesc& desc) {
    CFURLRef url = nullptr;
    ThrowIfStatus(CreateURLFromDesc(kCFAllocatorDefault, &desc, &url));
    return url;
}

int32_t CreateURLFromFileURL(CFAllocatorRef allocator, const AEDesc& source, CFURLRef* out) {
    const Size size = AEGetDescDataSize(&source);
    PtrBlock block(size);
    if (block.Status() != noErr) return block.Status();
    const OSErr err = AEGetDescData(&source, block.Get(), size);
    if (err != noErr) return err;
    *out = CFURLCreateWithBytes(allocator, reinterpret_cast<const UInt8*>(block.Get()), size,
                                kCFStringEncodingUTF8, nullptr);
    return *out != nullptr ? 0 : coreFoundationUnknownErr;
}

// The URL of a text taken as a URL string; NULL for every failure after the coercion.
CFURLRef CreateURLFromUnicode(CFAllocatorRef allocator, const AEDesc& text) {
    const Size size = AEGetDescDataSize(&text);
    PtrBlock block(size);
    if (block.Status() != noErr) return nullptr;
    if (AEGetDescData(&text, block.Get(), size) != noErr) return nullptr;
    CFRef<CFStringRef> string(CFStringCreateWithCharacters(
        allocator, reinterpret_cast<const UniChar*>(block.Get()), size / 2));
    if (!string) return nullptr;
    CFURLRef url = CFURLCreateWithString(allocator, string.Get(), nullptr);
    if (url == nullptr) {
        // Not a legal URL as it stands (a space, non-ASCII text): escape it and try once more.
        CFRef<CFStringRef> escaped(CFURLCreateStringByAddingPercentEscapes(
            allocator, string.Get(), nullptr, nullptr, kCFStringEncodingUTF8));
        if (escaped) url = CFURLCreateWithString(allocator, escaped.Get(), nullptr);
    }
    return url;
}

}  // namespace

bool IsFileReference(const AEDesc* desc) {
    switch (desc->descriptorType) {
        case typeAlias:
        case cFile:
        case typeFSRef:
        case typeFileURL:
        case kTypePOSIXFile:
            return true;
        case typeObjectSpecifier:
            return IsFileObjectSpecifier(*desc);
        default:
            return false;
    }
}

CFURLRef ToCFURL(const AEDesc* desc) {
    CCoercedValue value(*desc);
    while (!IsDirectURLType(value.Current().descriptorType)) {
        // 'null', or a temporary that stayed null because there was no data to coerce.
        if (value.Current().descriptorType == typeNull) ThrowStatus(errAECoercionFail);
        value.Step(
            [](const AEDesc& source, CAEDesc& into) { into.CoerceTo(&source, typeFileURL); });
    }
    return CreateURLFromDirect(value.Current());
}

int32_t CreateURLFromDesc(CFAllocatorRef allocator, const AEDesc* source, CFURLRef* out) {
    *out = nullptr;
    const DescType type = source->descriptorType;
    if (type == typeFileURL) return CreateURLFromFileURL(allocator, *source, out);
    if (type == typeChar || type == typeStyledText || type == typeIntlText ||
        type == typeUTF8Text || type == typeUnicodeText) {
        CAEDesc text;
        const OSErr err = AECoerceDesc(source, typeUnicodeText, &text.mDesc);
        if (err != noErr) return err;
        *out = CreateURLFromUnicode(allocator, text.mDesc);
        return *out != nullptr ? 0 : coreFoundationUnknownErr;
    }
    return errAECoercionFail;
}

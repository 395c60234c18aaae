// The owned descriptor and the view it derives from.
#include "desc/CAEDesc.h"

#include <utility>

#include "shell/Exceptions.h"

CAEDescReader::CAEDescReader(const AEDesc* desc) noexcept : CAEDescReader() {
    if (desc != nullptr) mDesc = *desc;
}

bool CAEDescReader::IsNull() const noexcept {
    return mDesc.descriptorType == typeNull || mDesc.dataHandle == nullptr;
}

CAEDesc::CAEDesc(CAEDesc&& other) noexcept {
    mDesc = std::exchange(other.mDesc, AEDesc{typeNull, nullptr});
}

CAEDesc& CAEDesc::operator=(CAEDesc&& other) noexcept {
    if (this != &other) {
        Dispose();
        mDesc = std::exchange(other.mDesc, AEDesc{typeNull, nullptr});
    }
    return *this;
}

CAEDesc::~CAEDesc() {
    // Not the virtual call: a destructor always releases this class's way.
    if (mDesc.dataHandle != nullptr) (void)AEDisposeDesc(&mDesc);
}

void CAEDesc::Dispose() noexcept {
    if (mDesc.dataHandle != nullptr) (void)AEDisposeDesc(&mDesc);
}

CAEDesc& CAEDesc::operator=(const AEDesc& source) {
    if (&source == &mDesc) return *this;  // disposing first would destroy the source
    Dispose();
    if (source.descriptorType != typeNull && source.dataHandle != nullptr) {
        ThrowIfError(AEDuplicateDesc(&source, &mDesc));
    }
    return *this;
}

void CAEDesc::CoerceTo(const AEDesc* source, DescType type) {
    if (source == &mDesc) {
        // Coercing into itself: the source must outlive the call, so coerce into a holder.
        CAEDesc coerced;
        coerced.CoerceTo(source, type);
        *this = std::move(coerced);
        return;
    }
    Dispose();
    if (CAEDescReader(source).IsNull()) return;
    ThrowIfError(AECoerceDesc(source, type, &mDesc));
}

void CAEDesc::SetCFString(CFStringRef string) {
    if (string == nullptr) {
        Dispose();
        return;
    }
    const CFIndex length = CFStringGetLength(string);
    const Size byteCount = static_cast<Size>(length) * static_cast<Size>(sizeof(UniChar));
    if (const UniChar* direct = CFStringGetCharactersPtr(string)) {
        Dispose();
        ThrowIfError(AECreateDesc(typeUnicodeText, direct, byteCount, &mDesc));
        return;
    }
    TCLString buffer;
    try {
        buffer.resize(static_cast<std::size_t>(length));
    } catch (const std::exception&) {  // bad_alloc or length_error: no memory for the copy
        ThrowStatus(memFullErr);
    }
    CFStringGetCharacters(string, CFRangeMake(0, length), buffer.data());
    Dispose();
    ThrowIfError(AECreateDesc(typeUnicodeText, buffer.data(), byteCount, &mDesc));
}

// CFData: bytes held in a vector, or adopted from the caller without a copy.
#include <CoreFoundation/CFData.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/CoreFoundation/CFFileAccess.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

struct __CFData final : cf::Object {
    __CFData(std::vector<uint8_t>&& bytes, bool isMutable)
        : Object(cf::kDataTypeID, isMutable), mBuffer(std::move(bytes)) {}
    // Borrows `bytes`; frees them with free() on destruction when `owns`.
    __CFData(const uint8_t* bytes, size_t length, bool owns)
        : Object(cf::kDataTypeID, false), mExternal(bytes), mExternalLength(length), mOwns(owns) {}
    ~__CFData() override {
        if (mRelease)
            mRelease(mExternal, mExternalLength);
        else if (mOwns)
            std::free(const_cast<uint8_t*>(mExternal));
    }

    const uint8_t* Bytes() const {
        static const uint8_t kEmpty = 0;  // a valid pointer even for no bytes
        const uint8_t* p = mExternal ? mExternal : mBuffer.data();
        return p ? p : &kEmpty;
    }
    size_t Length() const { return mExternal ? mExternalLength : mBuffer.size(); }

    bool EqualTo(const Object& other) const override {
        const auto& o = static_cast<const __CFData&>(other);
        return Length() == o.Length() && std::memcmp(Bytes(), o.Bytes(), Length()) == 0;
    }
    CFHashCode HashValue() const override {
        // Length and up to the first 80 bytes, so hashing a large blob stays cheap.
        uint64_t h = 0xcbf29ce484222325ULL ^ Length();
        const uint8_t* p = Bytes();
        for (size_t i = 0, n = Length() < 80 ? Length() : 80; i < n; ++i)
            h = (h ^ p[i]) * 0x100000001b3ULL;
        return cf::MixHash(h);
    }
    void Describe(std::string& out) const override {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "<CFData %zu bytes>", Length());
        out += buffer;
    }

    std::vector<uint8_t> mBuffer;
    const uint8_t* mExternal = nullptr;
    size_t mExternalLength = 0;
    bool mOwns = false;
    void (*mRelease)(const uint8_t*, size_t) = nullptr;  // gives adopted bytes back, not free()
};

namespace cf {
namespace {

__CFData* AsData(CFTypeRef ref) {
    return As<__CFData>(ref, kDataTypeID);
}

std::vector<uint8_t>* MutableBuffer(CFMutableDataRef ref) {
    __CFData* d = AsData(ref);
    return d && d->IsMutableObject() ? &d->mBuffer : nullptr;
}

}  // namespace

CFDataRef CreateData(const uint8_t* bytes, size_t length, bool isMutable) {
    if (isMutable) return New<__CFData>(std::vector<uint8_t>(bytes, bytes + length), true);
    // Immutable bytes live right after the object: one allocation.
    __CFData* data = NewWithTrailing<__CFData>(length, nullptr, length, false);
    if (data && length) {
        auto* trailing = reinterpret_cast<uint8_t*>(data + 1);
        std::memcpy(trailing, bytes, length);
        data->mExternal = trailing;
    }
    return data;
}

CFDataRef CreateDataAdopting(std::vector<uint8_t>&& bytes, bool isMutable) {
    return New<__CFData>(std::move(bytes), isMutable);
}

CFDataRef CreateDataAdoptingMalloc(uint8_t* bytes, size_t length) {
    CFDataRef data = New<__CFData>(bytes, length, bytes != nullptr);
    if (!data) std::free(bytes);
    return data;
}

CFDataRef file::CreateDataAdoptingMapping(uint8_t* start, size_t length,
                                          void (*release)(const uint8_t*, size_t)) {
    __CFData* data = New<__CFData>(start, length, false);
    if (!data) {
        release(start, length);
        return nullptr;
    }
    data->mRelease = release;
    return data;
}

const uint8_t* DataBytes(CFDataRef data) {
    const __CFData* d = AsData(data);
    return d ? d->Bytes() : nullptr;
}

size_t DataLength(CFDataRef data) {
    const __CFData* d = AsData(data);
    return d ? d->Length() : 0;
}

}  // namespace cf

extern "C" {

CFTypeID CFDataGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFDataGetTypeID", injected)) return 0;
    return cf::kDataTypeID;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    int32_t injected;
    if (PT_ENTER("CFDataCreate", injected)) return nullptr;
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    return cf::CreateData(bytes, static_cast<size_t>(length));
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef, const UInt8* bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator) {
    int32_t injected;
    if (PT_ENTER("CFDataCreateWithBytesNoCopy", injected)) return nullptr;
    if (length < 0 || (!bytes && length > 0)) return nullptr;
    return cf::New<__CFData>(bytes, static_cast<size_t>(length),
                             bytes && bytesDeallocator != kCFAllocatorNull);
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData) {
    int32_t injected;
    if (PT_ENTER("CFDataCreateCopy", injected) || !cf::IsData(theData)) return nullptr;
    return cf::CreateData(cf::DataBytes(theData), cf::DataLength(theData));
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    int32_t injected;
    if (PT_ENTER("CFDataCreateMutable", injected) || capacity < 0) return nullptr;
    return const_cast<CFMutableDataRef>(cf::CreateData(nullptr, 0, true));
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFDataRef theData) {
    int32_t injected;
    if (PT_ENTER("CFDataCreateMutableCopy", injected) || capacity < 0) return nullptr;
    return const_cast<CFMutableDataRef>(
        cf::CreateData(cf::DataBytes(theData), cf::DataLength(theData), true));
}

CFIndex CFDataGetLength(CFDataRef theData) {
    int32_t injected;
    if (PT_ENTER("CFDataGetLength", injected)) return 0;
    return static_cast<CFIndex>(cf::DataLength(theData));
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
    int32_t injected;
    if (PT_ENTER("CFDataGetBytePtr", injected)) return nullptr;
    return cf::DataBytes(theData);
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData) {
    int32_t injected;
    if (PT_ENTER("CFDataGetMutableBytePtr", injected)) return nullptr;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    return buffer ? const_cast<UInt8*>(cf::DataBytes(theData)) : nullptr;
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer) {
    int32_t injected;
    if (PT_ENTER("CFDataGetBytes", injected)) return;
    if (!buffer || !cf::IsData(theData) || !cf::RangeInside(range, cf::DataLength(theData))) return;
    std::memcpy(buffer, cf::DataBytes(theData) + range.location, static_cast<size_t>(range.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
    int32_t injected;
    if (PT_ENTER("CFDataSetLength", injected)) return;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    if (buffer && length >= 0) buffer->resize(static_cast<size_t>(length));
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength) {
    int32_t injected;
    if (PT_ENTER("CFDataIncreaseLength", injected)) return;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    if (buffer && extraLength >= 0)
        buffer->resize(buffer->size() + static_cast<size_t>(extraLength));
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
    int32_t injected;
    if (PT_ENTER("CFDataAppendBytes", injected)) return;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    if (!buffer || !bytes || length <= 0) return;
    auto at = reinterpret_cast<uintptr_t>(bytes) - reinterpret_cast<uintptr_t>(buffer->data());
    if (at < buffer->size()) {  // appending part of itself: copy before the buffer moves
        std::vector<uint8_t> copy(bytes, bytes + length);
        buffer->insert(buffer->end(), copy.begin(), copy.end());
    } else {
        buffer->insert(buffer->end(), bytes, bytes + length);
    }
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                        CFIndex newLength) {
    int32_t injected;
    if (PT_ENTER("CFDataReplaceBytes", injected)) return;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    if (!buffer || !cf::RangeInside(range, buffer->size()) || newLength < 0 ||
        (!newBytes && newLength > 0))
        return;
    // Copy first: newBytes may point into the buffer itself.
    std::vector<uint8_t> replacement(newBytes, newBytes + newLength);
    auto first = buffer->begin() + range.location;
    buffer->erase(first, first + range.length);
    buffer->insert(buffer->begin() + range.location, replacement.begin(), replacement.end());
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range) {
    int32_t injected;
    if (PT_ENTER("CFDataDeleteBytes", injected)) return;
    std::vector<uint8_t>* buffer = cf::MutableBuffer(theData);
    if (!buffer || !cf::RangeInside(range, buffer->size())) return;
    auto first = buffer->begin() + range.location;
    buffer->erase(first, first + range.length);
}

}  // extern "C"

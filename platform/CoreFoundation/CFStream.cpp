// Write streams: into memory or into a file, as CFPropertyListWrite uses them.
#include <CoreFoundation/CFStream.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

struct __CFWriteStream final : cf::Object {
    explicit __CFWriteStream(std::string path)
        : Object(cf::kWriteStreamTypeID, true), mPath(std::move(path)) {}
    ~__CFWriteStream() override {
        if (mFile >= 0) ::close(mFile);
    }
    bool EqualTo(const Object& other) const override { return this == &other; }
    CFHashCode HashValue() const override { return cf::MixHash(reinterpret_cast<uintptr_t>(this)); }
    void Describe(std::string& out) const override {
        out += mPath.empty() ? "<CFWriteStream memory>" : "<CFWriteStream " + mPath + ">";
    }

    std::string mPath;  // empty for a memory stream
    std::vector<uint8_t> mBytes;
    int mFile = -1;
    CFStreamStatus mStatus = kCFStreamStatusNotOpen;
};

CFStringRef kCFStreamPropertyDataWritten = CFSTR("kCFStreamPropertyDataWritten");

namespace {

__CFWriteStream* StreamOf(CFWriteStreamRef stream) {
    return cf::As<__CFWriteStream>(stream, cf::kWriteStreamTypeID);
}

}  // namespace

CFTypeID CFWriteStreamGetTypeID(void) {
    return cf::kWriteStreamTypeID;
}

CFWriteStreamRef CFWriteStreamCreateWithAllocatedBuffers(CFAllocatorRef, CFAllocatorRef) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamCreateWithAllocatedBuffers", injected)) return nullptr;
    return cf::New<__CFWriteStream>(std::string());
}

CFWriteStreamRef CFWriteStreamCreateWithFile(CFAllocatorRef, CFURLRef fileURL) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamCreateWithFile", injected)) return nullptr;
    std::string path;
    if (!cf::IsURL(fileURL) || !cf::url::PathFromURL(fileURL, path) || path.empty()) return nullptr;
    return cf::New<__CFWriteStream>(std::move(path));
}

Boolean CFWriteStreamOpen(CFWriteStreamRef stream) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamOpen", injected)) return false;
    __CFWriteStream* s = StreamOf(stream);
    if (!s || s->mStatus != kCFStreamStatusNotOpen) return false;
    if (!s->mPath.empty()) {
        s->mFile = ::open(s->mPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (s->mFile < 0) {
            s->mStatus = kCFStreamStatusError;
            return false;
        }
    }
    s->mStatus = kCFStreamStatusOpen;
    return true;
}

CFIndex CFWriteStreamWrite(CFWriteStreamRef stream, const UInt8* buffer, CFIndex bufferLength) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamWrite", injected)) return -1;
    __CFWriteStream* s = StreamOf(stream);
    if (!s || s->mStatus != kCFStreamStatusOpen || bufferLength < 0 || (!buffer && bufferLength))
        return -1;
    const auto length = static_cast<size_t>(bufferLength);
    if (s->mFile < 0) {
        try {
            s->mBytes.insert(s->mBytes.end(), buffer, buffer + length);
        } catch (const std::bad_alloc&) {
            s->mStatus = kCFStreamStatusError;
            return -1;
        }
        return bufferLength;
    }
    for (size_t done = 0; done < length;) {
        const ssize_t n = ::write(s->mFile, buffer + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            s->mStatus = kCFStreamStatusError;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return bufferLength;
}

void CFWriteStreamClose(CFWriteStreamRef stream) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamClose", injected)) return;
    __CFWriteStream* s = StreamOf(stream);
    if (!s) return;
    if (s->mFile >= 0 && ::close(s->mFile) != 0) s->mStatus = kCFStreamStatusError;
    s->mFile = -1;
    if (s->mStatus != kCFStreamStatusError) s->mStatus = kCFStreamStatusClosed;
}

CFStreamStatus CFWriteStreamGetStatus(CFWriteStreamRef stream) {
    __CFWriteStream* s = StreamOf(stream);
    return s ? s->mStatus : CFStreamStatus{kCFStreamStatusError};
}

CFTypeRef CFWriteStreamCopyProperty(CFWriteStreamRef stream, CFStringRef propertyName) {
    int32_t injected;
    if (PT_ENTER("CFWriteStreamCopyProperty", injected)) return nullptr;
    __CFWriteStream* s = StreamOf(stream);
    if (!s || !s->mPath.empty() || !cf::Equal(propertyName, kCFStreamPropertyDataWritten))
        return nullptr;
    return cf::CreateData(s->mBytes.data(), s->mBytes.size());
}

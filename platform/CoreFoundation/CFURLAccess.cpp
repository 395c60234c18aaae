// Reading and writing the files that file: URLs name. Writes are atomic: a temporary file in
// the target's directory is filled, flushed and renamed over the target.
#include <CoreFoundation/CFURLAccess.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/CoreFoundation/CFFileAccess.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFURLSyntax.h"
#include "platform/Testing/PTInternal.h"

namespace cf::url {
namespace {

using file::FileDescriptor;

SInt32 ErrorFor(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return kCFURLResourceNotFoundError;
        case EACCES:
        case EPERM:
        case EROFS:
            return kCFURLResourceAccessViolationError;
        default:
            return kCFURLUnknownError;
    }
}

// The POSIX path of a file: URL, or the error code for why there is none.
SInt32 FilePath(CFURLRef url, std::string& path) {
    if (!IsURL(url)) return kCFURLImproperArgumentsError;
    std::string text = AbsoluteURLText(url);
    Parts p = Split(text);
    if (!p.hasScheme) return kCFURLImproperArgumentsError;
    if (!PathFromFileURLString(text, path)) return kCFURLUnknownSchemeError;
    return 0;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, bytes, length > SSIZE_MAX ? SSIZE_MAX : length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

mode_t NewFileMode() {
    mode_t mask = ::umask(0);  // the only portable way to read the umask
    ::umask(mask);
    return 0644 & ~mask;
}

// Writes bytes to `path` through a temporary file renamed over it.
SInt32 WriteFileAtomically(std::string path, const uint8_t* bytes, size_t length) {
    if (path.ends_with('/')) return kCFURLImproperArgumentsError;
    struct stat info {};
    mode_t mode;
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // Replace what the link points to, not the link.
        char* target = ::realpath(path.c_str(), nullptr);
        if (target) {
            path = target;
            std::free(target);
        }
    }
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return kCFURLUnknownError;
        mode = info.st_mode & 07777;
    } else if (errno == ENOENT) {
        mode = NewFileMode();
    } else {
        return ErrorFor(errno);
    }
    size_t slash = path.rfind('/');
    std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) return ErrorFor(errno);
    bool ok = ::fchmod(fd.Get(), mode) == 0 && WriteAll(fd.Get(), bytes, length) &&
              ::fsync(fd.Get()) == 0;
    int error = errno;
    ok = fd.Close() && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        return error == EACCES || error == EPERM ? kCFURLResourceAccessViolationError
                                                 : kCFURLUnknownError;
    }
    // Make the rename itself durable; the data is already safe, so a failure changes nothing.
    FileDescriptor dir(
        ::open(path.substr(0, slash + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.Get());
    return 0;
}

}  // namespace
}  // namespace cf::url

namespace cf::file {

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FileDescriptor fd;
    do fd = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    while (!fd && errno == EINTR);
    if (!fd) return errno;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    bytes.resize(S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0);
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // Full at the size fstat gave: most likely the end. Probe with a small read
            // rather than doubling the buffer (a second file's worth of memory to fault in).
            uint8_t probe[4096];
            ssize_t n = ::read(fd.Get(), probe, sizeof probe);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) break;
            bytes.resize(bytes.size() < 4096 ? 4096 : bytes.size() * 2);
            std::memcpy(bytes.data() + have, probe, static_cast<size_t>(n));
            have += static_cast<size_t>(n);
            continue;
        }
        ssize_t n = ::read(fd.Get(), bytes.data() + have, bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return 0;
}

}  // namespace cf::file

extern "C" {

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef url,
                                                 CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef,
                                                 SInt32* errorCode) {
    if (resourceData) *resourceData = nullptr;
    if (properties) *properties = nullptr;
    if (errorCode) *errorCode = 0;
    int32_t injected;
    if (PT_ENTER("CFURLCreateDataAndPropertiesFromResource", injected)) {
        if (errorCode) *errorCode = injected ? injected : static_cast<SInt32>(kCFURLUnknownError);
        return false;
    }
    std::string path;
    SInt32 status = cf::url::FilePath(url, path);
    std::vector<uint8_t> bytes;
    if (status == 0) {
        int error = cf::file::ReadWholeFile(path, bytes);
        if (error) status = error == EISDIR ? kCFURLUnknownError : cf::url::ErrorFor(error);
    }
    if (status == 0 && resourceData) {
        *resourceData = cf::CreateDataAdopting(std::move(bytes));
        if (!*resourceData) status = kCFURLUnknownError;
    }
    if (errorCode) *errorCode = status;
    return status == 0;
}

Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite, CFDictionaryRef,
                                              SInt32* errorCode) {
    if (errorCode) *errorCode = 0;
    int32_t injected;
    if (PT_ENTER("CFURLWriteDataAndPropertiesToResource", injected)) {
        if (errorCode) *errorCode = injected ? injected : static_cast<SInt32>(kCFURLUnknownError);
        return false;
    }
    std::string path;
    SInt32 status = cf::url::FilePath(url, path);
    if (status == 0)
        status = cf::url::WriteFileAtomically(
            path, dataToWrite ? cf::DataBytes(dataToWrite) : nullptr, cf::DataLength(dataToWrite));
    if (errorCode) *errorCode = status;
    return status == 0;
}

Boolean CFURLDestroyResource(CFURLRef url, SInt32* errorCode) {
    if (errorCode) *errorCode = 0;
    int32_t injected;
    if (PT_ENTER("CFURLDestroyResource", injected)) {
        if (errorCode) *errorCode = injected ? injected : static_cast<SInt32>(kCFURLUnknownError);
        return false;
    }
    std::string path;
    SInt32 status = cf::url::FilePath(url, path);
    if (status == 0) {
        struct stat info {};
        bool isDir = ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if ((isDir ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) != 0)
            status = cf::url::ErrorFor(errno);
    }
    if (errorCode) *errorCode = status;
    return status == 0;
}

}  // extern "C"

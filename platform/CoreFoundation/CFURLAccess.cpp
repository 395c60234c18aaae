// Reading and writing the files that file: URLs name. Writes to a regular file are atomic: a
// temporary file in the target's directory is filled, flushed and renamed over the target.
// Devices, pipes and descriptor names (/dev/stdout, /dev/fd/N) are written through in place.
#include <CoreFoundation/CFURLAccess.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <exception>
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

// The Memory Manager's memFullErr: CoreFoundation's headers do not carry it.
constexpr SInt32 kMemFull = -108;

SInt32 ErrorFor(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return kCFURLResourceNotFoundError;
        case EACCES:
        case EPERM:
        case EROFS:
            return kCFURLResourceAccessViolationError;
        case ENOMEM:
            // No URL error code means "out of memory"; the Memory Manager's status does, so
            // a caller can tell it from a file that cannot be read.
            return kMemFull;
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

SInt32 WriteFailure(int error) {
    return error == EACCES || error == EPERM ? kCFURLResourceAccessViolationError
                                             : kCFURLUnknownError;
}

// The descriptor a path names by number rather than a file: /dev/stdin, /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N (and /proc/<our pid>/fd/N); -1 for any other path.
// Reopening one of those would start a new file offset (or, resolved, replace the file the
// shell redirected to); writing to the descriptor itself continues where its owner is.
int NamedDescriptor(const std::string& path) {
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    std::string digits;
    const std::string ownProc = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                      std::string("/proc/thread-self/fd/"), ownProc}) {
        if (path.starts_with(prefix)) digits = path.substr(prefix.size());
    }
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(digits);
}

// Writes to an already open descriptor in place; 0 or the error code.
SInt32 WriteToDescriptor(int fd, const uint8_t* bytes, size_t length) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return kCFURLResourceNotFoundError;
    if ((flags & O_ACCMODE) == O_RDONLY) return kCFURLResourceAccessViolationError;
    return WriteAll(fd, bytes, length) ? 0 : WriteFailure(errno);
}

// Writes through a device, pipe or other file that is not a regular file, in place.
SInt32 WriteInPlace(const std::string& path, const uint8_t* bytes, size_t length) {
    FileDescriptor fd;
    do fd = FileDescriptor(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    while (!fd && errno == EINTR);
    if (!fd) return ErrorFor(errno);
    if (!WriteAll(fd.Get(), bytes, length)) return WriteFailure(errno);
    return fd.Close() ? 0 : WriteFailure(errno);
}

// Follows symbolic links one at a time, so that a link to /dev/stdout is seen as one. Returns
// the last path reached: a descriptor name, or a path that is not a link.
SInt32 FollowLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (NamedDescriptor(path) >= 0) return 0;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        std::string target(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) return kCFURLUnknownError;
        target.resize(static_cast<size_t>(n));
        path = target.starts_with('/') ? target : path.substr(0, path.rfind('/') + 1) + target;
    }
    return kCFURLUnknownError;  // a loop of links
}

// Fills, flushes and renames a temporary file over `path`, giving it the replaced file's
// owner (where the process may set it) and permissions.
SInt32 ReplaceAtomically(const std::string& path, const struct stat* existing, const uint8_t* bytes,
                         size_t length) {
    size_t slash = path.rfind('/');
    file::TemporaryFile temp(path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX");
    if (temp.Error()) return ErrorFor(temp.Error());
    const int fd = temp.Descriptor().Get();
    if (existing && ::fchown(fd, existing->st_uid, existing->st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), existing->st_gid);  // the group at least
    const mode_t mode = existing ? existing->st_mode & 07777 : NewFileMode();
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes, length) && ::fsync(fd) == 0;
    int error = errno;
    ok = temp.Descriptor().Close() && ok;
    if (ok && (error = temp.RenameTo(path)) != 0) ok = false;
    if (!ok) return WriteFailure(error);  // the temporary file goes with `temp`
    // Make the rename itself durable; the data is already safe, so a failure changes nothing.
    FileDescriptor dir(
        ::open(path.substr(0, slash + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.Get());
    return 0;
}

// Writes bytes to `path`: a regular file (or a new one) is replaced atomically; a descriptor
// name, device or pipe is written through in place.
SInt32 WriteFile(std::string path, const uint8_t* bytes, size_t length) {
    if (path.ends_with('/')) return kCFURLImproperArgumentsError;
    if (SInt32 status = FollowLinks(path)) return status;
    if (int fd = NamedDescriptor(path); fd >= 0) return WriteToDescriptor(fd, bytes, length);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return kCFURLUnknownError;
        if (!S_ISREG(info.st_mode)) return WriteInPlace(path, bytes, length);
        return ReplaceAtomically(path, &info, bytes, length);
    }
    if (errno != ENOENT) return ErrorFor(errno);
    return ReplaceAtomically(path, nullptr, bytes, length);
}

}  // namespace
}  // namespace cf::url

namespace cf::file {

namespace {

// Reads until `bytes` is full or the end; the count read, or -1 with errno set.
ssize_t ReadInto(int fd, uint8_t* bytes, size_t size) {
    size_t have = 0;
    while (have < size) {
        ssize_t n = ::read(fd, bytes + have, size - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(have);
}

int ReadStream(int fd, std::vector<uint8_t>& bytes) {
    size_t have = 0;
    for (;;) {
        // One byte past the limit tells a source of exactly the limit from a longer one.
        if (have == bytes.size())
            bytes.resize(std::min(kMaxStreamBytes + 1, std::max<size_t>(4096, have * 2)));
        ssize_t n = ReadInto(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) return errno;
        have += static_cast<size_t>(n);
        if (have > kMaxStreamBytes) return EFBIG;
        if (have < bytes.size()) break;  // the end came first
    }
    bytes.resize(have);
    return 0;
}

}  // namespace

int ReadWholeFile(const std::string& path, CFDataRef& data) {
    data = nullptr;
    FileDescriptor fd;
    do fd = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    while (!fd && errno == EINTR);
    if (!fd) return errno;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (!S_ISREG(info.st_mode)) {
        std::vector<uint8_t> bytes;
        try {
            if (int error = ReadStream(fd.Get(), bytes)) return error;
        } catch (const std::exception&) {  // bad_alloc or length_error
            return ENOMEM;
        }
        data = CreateDataAdopting(std::move(bytes));
        return data ? 0 : ENOMEM;
    }
    // A block that is not zeroed first: a large file's bytes are written once, by the read.
    const size_t size = info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
    auto* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!bytes) return ENOMEM;
    const ssize_t n = ReadInto(fd.Get(), bytes, size);
    if (n < 0) {
        const int error = errno;
        std::free(bytes);
        return error;
    }
    data = CreateDataAdoptingMalloc(bytes, static_cast<size_t>(n));  // n < size: it shrank
    return data ? 0 : ENOMEM;
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
    CFDataRef data = nullptr;
    if (status == 0) {
        int error = cf::file::ReadWholeFile(path, data);
        if (error) status = error == EISDIR ? kCFURLUnknownError : cf::url::ErrorFor(error);
    }
    if (resourceData) {
        *resourceData = data;
    } else if (data) {
        CFRelease(data);
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
        status = cf::url::WriteFile(path, dataToWrite ? cf::DataBytes(dataToWrite) : nullptr,
                                    cf::DataLength(dataToWrite));
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

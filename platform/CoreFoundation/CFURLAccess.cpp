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
#include "platform/CoreFoundation/CFFilePrivate.h"
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
        case EBADF:
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

// The bytes to write.
struct Output {
    const uint8_t* bytes;
    size_t length;
};

// 0, or the errno value of the write that failed.
int WriteAll(int fd, Output out) {
    while (out.length > 0) {
        ssize_t n = ::write(fd, out.bytes, out.length > SSIZE_MAX ? SSIZE_MAX : out.length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        out.bytes += n;
        out.length -= static_cast<size_t>(n);
    }
    return 0;
}

FileDescriptor OpenFile(const std::string& path, int flags, mode_t mode = 0) {
    FileDescriptor fd;
    do fd = FileDescriptor(::open(path.c_str(), flags | O_CLOEXEC, mode));
    while (!fd && errno == EINTR);
    return fd;
}

bool IsLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The path the kernel resolved `fd` to (through /proc), or `fallback` without /proc.
std::string ResolvedPath(int fd, const std::string& fallback) {
    std::string target(PATH_MAX, '\0');
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(self.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size() || target[0] != '/') return fallback;
    target.resize(static_cast<size_t>(n));
    return target;
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

// The descriptor named at the end of a chain of symbolic links (a link to /dev/stdout), or -1.
// Only names are compared here: the kernel has already followed the same chain.
int LinkedDescriptor(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        if (int fd = NamedDescriptor(path); fd >= 0) return fd;
        std::string target(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) return -1;
        target.resize(static_cast<size_t>(n));
        path = target.starts_with('/') ? target : path.substr(0, path.rfind('/') + 1) + target;
    }
    return -1;
}

// The file `found` (an O_PATH descriptor) reopened through /proc, the very file found; without
// /proc, by its resolved path.
FileDescriptor OpenWritable(int found, const std::string& resolved, int access) {
    FileDescriptor fd = OpenFile("/proc/self/fd/" + std::to_string(found), access | O_NOCTTY);
    if (!fd && errno == ENOENT) fd = OpenFile(resolved, access | O_NOCTTY);
    return fd;
}

// Writes to an already open descriptor in place; 0 or the errno value.
int WriteToDescriptor(int fd, Output out) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return errno;
    if ((flags & O_ACCMODE) == O_RDONLY) return EACCES;
    return WriteAll(fd, out);
}

// Writes through a device, pipe or other file that is not a regular file, in place.
int WriteThrough(FileDescriptor fd, Output out) {
    if (int error = WriteAll(fd.Get(), out)) return error;
    return fd.Close() ? 0 : errno;
}

// A regular file rewritten in place, which keeps its hard links and owner, and cannot tear.
int RewriteInPlace(int fd, Output out) {
    return file::RewriteInPlace(fd, out.bytes, out.length);
}

mode_t NewFileMode() {
    mode_t mask = ::umask(0);  // the only portable way to read the umask
    ::umask(mask);
    return 0644 & ~mask;
}

// Fills, flushes and renames a temporary file over `path`, giving it the replaced file's
// owner (where the process may set it) and permissions.
// `noTemporary`, when given, is set when the folder took no temporary file (the error is then
// the folder's, not the target's).
int ReplaceAtomically(const std::string& path, const struct stat* existing, Output out,
                      bool* noTemporary = nullptr) {
    file::TemporaryFile temp(file::TemporaryTemplateFor(path));
    if (noTemporary) *noTemporary = temp.Error() != 0;
    if (temp.Error()) return temp.Error();
    const int fd = temp.Descriptor().Get();
    if (existing && ::fchown(fd, existing->st_uid, existing->st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), existing->st_gid);  // the group at least
    const mode_t mode = existing ? existing->st_mode & 07777 : NewFileMode();
    int error = ::fchmod(fd, mode) != 0 ? errno : WriteAll(fd, out);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (!temp.Descriptor().Close() && !error) error = errno;
    if (!error) error = temp.RenameTo(path);
    if (error) return error;  // the temporary file goes with `temp`
    // Make the rename itself durable; the data is already safe, so a failure changes nothing.
    const size_t slash = path.rfind('/');
    FileDescriptor dir = OpenFile(path.substr(0, slash + 1), O_RDONLY | O_DIRECTORY);
    if (dir) ::fsync(dir.Get());
    return 0;
}

// A regular file the caller could open for writing. A rename would break its hard links, and
// give another user's file to the caller: those are rewritten in place instead, as is a file
// in a folder where the caller may not make or rename files (or that takes none), and a file
// already deleted (named through /proc/PID/fd/N, whose resolved name ends in " (deleted)" and names
// nothing).
int WriteRegularFile(const std::string& path, FileDescriptor writable, const struct stat& info,
                     Output out) {
    if (info.st_nlink != 1 || (info.st_uid != ::geteuid() && ::geteuid() != 0))
        return RewriteInPlace(writable.Get(), out);
    bool noTemporary = false;
    const int error = ReplaceAtomically(path, &info, out, &noTemporary);
    // A folder that takes no new file (no permission, /proc, a full quota): the target itself
    // is writable, and its own answer is the one to give.
    if (noTemporary || error == EACCES || error == EPERM)
        return RewriteInPlace(writable.Get(), out);
    return error;
}

// A path that names nothing yet: a new file, or the missing target of a dangling link, which
// the kernel creates where it would let the caller follow the link.
int WriteNewFile(const std::string& path, Output out) {
    if (!IsLink(path)) return ReplaceAtomically(path, nullptr, out);
    FileDescriptor created = OpenFile(path, O_RDWR | O_CREAT | O_NOCTTY, 0644);
    if (!created) return errno;
    const int error = RewriteInPlace(created.Get(), out);
    if (error) ::unlink(ResolvedPath(created.Get(), path).c_str());
    return error;
}

// Writes bytes to `path`: a regular file (or a new one) is replaced atomically; a descriptor
// name, device or pipe is written through in place. The kernel resolves the path, so a target
// the caller could not open for writing is refused, and a symbolic link is followed only where
// the kernel would follow it for the caller (fs.protected_symlinks). 0 or the errno value.
int WriteFile(const std::string& path, Output out) {
    if (int fd = NamedDescriptor(path); fd >= 0) return WriteToDescriptor(fd, out);
    FileDescriptor found = OpenFile(path, O_PATH);
    if (!found) return errno == ENOENT ? WriteNewFile(path, out) : errno;
    std::string resolved = path;
    if (IsLink(path)) {
        if (int fd = LinkedDescriptor(path); fd >= 0) return WriteToDescriptor(fd, out);
        resolved = ResolvedPath(found.Get(), path);
    }
    struct stat info {};
    if (::fstat(found.Get(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    // A regular file readable too where it may be, so that a rewrite in place can put the old
    // bytes back (a pipe is never opened for reading: that would not wait for its reader).
    const bool regular = S_ISREG(info.st_mode);
    FileDescriptor writable = OpenWritable(found.Get(), resolved, regular ? O_RDWR : O_WRONLY);
    if (!writable && regular && errno == EACCES)
        writable = OpenWritable(found.Get(), resolved, O_WRONLY);
    if (!writable) return errno;
    if (!S_ISREG(info.st_mode)) return WriteThrough(std::move(writable), out);
    return WriteRegularFile(resolved, std::move(writable), info, out);
}

thread_local int gLastError = 0;

}  // namespace
}  // namespace cf::url

extern "C" {

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef url,
                                                 CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef,
                                                 SInt32* errorCode) {
    if (resourceData) *resourceData = nullptr;
    if (properties) *properties = nullptr;
    if (errorCode) *errorCode = 0;
    cf::url::gLastError = 0;
    int32_t injected;
    if (PT_ENTER("CFURLCreateDataAndPropertiesFromResource", injected)) {
        if (errorCode) *errorCode = injected ? injected : static_cast<SInt32>(kCFURLUnknownError);
        return false;
    }
    std::string path;
    SInt32 status = cf::url::FilePath(url, path);
    CFDataRef data = nullptr;
    int error = 0;
    if (status == 0) {
        error = cf::file::ReadWholeFile(path, data);
        if (error)
            status = error == EISDIR ? static_cast<SInt32>(kCFURLUnknownError)
                                     : cf::url::ErrorFor(error);
    }
    cf::url::gLastError = error;
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
    cf::url::gLastError = 0;
    int32_t injected;
    if (PT_ENTER("CFURLWriteDataAndPropertiesToResource", injected)) {
        if (errorCode) *errorCode = injected ? injected : static_cast<SInt32>(kCFURLUnknownError);
        return false;
    }
    std::string path;
    SInt32 status = cf::url::FilePath(url, path);
    int error = 0;
    if (status == 0 && path.ends_with('/')) {
        status = kCFURLImproperArgumentsError;
        error = EISDIR;
    } else if (status == 0) {
        error = cf::url::WriteFile(path, {dataToWrite ? cf::DataBytes(dataToWrite) : nullptr,
                                          cf::DataLength(dataToWrite)});
        if (error) status = cf::url::ErrorFor(error);
    }
    cf::url::gLastError = error;
    if (errorCode) *errorCode = status;
    return status == 0;
}

int PBFileLastError(void) {
    return cf::url::gLastError;
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

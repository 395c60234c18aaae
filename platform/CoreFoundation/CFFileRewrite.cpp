// Rewriting a regular file in place so that it cannot tear: the file holds its old bytes or its
// new ones, never a mix, whatever fails or arrives while it is written.
//  - A new size past RLIMIT_FSIZE is refused (EFBIG) before anything is written, and SIGXFSZ is
//    ignored meanwhile, so a write the limit stops fails instead of ending the process.
//  - The room is claimed first (fallocate, or zeros written past the old end where the file
//    system cannot allocate), so a full disk fails before the first old byte is overwritten.
//  - SIGINT, SIGTERM and SIGHUP are held until the file is whole again, then delivered.
//  - The old bytes are read first; if a write fails after the first one, they are put back.
//    A file the caller may write but not read cannot be kept that way: it is written without.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/CoreFoundation/CFFileAccess.h"

namespace cf::file {
namespace {

// For its lifetime: the terminating signals held, and SIGXFSZ ignored when it had the default
// disposition (a host that handles it keeps its own handler).
class RewriteSignals {
public:
    RewriteSignals() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
        ::pthread_sigmask(SIG_BLOCK, &held, &mSavedMask);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        mIgnoring = ::sigaction(SIGXFSZ, nullptr, &mSavedXFSZ) == 0 &&
                    !(mSavedXFSZ.sa_flags & SA_SIGINFO) && mSavedXFSZ.sa_handler == SIG_DFL &&
                    ::sigaction(SIGXFSZ, &ignore, nullptr) == 0;
    }
    ~RewriteSignals() {
        if (mIgnoring) ::sigaction(SIGXFSZ, &mSavedXFSZ, nullptr);
        ::pthread_sigmask(SIG_SETMASK, &mSavedMask, nullptr);
    }
    RewriteSignals(const RewriteSignals&) = delete;
    RewriteSignals& operator=(const RewriteSignals&) = delete;

private:
    sigset_t mSavedMask;
    struct sigaction mSavedXFSZ {};
    bool mIgnoring = false;
};

// 0, or EFBIG when a file of `length` bytes would pass the process's file-size limit.
int CheckSizeLimit(size_t length) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return length > limit.rlim_cur ? EFBIG : 0;
}

// `count` bytes at `offset`; 0 or the errno value.
int PutAt(int fd, const uint8_t* bytes, size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, bytes, count > SSIZE_MAX ? SSIZE_MAX : count, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        bytes += n;
        count -= static_cast<size_t>(n);
        offset += n;
    }
    return 0;
}

// The whole file; false when it cannot be read (a write-only descriptor).
bool ReadOld(int fd, std::vector<uint8_t>& old) {
    uint8_t chunk[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        old.insert(old.end(), chunk, chunk + n);
        at += n;
    }
}

// Blocks for the file's first `length` bytes. Without fallocate, zeros written past the old end
// claim the growth; the blocks under the old bytes are there already.
int ClaimRoom(int fd, size_t oldLength, size_t length) {
    if (length == 0) return 0;
    if (::fallocate(fd, 0, 0, static_cast<off_t>(length)) == 0) return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
    static const uint8_t kZeros[1 << 12] = {};
    for (size_t at = oldLength; at < length;) {
        const size_t count = length - at < sizeof kZeros ? length - at : sizeof kZeros;
        if (int error = PutAt(fd, kZeros, count, static_cast<off_t>(at))) return error;
        at += count;
    }
    return 0;
}

int PutWhole(int fd, const uint8_t* bytes, size_t length) {
    if (int error = PutAt(fd, bytes, length, 0)) return error;
    if (::ftruncate(fd, static_cast<off_t>(length)) != 0 || ::fsync(fd) != 0) return errno;
    return 0;
}

}  // namespace

int RewriteInPlace(int fd, const uint8_t* bytes, size_t length) {
    RewriteSignals held;
    if (int error = CheckSizeLimit(length)) return error;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return errno;
    const auto oldLength = static_cast<size_t>(info.st_size);
    std::vector<uint8_t> old;
    bool kept = false;
    try {
        old.reserve(oldLength);
        kept = ReadOld(fd, old);
    } catch (const std::bad_alloc&) {
        return ENOMEM;  // nothing written yet
    }
    if (int error = ClaimRoom(fd, oldLength, length)) {
        (void)::ftruncate(fd, static_cast<off_t>(oldLength));  // fallocate may have grown it
        return error;
    }
    const int error = PutWhole(fd, bytes, length);
    if (error && kept) (void)PutWhole(fd, old.data(), old.size());
    return error;
}

}  // namespace cf::file

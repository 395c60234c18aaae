// Reading whole files: a large regular file is mapped (the page cache's own pages, no copy), a
// small one read by its size, and a device or pipe read up to the read limit. A mapping is
// guarded against the file being shortened while it is mapped.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <vector>

#include "platform/CoreFoundation/CFFileAccess.h"
#include "platform/CoreFoundation/CFFilePrivate.h"
#include "platform/CoreFoundation/CFInternal.h"

namespace cf::file {
namespace {

std::atomic<size_t> gReadLimit{PB_DEFAULT_READ_LIMIT};

// Below this a read costs less than setting up and tearing down a mapping.
constexpr size_t kMapThreshold = size_t{256} << 10;

// A mapped file that another process shortens would end the process with SIGBUS at the first
// read past its new end. While a mapping is guarded, the handler maps zeros over the part that
// went away and notes it, so a reader finds zeros (an early end) and its caller can be told.
std::atomic<uintptr_t> gGuardedStart{0};
std::atomic<uintptr_t> gGuardedEnd{0};
std::atomic<bool> gGuardedShrank{false};
uintptr_t gPageSize = 0;
struct sigaction gPreviousBusAction;

void OnBusError(int, siginfo_t* info, void*) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    const uintptr_t end = gGuardedEnd.load();
    if (address >= gGuardedStart.load() && address < end) {
        const uintptr_t page = address & ~(gPageSize - 1);
        if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            gGuardedShrank = true;
            return;  // the read is tried again, on zeros
        }
    }
    // Not a guarded mapping: the fault ends the process as it would have without us.
    ::sigaction(SIGBUS, &gPreviousBusAction, nullptr);
}

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
    const size_t limit = ReadLimit();
    size_t have = 0;
    for (;;) {
        // One byte past the limit tells a source of exactly the limit from a longer one.
        if (have == bytes.size())
            bytes.resize(std::min(limit + 1, std::max<size_t>(4096, have * 2)));
        ssize_t n = ReadInto(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0) return errno;
        have += static_cast<size_t>(n);
        if (have > limit) return EFBIG;
        if (have < bytes.size()) break;  // the end came first
    }
    bytes.resize(have);
    return 0;
}

void ReleaseMapping(const uint8_t* start, size_t length) {
    PBFileUnguardMapping(start);
    ::munmap(const_cast<uint8_t*>(start), length);
}

// A guarded read-only mapping of the whole file as a data object; NULL when it cannot be made
// (the caller reads the file instead).
CFDataRef MapWholeFile(int fd, size_t size) {
    void* map = PBFileMapGuarded(fd, size, 0);
    if (!map) return nullptr;
    return CreateDataAdoptingMapping(static_cast<uint8_t*>(map), size, ReleaseMapping);
}

int ReadRegularFile(int fd, size_t size, CFDataRef& data) {
    if (size >= kMapThreshold && (data = MapWholeFile(fd, size))) return 0;
    // A block that is not zeroed first: a large file's bytes are written once, by the read.
    auto* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!bytes) return ENOMEM;
    const ssize_t n = ReadInto(fd, bytes, size);
    if (n < 0) {
        const int error = errno;
        std::free(bytes);
        return error;
    }
    data = CreateDataAdoptingMalloc(bytes, static_cast<size_t>(n));  // n < size: it shrank
    return data ? 0 : ENOMEM;
}

}  // namespace

size_t ReadLimit() {
    return gReadLimit.load();
}

int ReadWholeFile(const std::string& path, CFDataRef& data) {
    data = nullptr;
    FileDescriptor fd;
    do fd = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    while (!fd && errno == EINTR);
    if (!fd) return errno;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return errno;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    if (S_ISREG(info.st_mode))
        return ReadRegularFile(fd.Get(), info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0,
                               data);
    std::vector<uint8_t> bytes;
    try {
        if (int error = ReadStream(fd.Get(), bytes)) return error;
    } catch (const std::exception&) {  // bad_alloc or length_error
        return ENOMEM;
    }
    data = CreateDataAdopting(std::move(bytes));
    return data ? 0 : ENOMEM;
}

}  // namespace cf::file

extern "C" {

void PBFileSetReadLimit(size_t bytes) {
    cf::file::gReadLimit = bytes;
}

size_t PBFileReadLimit(void) {
    return cf::file::ReadLimit();
}

int PBFileGuardMapping(const void* start, size_t length) {
    using namespace cf::file;
    static const bool installed = [] {
        gPageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &gPreviousBusAction) == 0;
    }();
    uintptr_t none = 0;
    const auto begin = reinterpret_cast<uintptr_t>(start);
    // The start is claimed first; no read of the new mapping can fault before it is returned.
    if (!installed || !gGuardedStart.compare_exchange_strong(none, begin)) return false;
    gGuardedShrank = false;
    gGuardedEnd = begin + length;
    return true;
}

void PBFileUnguardMapping(const void* start) {
    using namespace cf::file;
    // Only the holder of the guard changes it until the start is given back, last.
    if (gGuardedStart.load() != reinterpret_cast<uintptr_t>(start)) return;
    gGuardedEnd = 0;
    gGuardedStart = 0;
}

int PBFileGuardedMappingShrank(void) {
    return cf::file::gGuardedShrank.load();
}

void* PBFileMapGuarded(int fd, size_t length, long long offset) {
    const int populate = length <= PB_POPULATE_LIMIT ? MAP_POPULATE : 0;
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | populate, fd, offset);
    if (map == MAP_FAILED) return nullptr;
    if (PBFileGuardMapping(map, length)) return map;
    ::munmap(map, length);
    return nullptr;
}

}  // extern "C"

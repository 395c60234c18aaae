// Reading the tool's input files, with the system's reason when that fails, and parsing them
// in every format the tool reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

int Complain(int exitStatus, const std::string& message) {
    std::fprintf(stderr, "plistbridge: %s\n", message.c_str());
    return exitStatus;
}

namespace {

// A mapped input that another process shortens would kill the tool with SIGBUS at the first
// read past its new end. While an input is mapped, a handler maps zeros over the part that went
// away and notes it, so the reader finds an early end (or zeros) and the tool can say that the
// file changed while it was read. One input is guarded at a time; another is read instead.
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
        if (mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            gGuardedShrank = true;
            return;  // the read is tried again, on zeros
        }
    }
    // Not a guarded input: the fault ends the process as it would have without us.
    sigaction(SIGBUS, &gPreviousBusAction, nullptr);
}

bool GuardMapping(const void* map, size_t length) {
    static const bool installed = [] {
        gPageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, &gPreviousBusAction) == 0;
    }();
    if (!installed || gGuardedStart.load() != 0) return false;
    gGuardedShrank = false;
    const auto start = reinterpret_cast<uintptr_t>(map);
    gGuardedEnd = start + length;
    gGuardedStart = start;
    return true;
}

void UnguardMapping() {
    gGuardedStart = 0;
    gGuardedEnd = 0;
}

// A read-only private mapping of `length` bytes of `fd` from `offset`, populated at once and
// guarded; NULL when the file cannot be mapped or another input is guarded.
void* MapInput(int fd, size_t length, off_t offset) {
    void* map = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, offset);
    if (map == MAP_FAILED) return nullptr;
    if (GuardMapping(map, length)) return map;
    munmap(map, length);
    return nullptr;
}

// Reads all of `fd` into a malloc'd block that the data object takes over: no zero fill and
// no copy, which on a large file cost as much as parsing it. On a read error, NULL with errno
// set, or with `keepOnError` the data read before it, as if the input ended there.
CFDataRef ReadAll(int fd, bool keepOnError = false) {
    struct stat info;
    size_t capacity = 1 << 16;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        capacity = static_cast<size_t>(info.st_size) + 1;  // one read, and one to see the end
    size_t length = 0;
    auto* bytes = static_cast<UInt8*>(std::malloc(capacity));
    for (;;) {
        if (!bytes) {
            errno = ENOMEM;
            return nullptr;
        }
        if (length == capacity) {
            capacity *= 2;
            auto* grown = static_cast<UInt8*>(std::realloc(bytes, capacity));
            if (!grown) std::free(bytes);
            bytes = grown;
            continue;
        }
        const ssize_t got = read(fd, bytes + length, capacity - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && keepOnError) break;
        if (got < 0) {
            const int error = errno;
            std::free(bytes);
            errno = error;
            return nullptr;
        }
        if (got == 0) break;
        length += static_cast<size_t>(got);
    }
    CFDataRef data = CFDataCreateWithBytesNoCopy(kCFAllocatorDefault, bytes,
                                                 static_cast<CFIndex>(length), kCFAllocatorMalloc);
    if (!data) errno = ENOMEM;
    return data;
}

// The reader's "… at line N" becomes "… on line N".
std::string WithLine(std::string reason) {
    const size_t at = reason.rfind(" at line ");
    if (at != std::string::npos) reason.replace(at, 3, " on");
    return reason;
}

}  // namespace

bool InputFile::Open(const std::string& path, std::string& reason) {
    Close();
    if (path == "-") {
        if (MapStandardInput()) return true;
        mData.Reset(ReadAll(STDIN_FILENO));
        if (!mData) reason = std::strerror(errno);
        return static_cast<bool>(mData);
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        reason = std::strerror(EISDIR);
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        // Mapped whole and populated at once: the page cache's own pages, no copy.
        if (void* map = MapInput(fd, static_cast<size_t>(info.st_size), 0)) {
            close(fd);
            mMap = map;
            mMapLength = static_cast<size_t>(info.st_size);
            return true;
        }
    }
    mData.Reset(ReadAll(fd));
    const int readError = errno;
    close(fd);
    if (!mData) reason = std::strerror(readError);
    return static_cast<bool>(mData);
}

void InputFile::OpenStandardInput() {
    Close();
    if (MapStandardInput()) return;
    mData.Reset(ReadAll(STDIN_FILENO, true));
    if (!mData) throw std::bad_alloc();  // the only failure left when errors end the input
}

// A regular file is mapped from where standard input stands (a page boundary before it), and
// the offset moved to its end as reading it would. False for anything else.
bool InputFile::MapStandardInput() {
    struct stat info;
    const off_t at = lseek(STDIN_FILENO, 0, SEEK_CUR);
    const long page = sysconf(_SC_PAGESIZE);
    if (at >= 0 && page > 0 && fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size > at) {
        const off_t base = at - at % page;
        const auto length = static_cast<size_t>(info.st_size - base);
        if (void* map = MapInput(STDIN_FILENO, length, base)) {
            mMap = map;
            mMapLength = length;
            mMapSkip = static_cast<size_t>(at - base);
            lseek(STDIN_FILENO, 0, SEEK_END);
            return true;
        }
    }
    return false;
}

std::string_view InputFile::Bytes() const {
    if (mMap) return {static_cast<const char*>(mMap) + mMapSkip, mMapLength - mMapSkip};
    return mData ? BytesOf(mData.Get()) : std::string_view();
}

bool InputFile::Shrank() const {
    return mMap && gGuardedShrank.load();
}

void InputFile::Close() {
    if (mMap) {
        munmap(mMap, mMapLength);
        UnguardMapping();
    }
    mMap = nullptr;
    mMapLength = 0;
    mMapSkip = 0;
    mData.Reset();
}

std::string FileProblem(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::strerror(errno);
    struct stat info;
    std::string problem;
    if (fstat(fd, &info) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        problem = std::strerror(EISDIR);
    else if (!S_ISREG(info.st_mode))
        // The platform reads devices and pipes only up to its stream limit (64 MB).
        problem = "a device or pipe that gives more than 64 MB";
    close(fd);
    return problem;
}

bool ParseInput(std::string_view bytes, CFRef<CFPropertyListRef>& out, std::string& reason) {
    CFRef<CFDataRef> data(CFDataCreateWithBytesNoCopy(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
        static_cast<CFIndex>(bytes.size()), kCFAllocatorNull));
    CFStringRef complaint = nullptr;
    out.Reset(CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data.Get(),
                                              kCFPropertyListImmutable, &complaint));
    CFRef<CFStringRef> ownedComplaint(complaint);
    if (out) return true;
    std::string plistReason = "not a property list";
    if (complaint) {
        CFRef<CFDataRef> utf8(CFStringCreateExternalRepresentation(kCFAllocatorDefault, complaint,
                                                                   kCFStringEncodingUTF8, '?'));
        if (utf8)
            plistReason.assign(reinterpret_cast<const char*>(CFDataGetBytePtr(utf8.Get())),
                               static_cast<size_t>(CFDataGetLength(utf8.Get())));
    }
    plistReason = WithLine(plistReason);
    // JSON is tried after the property-list readers: "{…}" may be old-style text, and
    // nothing else starts with '[' or '{'.
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    const size_t bom = bytes.starts_with("\xEF\xBB\xBF") ? bytes.find_first_not_of(" \t\r\n", 3)
                                                         : std::string_view::npos;
    const size_t start = bom != std::string_view::npos ? bom : first;
    if (start == std::string_view::npos || (bytes[start] != '[' && bytes[start] != '{')) {
        reason = plistReason;
        return false;
    }
    std::string jsonReason;
    if (plisttext::ReadJSON(bytes, out, jsonReason)) return true;
    // Both refused. '[' is JSON's alone; after '{', a key without a quote or followed by '='
    // means old-style text, whose reader speaks for it, and anything else is taken as JSON.
    const bool oldStyle =
        bytes[start] == '{' && (jsonReason.starts_with("expected a string key") ||
                                jsonReason.starts_with("expected ':' after a key, found '='"));
    reason = oldStyle ? plistReason : "JSON: " + jsonReason;
    return false;
}

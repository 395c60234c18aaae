// Reading the tool's input files, with the system's reason when that fails, and parsing them
// in every format the tool reads.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/CoreFoundation/CFFilePrivate.h"
#include "tools/cli/ToolSupport.h"
#include "tools/formats/PListTextFormats.h"

std::string EscapeControls(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped.push_back(c);
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            escaped += "\\x";
            escaped.push_back(kHex[byte >> 4]);
            escaped.push_back(kHex[byte & 15]);
        }
    }
    return escaped;
}

std::string StatusSuffix(OSStatus status) {
    return " (" + std::to_string(status) + ")";
}

int Complain(int exitStatus, const std::string& message) {
    const std::string line = "plistbridge: " + EscapeControls(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return exitStatus;
}

int ComplainOutputFailed(std::string_view command, int error) {
    if (error == EPIPE) return kExitFailed;
    const std::string prefix = command.empty() ? "" : std::string(command) + ": ";
    const std::string reason = error ? std::strerror(error) : "an output error";
    return Complain(kExitFailed, prefix + "cannot write the output: " + reason);
}

namespace {

// Reads all of `fd` into a malloc'd block that the data object takes over: no zero fill and
// no copy, which on a large file cost as much as parsing it. A source without a size is read up
// to the platform's read limit (EFBIG past it). On a read error, NULL with errno set, or with
// `keepOnError` the data read before it, as if the input ended there.
CFDataRef ReadAll(int fd, bool keepOnError = false) {
    struct stat info;
    size_t capacity = 1 << 16;
    size_t limit = PBFileReadLimit();
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        limit = SIZE_MAX;
        if (info.st_size > 0) capacity = static_cast<size_t>(info.st_size) + 1;  // and the end
    }
    size_t length = 0;
    auto* bytes = static_cast<UInt8*>(std::malloc(capacity));
    for (;;) {
        if (!bytes) {
            errno = ENOMEM;
            return nullptr;
        }
        if (length > limit) {
            std::free(bytes);
            errno = EFBIG;
            return nullptr;
        }
        if (length == capacity) {
            // One byte past the limit tells a source of exactly the limit from a longer one.
            capacity = limit < SIZE_MAX / 2 ? std::min(capacity * 2, limit + 1) : capacity * 2;
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

}  // namespace

bool InputFile::Open(const std::string& path, std::string& reason) {
    Close();
    if (path == "-") {
        if (MapStandardInput()) return true;
        mData.Reset(ReadAll(STDIN_FILENO));
        if (!mData && errno == ENOMEM) throw std::bad_alloc();
        if (!mData) reason = ReadProblem(errno);
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
        if (void* map = PBFileMapGuarded(fd, static_cast<size_t>(info.st_size), 0)) {
            close(fd);
            mMap = map;
            mMapLength = static_cast<size_t>(info.st_size);
            return true;
        }
    }
    mData.Reset(ReadAll(fd));
    const int readError = errno;
    close(fd);
    if (!mData && readError == ENOMEM) throw std::bad_alloc();
    if (!mData) reason = ReadProblem(readError);
    return static_cast<bool>(mData);
}

bool InputFile::OpenStandardInput(std::string& reason) {
    Close();
    if (MapStandardInput()) return true;
    mData.Reset(ReadAll(STDIN_FILENO, true));
    if (!mData && errno == ENOMEM) throw std::bad_alloc();
    if (!mData) reason = ReadProblem(errno);  // past the read limit
    return static_cast<bool>(mData);
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
        if (void* map = PBFileMapGuarded(STDIN_FILENO, length, base)) {
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
    return mMap && PBFileGuardedMappingShrank();
}

void InputFile::Close() {
    if (mMap) {
        PBFileUnguardMapping(mMap);
        munmap(mMap, mMapLength);
    }
    mMap = nullptr;
    mMapLength = 0;
    mMapSkip = 0;
    mData.Reset();
}

std::string SizeText(size_t bytes) {
    if (bytes != 0 && bytes % (size_t{1} << 30) == 0) return std::to_string(bytes >> 30) + " GB";
    if (bytes != 0 && bytes % (size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MB";
    if (bytes != 0 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

std::string ReadProblem(int error) {
    if (error == ENOMEM) return "out of memory";
    if (error != EFBIG) return std::strerror(error);
    return "a device or pipe that gives more than " + SizeText(PBFileReadLimit());
}

std::string WriteProblem(SInt32 code) {
    if (const int error = PBFileLastError()) return std::strerror(error);
    switch (code) {
        case kCFURLResourceNotFoundError:
            return std::strerror(ENOENT);
        case kCFURLResourceAccessViolationError:
            return std::strerror(EACCES);
        default:
            return "cannot be written";
    }
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
        // The platform reads devices and pipes only up to its read limit.
        problem = ReadProblem(EFBIG);
    close(fd);
    return problem;
}

bool ParseInput(std::string_view bytes, CFRef<CFPropertyListRef>& out, std::string& reason,
                bool* readAsJSON) {
    if (readAsJSON) *readAsJSON = false;
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
    // The readers' one failure that is not the input's.
    if (plistReason == "Out of memory while building the property list") throw std::bad_alloc();
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
    if (plisttext::ReadJSON(bytes, out, jsonReason)) {
        if (readAsJSON) *readAsJSON = true;
        return true;
    }
    // Both refused. '[' is JSON's alone; after '{', a key without a quote or followed by '='
    // means old-style text, whose reader speaks for it, and anything else is taken as JSON.
    const bool oldStyle =
        bytes[start] == '{' && (jsonReason.starts_with("expected a string key") ||
                                jsonReason.starts_with("expected ':' after a key, found '='"));
    reason = oldStyle ? plistReason : "JSON: " + jsonReason;
    return false;
}

// Reading the tool's input files, with the system's reason when that fails, and parsing them
// in every format the tool reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/ToolCommands.h"
#include "tools/formats/PListTextFormats.h"

int Complain(int exitStatus, const std::string& message) {
    std::fprintf(stderr, "plistbridge: %s\n", message.c_str());
    return exitStatus;
}

namespace {

// Reads all of `fd` in large steps; false with errno set on a read error.
bool ReadAll(int fd, std::string& bytes) {
    bytes.clear();
    struct stat info;
    size_t step = 1 << 16;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        step = static_cast<size_t>(info.st_size) + 1;  // one read for a regular file
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + step);
        const ssize_t got = read(fd, bytes.data() + used, step);
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (got <= 0) {
            bytes.resize(used);
            return got == 0;
        }
        bytes.resize(used + static_cast<size_t>(got));
        step = std::max<size_t>(step, 1 << 16);
    }
}

// The reader's "… at line N" becomes "… on line N".
std::string WithLine(std::string reason) {
    const size_t at = reason.rfind(" at line ");
    if (at != std::string::npos) reason.replace(at, 3, " on");
    return reason;
}

}  // namespace

bool ReadInputFile(const std::string& path, std::string& bytes, std::string& reason) {
    if (path == "-") {
        if (ReadAll(STDIN_FILENO, bytes)) return true;
        reason = std::strerror(errno);
        return false;
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
    const bool ok = ReadAll(fd, bytes);
    const int readError = errno;
    close(fd);
    if (!ok) reason = std::strerror(readError);
    return ok;
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
        problem = "not a regular file";
    close(fd);
    return problem;
}

bool ParseInput(std::string_view bytes, CFRef<CFPropertyListRef>& out, std::string& reason) {
    CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault,
                                       reinterpret_cast<const UInt8*>(bytes.data()),
                                       static_cast<CFIndex>(bytes.size())));
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
    const bool oldStyle = bytes[start] == '{' &&
                          (jsonReason.starts_with("expected a string key") ||
                           jsonReason.starts_with("expected ':' after a key, found '='"));
    reason = oldStyle ? plistReason : "JSON: " + jsonReason;
    return false;
}

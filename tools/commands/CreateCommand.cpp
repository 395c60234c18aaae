// plistbridge create: a new property list holding an empty dictionary, in a new file (an
// existing one only with --force) or on standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/cli/ToolSupport.h"
#include "tools/commands/Commands.h"

namespace {

// Writes `data` to `path`, which must not exist: O_EXCL makes the test and the creation one
// step, so a file made meanwhile by someone else is refused too and never overwritten.
int WriteNewFile(const std::string& path, CFDataRef data) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST)
        return Complain(kExitFailed, "create: " + path + ": the file exists (--force replaces it)");
    if (fd < 0) return Complain(kExitFailed, "create: " + path + ": " + std::strerror(errno));
    const std::string_view bytes = BytesOf(data);
    ssize_t written = 0;
    do written = write(fd, bytes.data(), bytes.size());
    while (written < 0 && errno == EINTR);
    bool complete = static_cast<size_t>(written) == bytes.size();
    int error = written < 0 ? errno : ENOSPC;
    if (close(fd) != 0 && complete) {
        complete = false;
        error = errno;
    }
    if (complete) return 0;
    // A part of an empty dictionary is no property list: the file goes again.
    unlink(path.c_str());
    return Complain(kExitFailed, "create: " + path + ": " + std::strerror(error));
}

}  // namespace

int RunCreate(const ToolArguments& args) {
    const std::string& file = args.files[0];
    if (RefuseBinaryToTerminal("create", args.format, file == "-")) return kExitFailed;
    CFRef<CFDictionaryRef> empty(CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0,
                                                    &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks));
    std::string reason;
    CFRef<CFDataRef> output(empty ? CreateEncoded(empty.Get(), args.format, false, reason)
                                  : nullptr);
    if (!output) return Complain(kExitFailed, "create: " + file + ": out of memory");
    if (file == "-") return WriteStandardOutput("create", output.Get());
    if (args.force) return WriteFileAtomically("create", file, output.Get());
    return WriteNewFile(file, output.Get());
}

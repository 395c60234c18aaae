// Whole-file reading, an owning file descriptor and temporary files, shared by CFURLAccess and
// CFBundle.
#ifndef PLATFORM_COREFOUNDATION_CFFILEACCESS_H
#define PLATFORM_COREFOUNDATION_CFFILEACCESS_H

#include <CoreFoundation/CoreFoundation.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cf::file {

// Owns one file descriptor; closes it once.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : mFD(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : mFD(std::exchange(other.mFD, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            if (mFD >= 0) ::close(mFD);
            mFD = std::exchange(other.mFD, -1);
        }
        return *this;
    }
    ~FileDescriptor() {
        if (mFD >= 0) ::close(mFD);
    }
    int Get() const { return mFD; }
    explicit operator bool() const { return mFD >= 0; }
    // Closes now and reports failure (a delayed write error can surface here); never retried,
    // because the descriptor is gone whatever close returns.
    bool Close() { return ::close(std::exchange(mFD, -1)) == 0; }

private:
    int mFD = -1;
};

// The most a source that is not a regular file (a device, a pipe, a socket) may give: it has no
// size to read by, and /dev/zero never ends. PBFileSetReadLimit sets it.
size_t ReadLimit();

// Reads the whole file at `path` into a new data object (NULL on failure): a large regular file
// mapped (guarded, see PBFileGuardMapping; the data object owns the mapping), a small one read
// by its size (bytes appended while it is read are not taken), any other source up to
// ReadLimit(). 0 on success, else the errno value: EISDIR for a folder, EFBIG for a source that
// gives more than ReadLimit(), ENOMEM when the bytes cannot be held.
int ReadWholeFile(const std::string& path, CFDataRef& data);

// An immutable data object over `length` bytes at `start` that it gives back with
// `release(start, length)` when it goes (at once when it cannot be made: NULL then).
CFDataRef CreateDataAdoptingMapping(uint8_t* start, size_t length,
                                    void (*release)(const uint8_t*, size_t));

// Rewrites the regular file open on `fd` (for reading and writing, or for writing alone) with
// `length` bytes, in place, so that it keeps its hard links and owner, and holds the old bytes
// or the new ones whatever fails or arrives meanwhile (CFFileRewrite.cpp). 0 or the errno
// value: EFBIG past the process's file-size limit, ENOSPC without the room, before anything is
// written.
int RewriteInPlace(int fd, const uint8_t* bytes, size_t length);

// The template of a temporary file beside `target`: ".NAME.XXXXXX" in its folder, with NAME cut
// so that the whole stays within the longest name a folder may hold.
std::string TemporaryTemplateFor(const std::string& target);

// A temporary file made by mkostemp from a template ending in "XXXXXX". Until it is renamed
// or discarded, it is removed when the process is ended by SIGTERM, SIGINT or SIGHUP, and
// SIGXFSZ is ignored so that a write past the file-size limit fails (EFBIG) instead of ending
// the process; a signal's disposition is changed only while it is the default one, and
// restored when the last temporary file is gone. Destruction discards a file not renamed.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pathTemplate);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // 0 when the file was made, else mkostemp's errno value.
    int Error() const { return mError; }
    const std::string& Path() const { return mPath; }
    FileDescriptor& Descriptor() { return mFD; }
    // Renames the file over `target`: 0, or the errno value with the file still to discard.
    int RenameTo(const std::string& target);
    // Closes (if still open) and removes the file.
    void Discard();

private:
    void Forget();

    std::string mPath;
    FileDescriptor mFD;
    int mError = 0;
    int mSlot = -1;
};

}  // namespace cf::file

#endif

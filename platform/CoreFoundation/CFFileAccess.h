// Whole-file reading and an owning file descriptor, shared by CFURLAccess and CFBundle.
#ifndef PLATFORM_COREFOUNDATION_CFFILEACCESS_H
#define PLATFORM_COREFOUNDATION_CFFILEACCESS_H

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

// Reads the whole file at `path`. 0 on success, else the errno value (EISDIR for a folder).
int ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace cf::file

#endif

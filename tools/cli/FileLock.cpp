#include "tools/cli/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

void SleepMilliseconds(long milliseconds) {
    struct timespec pause {
        milliseconds / 1000, (milliseconds % 1000) * 1000000
    };
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Waits for the lock on `fd` for up to `wait` milliseconds: 0, or the errno value (EWOULDBLOCK
// when another process held it throughout).
int LockWithin(int fd, long wait) {
    long waited = 0;
    long pause = 1;  // short pauses first: an edit of a small file holds it for milliseconds
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || waited >= wait) return errno;
        const long step = std::min(pause, wait - waited);
        SleepMilliseconds(step);
        waited += step;
        pause = std::min(pause * 2, 50L);
    }
    return 0;
}

}  // namespace

long FileLock::Wait() {
    const char* text = std::getenv("PLISTBRIDGE_LOCK_WAIT_MS");
    if (!text || !*text) return kWaitMilliseconds;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end || value < 0 ? kWaitMilliseconds : value;
}

FileLock::~FileLock() {
    if (mFD >= 0) close(mFD);  // releases the lock
}

bool FileLock::Acquire(const std::string& path) {
    const long wait = Wait();
    for (;;) {
        // Non-blocking: a FIFO must not wait for a writer here.
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return true;
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            close(fd);
            return true;
        }
        if (const int error = LockWithin(fd, wait)) {
            close(fd);
            return error != EWOULDBLOCK;  // a file system without locks edits as before
        }
        struct stat named {};
        if (stat(path.c_str(), &named) == 0 && SameFile(opened, named)) {
            mFD = fd;
            return true;
        }
        // Replaced while this edit waited: the lock of the new file is the one to hold.
        close(fd);
    }
}

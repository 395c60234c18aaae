// Serialising the read-modify-write of one file between processes, so that two edits of it at
// once both land, one after the other.
#ifndef TOOLS_CLI_FILELOCK_H
#define TOOLS_CLI_FILELOCK_H

#include <string>

// An exclusive flock on the file itself, held until destruction. The lock is taken on the
// file's inode and the path is then checked to still name that inode: a rewrite replaces the
// file by renaming a new one over it, so an edit that waited on the old inode finds it gone and
// locks the new one instead. Nothing is created beside the file, so nothing is left behind, in
// a folder the caller may not even write; a file rewritten in place keeps its inode and its
// lock. Edits that do not take the lock (other programs) are not held back.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock of the file at `path`, waiting up to kWaitMilliseconds (or the
    // milliseconds PLISTBRIDGE_LOCK_WAIT_MS gives, which the tests set). True when held, and
    // when the file takes no lock (missing, unreadable, not a regular file, or on a file system
    // without locks): the read that follows says what is wrong. False when another edit held
    // it for the whole wait.
    bool Acquire(const std::string& path);

    static constexpr long kWaitMilliseconds = 10000;
    // The wait Acquire allows, in milliseconds.
    static long Wait();

private:
    int mFD = -1;
};

#endif

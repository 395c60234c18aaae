// Settings and answers of the stand-in's file access that no SDK has: the plistbridge tool uses
// them to raise the read limit, to name the system's reason for a file that failed, and to guard
// its own mapped inputs. Code written against the SDK (the bundle) never includes this header.
#ifndef PLATFORM_COREFOUNDATION_CFFILEPRIVATE_H
#define PLATFORM_COREFOUNDATION_CFFILEPRIVATE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
// The platform library is built with hidden visibility; these it exports.
#pragma GCC visibility push(default)

// The most a device, pipe or other source without a size may give before a read of it fails
// (EFBIG). Regular files are read by their size whatever this is.
#define PB_DEFAULT_READ_LIMIT ((size_t)64 << 20)
void PBFileSetReadLimit(size_t bytes);
size_t PBFileReadLimit(void);

// The errno value behind the last failed CFURLCreateDataAndPropertiesFromResource or
// CFURLWriteDataAndPropertiesToResource of this thread; 0 after one that succeeded.
int PBFileLastError(void);

// Guards one mapping of a file at a time against the file being shortened while it is mapped:
// a read past the new end then finds zeros instead of ending the process with SIGBUS. False
// when another mapping is guarded (or the handler cannot be installed).
int PBFileGuardMapping(const void* start, size_t length);
// Ends the guard of the mapping at `start` (nothing when another one is guarded).
void PBFileUnguardMapping(const void* start);
// True when the last guarded mapping lost part of its file while it was guarded.
int PBFileGuardedMappingShrank(void);

// A read-only private mapping of `length` bytes of `fd` from `offset`, guarded as above; NULL
// when it cannot be made or another mapping is guarded. Up to PB_POPULATE_LIMIT bytes are read
// in at once (no page fault per page); a larger input is faulted in as it is read, so one that
// a reader refuses at its first bytes (2 GB of zeros) is never read whole.
#define PB_POPULATE_LIMIT ((size_t)256 << 20)
void* PBFileMapGuarded(int fd, size_t length, long long offset);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif

// Hooks through which the stand-in's own code feeds the testing facility.
#ifndef PLATFORM_TESTING_PTINTERNAL_H
#define PLATFORM_TESTING_PTINTERNAL_H

#include <atomic>
#include <cstdint>

namespace pt {

struct Site {
    const char* name;
    unsigned long calls = 0;
    long skip = 0;       // successful calls still to let through before failing
    long failures = 0;   // calls still to fail
    int32_t status = 0;  // status those calls return
};

// The counter and fault state of one public function, made on first use.
Site& RegisterSite(const char* name);

// Counts one public call; true when the call must fail, with the status to return.
bool Enter(Site& site, int32_t& status);

// True when the CF object allocation about to happen must fail.
bool CFAllocationFails();

void DescriptorCreated();
void DescriptorDisposed();
void CFObjectCreated();
void CFObjectFreed();

// Counts a double release of `what` and aborts while abort is on.
void DoubleRelease(const char* what);

}  // namespace pt

// Use at the top of every public platform function:
//   int32_t injected;
//   if (PT_ENTER("AECreateDesc", injected)) return static_cast<OSErr>(injected);
// The site is looked up once per call site, so a call costs an increment and a branch.
#define PT_ENTER(name, status)                                  \
    ::pt::Enter(                                                \
        []() -> ::pt::Site& {                                   \
            static ::pt::Site& site = ::pt::RegisterSite(name); \
            return site;                                        \
        }(),                                                    \
        status)

#endif

// Hooks through which the stand-in's own code feeds the testing facility.
#ifndef PLATFORM_TESTING_PTINTERNAL_H
#define PLATFORM_TESTING_PTINTERNAL_H

#include <atomic>
#include <cstdint>

namespace pt {

// Set once a test uses the facility (any PT function, or PTArm at start-up). Until then a
// platform call neither counts nor looks for faults, and live objects are not counted: the
// entry of a public function costs a load and a predictable branch.
extern bool gArmed;

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
bool CFAllocationFailsArmed();
inline bool CFAllocationFails() {
    return gArmed && CFAllocationFailsArmed();
}
// True while a CF allocation fault is set up and not yet delivered; consumes nothing. Code that
// could skip an allocation (by sharing an existing object) makes it instead, so a fault meant
// for it still lands.
bool CFAllocationFaultPendingArmed();
inline bool CFAllocationFaultPending() {
    return gArmed && CFAllocationFaultPendingArmed();
}

void CountDescriptor(long delta);
void CountCFObject(long delta);
// Live-object accounting, only once armed.
inline void DescriptorCreated() {
    if (gArmed) CountDescriptor(1);
}
inline void DescriptorDisposed() {
    if (gArmed) CountDescriptor(-1);
}
inline void CFObjectCreated() {
    if (gArmed) CountCFObject(1);
}
inline void CFObjectFreed() {
    if (gArmed) CountCFObject(-1);
}

// Counts a double release of `what` and aborts while abort is on.
void DoubleRelease(const char* what);

}  // namespace pt

// Use at the top of every public platform function:
//   int32_t injected;
//   if (PT_ENTER("AECreateDesc", injected)) return static_cast<OSErr>(injected);
// Unarmed, a call costs a load and a branch; armed, the site is looked up once per call site,
// so a call costs an increment and a branch more.
#define PT_ENTER(name, status)                                                  \
    (__builtin_expect(::pt::gArmed, 0) && ::pt::Enter(                          \
                                              []() -> ::pt::Site& {             \
                                                  static ::pt::Site& site =     \
                                                      ::pt::RegisterSite(name); \
                                                  return site;                  \
                                              }(),                              \
                                              status))

#endif

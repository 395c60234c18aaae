// Linked into every test program: turns the platform's testing facility on before any test
// (or static initializer of a test) calls the platform, so call counts, faults and live-object
// counts cover the whole process. Production programs never arm it.
#include "PlatformTesting.h"
#include "common/SanitizerDefaults.h"

namespace {

struct ArmAtStart {
    ArmAtStart() { PTArm(); }
};

// Before the test program's other static objects, which may already call the platform.
__attribute__((init_priority(101))) const ArmAtStart gArmAtStart;

}  // namespace

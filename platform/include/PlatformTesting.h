/*
 * PlatformTesting.h — the stand-in's testing facility. Test code only: the bundle never
 * includes this header.
 *
 * Every public platform function (Apple Event Manager, CarbonCore and CoreFoundation alike)
 * counts its calls under its own name and can be made to fail on demand. Calls that the
 * platform makes to itself are not counted and never fail by injection: the counters and
 * faults see exactly what the caller (bundle, host, test) asked for.
 *
 * Not thread-safe by design: tests drive the platform from one thread.
 */
#ifndef PLATFORM_TESTING_H
#define PLATFORM_TESTING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
// The platform library is built with hidden visibility; its C API is what it exports.
#pragma GCC visibility push(default)
#endif

/*
 * Turns the facility on: from now on calls are counted, faults delivered and live objects
 * counted. Every other PT function turns it on too; a test program calls this before its
 * first platform call (tests/support/ArmPlatformTesting.cpp does) so that its counts cover
 * the whole process. Until then the facility costs a production run nothing.
 */
void PTArm(void);

/* Calls of the public function `name` (e.g. "AECreateDesc") since the last PTReset. */
unsigned long PTCallCount(const char* name);

/* Calls of every public function since the last PTReset. */
unsigned long PTTotalCallCount(void);

/*
 * After `skip` further calls of `name` succeed, the next `count` calls fail. A function that
 * returns a status returns `status`; one that returns an object returns NULL; one that returns
 * a Boolean returns false (its out-parameters cleared as on any failure).
 */
void PTFailCalls(const char* name, long skip, long count, int32_t status);

/* The `n`th public call from now (1 = the next one), whatever the function, fails as above. */
void PTFailNthCall(unsigned long n, int32_t status);

/* True once a fault armed by PTFailCalls or PTFailNthCall has been delivered. */
int PTFaultWasDelivered(void);

/* After `skip` further CF object allocations succeed, the next `count` return NULL, so the
   creating function fails as if memory were exhausted. */
void PTFailCFAllocations(long skip, long count);

/* Removes every armed fault; counters stay. */
void PTClearFaults(void);

/* Descriptors whose storage is alive (not yet disposed), and CF objects not yet freed.
   Immortal objects (kCFBooleanTrue, kCFNull, CFSTR constants) are not counted. */
long PTLiveDescriptorCount(void);
long PTLiveCFObjectCount(void);

/* Releases of an already released CF object or disposals of already disposed descriptor
   storage since the last PTReset. Each also aborts the process while abort is on. */
long PTDoubleReleaseCount(void);

/* Abort on a double release (the default in builds without NDEBUG) or only count it. */
void PTSetAbortOnDoubleRelease(int abortOnDoubleRelease);

/* Counters, double-release count and faults back to zero. Live counts are not reset: they
   describe the process, and tests compare them before and after. */
void PTReset(void);

#ifdef __cplusplus
#pragma GCC visibility pop
}
#endif

#endif

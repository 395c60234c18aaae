// The failure kinds thrown inside the addition. Bundle code never returns a failure: it throws
// one of these, and only the command frame (shell/CommandFrame.h) catches them.
//
//   const char*   a message with static lifetime that the script user reads; the frame puts it
//                 into the reply as 'errs' and returns errAEEventFailed;
//   OSErr         a 16-bit status; the frame accepts it, our own code throws none;
//   int32_t       a 32-bit status: every platform status and every status of our own, a 16-bit
//                 OSErr sign-extended first;
//   anything else (std::bad_alloc, std::length_error, ...) becomes errAEEventFailed.
//
// Throw through these helpers only: throwing a status constant directly would throw its enum
// type, which no handler catches as a status.
#ifndef SHELL_EXCEPTIONS_H
#define SHELL_EXCEPTIONS_H

#include <CoreServices/CoreServices.h>

#include <cstdint>

// Throws `status` as the 32-bit status kind.
[[noreturn]] inline void ThrowStatus(int32_t status) {
    throw status;
}

// Throws a non-zero platform status, sign-extended to 32 bits; returns on noErr.
inline void ThrowIfError(OSErr err) {
    if (err != noErr) ThrowStatus(static_cast<int32_t>(err));
}
// A 32-bit status must not be squeezed through the OSErr overload: use ThrowIfStatus.
void ThrowIfError(int32_t) = delete;

// Throws a non-zero 32-bit status unchanged; returns on 0.
inline void ThrowIfStatus(int32_t status) {
    if (status != 0) ThrowStatus(status);
}

// Throws the message kind. `message` must have static lifetime: the frame reads it after the
// stack that threw it is gone.
[[noreturn]] inline void ThrowMessage(const char* message) {
    throw message;
}

#endif

// The command frame: how both command handlers begin, end and turn a failure into their status.
//
// A handler is written as
//
//   extern "C" OSErr LoadPList(const AppleEvent* event, AppleEvent* reply, SRefCon) {
//       return RunCommand(reply, [&] {
//           CAEDesc direct;
//           ThrowIfError(AEGetParamDesc(event, keyDirectObject, typeWildCard, &direct.mDesc));
//           ThrowIfStatus(CheckMissedParams(event));
//           ...                      // throw on any failure, put the result into the reply last
//       });
//   }
//
// Everything the body holds lives in RAII holders local to the lambda, so it is released
// during unwinding, before the frame forms the status.
#ifndef SHELL_COMMANDFRAME_H
#define SHELL_COMMANDFRAME_H

#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <utility>

#include "shell/Exceptions.h"

// Command-handler calls in progress (nested calls count again). Plain integer: the host calls
// us from one thread at a time.
extern int32_t gBusyCount;

// The status of the exception being handled; call only from inside a catch block.
//   message  -> puts the text into `reply` as 'errs' of type 'TEXT' without its NUL (the put's
//               own status is ignored; a NULL reply gets nothing) and gives errAEEventFailed;
//   OSErr    -> that value;
//   int32_t  -> the low 16 bits read as signed (a value in the 16-bit range passes unchanged),
//               except that a value outside the 16-bit range whose low 16 bits are all zero
//               gives errAEEventFailed: it must not turn into a success;
//   other    -> errAEEventFailed, nothing put into the reply.
OSErr StatusFromCurrentException(AppleEvent* reply) noexcept;

namespace detail {
// Raises gBusyCount for its lifetime, so the count comes down on every path.
class BusyScope {
public:
    BusyScope() noexcept { ++gBusyCount; }
    ~BusyScope() { --gBusyCount; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};
}  // namespace detail

// Runs `body` (a callable taking no argument; its result is ignored) as one command: raises
// gBusyCount first, returns noErr when the body completes, or the status formed by
// StatusFromCurrentException when it throws. No exception leaves RunCommand.
template <class Body>
OSErr RunCommand(AppleEvent* reply, Body&& body) noexcept {
    detail::BusyScope busy;
    try {
        std::forward<Body>(body)();
        return noErr;
    } catch (...) {
        return StatusFromCurrentException(reply);
    }
}

// 0 when every required parameter of `event` has been read (no 'miss' attribute),
// errAEParamMissed when one is left unread, any other status of AEGetAttributePtr unchanged
// (sign-extended). Call it once, after reading every parameter the command uses, and throw a
// non-zero result with ThrowIfStatus.
int32_t CheckMissedParams(const AppleEvent* event);

#endif

// The command frame's status mapping and the missed-parameter check.
#include "shell/CommandFrame.h"

#include <cstring>

int32_t gBusyCount = 0;

namespace {

// Handlers return 16-bit statuses. A wider status keeps its low 16 bits, as the platform's own
// handlers do; only a value whose low half is zero would read as success, so it becomes a
// plain failure instead.
OSErr StatusFrom32(int32_t status) {
    const auto low = static_cast<OSErr>(static_cast<uint16_t>(static_cast<uint32_t>(status)));
    if (low == noErr && status != 0) return errAEEventFailed;
    return low;
}

}  // namespace

OSErr StatusFromCurrentException(AppleEvent* reply) noexcept {
    try {
        throw;
    } catch (const char* message) {
        if (reply != nullptr && message != nullptr) {
            // The frame reports the failure by its status; a failed put changes nothing.
            (void)AEPutParamPtr(reply, keyErrorString, typeChar, message,
                                static_cast<Size>(std::strlen(message)));
        }
        return errAEEventFailed;
    } catch (OSErr status) {
        return status;
    } catch (int32_t status) {
        return StatusFrom32(status);
    } catch (...) {
        return errAEEventFailed;
    }
}

int32_t CheckMissedParams(const AppleEvent* event) {
    DescType actualType = typeNull;
    Size actualSize = 0;
    const OSErr err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &actualType,
                                        nullptr, 0, &actualSize);
    if (err == noErr) return errAEParamMissed;
    if (err == errAEDescNotFound) return 0;
    return err;
}

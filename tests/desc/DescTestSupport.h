// Helpers shared by the descriptor and shell tests: building descriptors, catching the thrown
// status, and forcing coercion refusals through installed handlers.
#ifndef TESTS_DESC_DESCTESTSUPPORT_H
#define TESTS_DESC_DESCTESTSUPPORT_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/FourCharCode.h"
#include "desc/CAEDesc.h"

inline CAEDesc MakeDesc(DescType type, const void* data, Size size) {
    CAEDesc desc;
    EXPECT_EQ(AECreateDesc(type, data, size, &desc.mDesc), noErr);
    return desc;
}
inline CAEDesc MakeDesc(DescType type, std::string_view bytes) {
    return MakeDesc(type, bytes.data(), static_cast<Size>(bytes.size()));
}
template <class T>
CAEDesc MakeScalar(DescType type, T value) {
    return MakeDesc(type, &value, static_cast<Size>(sizeof value));
}
inline CAEDesc MakeUnicode(std::u16string_view text) {
    return MakeDesc(typeUnicodeText, text.data(), static_cast<Size>(text.size() * 2));
}

// The 32-bit status `f` throws; 0 when it returns. Any other kind fails the test.
template <class F>
int32_t StatusOf(F&& f) {
    try {
        f();
    } catch (int32_t status) {
        return status;
    } catch (...) {
        ADD_FAILURE() << "threw something other than a 32-bit status";
        return 1;
    }
    return 0;
}

inline std::string UTF8Of(CFStringRef string) {
    std::string out(static_cast<std::size_t>(CFStringGetLength(string)) * 4 + 1, '\0');
    CFIndex used = 0;
    CFStringGetBytes(string, CFRangeMake(0, CFStringGetLength(string)), kCFStringEncodingUTF8, 0,
                     false, reinterpret_cast<UInt8*>(out.data()), static_cast<CFIndex>(out.size()),
                     &used);
    out.resize(static_cast<std::size_t>(used));
    return out;
}

// A coercion handler that records the targets it is asked for and refuses each with a status
// from a script (the last status repeats); a status of 0 means "coerce to 'STXT' of
// `styledText`".
struct CoercionScript {
    std::vector<int32_t> statuses;
    std::vector<DescType> asked;
};

inline OSErr ScriptedCoercion(const AEDesc*, DescType toType, SRefCon refcon, AEDesc* out) {
    auto* script = static_cast<CoercionScript*>(refcon);
    const std::size_t turn = script->asked.size();
    script->asked.push_back(toType);
    const int32_t status = script->statuses.at(std::min(turn, script->statuses.size() - 1));
    if (status != 0) return static_cast<OSErr>(status);
    AEDesc record = {typeNull, nullptr};
    OSErr err = AECreateList(nullptr, 0, true, &record);
    if (err == noErr) err = AEPutParamPtr(&record, keyAEText, typeChar, "styled", 6);
    if (err == noErr) err = AEPutParamPtr(&record, keyAEStyles, FourCC("scrp"), "", 0);
    if (err == noErr) err = AECoerceDesc(&record, typeStyledText, out);
    AEDisposeDesc(&record);
    return err;
}

// Installs ScriptedCoercion for `from` -> each of `targets` while in scope.
class ScopedCoercion {
public:
    ScopedCoercion(DescType from, std::vector<DescType> targets, CoercionScript& script)
        : mFrom(from), mTargets(std::move(targets)) {
        for (DescType to : mTargets) {
            EXPECT_EQ(AEInstallCoercionHandler(
                          from, to, reinterpret_cast<AECoercionHandlerUPP>(&ScriptedCoercion),
                          &script, true, false),
                      noErr);
        }
    }
    ~ScopedCoercion() {
        for (DescType to : mTargets) {
            AERemoveCoercionHandler(
                mFrom, to, reinterpret_cast<AECoercionHandlerUPP>(&ScriptedCoercion), false);
        }
    }

private:
    DescType mFrom;
    std::vector<DescType> mTargets;
};

#endif

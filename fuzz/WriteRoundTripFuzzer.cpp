// Fuzz target: whatever any reader accepts and the writer writes must read back, and writing
// that again must give the same bytes (the writer's output is a fixed point).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"

namespace {

bool SameBytes(CFDataRef a, CFDataRef b) {
    return cf::DataLength(a) == cf::DataLength(b) &&
           std::memcmp(cf::DataBytes(a), cf::DataBytes(b), cf::DataLength(a)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cf::Ref<CFPropertyListRef> value(
        cf::plist::Read(data, size, kCFPropertyListImmutable, nullptr));
    if (!value) return 0;
    cf::Ref<CFDataRef> xml(cf::plist::WriteXML(value.Get()));
    if (!xml) return 0;  // not every readable value is writable (kCFNull, far-out dates)
    cf::Ref<CFPropertyListRef> back(cf::plist::Read(
        cf::DataBytes(xml.Get()), cf::DataLength(xml.Get()), kCFPropertyListImmutable, nullptr));
    if (!back) std::abort();  // the reader refused the writer's own output
    cf::Ref<CFDataRef> again(cf::plist::WriteXML(back.Get()));
    if (!again || !SameBytes(xml.Get(), again.Get())) std::abort();
    return 0;
}

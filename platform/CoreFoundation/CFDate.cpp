// CFDate: one absolute time.
#include <CoreFoundation/CFDate.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/Testing/PTInternal.h"

struct __CFDate final : cf::Object {
    explicit __CFDate(CFAbsoluteTime at) : Object(cf::kDateTypeID, false), mTime(at) {}
    bool EqualTo(const Object& other) const override {
        double t = static_cast<const __CFDate&>(other).mTime;
        return mTime == t || (std::isnan(mTime) && std::isnan(t));
    }
    CFHashCode HashValue() const override {
        double t = mTime == 0 ? 0.0 : mTime;  // -0.0 and 0.0 are equal, hash them alike
        uint64_t bits;
        std::memcpy(&bits, &t, sizeof bits);
        return cf::MixHash(bits);
    }
    void Describe(std::string& out) const override {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "<CFDate %.17g>", mTime);
        out += buffer;
    }
    CFAbsoluteTime mTime;
};

namespace cf {

CFDateRef CreateDate(CFAbsoluteTime at) {
    return New<__CFDate>(at);
}

CFAbsoluteTime DateTime(CFDateRef date) {
    const __CFDate* d = As<__CFDate>(date, kDateTypeID);
    return d ? d->mTime : 0.0;
}

}  // namespace cf

extern "C" {

const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
const CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
    int32_t injected;
    if (PT_ENTER("CFAbsoluteTimeGetCurrent", injected)) return 0.0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) - kCFAbsoluteTimeIntervalSince1970 +
           static_cast<double>(now.tv_nsec) * 1e-9;
}

CFTypeID CFDateGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFDateGetTypeID", injected)) return 0;
    return cf::kDateTypeID;
}

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) {
    int32_t injected;
    if (PT_ENTER("CFDateCreate", injected)) return nullptr;
    return cf::CreateDate(at);
}

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
    int32_t injected;
    if (PT_ENTER("CFDateGetAbsoluteTime", injected)) return 0.0;
    return cf::DateTime(theDate);
}

CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate) {
    int32_t injected;
    if (PT_ENTER("CFDateGetTimeIntervalSinceDate", injected)) return 0.0;
    return cf::DateTime(theDate) - cf::DateTime(otherDate);
}

CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void*) {
    int32_t injected;
    if (PT_ENTER("CFDateCompare", injected)) return kCFCompareEqualTo;
    double a = cf::DateTime(theDate), b = cf::DateTime(otherDate);
    return a < b ? kCFCompareLessThan : (b < a ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

}  // extern "C"

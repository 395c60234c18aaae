// CFNumber and CFBoolean. A number keeps its canonical type and one of three stored forms:
// a signed 64-bit integer, an unsigned one above INT64_MAX, or a double (Float32 values are
// stored widened, so they read back exactly).
#include <CoreFoundation/CFNumber.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/CFPriv.h"
#include "platform/Testing/PTInternal.h"

namespace cf {
namespace {

int CompareNumbers(const NumberValue& a, const NumberValue& b);

// The type number no number has: what an unknown type maps to, and NULL's type.
constexpr CFNumberType kNoNumberType = static_cast<CFNumberType>(0);

// Canonical type for a creation type, kNoNumberType for an unknown one.
constexpr CFNumberType Canonical(CFNumberType type) {
    switch (type) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            return kCFNumberSInt8Type;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            return kCFNumberSInt16Type;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            return kCFNumberSInt32Type;
        case kCFNumberSInt64Type:
        case kCFNumberLongType:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType:
            return kCFNumberSInt64Type;
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            return kCFNumberFloat32Type;
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType:
            return kCFNumberFloat64Type;
        default:
            return kNoNumberType;
    }
}

constexpr CFIndex ByteSize(CFNumberType canonical) {
    switch (canonical) {
        case kCFNumberSInt8Type:
            return 1;
        case kCFNumberSInt16Type:
            return 2;
        case kCFNumberSInt32Type:
        case kCFNumberFloat32Type:
            return 4;
        default:
            return 8;
    }
}

}  // namespace
}  // namespace cf

struct __CFNumber;
namespace cf {
void ForgetRecentNumber(const __CFNumber* dying);
}

struct __CFNumber final : cf::Object {
    constexpr __CFNumber(CFNumberType type, cf::NumberValue value, bool immortal = false)
        : Object(cf::kNumberTypeID, false, immortal),
          mType(static_cast<int8_t>(type)),
          mKind(static_cast<uint8_t>(value.kind)),
          mBits(BitsOf(value)) {}

    static constexpr uint64_t BitsOf(const cf::NumberValue& value) {
        return value.kind == cf::NumberValue::kSigned     ? static_cast<uint64_t>(value.s)
               : value.kind == cf::NumberValue::kUnsigned ? value.u
                                                          : std::bit_cast<uint64_t>(value.d);
    }
    // Same type, kind and bits: the same number to every caller, -0.0 and NaN payloads included.
    bool SameAs(CFNumberType type, const cf::NumberValue& value) const {
        return mType == type && mKind == value.kind && mBits == BitsOf(value);
    }
    uint64_t Bits() const { return mBits; }
    void Forget() const override { cf::ForgetRecentNumber(this); }

    CFNumberType Type() const { return static_cast<CFNumberType>(mType); }
    cf::NumberValue Value() const {
        auto kind = static_cast<cf::NumberValue::Kind>(mKind);
        cf::NumberValue v{kind, 0, 0, 0.0};
        if (kind == cf::NumberValue::kSigned)
            v.s = static_cast<int64_t>(mBits);
        else if (kind == cf::NumberValue::kUnsigned)
            v.u = mBits;
        else
            v.d = std::bit_cast<double>(mBits);
        return v;
    }

    bool EqualTo(const Object& other) const override {
        return cf::CompareNumbers(Value(), static_cast<const __CFNumber&>(other).Value()) == 0;
    }
    CFHashCode HashValue() const override {
        // Equal values hash alike whatever their form: integral values hash as integers.
        cf::NumberValue value = Value();
        switch (value.kind) {
            case cf::NumberValue::kSigned:
                return cf::MixHash(static_cast<uint64_t>(value.s));
            case cf::NumberValue::kUnsigned:
                return cf::MixHash(value.u);
            case cf::NumberValue::kReal:
                break;
        }
        double d = value.d;
        if (std::isnan(d)) return 0x7ff8;
        if (d == std::trunc(d) && d >= -9223372036854775808.0 && d < 18446744073709551616.0)
            return cf::MixHash(d < 0 ? static_cast<uint64_t>(static_cast<int64_t>(d))
                                     : static_cast<uint64_t>(d));
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        return cf::MixHash(bits);
    }
    void Describe(std::string& out) const override {
        char buffer[64];
        cf::NumberValue value = Value();
        switch (value.kind) {
            case cf::NumberValue::kSigned:
                std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value.s));
                break;
            case cf::NumberValue::kUnsigned:
                std::snprintf(buffer, sizeof buffer, "%llu",
                              static_cast<unsigned long long>(value.u));
                break;
            case cf::NumberValue::kReal:
                std::snprintf(buffer, sizeof buffer, "%.17g", value.d);
                break;
        }
        out += buffer;
    }

private:
    // The value's one field by kind, in 8 bytes rather than NumberValue's 32: numbers are many.
    int8_t mType;  // canonical: every CFNumberType fits
    uint8_t mKind;
    uint64_t mBits;
};
static_assert(sizeof(__CFNumber) == sizeof(cf::Object) + 16);

struct __CFBoolean final : cf::Object {
    constexpr explicit __CFBoolean(bool value)
        : Object(cf::kBooleanTypeID, false, true), mValue(value) {}
    bool EqualTo(const Object& other) const override {
        return mValue == static_cast<const __CFBoolean&>(other).mValue;
    }
    CFHashCode HashValue() const override { return mValue ? 0x7b : 0x7c; }
    void Describe(std::string& out) const override { out += mValue ? "true" : "false"; }
    bool mValue;
};

namespace cf {
namespace {

constinit Static<__CFBoolean> gTrue(true);
constinit Static<__CFBoolean> gFalse(false);
constexpr NumberValue Real(double d) {
    return {NumberValue::kReal, 0, 0, d};
}
constinit Static<__CFNumber> gPositiveInfinity(kCFNumberFloat64Type,
                                               Real(std::numeric_limits<double>::infinity()), true);
constinit Static<__CFNumber> gNegativeInfinity(kCFNumberFloat64Type,
                                               Real(-std::numeric_limits<double>::infinity()),
                                               true);
constinit Static<__CFNumber> gNaN(kCFNumberFloat64Type,
                                  Real(std::numeric_limits<double>::quiet_NaN()), true);

[[maybe_unused]] const bool gStaticsRegistered = [] {
    for (const Object* o : std::initializer_list<const Object*>{
             &gTrue.object, &gFalse.object, &gPositiveInfinity.object, &gNegativeInfinity.object,
             &gNaN.object})
        RegisterImmortal(o);
    return true;
}();

__CFNumber* AsNumber(CFTypeRef ref) {
    return As<__CFNumber>(ref, kNumberTypeID);
}

// Orders two values; NaN below everything, equal to NaN.
int CompareNumbers(const NumberValue& a, const NumberValue& b) {
    constexpr double k2p63 = 9223372036854775808.0;
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (a.kind == NumberValue::kReal && b.kind == NumberValue::kReal) {
        if (std::isnan(a.d) || std::isnan(b.d)) return sign(!std::isnan(a.d), !std::isnan(b.d));
        return sign(a.d, b.d);
    }
    if (a.kind == NumberValue::kReal) return -CompareNumbers(b, a);
    // a is an integer from here on.
    if (b.kind == NumberValue::kReal) {
        double d = b.d;
        if (std::isnan(d)) return 1;
        if (a.kind == NumberValue::kUnsigned) {
            if (d >= 2 * k2p63) return -1;
            if (d < k2p63) return 1;
            uint64_t t = static_cast<uint64_t>(d);  // exact: doubles this large are integral
            return sign(a.u, t);
        }
        if (d >= k2p63) return -1;
        if (d < -k2p63) return 1;
        double t = std::trunc(d);
        int c = sign(a.s, static_cast<int64_t>(t));
        if (c != 0) return c;
        return sign(0.0, d - t);  // equal integer parts: the fraction decides
    }
    if (a.kind == NumberValue::kUnsigned && b.kind == NumberValue::kUnsigned) return sign(a.u, b.u);
    if (a.kind == NumberValue::kUnsigned) return 1;  // above INT64_MAX beats any signed value
    if (b.kind == NumberValue::kUnsigned) return -1;
    return sign(a.s, b.s);
}

template <class T>
bool StoreInteger(const NumberValue& v, void* out) {
    T result;
    bool exact;
    switch (v.kind) {
        case NumberValue::kSigned:
            result = static_cast<T>(v.s);
            exact = static_cast<int64_t>(result) == v.s;
            break;
        case NumberValue::kUnsigned:
            result = static_cast<T>(v.u);
            exact = false;  // above INT64_MAX: no signed type holds it
            break;
        default: {
            double d = v.d;
            constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
            constexpr double hi = -lo;  // 2^(bits-1), one above the maximum
            if (std::isnan(d))
                result = 0, exact = false;
            else if (d < lo)
                result = std::numeric_limits<T>::min(), exact = false;
            else if (d >= hi)
                result = std::numeric_limits<T>::max(), exact = false;
            else
                result = static_cast<T>(d), exact = static_cast<double>(result) == d;
        }
    }
    std::memcpy(out, &result, sizeof result);
    return exact;
}

template <class T>
bool StoreReal(const NumberValue& v, void* out) {
    T result;
    bool exact;
    switch (v.kind) {
        case NumberValue::kSigned: {
            result = static_cast<T>(v.s);
            long double back = result;
            exact = back == static_cast<long double>(v.s);
            break;
        }
        case NumberValue::kUnsigned: {
            result = static_cast<T>(v.u);
            long double back = result;
            exact = back == static_cast<long double>(v.u);
            break;
        }
        default:
            result = static_cast<T>(v.d);
            exact = static_cast<double>(result) == v.d || (std::isnan(v.d) && std::isnan(result));
    }
    std::memcpy(out, &result, sizeof result);
    return exact;
}

NumberValue Read(CFNumberType type, const void* p) {
    NumberValue v{NumberValue::kSigned, 0, 0, 0.0};
    switch (type) {
        case kCFNumberSInt8Type: {
            int8_t x;
            std::memcpy(&x, p, 1);
            v.s = x;
            break;
        }
        case kCFNumberSInt16Type: {
            int16_t x;
            std::memcpy(&x, p, 2);
            v.s = x;
            break;
        }
        case kCFNumberSInt32Type: {
            int32_t x;
            std::memcpy(&x, p, 4);
            v.s = x;
            break;
        }
        case kCFNumberSInt64Type: {
            int64_t x;
            std::memcpy(&x, p, 8);
            v.s = x;
            break;
        }
        case kCFNumberFloat32Type: {
            float x;
            std::memcpy(&x, p, 4);
            v = Real(x);
            break;
        }
        default: {
            double x;
            std::memcpy(&x, p, 8);
            v = Real(x);
            break;
        }
    }
    return v;
}

CFNumberRef Make(CFNumberType canonical, NumberValue value) {
    return New<__CFNumber>(canonical, value);
}

// Numbers repeat as strings do (a bit rate, a track number, a year), and are remembered as
// CFString.cpp remembers short strings.
constinit RecentObjects<__CFNumber, 10> gRecentNumbers;

uint64_t RecentHashOf(CFNumberType type, uint64_t bits) {
    return MixHash(bits ^ (static_cast<uint64_t>(type) << 56));
}

// A number of the value, the remembered one when it is alive. While an allocation fault is
// pending the number is always made, so the fault lands where it was meant.
CFNumberRef MakeSharing(CFNumberType canonical, NumberValue value) {
    if (pt::CFAllocationFaultPending()) return Make(canonical, value);
    const uint64_t hash = RecentHashOf(canonical, __CFNumber::BitsOf(value));
    if (CFTypeRef kept = gRecentNumbers.Share(
            hash, [&](const __CFNumber& n) { return n.SameAs(canonical, value); }))
        return static_cast<CFNumberRef>(kept);
    CFNumberRef made = Make(canonical, value);
    if (made) gRecentNumbers.Remember(hash, const_cast<__CFNumber*>(made));
    return made;
}

}  // namespace

namespace {

// A 128-bit value that fits 64 bits, signed or unsigned; NULL for a wider one.
CFNumberRef CreateNumberSInt128(const CFSInt128Struct& value) {
    if (value.high == 0) return CreateNumberUInt64(value.low);
    if (value.high == -1 && (value.low >> 63) != 0)
        return CreateNumberSInt64(static_cast<int64_t>(value.low));
    return nullptr;
}

bool StoreSInt128(const NumberValue& v, void* out) {
    CFSInt128Struct result{0, 0};
    bool exact = true;
    if (v.kind == NumberValue::kUnsigned) {
        result.low = v.u;
    } else {
        int64_t s = v.s;
        if (v.kind == NumberValue::kReal) exact = StoreInteger<int64_t>(v, &s);
        result.high = s < 0 ? -1 : 0;
        result.low = static_cast<uint64_t>(s);
    }
    std::memcpy(out, &result, sizeof result);
    return exact;
}

}  // namespace

CFNumberRef CreateNumber(CFNumberType type, const void* value) {
    if (type == kCFNumberSInt128Type && value)
        return CreateNumberSInt128(*static_cast<const CFSInt128Struct*>(value));
    CFNumberType canonical = Canonical(type);
    if (!canonical || !value) return nullptr;
    return Make(canonical, Read(canonical, value));
}

void ForgetRecentNumber(const __CFNumber* dying) {
    gRecentNumbers.Forget(RecentHashOf(dying->Type(), dying->Bits()), dying);
}

CFNumberRef CreateNumberSInt64(int64_t value) {
    return Make(kCFNumberSInt64Type, {NumberValue::kSigned, value, 0, 0.0});
}

CFNumberRef CreateNumberUInt64(uint64_t value) {
    if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        return CreateNumberSInt64(static_cast<int64_t>(value));
    return Make(kCFNumberSInt64Type, {NumberValue::kUnsigned, 0, value, 0.0});
}

CFNumberRef CreateNumberFloat64(double value) {
    return Make(kCFNumberFloat64Type, Real(value));
}

NumberValue GetNumberValue(CFNumberRef number) {
    const __CFNumber* n = AsNumber(number);
    return n ? n->Value() : NumberValue{NumberValue::kSigned, 0, 0, 0.0};
}

CFNumberType NumberType(CFNumberRef number) {
    const __CFNumber* n = AsNumber(number);
    return n ? n->Type() : kNoNumberType;
}

}  // namespace cf

extern "C" {

const CFBooleanRef kCFBooleanTrue = &cf::gTrue.object;
const CFBooleanRef kCFBooleanFalse = &cf::gFalse.object;
const CFNumberRef kCFNumberPositiveInfinity = &cf::gPositiveInfinity.object;
const CFNumberRef kCFNumberNegativeInfinity = &cf::gNegativeInfinity.object;
const CFNumberRef kCFNumberNaN = &cf::gNaN.object;

CFTypeID CFBooleanGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFBooleanGetTypeID", injected)) return 0;
    return cf::kBooleanTypeID;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    int32_t injected;
    if (PT_ENTER("CFBooleanGetValue", injected)) return false;
    const __CFBoolean* b = cf::As<__CFBoolean>(boolean, cf::kBooleanTypeID);
    return b && b->mValue;
}

CFTypeID CFNumberGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFNumberGetTypeID", injected)) return 0;
    return cf::kNumberTypeID;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    int32_t injected;
    if (PT_ENTER("CFNumberCreate", injected)) return nullptr;
    const CFNumberType canonical = cf::Canonical(theType);
    if (theType == kCFNumberSInt128Type || !canonical || !valuePtr)
        return cf::CreateNumber(theType, valuePtr);
    return cf::MakeSharing(canonical, cf::Read(canonical, valuePtr));
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    int32_t injected;
    if (PT_ENTER("CFNumberGetType", injected)) return cf::kNoNumberType;
    return cf::NumberType(number);
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
    int32_t injected;
    if (PT_ENTER("CFNumberGetByteSize", injected)) return 0;
    const __CFNumber* n = cf::AsNumber(number);
    return n ? cf::ByteSize(n->Type()) : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    int32_t injected;
    if (PT_ENTER("CFNumberIsFloatType", injected)) return false;
    CFNumberType type = cf::NumberType(number);
    return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    int32_t injected;
    if (PT_ENTER("CFNumberGetValue", injected)) return false;
    const __CFNumber* n = cf::AsNumber(number);
    if (n && valuePtr && theType == kCFNumberSInt128Type)
        return cf::StoreSInt128(n->Value(), valuePtr);
    CFNumberType target = cf::Canonical(theType);
    if (!n || !target || !valuePtr) return false;
    switch (target) {
        case kCFNumberSInt8Type:
            return cf::StoreInteger<int8_t>(n->Value(), valuePtr);
        case kCFNumberSInt16Type:
            return cf::StoreInteger<int16_t>(n->Value(), valuePtr);
        case kCFNumberSInt32Type:
            return cf::StoreInteger<int32_t>(n->Value(), valuePtr);
        case kCFNumberSInt64Type:
            return cf::StoreInteger<int64_t>(n->Value(), valuePtr);
        case kCFNumberFloat32Type:
            return cf::StoreReal<float>(n->Value(), valuePtr);
        default:
            return cf::StoreReal<double>(n->Value(), valuePtr);
    }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*) {
    int32_t injected;
    if (PT_ENTER("CFNumberCompare", injected)) return kCFCompareEqualTo;
    return static_cast<CFComparisonResult>(
        cf::CompareNumbers(cf::GetNumberValue(number), cf::GetNumberValue(otherNumber)));
}

}  // extern "C"

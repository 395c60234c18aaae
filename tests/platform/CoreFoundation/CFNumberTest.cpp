// CFNumber: canonical types, lossy conversions, value equality across types.
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFPriv.h"
#include "support/PlatformTest.h"

namespace {

class CFNumberTest : public PlatformTest {};

TEST_F(CFNumberTest, KeepsTheCanonicalFormOfItsCreationType) {
    struct {
        CFNumberType created, reported;
        CFIndex size;
    } cases[] = {
        {kCFNumberSInt8Type, kCFNumberSInt8Type, 1},
        {kCFNumberCharType, kCFNumberSInt8Type, 1},
        {kCFNumberShortType, kCFNumberSInt16Type, 2},
        {kCFNumberIntType, kCFNumberSInt32Type, 4},
        {kCFNumberSInt32Type, kCFNumberSInt32Type, 4},
        {kCFNumberLongType, kCFNumberSInt64Type, 8},
        {kCFNumberLongLongType, kCFNumberSInt64Type, 8},
        {kCFNumberCFIndexType, kCFNumberSInt64Type, 8},
        {kCFNumberFloatType, kCFNumberFloat32Type, 4},
        {kCFNumberDoubleType, kCFNumberFloat64Type, 8},
        {kCFNumberCGFloatType, kCFNumberFloat64Type, 8},
    };
    alignas(8) unsigned char zero[8] = {};
    for (const auto& c : cases) {
        cf::Ref<CFNumberRef> n(CFNumberCreate(nullptr, c.created, zero));
        ASSERT_TRUE(n) << c.created;
        EXPECT_EQ(CFNumberGetType(n.Get()), c.reported) << c.created;
        EXPECT_EQ(CFNumberGetByteSize(n.Get()), c.size) << c.created;
        EXPECT_EQ(CFNumberIsFloatType(n.Get()),
                  c.reported == kCFNumberFloat32Type || c.reported == kCFNumberFloat64Type);
    }
    EXPECT_EQ(CFNumberCreate(nullptr, static_cast<CFNumberType>(0), zero), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, static_cast<CFNumberType>(kCFNumberSInt128Type + 1), zero),
              nullptr);
}

struct Source {
    enum { kInt, kUInt, kReal, kFloat } kind;
    long long i;
    unsigned long long u;
    double d;
};
Source Int(long long v) {
    return {Source::kInt, v, 0, 0};
}
Source UInt(unsigned long long v) {
    return {Source::kUInt, 0, v, 0};
}
Source Real(double v) {
    return {Source::kReal, 0, 0, v};
}
Source Float(float v) {
    return {Source::kFloat, 0, 0, v};
}

CFNumberRef MakeNumber(const Source& s) {
    switch (s.kind) {
        case Source::kInt:
            return cf::CreateNumberSInt64(s.i);
        case Source::kUInt:
            return cf::CreateNumberUInt64(s.u);
        case Source::kFloat: {
            float f = static_cast<float>(s.d);
            return CFNumberCreate(nullptr, kCFNumberFloat32Type, &f);
        }
        default:
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &s.d);
    }
}

TEST_F(CFNumberTest, GetValueReportsLossAndStillStores) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    struct {
        Source source;
        CFNumberType target;
        bool exact;
        double stored;  // compared after widening the stored value to double
    } cases[] = {
        {Int(300), kCFNumberSInt8Type, false, 44},
        {Int(-1), kCFNumberSInt8Type, true, -1},
        {Int(-129), kCFNumberSInt8Type, false, 127},
        {Int(70000), kCFNumberSInt16Type, false, 4464},
        {Int(2147483648LL), kCFNumberSInt32Type, false, -2147483648.0},
        {Int(-2147483648LL), kCFNumberSInt32Type, true, -2147483648.0},
        {Int(9007199254740993LL), kCFNumberFloat64Type, false, 9007199254740992.0},
        {Int(16777217), kCFNumberFloat32Type, false, 16777216.0},
        {Int(5), kCFNumberDoubleType, true, 5},
        {Real(3.5), kCFNumberSInt32Type, false, 3},
        {Real(-3.5), kCFNumberSInt32Type, false, -3},
        {Real(3.0), kCFNumberSInt32Type, true, 3},
        {Real(1e20), kCFNumberSInt64Type, false, 9223372036854775807.0},
        {Real(-1e20), kCFNumberSInt32Type, false, -2147483648.0},
        {Real(kNaN), kCFNumberSInt32Type, false, 0},
        {Real(0.1), kCFNumberFloat32Type, false, static_cast<double>(0.1f)},
        {Real(0.5), kCFNumberFloat32Type, true, 0.5},
        {Float(0.1f), kCFNumberFloat64Type, true, static_cast<double>(0.1f)},
        {UInt(18446744073709551615ULL), kCFNumberSInt64Type, false, -1},
        {UInt(9223372036854775808ULL), kCFNumberFloat64Type, true, 9223372036854775808.0},
        {UInt(18446744073709551615ULL), kCFNumberFloat64Type, false, 18446744073709551616.0},
    };
    for (const auto& c : cases) {
        cf::Ref<CFNumberRef> n(MakeNumber(c.source));
        ASSERT_TRUE(n);
        alignas(8) unsigned char out[8] = {};
        bool exact = CFNumberGetValue(n.Get(), c.target, out);
        double stored = 0;
        switch (c.target) {
            case kCFNumberSInt8Type:
                stored = *reinterpret_cast<int8_t*>(out);
                break;
            case kCFNumberSInt16Type:
                stored = *reinterpret_cast<int16_t*>(out);
                break;
            case kCFNumberSInt32Type:
                stored = *reinterpret_cast<int32_t*>(out);
                break;
            case kCFNumberSInt64Type:
                stored = static_cast<double>(*reinterpret_cast<int64_t*>(out));
                break;
            case kCFNumberFloat32Type:
                stored = *reinterpret_cast<float*>(out);
                break;
            default:
                std::memcpy(&stored, out, 8);
        }
        EXPECT_EQ(exact, c.exact) << cf::GetNumberValue(n.Get()).d << " → " << c.target;
        EXPECT_EQ(stored, c.stored) << cf::GetNumberValue(n.Get()).d << " → " << c.target;
    }
}

TEST_F(CFNumberTest, UnsignedBeyondSignedRangeStaysWhole) {
    cf::Ref<CFNumberRef> big(cf::CreateNumberUInt64(18446744073709551615ULL));
    EXPECT_EQ(CFNumberGetType(big.Get()), kCFNumberSInt64Type);
    cf::NumberValue v = cf::GetNumberValue(big.Get());
    EXPECT_EQ(v.kind, cf::NumberValue::kUnsigned);
    EXPECT_EQ(v.u, 18446744073709551615ULL);
    cf::Ref<CFNumberRef> small(cf::CreateNumberUInt64(42));
    EXPECT_EQ(cf::GetNumberValue(small.Get()).kind, cf::NumberValue::kSigned);
    cf::Ref<CFNumberRef> minusOne(cf::CreateNumberSInt64(-1));
    EXPECT_FALSE(CFEqual(big.Get(), minusOne.Get()));
    EXPECT_EQ(CFNumberCompare(big.Get(), minusOne.Get(), nullptr), kCFCompareGreaterThan);
}

TEST_F(CFNumberTest, SInt128CarriesValuesOfEither64BitRange) {
    const struct {
        CFSInt128Struct in;
        bool made;
        int64_t asSigned;  // what a signed 64-bit read gives
        bool signedExact;
    } cases[] = {
        {{0, 18446744073709551615ULL}, true, -1, false},
        {{0, 9223372036854775808ULL}, true, INT64_MIN, false},
        {{0, 7}, true, 7, true},
        {{-1, 0xFFFFFFFFFFFFFFF0ULL}, true, -16, true},
        {{1, 0}, false, 0, false},   // beyond 64 bits
        {{-1, 5}, false, 0, false},  // below the signed range
    };
    for (const auto& c : cases) {
        cf::Ref<CFNumberRef> n(CFNumberCreate(nullptr, kCFNumberSInt128Type, &c.in));
        ASSERT_EQ(static_cast<bool>(n), c.made) << c.in.high << ":" << c.in.low;
        if (!n) continue;
        EXPECT_EQ(CFNumberGetType(n.Get()), kCFNumberSInt64Type);
        CFSInt128Struct out{42, 42};
        EXPECT_TRUE(CFNumberGetValue(n.Get(), kCFNumberSInt128Type, &out));
        EXPECT_EQ(out.high, c.in.high);
        EXPECT_EQ(out.low, c.in.low);
        int64_t narrow = 0;
        EXPECT_EQ(CFNumberGetValue(n.Get(), kCFNumberSInt64Type, &narrow), c.signedExact);
        EXPECT_EQ(narrow, c.asSigned);
    }
    // A real reads as its integer part, flagged lossy when it has a fraction.
    double half = -2.5;
    cf::Ref<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberDoubleType, &half));
    CFSInt128Struct out{0, 0};
    EXPECT_FALSE(CFNumberGetValue(real.Get(), kCFNumberSInt128Type, &out));
    EXPECT_EQ(out.high, -1);
    EXPECT_EQ(static_cast<int64_t>(out.low), -2);
}

TEST_F(CFNumberTest, EqualityAndHashFollowValueAcrossTypes) {
    struct {
        Source a, b;
        bool equal;
    } cases[] = {
        {Int(1), Real(1.0), true},
        {Int(1), Float(1.0f), true},
        {Int(1), Real(1.5), false},
        {Real(0.1), Float(0.1f), false},
        {Int(9007199254740993LL), Real(9007199254740992.0), false},
        {UInt(9223372036854775808ULL), Real(9223372036854775808.0), true},
        {Real(std::numeric_limits<double>::quiet_NaN()),
         Real(std::numeric_limits<double>::quiet_NaN()), true},
        {Real(-0.0), Int(0), true},
    };
    for (const auto& c : cases) {
        cf::Ref<CFNumberRef> a(MakeNumber(c.a)), b(MakeNumber(c.b));
        EXPECT_EQ(CFEqual(a.Get(), b.Get()), c.equal) << c.a.d << " vs " << c.b.d;
        EXPECT_EQ(CFEqual(b.Get(), a.Get()), c.equal);
        if (c.equal) {
            EXPECT_EQ(CFHash(a.Get()), CFHash(b.Get()));
        }
    }
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, cf::Ref<CFNumberRef>(cf::CreateNumberSInt64(1)).Get()));
}

TEST_F(CFNumberTest, SingletonsAreImmortal) {
    long live = PTLiveCFObjectCount();
    CFRelease(kCFBooleanTrue);
    CFRelease(kCFNull);
    CFRelease(kCFNumberNaN);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
    EXPECT_TRUE(std::isnan(cf::GetNumberValue(kCFNumberNaN).d));
    EXPECT_EQ(PTLiveCFObjectCount(), live);
}

}  // namespace

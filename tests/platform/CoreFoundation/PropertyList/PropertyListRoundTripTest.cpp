// Round-trip property: whatever the writer writes, the reader reads back as an equal value,
// and writing that again gives the same bytes.
#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "desc/CFRef.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"
#include "support/TypedValue.h"

namespace {

// Random property-list values that are exactly representable in XML: valid UTF-16 only (a
// lone surrogate is written as U+FFFD), whole-second dates (the format has no fraction).
class Generator {
public:
    explicit Generator(uint32_t seed) : mRandom(seed) {}

    CFRef<CFTypeRef> Value(int depth) {
        switch (Below(depth > 0 ? 9 : 7)) {
            case 0:
                return CFRef<CFTypeRef>(String(Below(3) == 0 ? 200 : 12).Detach());
            case 1:
                return Integer();
            case 2:
                return Real();
            case 3:
                return CFRef<CFTypeRef>(CFDateCreate(nullptr, Date()));
            case 4:
                return Data();
            case 5:
                return CFRef<CFTypeRef>(CFRetain(Below(2) ? kCFBooleanTrue : kCFBooleanFalse));
            case 6:
                return CFRef<CFTypeRef>(String(0).Detach());
            case 7:
                return Array(depth - 1);
            default:
                return Dictionary(depth - 1);
        }
    }

private:
    uint64_t Below(uint64_t n) { return mRandom() % n; }

    CFRef<CFStringRef> String(size_t maxLength) {
        static const char16_t kPieces[][3] = {u"a",
                                              u"Z",
                                              u"0",
                                              u" ",
                                              u"&",
                                              u"<",
                                              u">",
                                              u"]]",
                                              u"\"",
                                              u"'",
                                              u"\t",
                                              u"\n",
                                              u"\r",
                                              u"\x01",
                                              u"\x7F",
                                              u"\xE9",
                                              u"\x85",
                                              u"\x65e5",
                                              u"\xFEFF",
                                              u"\xFFFD",
                                              u"\xFFFF",
                                              u"\xD83D\xDE00",
                                              u"\xDBFF\xDFFF",
                                              u"\x0000"};
        std::vector<UniChar> units;
        size_t length = maxLength ? Below(maxLength + 1) : 0;
        for (size_t i = 0; i < length; ++i) {
            const char16_t* piece = kPieces[Below(std::size(kPieces))];
            do units.push_back(*piece);
            while (*++piece);
        }
        return CFRef<CFStringRef>(CFStringCreateWithCharacters(nullptr, units.data(),
                                                               static_cast<CFIndex>(units.size())));
    }

    CFRef<CFTypeRef> Integer() {
        static const int64_t kEdges[] = {0,         1,          -1,        127,      -128,
                                         255,       32767,      -32768,    65535,    INT32_MAX,
                                         INT32_MIN, UINT32_MAX, INT64_MAX, INT64_MIN};
        if (Below(4) == 0)  // above INT64_MAX: only the readers make these
            return CFRef<CFTypeRef>(cf::CreateNumberUInt64(uint64_t{INT64_MAX} + 1 + Below(1000)));
        int64_t v = Below(2) ? kEdges[Below(std::size(kEdges))] : static_cast<int64_t>(mRandom());
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberSInt64Type, &v));
    }

    CFRef<CFTypeRef> Real() {
        static const double kSpecial[] = {0.0,
                                          -0.0,
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::denorm_min(),
                                          std::numeric_limits<double>::max(),
                                          0.1,
                                          1e17,
                                          1e-5};
        if (Below(5) == 0) {
            float f = static_cast<float>(std::ldexp(static_cast<double>(Below(1 << 24)), -12));
            return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberFloat32Type, &f));
        }
        double d;
        if (Below(2)) {
            d = kSpecial[Below(std::size(kSpecial))];
        } else {
            do {
                uint64_t bits = mRandom();
                std::memcpy(&d, &bits, sizeof d);
            } while (!std::isfinite(d));
        }
        return CFRef<CFTypeRef>(CFNumberCreate(nullptr, kCFNumberFloat64Type, &d));
    }

    double Date() {
        static const double kEdges[] = {
            0, -1, 59, -978307200, -63113904000.0, -63145526401.0, 252423993600.0, -70000000000.0};
        if (Below(2)) return kEdges[Below(std::size(kEdges))];
        return static_cast<double>(static_cast<int64_t>(Below(1ull << 40)) - (1ll << 39));
    }

    CFRef<CFTypeRef> Data() {
        std::vector<UInt8> bytes(Below(3) == 0 ? Below(300) : Below(8));
        for (UInt8& b : bytes) b = static_cast<UInt8>(mRandom());
        return CFRef<CFTypeRef>(
            CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size())));
    }

    CFRef<CFTypeRef> Array(int depth) {
        CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        for (uint64_t n = Below(6); n > 0; --n) CFArrayAppendValue(array.Get(), Value(depth).Get());
        return CFRef<CFTypeRef>(array.Detach());
    }

    CFRef<CFTypeRef> Dictionary(int depth) {
        CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        for (uint64_t n = Below(6); n > 0; --n)
            CFDictionarySetValue(dict.Get(), String(6).Get(), Value(depth).Get());
        return CFRef<CFTypeRef>(dict.Detach());
    }

    std::mt19937_64 mRandom;
};

using PropertyListRoundTrip = PlatformTest;

TEST_F(PropertyListRoundTrip, ReadingWhatWasWrittenGivesAnEqualValue) {
    for (uint32_t seed = 1; seed <= 1500; ++seed) {
        Generator generator(seed);
        CFRef<CFTypeRef> value = generator.Value(seed % 6);
        CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, value.Get()));
        ASSERT_TRUE(xml) << "seed " << seed;
        CFStringRef error = nullptr;
        CFRef<CFTypeRef> back(
            CFPropertyListCreateFromXMLData(nullptr, xml.Get(), kCFPropertyListImmutable, &error));
        CFRef<CFStringRef> ownedError(error);
        ASSERT_TRUE(back) << "seed " << seed << "\n" << testjson::Bytes(xml.Get());
        EXPECT_TRUE(CFEqual(value.Get(), back.Get())) << "seed " << seed << "\n"
                                                      << testjson::Bytes(xml.Get());
        CFRef<CFDataRef> again(CFPropertyListCreateXMLData(nullptr, back.Get()));
        EXPECT_EQ(testjson::Bytes(again.Get()), testjson::Bytes(xml.Get())) << "seed " << seed;
    }
}

// NaN equals nothing, itself included, so it gets its own check.
TEST_F(PropertyListRoundTrip, NaNStaysNaN) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat64Type, &nan));
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, number.Get()));
    CFRef<CFTypeRef> back(
        CFPropertyListCreateFromXMLData(nullptr, xml.Get(), kCFPropertyListImmutable, nullptr));
    ASSERT_TRUE(back);
    double value = 0;
    ASSERT_EQ(CFGetTypeID(back.Get()), CFNumberGetTypeID());
    CFNumberGetValue(static_cast<CFNumberRef>(back.Get()), kCFNumberFloat64Type, &value);
    EXPECT_TRUE(std::isnan(value));
}

}  // namespace

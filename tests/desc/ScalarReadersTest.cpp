// The scalar readers: native widths, the coercion paths and the statuses they pass on.
#include <climits>
#include <functional>

#include "desc/CAEDesc.h"
#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

using ScalarReadersTest = PlatformTest;

// Every reader as a call that discards its value, for the cases all of them share.
const std::pair<const char*, std::function<void(const CAEDescReader&)>> kReaders[] = {
    {"GetDouble", [](const CAEDescReader& r) { (void)r.GetDouble(); }},
    {"GetSInt32", [](const CAEDescReader& r) { (void)r.GetSInt32(); }},
    {"GetSInt64", [](const CAEDescReader& r) { (void)r.GetSInt64(); }},
    {"GetEnum", [](const CAEDescReader& r) { (void)r.GetEnum(); }},
    {"GetTypeCode", [](const CAEDescReader& r) { (void)r.GetTypeCode(); }},
    {"GetBoolean", [](const CAEDescReader& r) { (void)r.GetBoolean(); }},
    {"GetLongDateTime", [](const CAEDescReader& r) { (void)r.GetLongDateTime(); }},
};

TEST_F(ScalarReadersTest, NullFailsEveryReaderWithoutCoercion) {
    CAEDesc null;
    for (const auto& reader : kReaders)
        EXPECT_EQ(StatusOf([&] { reader.second(null); }), errAECoercionFail) << reader.first;
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);
}

TEST_F(ScalarReadersTest, NativeNumbersReadAtTheirWidth) {
    struct Case {
        CAEDesc desc;
        double asDouble;
        int64_t asInteger;  // GetSInt32 and GetSInt64 alike
    } cases[] = {
        {MakeScalar<int16_t>(typeSInt16, -1), -1.0, -1},
        {MakeScalar<int32_t>(typeSInt32, INT32_MIN), double(INT32_MIN), INT32_MIN},
        {MakeScalar<Fixed>(typeFixed, 0x00018000), 1.5, 0},
        {MakeScalar<Fixed>(typeFixed, int32_t(0xFFFF8000)), -0.5, 0},
        {MakeScalar<float>(typeIEEE32BitFloatingPoint, 0.25f), 0.25, 0},
        {MakeScalar<double>(typeIEEE64BitFloatingPoint, 1e300), 1e300, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.desc.GetDouble(), c.asDouble);
        if (c.desc.mDesc.descriptorType == typeSInt16 ||
            c.desc.mDesc.descriptorType == typeSInt32) {
            EXPECT_EQ(c.desc.GetSInt32(), c.asInteger);
            EXPECT_EQ(c.desc.GetSInt64(), c.asInteger);
        }
    }
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);

    CAEDesc wide = MakeScalar<int64_t>(typeSInt64, INT64_C(1) << 40);
    EXPECT_EQ(wide.GetSInt64(), INT64_C(1) << 40);
    // Outside 32 bits, only the 'comp' reader itself can take it: the path to 'long' refuses.
    EXPECT_EQ(StatusOf([&] { (void)wide.GetSInt32(); }), errAECoercionFail);
}

TEST_F(ScalarReadersTest, DataOfAnotherWidthIsCorruptNotPaddedOrCut) {
    const std::pair<CAEDesc, std::function<void(const CAEDescReader&)>> cases[] = {
        {MakeDesc(typeSInt32, ""), [](const CAEDescReader& r) { (void)r.GetSInt32(); }},
        {MakeDesc(typeSInt32, "\x01\x02\x03\x04\x05"),
         [](const CAEDescReader& r) { (void)r.GetSInt64(); }},
        {MakeDesc(typeSInt16, "\x01"), [](const CAEDescReader& r) { (void)r.GetSInt32(); }},
        {MakeDesc(typeSInt64, "\x01\x02\x03\x04"),
         [](const CAEDescReader& r) { (void)r.GetSInt64(); }},
        {MakeDesc(typeLongDateTime, ""), [](const CAEDescReader& r) { (void)r.GetLongDateTime(); }},
        {MakeDesc(typeIEEE64BitFloatingPoint, std::string("\0\0\xF0\x3F", 4)),
         [](const CAEDescReader& r) { (void)r.GetDouble(); }},
        {MakeDesc(typeIEEE32BitFloatingPoint, "\x01\x02"),
         [](const CAEDescReader& r) { (void)r.GetDouble(); }},
        {MakeDesc(typeBoolean, ""), [](const CAEDescReader& r) { (void)r.GetBoolean(); }},
        {MakeDesc(typeBoolean, std::string("\x01\x00", 2)),
         [](const CAEDescReader& r) { (void)r.GetBoolean(); }},
        {MakeDesc(typeEnumerated, "yes"), [](const CAEDescReader& r) { (void)r.GetEnum(); }},
        {MakeDesc(typeType, "TEXT!"), [](const CAEDescReader& r) { (void)r.GetTypeCode(); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusOf([&] { c.second(c.first); }), errAECorruptData)
            << std::string(reinterpret_cast<const char*>(&c.first.mDesc.descriptorType), 4);
    }
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);
}

TEST_F(ScalarReadersTest, BooleansAndCodes) {
    EXPECT_TRUE(MakeScalar<uint8_t>(typeBoolean, 2).GetBoolean());
    EXPECT_FALSE(MakeScalar<uint8_t>(typeBoolean, 0).GetBoolean());
    CAEDesc yes = MakeDesc(typeTrue, "");
    CAEDesc no = MakeDesc(typeFalse, "");
    PTReset();
    EXPECT_TRUE(yes.GetBoolean());
    EXPECT_FALSE(no.GetBoolean());
    EXPECT_EQ(PTCallCount("AEGetDescData"), 0u);

    CAEDesc prop = MakeScalar<DescType>(typeProperty, FourCC("pnam"));
    EXPECT_EQ(prop.GetTypeCode(), FourCC("pnam"));
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);
    EXPECT_EQ(prop.GetEnum(), FourCC("pnam"));  // 'prop' is not native to GetEnum
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 1u);

    CAEDesc keyword = MakeScalar<DescType>(typeKeyword, FourCC("abcd"));
    EXPECT_EQ(keyword.GetTypeCode(), FourCC("abcd"));
    EXPECT_EQ(MakeScalar<LongDateTime>(typeLongDateTime, -5).GetLongDateTime(), -5);
}

TEST_F(ScalarReadersTest, CoercedSourcesAreReadThroughATemporary) {
    CAEDesc text = MakeDesc(typeChar, " 42 ");
    EXPECT_EQ(text.GetSInt32(), 42);
    EXPECT_EQ(text.GetSInt64(), 42);
    EXPECT_EQ(text.GetDouble(), 42.0);
    EXPECT_EQ(PTCallCount("AEDisposeDesc"), 3u);  // one temporary per read
}

TEST_F(ScalarReadersTest, NonNativeWithoutDataNeedsNoCoercionExceptForGetDouble) {
    AEDesc noData = {typeChar, nullptr};
    CAEDescReader view(&noData);
    EXPECT_EQ(StatusOf([&] { (void)view.GetSInt32(); }), errAECoercionFail);
    EXPECT_EQ(StatusOf([&] { (void)view.GetBoolean(); }), errAECoercionFail);
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);
    EXPECT_NE(StatusOf([&] { (void)view.GetDouble(); }), 0);
    EXPECT_GE(PTCallCount("AECoerceDesc"), 1u);
}

TEST_F(ScalarReadersTest, GetDoubleTriesItsTargetsInOrderUntilOneIsNotRefused) {
    const DescType chain[] = {typeIEEE64BitFloatingPoint, typeIEEE32BitFloatingPoint, typeFixed,
                              typeSInt32, typeSInt16};
    struct Case {
        std::vector<int32_t> statuses;
        int32_t thrown;
        std::size_t attempts;
    } cases[] = {
        {{errAECoercionFail}, errAECoercionFail, 5},
        {{paramErr}, paramErr, 1},
        {{errAECoercionFail, errAECoercionFail, -4960}, -4960, 3},
    };
    for (const Case& c : cases) {
        CoercionScript script{c.statuses, {}};
        ScopedCoercion handlers(FourCC("xxxx"), {std::begin(chain), std::end(chain)}, script);
        CAEDesc odd = MakeDesc(FourCC("xxxx"), "?");
        EXPECT_EQ(StatusOf([&] { (void)odd.GetDouble(); }), c.thrown);
        ASSERT_EQ(script.asked.size(), c.attempts);
        for (std::size_t i = 0; i < c.attempts; ++i) EXPECT_EQ(script.asked[i], chain[i]);
    }
}

TEST_F(ScalarReadersTest, StatusesPassUnchanged) {
    CoercionScript script{{-4711}, {}};
    ScopedCoercion handlers(FourCC("xxxx"), {typeSInt32, typeBoolean, typeLongDateTime}, script);
    CAEDesc odd = MakeDesc(FourCC("xxxx"), "?");
    EXPECT_EQ(StatusOf([&] { (void)odd.GetSInt32(); }), -4711);
    EXPECT_EQ(StatusOf([&] { (void)odd.GetSInt64(); }), -4711);
    EXPECT_EQ(StatusOf([&] { (void)odd.GetBoolean(); }), -4711);
    EXPECT_EQ(StatusOf([&] { (void)odd.GetLongDateTime(); }), -4711);

    CAEDesc number = MakeScalar<int32_t>(typeSInt32, 7);
    PTFailCalls("AEGetDescData", 0, 1, errAECorruptData);
    EXPECT_EQ(StatusOf([&] { (void)number.GetSInt32(); }), errAECorruptData);
    // A temporary that cannot be read is still released (the fixture checks).
    CAEDesc text = MakeDesc(typeChar, "7");
    PTFailCalls("AEGetDescData", 0, 1, errAECorruptData);
    EXPECT_EQ(StatusOf([&] { (void)text.GetDouble(); }), errAECorruptData);
}

}  // namespace

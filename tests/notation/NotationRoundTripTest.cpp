// parse(print(d)) == d over generated descriptors: random trees of every type the notation
// knows, with random bytes that are often not a valid value of their type.
#include <random>

#include "notation/NotationTestSupport.h"
#include "support/PlatformTest.h"

namespace {

class DescGenerator {
public:
    explicit DescGenerator(uint32_t seed) : mRandom(seed) {}

    OwnedDesc Make(int depth) {
        const int kind = Pick(depth < 4 ? 14 : 11);
        switch (kind) {
            case 0:
                return Scalar(typeSInt32, 4);
            case 1:
                return Scalar(typeSInt64, Pick(2) ? 8 : Pick(10));
            case 2:
                return Scalar(typeIEEE64BitFloatingPoint, 8);
            case 3:
                return Scalar(typeIEEE32BitFloatingPoint, Pick(2) ? 4 : 3);
            case 4:
                return Scalar(kTextTypes[Pick(std::size(kTextTypes))], Pick(12));
            case 5:
                return Scalar(typeUnicodeText, 2 * Pick(6));
            case 6:
                return Scalar(typeBoolean, Pick(3));
            case 7:
                return Scalar(kCodeTypes[Pick(std::size(kCodeTypes))], Pick(4) ? 4 : 5);
            case 8:
                return Scalar(kNumberTypes[Pick(std::size(kNumberTypes))], Pick(9));
            case 9:
                return Scalar(RandomCode(), Pick(6));
            case 10:
                return OwnedDesc();
            case 11:
                return List(depth);
            case 12:
                return Record(depth, typeAERecord);
            default:
                return Record(depth, Pick(2) ? DescType{typeObjectSpecifier} : RandomCode());
        }
    }

private:
    static constexpr DescType kTextTypes[] = {typeChar, typeUTF8Text, typeFileURL, FourCC("psxf"),
                                              FourCC("bund")};
    static constexpr DescType kCodeTypes[] = {typeType, typeEnumerated, typeKeyword, FourCC("abso"),
                                              typeProperty};
    static constexpr DescType kNumberTypes[] = {typeSInt16, typeUInt32, typeFixed, FourCC("ldt ")};

    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(mRandom); }

    // Mostly small bytes and ASCII, sometimes the awkward ones: quotes, backslashes, controls,
    // high bytes and halves of surrogates.
    uint8_t RandomByte() {
        static constexpr uint8_t kAwkward[] = {0,    '\'', '\\', '"',  0x7F,
                                               0x80, 0xC3, 0xD8, 0xDC, 0xFF};
        if (Pick(3) == 0) return kAwkward[Pick(std::size(kAwkward))];
        return static_cast<uint8_t>(Pick(2) ? 0x20 + Pick(95) : Pick(256));
    }

    DescType RandomCode() {
        DescType code = 0;
        for (int i = 0; i < 4; ++i) code = (code << 8) | RandomByte();
        // Containers and 'null' have their own shapes; keep the fallback type a plain one.
        if (code == typeNull || code == typeAEList || code == typeAERecord) code = FourCC("rdat");
        return code;
    }

    OwnedDesc Scalar(DescType type, size_t size) {
        std::string bytes(size, '\0');
        for (char& b : bytes) b = static_cast<char>(RandomByte());
        // Reals: sometimes a real value rather than random bits.
        if (type == typeIEEE64BitFloatingPoint && Pick(2))
            bytes = BytesOf(std::uniform_real_distribution<double>(-1e20, 1e20)(mRandom));
        return MakeDesc(type, bytes);
    }

    OwnedDesc List(int depth) {
        OwnedDesc list;
        EXPECT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
        for (size_t i = Pick(4); i > 0; --i) {
            OwnedDesc item = Make(depth + 1);
            EXPECT_EQ(AEPutDesc(list.Mutable(), 0, &item.Get()), noErr);
        }
        return list;
    }

    OwnedDesc Record(int depth, DescType type) {
        OwnedDesc record;
        EXPECT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
        for (size_t i = Pick(4); i > 0; --i) {
            OwnedDesc item = Make(depth + 1);
            EXPECT_EQ(AEPutParamDesc(record.Mutable(), RandomCode(), &item.Get()), noErr);
        }
        if (type == typeAERecord) return record;
        OwnedDesc typed;
        EXPECT_EQ(AECoerceDesc(&record.Get(), type, typed.Out()), noErr);
        return typed;
    }

    std::mt19937 mRandom;
};

class NotationRoundTripTest : public PlatformTestWithParam<uint32_t> {};

TEST_P(NotationRoundTripTest, ParsePrintIsIdentity) {
    DescGenerator generator(GetParam());
    for (int i = 0; i < 200; ++i) {
        OwnedDesc original = generator.Make(0);
        const std::string text = Print(original.Get());
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
        OwnedDesc parsed;
        NotationError error;
        ASSERT_TRUE(ParseDesc(text, parsed, error)) << text << "\n" << error.Describe();
        EXPECT_TRUE(SameDesc(original.Get(), parsed.Get())) << text;
        EXPECT_EQ(Print(parsed.Get()), text);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, NotationRoundTripTest, ::testing::Range(1u, 11u));

class NotationScaleTest : public PlatformTest {};

// Large inputs stay linear: 200,000 items each way in well under a second.
TEST_F(NotationScaleTest, LargeListAndRecord) {
    std::string list = "[";
    std::string record = "{";
    for (int i = 0; i < 200000; ++i) {
        if (i) list += ", ", record += ", ";
        list += std::to_string(i);
        const uint32_t key = 0x41414141u + static_cast<uint32_t>(i % 26) +
                             (static_cast<uint32_t>(i / 26 % 26) << 8) +
                             (static_cast<uint32_t>(i / 676 % 26) << 16) +
                             (static_cast<uint32_t>(i / 17576 % 26) << 24);
        notation::AppendCode(key, record);
        record += ":1";
    }
    list += "]";
    record += "}";
    for (const std::string& text : {list, record}) {
        OwnedDesc desc;
        NotationError error;
        ASSERT_TRUE(ParseDesc(text, desc, error)) << error.Describe();
        EXPECT_EQ(Print(desc.Get()), text);
    }
}

}  // namespace

// Store then load: generated descriptor trees of every mapped type, nested lists and records,
// user fields and raw descriptors come back exactly as the shared encoding promises.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "commands/CommandTestSupport.h"
#include "convert/PropertyListToDesc.h"
#include "shell/AdditionEntryPoints.h"
#include "support/PlatformTest.h"

namespace {

class Generator {
public:
    explicit Generator(unsigned seed) : mRandom(seed) {}

    OwnedDesc Value(int depth) {
        int kind = Pick(depth < 4 ? 24 : 20);
        switch (kind) {
            case 0:
                return MakeUnicode(Text(false));
            case 1:
                return MakeBytes(typeUTF8Text, UTF8(Text(false)));
            case 2:
                return MakeBytes(typeChar, MacRoman(Text(true)));
            case 3:
                return CoercedTo(*MakeUnicode(Text(true)), typeStyledText);
            case 4:
                return CoercedTo(*MakeUnicode(Text(false)), typeStyledUnicodeText);
            case 5:
                return CoercedTo(*MakeUnicode(Text(true)), typeIntlText);
            case 6:
                return MakeValue(typeSInt16, int16_t(Int(-32768, 32767)));
            case 7:
                return MakeValue(typeSInt32, int32_t(Int(INT32_MIN, INT32_MAX)));
            case 8:
                return MakeValue(typeUInt32, uint32_t(Int(0, INT32_MAX)));
            case 9: {
                static const int64_t kEdges[] = {
                    0, 2147483647, 2147483648LL, -2147483647, -2147483648LL, INT64_MAX, INT64_MIN};
                return MakeValue(typeSInt64, Pick(2) ? kEdges[Pick(7)] : Int(INT64_MIN, INT64_MAX));
            }
            case 10:
                return MakeValue(typeIEEE32BitFloatingPoint, float(Real()));
            case 11:
                return MakeValue(typeIEEE64BitFloatingPoint, Real());
            case 12:
                return MakeValue(typeBoolean, uint8_t(Pick(3)));
            case 13:
                return MakeBytes(Pick(2) ? typeTrue : typeFalse, "");
            case 14:
                return MakeValue(typeLongDateTime, int64_t(Int(0, 6'000'000'000LL)));
            case 15:
                return MakeBytes(typeWildCard, Bytes());
            case 16:
                return MakeValue(typeEnumerated, Keyword());
            case 17:
                return RawOfAnyType();
            case 18:
                return FileSpecifier(Text(false));
            case 19:
                return MakeNull();
            case 20:
            case 21:
                return List(depth);
            default:
                return Record(depth);
        }
    }

private:
    int Pick(int count) { return static_cast<int>(mRandom() % static_cast<unsigned>(count)); }
    int64_t Int(int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(mRandom);
    }
    double Real() {
        static const double kEdges[] = {0.0, 0.1, 1e300, 5e-324, -1.5, 1e16, 3.0};
        if (Pick(2)) return kEdges[Pick(7)];
        return std::ldexp(double(Int(-(1LL << 52), 1LL << 52)), int(Int(-60, 60)));
    }
    // Letters, markup characters and, unless only Mac OS Roman is wanted, characters beyond it.
    std::u16string Text(bool macRoman) {
        static const char16_t kRoman[] = u"abcXYZ 09&<>\"'\u00E9\u00FC\t\n";
        static const char16_t kWide[] = u"\u4E2D\u0100\U0001F600";
        std::u16string text;
        for (int i = Pick(8); i > 0; --i) {
            if (!macRoman && Pick(4) == 0) {
                int at = Pick(3);
                text += kWide[at];
                if (at == 2) text += kWide[3];
            } else {
                text += kRoman[Pick(sizeof kRoman / 2 - 1)];
            }
        }
        return text;
    }
    static std::string UTF8(const std::u16string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c < 0xDC00)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            if (c < 0x80) {
                out += char(c);
            } else if (c < 0x800) {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                out += char(0xE0 | (c >> 12));
                out += char(0x80 | ((c >> 6) & 0x3F));
                out += char(0x80 | (c & 0x3F));
            } else {
                out += char(0xF0 | (c >> 18));
                out += char(0x80 | ((c >> 12) & 0x3F));
                out += char(0x80 | ((c >> 6) & 0x3F));
                out += char(0x80 | (c & 0x3F));
            }
        }
        return out;
    }
    static std::string MacRoman(const std::u16string& text) {
        std::string out;
        for (char16_t c : text) out += c == u'\u00E9' ? '\x8E' : c == u'\u00FC' ? '\x9F' : char(c);
        return out;
    }
    std::string Bytes() {
        std::string bytes;
        for (int i = Pick(12); i > 0; --i) bytes += char(mRandom());
        return bytes;
    }
    FourCharCode Keyword() {
        FourCharCode code = 0;
        for (int i = 0; i < 4; ++i)
            code = (code << 8) | FourCharCode("abcdefghijklmnopqrstuvwxyz #"[Pick(28)]);
        return code == keyASUserRecordFields ? FourCC("pnam") : code;
    }
    OwnedDesc RawOfAnyType() {
        static const DescType kTypes[] = {typeType,    typeFixed,          typeFileURL,
                                          typeAlias,   typeApplicationURL, FourCC("psxf"),
                                          typeKeyword, FourCC("zzzz")};
        return MakeBytes(kTypes[Pick(8)], Bytes());
    }
    OwnedDesc List(int depth) {
        OwnedDesc list = MakeList({});
        for (int i = Pick(5); i > 0; --i) AEPutDesc(list.Mutable(), 0, &Value(depth + 1).Get());
        return list;
    }
    OwnedDesc Record(int depth) {
        OwnedDesc record = MakeRecord({});
        for (int i = Pick(4); i > 0; --i)
            AEPutParamDesc(record.Mutable(), Keyword(), &Value(depth + 1).Get());
        if (Pick(3)) {
            OwnedDesc userFields = MakeList({});
            for (int i = Pick(4); i > 0; --i) {
                std::u16string key = Text(true) + u"#" + char16_t(u'0' + i);
                OwnedDesc keyDesc = Pick(2) ? MakeUnicode(key) : MakeBytes(typeChar, MacRoman(key));
                AEPutDesc(userFields.Mutable(), 0, &keyDesc.Get());
                AEPutDesc(userFields.Mutable(), 0, &Value(depth + 1).Get());
            }
            if (Pick(4) == 0) AEPutDesc(userFields.Mutable(), 0, &MakeUnicode(u"odd").Get());
            AEPutParamDesc(record.Mutable(), keyASUserRecordFields, &userFields.Get());
        }
        // A record of a custom class is a raw descriptor, kept whole.
        return Pick(6) == 0 ? CoercedTo(*record, FourCC("Cust")) : std::move(record);
    }

    std::mt19937_64 mRandom;
};

class RoundTripTest : public PlatformTest {
protected:
    // Stores `value` (to a file when `path` is not empty) and loads what was stored.
    std::string StoreThenLoad(const OwnedDesc& value, const std::string& path) {
        OwnedDesc store = MakeEvent(kAEStorePList, {kStoreDestination});
        PutParam(store, keyDirectObject, value);
        if (!path.empty()) PutParam(store, kStoreDestination, FileReference(typeFileURL, path));
        OwnedDesc stored = MakeReply();
        OSErr status = StorePList(&store.Get(), stored.Mutable(), 0);
        if (status) return "store failed with " + std::to_string(status);
        OwnedDesc load = MakeEvent(kAELoadPList);
        PutParam(load, keyDirectObject, ResultOf(stored));
        OwnedDesc loaded = MakeReply();
        status = LoadPList(&load.Get(), loaded.Mutable(), 0);
        if (status) return "load failed with " + std::to_string(status);
        return Describe(*ResultOf(loaded));
    }

    ScratchFolder mFolder;
};

TEST_F(RoundTripTest, GeneratedTreesComeBackAsTheEncodingPromises) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        Generator generator(seed);
        OwnedDesc value = generator.Value(0);
        std::string path = seed % 2 ? mFolder.Path("value.plist") : "";
        EXPECT_EQ(StoreThenLoad(value, path), Describe(*ExpectedAfterRoundTrip(*value)))
            << "seed " << seed << ": " << Describe(*value);
    }
}

TEST_F(RoundTripTest, NestingUpToTheLimitComesBackAndDeeperIsRefusedWhole) {
    // Loading puts each record's user fields one level further down, inside an event inside a
    // reply; the Apple Event Manager has room for all of it, so the converters set the limit.
    for (bool records : {false, true}) {
        OwnedDesc value = MakeUnicode(u"leaf");
        for (int level = 1; level <= kMaxPropertyListDepth; ++level)
            value = records ? MakeRecord({{FourCC("pnam"), std::move(value)}})
                            : MakeList({std::move(value)});
        EXPECT_EQ(StoreThenLoad(value, ""), Describe(*ExpectedAfterRoundTrip(*value))) << records;
        value = records ? MakeRecord({{FourCC("pnam"), std::move(value)}})
                        : MakeList({std::move(value)});
        EXPECT_EQ(StoreThenLoad(value, ""),
                  "store failed with " + std::to_string(errOSAStackOverflow))
            << records;
    }
}

}  // namespace

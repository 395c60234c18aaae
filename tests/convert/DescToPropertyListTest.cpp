// Descriptor → property list: the mapping table, records with keyword and user fields, raw
// descriptors, and failures that end the whole conversion.
#include "convert/DescToPropertyList.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "convert/CFBuilders.h"
#include "convert/DescBuilders.h"
#include "convert/PropertyListToDesc.h"
#include "convert/WideInteger.h"
#include "support/PlatformTest.h"

namespace {

class DescToPropertyListTest : public PlatformTest {
protected:
    // The status DescToPropertyList throws (0 when it returns), the result in `out`.
    static int32_t Convert(const AEDesc& desc, CFObject& out) {
        try {
            out.Reset(DescToPropertyList(desc));
            return 0;
        } catch (int32_t status) {
            return status;
        }
    }
};

CFObject CFUInt64Max() {
    WideInteger value{0, UINT64_MAX};
    return CFObject(CFNumberCreate(kCFAllocatorDefault, kWideIntegerNumberType, &value));
}

CFObject RawDesc(std::string_view type, std::string_view data) {
    CFObject typeText = CFStr(type), bytes = CFBytes(data);
    return CFDict({{CFSTR("AEDescType"), typeText.Get()}, {CFSTR("AEDescData"), bytes.Get()}});
}

struct MappingRow {
    const char* what;
    OwnedDesc desc;
    CFObject expected;
    CFIndex numberType;  // a CFNumberType, or 0 when the result is no number
};

TEST_F(DescToPropertyListTest, MapsEachDescriptorTypeToItsPropertyListObject) {
    OwnedDesc text = MakeUnicode(u"x\u00E9");
    CFAbsoluteTime when = 0;
    ASSERT_EQ(UCConvertLongDateTimeToCFAbsoluteTime(3061152000LL + 86400, &when), noErr);
    MappingRow rows[] = {
        {"utxt", MakeUnicode(u"x\u00E9"), CFStr("x\xC3\xA9"), 0},
        {"utf8", MakeBytes(typeUTF8Text, "x\xC3\xA9"), CFStr("x\xC3\xA9"), 0},
        {"TEXT", MakeBytes(typeChar, "x\x8E"), CFStr("x\xC3\xA9"), 0},
        {"STXT", CoercedTo(*text, typeStyledText), CFStr("x\xC3\xA9"), 0},
        {"sutx", CoercedTo(*text, typeStyledUnicodeText), CFStr("x\xC3\xA9"), 0},
        {"itxt", CoercedTo(*text, typeIntlText), CFStr("x\xC3\xA9"), 0},
        {"bool 2", MakeValue(typeBoolean, uint8_t(2)), CFShared(kCFBooleanTrue), 0},
        {"bool 0", MakeValue(typeBoolean, uint8_t(0)), CFShared(kCFBooleanFalse), 0},
        {"true", MakeBytes(typeTrue, ""), CFShared(kCFBooleanTrue), 0},
        {"fals", MakeBytes(typeFalse, ""), CFShared(kCFBooleanFalse), 0},
        {"shor -1", MakeValue(typeSInt16, int16_t(-1)), CFInt32(-1), kCFNumberSInt32Type},
        {"long", MakeValue(typeSInt32, int32_t(INT32_MIN)), CFInt32(INT32_MIN),
         kCFNumberSInt32Type},
        {"magn", MakeValue(typeUInt32, uint32_t(7)), CFInt32(7), kCFNumberSInt32Type},
        {"magn above 2^31", MakeValue(typeUInt32, uint32_t(4000000000u)), CFInt64(4000000000LL),
         kCFNumberSInt64Type},
        // A 'ucom' within the signed range keeps its type as a raw descriptor.
        {"ucom small", MakeValue(typeUInt64, uint64_t(7)),
         RawDesc("ucom", std::string("\x07\0\0\0\0\0\0\0", 8)), 0},
        {"ucom of 4 bytes", MakeBytes(typeUInt64, "\xFF\xFF\xFF\xFF"),
         RawDesc("ucom", "\xFF\xFF\xFF\xFF"), 0},
        {"ucom", MakeValue(typeUInt64, UINT64_MAX), CFUInt64Max(), kCFNumberSInt64Type},
        {"enum of 3 bytes", MakeBytes(typeEnumerated, "yes"), RawDesc("enum", "yes"), 0},
        {"enum of 6 bytes", MakeBytes(typeEnumerated, "yes no"), RawDesc("enum", "yes no"), 0},
        {"empty enum", MakeBytes(typeEnumerated, ""), RawDesc("enum", ""), 0},
        {"comp", MakeValue(typeSInt64, int64_t(1099511627776LL)), CFInt64(1099511627776LL),
         kCFNumberSInt64Type},
        {"comp small", MakeValue(typeSInt64, int64_t(3)), CFInt64(3), kCFNumberSInt64Type},
        {"sing", MakeValue(typeIEEE32BitFloatingPoint, 1.5f), CFReal(1.5), kCFNumberDoubleType},
        {"doub", MakeValue(typeIEEE64BitFloatingPoint, -0.25), CFReal(-0.25), kCFNumberDoubleType},
        {"ldt", MakeValue(typeLongDateTime, int64_t(3061152000LL + 86400)),
         CFObject(CFDateCreate(kCFAllocatorDefault, when)), 0},
        {"empty list", MakeList({}),
         CFObject(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks)), 0},
        {"****", MakeBytes(typeWildCard, std::string("\0\x01", 2)),
         CFBytes(std::string("\0\x01", 2)), 0},
        {"empty ****", MakeBytes(typeWildCard, ""), CFBytes(""), 0},
        {"enum", MakeValue(typeEnumerated, FourCC("yes ")), RawDesc("enum", "yes "), 0},
        {"type", MakeValue(typeType, FourCC("TEXT")), RawDesc("type", "TXET"),
         0},  // host (little-endian) order
        {"null", MakeNull(), RawDesc("null", ""), 0},
        {"zero in code", MakeBytes(0x61006263, "q"), RawDesc("a", "q"), 0},
        {"fixd", MakeValue(typeFixed, int32_t(0x18000)),
         RawDesc("fixd", std::string("\0\x80\x01\0", 4)), 0},
        {"high code", MakeBytes(0x8E8E8E8E, ""), RawDesc("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", ""),
         0},
    };
    for (MappingRow& row : rows) {
        ASSERT_TRUE(row.expected) << row.what;
        CFObject out;
        ASSERT_EQ(Convert(*row.desc, out), 0) << row.what;
        EXPECT_TRUE(CFEqual(out.Get(), row.expected.Get())) << row.what;
        if (row.numberType == kCFNumberDoubleType) {
            // The platform may report a double under its canonical name, Float64.
            EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(out.Get()))) << row.what;
        } else if (row.numberType) {
            EXPECT_EQ(CFNumberGetType(static_cast<CFNumberRef>(out.Get())), row.numberType)
                << row.what;
        }
    }
}

TEST_F(DescToPropertyListTest, RecordsOfOtherTypesAreStoredAsRawDescriptors) {
    OwnedDesc specifier = MakeRecord({{FourCC("want"), MakeValue(typeType, FourCC("file"))},
                                      {FourCC("seld"), MakeUnicode(u"/tmp/x")}},
                                     FourCC("obj "));
    CFObject out;
    ASSERT_EQ(Convert(*specifier, out), 0);
    CFObject expected = RawDesc("obj ", DataOf(*specifier));
    EXPECT_TRUE(CFEqual(out.Get(), expected.Get()));
}

TEST_F(DescToPropertyListTest, TrueAndFalseNeedNoPlatformCall) {
    OwnedDesc yes = MakeBytes(typeTrue, ""), no = MakeBytes(typeFalse, "");
    PTReset();
    EXPECT_EQ(DescToPropertyList(*yes), kCFBooleanTrue);
    EXPECT_EQ(DescToPropertyList(*no), kCFBooleanFalse);
    EXPECT_EQ(PTTotalCallCount(), 0u);
}

TEST_F(DescToPropertyListTest, RecordsWriteQuotedKeywordsAndUserFields) {
    struct Row {
        const char* what;
        OwnedDesc record;
        CFObject expected;
    };
    CFObject x = CFStr("x"), one = CFInt32(1), field = CFStr("field");
    CFObject quotedPnam = CFStr("'pnam'"), a = CFStr("a"), ab = CFStr("'ab'"),
             cafe = CFStr("'caf\xC3\xA9'");
    OwnedDesc oddUserFields =
        MakeList({MakeUnicode(u"a"), MakeValue(typeSInt32, int32_t(1)), MakeUnicode(u"b")});
    OwnedDesc numberKey = MakeList({MakeValue(typeSInt32, int32_t(1)), MakeUnicode(u"x")});
    Row rows[] = {
        {"keyword", MakeRecord({{FourCC("pnam"), MakeUnicode(u"x")}}),
         CFDict({{quotedPnam.Get(), x.Get()}})},
        {"odd user list", MakeRecord({{keyASUserRecordFields, MakeList({})}}), CFDict({})},
        {"no user fields", MakeRecord({}), CFDict({})},
        {"keyword wins",
         MakeRecord({{FourCC("pnam"), MakeUnicode(u"field")},
                     {keyASUserRecordFields, MakeUserFields({{u"'pnam'", MakeUnicode(u"user")}})}}),
         CFDict({{quotedPnam.Get(), field.Get()}})},
        {"zero byte", MakeRecord({{0x61620063, MakeUnicode(u"x")}}), CFDict({{ab.Get(), x.Get()}})},
        {"high byte", MakeRecord({{0x6361668E, MakeUnicode(u"x")}}),
         CFDict({{cafe.Get(), x.Get()}})},
        {"number key", MakeRecord({{keyASUserRecordFields, MakeList({})}}), CFDict({})},
    };
    AEPutParamDesc(rows[1].record.Mutable(), keyASUserRecordFields, &oddUserFields.Get());
    rows[1].expected = CFDict({{a.Get(), one.Get()}});
    AEPutParamDesc(rows[6].record.Mutable(), keyASUserRecordFields, &numberKey.Get());
    rows[6].expected = CFDict({{one.Get(), x.Get()}});
    for (Row& row : rows) {
        CFObject out;
        ASSERT_EQ(Convert(*row.record, out), 0) << row.what;
        EXPECT_TRUE(CFEqual(out.Get(), row.expected.Get())) << row.what;
    }
}

TEST_F(DescToPropertyListTest, AKeywordWithAHighByteComesBackAsAUserField) {
    OwnedDesc record = MakeRecord({{0x6361668E, MakeUnicode(u"x")}});
    CFObject plist;
    ASSERT_EQ(Convert(*record, plist), 0);
    CAEDesc back;
    PropertyListToDesc(plist.Get(), back);
    OwnedDesc expected = MakeRecord(
        {{keyASUserRecordFields, MakeUserFields({{u"'caf\u00E9'", MakeUnicode(u"x")}})}});
    EXPECT_EQ(Describe(back.mDesc), Describe(*expected));
}

// Keys recur across records and are made once per conversion: every dictionary must still get
// exactly its own keys, past any bound on the shared ones (thousands of distinct keys, keys
// far longer than a field name), and a key that could not be made must not be remembered.
TEST_F(DescToPropertyListTest, KeysSharedAcrossRecordsStayExact) {
    const std::string longKey(300, 'k');
    CFRef<CFMutableArrayRef> records(
        CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
    for (int i = 0; i < 6000; ++i) {
        CFObject unique = CFStr("key " + std::to_string(i)), name = CFStr("Name"),
                 longName = CFStr(longKey + std::to_string(i % 3)), value = CFInt32(i);
        CFObject record = CFDict({{name.Get(), value.Get()},
                                  {unique.Get(), value.Get()},
                                  {longName.Get(), value.Get()}});
        CFArrayAppendValue(records.Get(), record.Get());
    }
    CAEDesc desc;
    PropertyListToDesc(records.Get(), desc);
    CFObject back;
    ASSERT_EQ(Convert(desc.mDesc, back), 0);
    EXPECT_TRUE(CFEqual(back.Get(), records.Get()));

    OwnedDesc twoRecords = MakeList(
        {MakeRecord({{keyASUserRecordFields, MakeUserFields({{u"Name", MakeUnicode(u"a")}})}}),
         MakeRecord({{keyASUserRecordFields, MakeUserFields({{u"Name", MakeUnicode(u"b")}})}})});
    PTFailCalls("CFStringCreateWithCharacters", 0, 1, 0);
    EXPECT_EQ(Convert(*twoRecords, back), memFullErr);
    CFObject a = CFStr("a"), b = CFStr("b"), name = CFStr("Name");
    CFObject expected =
        CFArr({CFDict({{name.Get(), a.Get()}}).Get(), CFDict({{name.Get(), b.Get()}}).Get()});
    ASSERT_EQ(Convert(*twoRecords, back), 0);
    EXPECT_TRUE(CFEqual(back.Get(), expected.Get()));
}

// A dictionary of `keys`, each holding `value`; a key starting with '>' holds instead a
// dictionary of the keys after it, one level deeper, and ends the outer one.
CFObject NestedKeys(std::span<const std::string> keys, CFTypeRef value) {
    CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].starts_with('>')) {
            CFObject key = CFStr(keys[i].substr(1)), inner = NestedKeys(keys.subspan(i + 1), value);
            CFDictionarySetValue(dict.Get(), key.Get(), inner.Get());
            break;
        }
        CFObject key = CFStr(keys[i]);
        CFDictionarySetValue(dict.Get(), key.Get(), value);
    }
    return CFObject(dict.Detach());
}

// A key is first compared with the key at the same place (depth and position) of the previous
// record: whatever the previous record held there, each record gets exactly its own keys.
TEST_F(DescToPropertyListTest, KeysThatDifferFromThePreviousRecordsAtTheirPlaceStayExact) {
    const std::string longKey(80, 'L');
    // A record of more keys than places are kept for, then one with a key more or less.
    std::vector<std::string> wide;
    for (int i = 0; i < 300; ++i) wide.push_back("k" + std::to_string(i));
    std::vector<std::string> wider = wide, narrower = wide;
    wider.push_back("k300");
    narrower.erase(narrower.begin());
    const std::vector<std::vector<std::vector<std::string>>> rows = {
        {{"Name", "Kind"}, {"Kind", "Name"}, {"Namf", "Kind"}, {"Name", "Kine"}},
        {{"a"}, {"a", "b", "c"}, {"a", "b"}, {"b", "a", "c", "d"}},
        {{"", "x"}, {"x", ""}, {"caf\xC3\xA9", "\xCE\xB1"}, {"cafe", "\xCE\xB2"}},
        {{longKey + "1", longKey + "2"}, {longKey + "2", longKey + "1"}, {"short", longKey}},
        {{">Name", "Kind"}, {"Name", ">Kind", "Name"}, {">Kind", "Kind", "Name"}},
        {wide, wider, narrower, {"k1", "k0"}},
    };
    for (const auto& row : rows) {
        CFRef<CFMutableArrayRef> records(
            CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        for (size_t r = 0; r < row.size(); ++r) {
            CFObject value = CFInt32(static_cast<int32_t>(r));
            CFArrayAppendValue(records.Get(), NestedKeys(row[r], value.Get()).Get());
        }
        CAEDesc desc;
        PropertyListToDesc(records.Get(), desc);
        CFObject back;
        ASSERT_EQ(Convert(desc.mDesc, back), 0);
        EXPECT_TRUE(CFEqual(back.Get(), records.Get())) << row.front().front();
    }
}

// Items of a list are read in place, except after a list or record, when the next item or
// user-field value is fetched as a descriptor straight away: every kind of item must convert
// the same either way, and as it does on its own.
TEST_F(DescToPropertyListTest, ItemsConvertAlikeInPlaceAndAsDescriptors) {
    const auto kind = [](int k) {
        switch (k) {
            case 0:
                return MakeUnicode(u"text");
            case 1:
                return MakeBytes(typeUnicodeText, std::string("a\0b", 3));  // an odd byte
            case 2:
                return MakeValue(typeSInt32, int32_t(7));
            case 3:
                return MakeValue(typeSInt16, int16_t(-3));
            case 4:
                return MakeValue(typeLongDateTime, int64_t(3'700'000'000LL));
            case 5:
                return MakeValue(typeSInt64, int64_t(1) << 40);
            case 6:
                return MakeValue(typeIEEE64BitFloatingPoint, 2.5);
            case 7:
                return MakeValue(typeIEEE32BitFloatingPoint, 1.5f);
            case 8:
                return MakeValue(typeBoolean, uint8_t(2));
            case 9:
                return MakeBytes(typeTrue, "");
            case 10:
                return MakeBytes(typeFalse, "x");
            case 11:
                return MakeBytes(typeWildCard, "ab");
            case 12:
                return MakeBytes(typeWildCard, std::string(600, 'd'));  // longer than one read
            case 13:
                return MakeValue(typeUInt32, uint32_t(4'000'000'000U));
            case 14:
                return MakeList({MakeUnicode(u"in")});
            case 15:
                return MakeRecord({{FourCC("pnam"), MakeValue(typeSInt32, int32_t(1))}});
            default:
                return MakeList({});
        }
    };
    constexpr int kKinds = 17;
    // Each kind converted on its own, as the only item of a list.
    std::vector<CFObject> alone;
    for (int k = 0; k < kKinds; ++k) {
        CFObject list;
        ASSERT_EQ(Convert(*MakeList({kind(k)}), list), 0) << k;
        alone.emplace_back(
            CFRetain(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(list.Get()), 0)));
        CFObject top;
        ASSERT_EQ(Convert(*kind(k), top), 0) << k;
        EXPECT_TRUE(CFEqual(top.Get(), alone.back().Get())) << "kind " << k;
    }
    CFObject keyA = CFStr("a"), keyB = CFStr("b");
    for (int a = 0; a < kKinds; ++a) {
        for (int b = 0; b < kKinds; ++b) {
            CFObject got;
            ASSERT_EQ(Convert(*MakeList({kind(a), kind(b)}), got), 0);
            CFObject expected = CFArr({alone[a].Get(), alone[b].Get()});
            EXPECT_TRUE(CFEqual(got.Get(), expected.Get())) << "list of " << a << ", " << b;
            OwnedDesc record = MakeRecord(
                {{keyASUserRecordFields, MakeUserFields({{u"a", kind(a)}, {u"b", kind(b)}})}});
            ASSERT_EQ(Convert(*record, got), 0);
            expected = CFDict({{keyA.Get(), alone[a].Get()}, {keyB.Get(), alone[b].Get()}});
            EXPECT_TRUE(CFEqual(got.Get(), expected.Get())) << "fields " << a << ", " << b;
        }
    }
}

TEST_F(DescToPropertyListTest, TheFirstFailureEndsTheWholeConversion) {
    struct Row {
        const char* what;
        OwnedDesc desc;
        int32_t status;
    } rows[] = {
        {"unreadable list item",
         MakeList({MakeValue(typeSInt32, int32_t(1)), MakeBytes(typeSInt32, "\x01\x02")}),
         errAECorruptData},
        {"uncoercible list item",
         MakeList({MakeValue(typeSInt32, int32_t(1)), MakeBytes(typeBoolean, "")}),
         errAECorruptData},
        {"usrf not a list",
         MakeRecord({{keyASUserRecordFields, MakeValue(typeSInt32, int32_t(1))}}),
         errAEWrongDataType},
        {"unconvertible date in a field",
         MakeRecord(
             {{FourCC("pnam"), MakeList({MakeValue(typeLongDateTime, int64_t(INT64_MAX))})}}),
         paramErr},
    };
    for (Row& row : rows) {
        CFObject out;
        int32_t status = Convert(*row.desc, out);
        EXPECT_EQ(status, row.status) << row.what;
        EXPECT_FALSE(out) << row.what;
    }
}

TEST_F(DescToPropertyListTest, CreationFailuresOfCoreFoundationGiveAStatus) {
    OwnedDesc list = MakeList({MakeValue(typeSInt32, int32_t(1))});
    OwnedDesc record = MakeRecord({{FourCC("pnam"), MakeValue(typeSInt32, int32_t(1))}});
    CFObject out;
    PTFailCalls("CFArrayCreateMutable", 0, 1, 0);
    EXPECT_EQ(Convert(*list, out), coreFoundationUnknownErr);
    PTFailCalls("CFDictionaryCreateMutable", 0, 1, 0);
    EXPECT_EQ(Convert(*record, out), coreFoundationUnknownErr);
    PTFailCalls("CFNumberCreate", 0, 1, 0);
    EXPECT_EQ(Convert(*list, out), memFullErr);
    PTFailCalls("CFStringCreateWithCString", 0, 1, 0);
    EXPECT_EQ(Convert(*record, out), memFullErr);
}

OwnedDesc NestedLists(int levels, bool records) {
    OwnedDesc value = MakeUnicode(u"leaf");
    for (int i = 0; i < levels; ++i)
        value = records ? MakeRecord({{FourCC("pnam"), std::move(value)}})
                        : MakeList({std::move(value)});
    return value;
}

// The Apple Event Manager itself nests no deeper than the limit, so only the deepest tree it
// can hold is tried here.
TEST_F(DescToPropertyListTest, NestingUpToTheLimitIsConverted) {
    for (bool records : {false, true}) {
        CFObject out;
        OwnedDesc deepest = NestedLists(kMaxPropertyListDepth, records);
        EXPECT_EQ(Convert(*deepest, out), 0) << records;
    }
}

}  // namespace

namespace {

// A raw descriptor becomes a dictionary, one more level of the property list: at the limit it
// must be refused like a list, not handed on to a writer and reader that cannot take it.
TEST_F(DescToPropertyListTest, RawDescriptorDictionaryCountsAsALevel) {
    for (bool records : {false, true}) {
        for (int containers : {kMaxPropertyListDepth - 1, kMaxPropertyListDepth}) {
            OwnedDesc value = MakeValue(typeEnumerated, FourCC("yes "));
            for (int i = 0; i < containers; ++i)
                value = records ? MakeRecord({{FourCC("pnam"), std::move(value)}})
                                : MakeList({std::move(value)});
            CFObject out;
            const int32_t status = Convert(*value, out);
            if (containers < kMaxPropertyListDepth) {
                ASSERT_EQ(status, 0) << records;
                CFObject xml(CFPropertyListCreateXMLData(kCFAllocatorDefault, out.Get()));
                EXPECT_TRUE(xml) << records;  // within what the writer takes
            } else {
                EXPECT_EQ(status, errOSAStackOverflow) << records;
            }
        }
    }
}

}  // namespace

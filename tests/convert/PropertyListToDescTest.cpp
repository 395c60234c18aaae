// Property list → descriptor: the mapping table, the record and raw-descriptor encodings, what
// is dropped and what is refused.
#include "convert/PropertyListToDesc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/CFBuilders.h"
#include "convert/DescBuilders.h"
#include "support/PlatformTest.h"

namespace {

class PropertyListToDescTest : public PlatformTest {
protected:
    // The status PropertyListToDesc throws, 0 when it returns.
    static int32_t Convert(CFTypeRef plist, CAEDesc& out) {
        try {
            PropertyListToDesc(plist, out);
            return 0;
        } catch (int32_t status) {
            return status;
        }
    }
    static std::string Converted(CFTypeRef plist) {
        CAEDesc out;
        int32_t status = Convert(plist, out);
        return status ? "threw " + std::to_string(status) : Describe(out.mDesc);
    }
};

struct MappingRow {
    const char* what;
    CFObject plist;
    OwnedDesc expected;
};

TEST_F(PropertyListToDescTest, MapsEachPropertyListTypeToItsDescriptor) {
    int8_t int8 = -5;
    int16_t int16 = 300;
    float float32 = 1.5f;
    LongDateTime ldt = 0;
    ASSERT_EQ(UCConvertCFAbsoluteTimeToLongDateTime(1234.0, &ldt), noErr);
    const MappingRow rows[] = {
        {"string", CFStr("h\xC3\xA9llo"), MakeUnicode(u"h\u00E9llo")},
        {"empty string", CFStr(""), MakeUnicode(u"")},
        {"int64 INT32_MAX", CFInt64(2147483647), MakeValue(typeSInt32, int32_t(2147483647))},
        {"int64 INT32_MAX+1", CFInt64(2147483648LL), MakeValue(typeSInt64, int64_t(2147483648LL))},
        {"int64 -INT32_MAX", CFInt64(-2147483647), MakeValue(typeSInt32, int32_t(-2147483647))},
        {"int64 INT32_MIN", CFInt64(-2147483648LL), MakeValue(typeSInt64, int64_t(-2147483648LL))},
        {"int64 INT64_MIN", CFInt64(INT64_MIN), MakeValue(typeSInt64, int64_t(INT64_MIN))},
        {"int32 INT32_MIN", CFInt32(INT32_MIN), MakeValue(typeSInt32, int32_t(INT32_MIN))},
        {"int8", CFNum(kCFNumberSInt8Type, &int8), MakeValue(typeSInt32, int32_t(-5))},
        {"int16", CFNum(kCFNumberSInt16Type, &int16), MakeValue(typeSInt32, int32_t(300))},
        {"float32", CFNum(kCFNumberFloat32Type, &float32),
         MakeValue(typeIEEE64BitFloatingPoint, 1.5)},
        {"integral real", CFReal(3.0), MakeValue(typeIEEE64BitFloatingPoint, 3.0)},
        {"true", CFShared(kCFBooleanTrue), MakeValue(typeBoolean, uint8_t(1))},
        {"false", CFShared(kCFBooleanFalse), MakeValue(typeBoolean, uint8_t(0))},
        {"data", CFBytes(std::string("\x00\xFFz", 3)),
         MakeBytes(typeWildCard, std::string("\x00\xFFz", 3))},
        {"empty data", CFBytes(""), MakeBytes(typeWildCard, "")},
        {"null", CFShared(kCFNull), MakeValue(typeType, FourCC("undf"))},
        {"date", CFObject(CFDateCreate(kCFAllocatorDefault, 1234.0)),
         MakeValue(typeLongDateTime, ldt)},
        {"empty array", CFArr({}), MakeList({})},
        {"empty dictionary", CFDict({}), MakeRecord({{keyASUserRecordFields, MakeList({})}})},
    };
    for (const MappingRow& row : rows) {
        ASSERT_TRUE(row.plist) << row.what;
        EXPECT_EQ(Converted(row.plist.Get()), Describe(*row.expected)) << row.what;
    }
}

TEST_F(PropertyListToDescTest, ArraysKeepOrderAndDropElementsThatFail) {
    CFObject one = CFInt64(1), two = CFStr("two");
    CFObject url(CFURLCreateWithString(kCFAllocatorDefault, CFSTR("http://example.com/"), nullptr));
    CFObject inner = CFArr({two.Get(), one.Get()});
    CFObject array = CFArr({one.Get(), url.Get(), inner.Get(), two.Get()});
    OwnedDesc expected = MakeList(
        {MakeValue(typeSInt32, int32_t(1)),
         MakeList({MakeUnicode(u"two"), MakeValue(typeSInt32, int32_t(1))}), MakeUnicode(u"two")});
    EXPECT_EQ(Converted(array.Get()), Describe(*expected));
    // The same object at the top level has nowhere to be dropped from.
    EXPECT_EQ(Converted(url.Get()), "threw -4960");
}

TEST_F(PropertyListToDescTest, IntegersAboveTheSignedRangeLoadAsUcom) {
    const auto ucom = [](uint64_t v) { return MakeValue(typeUInt64, v); };
    CFObject huge = CFParse("<integer>18446744073709551615</integer>");
    ASSERT_TRUE(huge);
    EXPECT_EQ(Converted(huge.Get()), Describe(*ucom(18446744073709551615ULL)));
    CFObject list = CFParse(
        "<array><integer>18446744073709551615</integer><integer>9223372036854775808</integer>"
        "<integer>9223372036854775807</integer></array>");
    ASSERT_TRUE(list);
    EXPECT_EQ(Converted(list.Get()),
              Describe(*MakeList({ucom(18446744073709551615ULL), ucom(9223372036854775808ULL),
                                  MakeValue(typeSInt64, int64_t(INT64_MAX))})));
}

struct KeyRow {
    const char* key;  // UTF-8
    bool isKeyword;
    FourCharCode keyword;
    std::u16string userKey;
};

TEST_F(PropertyListToDescTest, QuotedSixByteKeysAreKeywordsAndEveryOtherKeyIsAUserField) {
    const KeyRow rows[] = {
        {"'pnam'", true, FourCC("pnam"), u""},
        {"''''''", true, FourCC("''''"), u""},
        {"'a b'", false, 0, u"'a b'"},
        {"'a\xE2\x82\xAC'", true, 0x61E282AC, u""},  // the euro sign's three UTF-8 bytes
        {"'ab'", false, 0, u"'ab'"},
        {"'abcde'", false, 0, u"'abcde'"},
        {"pnam", false, 0, u"pnam"},
        {"'\xC3\xA9t'", false, 0, u"'\u00E9t'"},  // five bytes
        // Six bytes from fewer than six UTF-16 units: still keywords.
        {"'\xC3\xA9\xC3\xA9'", true, 0xC3A9C3A9, u""},
        {"'\xF0\x9F\x98\x80'", true, 0xF09F9880, u""},  // a surrogate pair
        {"''", false, 0, u"''"},
        {"'abcdx", false, 0, u"'abcdx"},
        {"xabcd'", false, 0, u"xabcd'"},
    };
    for (const KeyRow& row : rows) {
        CFObject key = CFStr(row.key), value = CFStr("x");
        CFObject dict = CFDict({{key.Get(), value.Get()}});
        OwnedDesc expected =
            row.isKeyword ? MakeRecord({{row.keyword, MakeUnicode(u"x")},
                                        {keyASUserRecordFields, MakeList({})}})
                          : MakeRecord({{keyASUserRecordFields,
                                         MakeList({MakeUnicode(row.userKey), MakeUnicode(u"x")})}});
        EXPECT_EQ(Converted(dict.Get()), Describe(*expected)) << row.key;
    }
}

TEST_F(PropertyListToDescTest, RecordsKeepUserFieldsInEnumerationOrderAndOwnTheirUsrfField) {
    CFObject name = CFStr("name"), other = CFStr("other"), usrf = CFStr("'usrf'"),
             pnam = CFStr("'pnam'");
    CFObject one = CFInt64(1), x = CFStr("x"), lost = CFStr("lost");
    CFObject dict = CFDict({{name.Get(), one.Get()},
                            {usrf.Get(), lost.Get()},
                            {pnam.Get(), x.Get()},
                            {other.Get(), x.Get()}});
    CAEDesc out;
    ASSERT_EQ(Convert(dict.Get(), out), 0);
    OwnedDesc expected = MakeRecord(
        {{FourCC("pnam"), MakeUnicode(u"x")},
         {keyASUserRecordFields, MakeList({MakeUnicode(u"name"), MakeValue(typeSInt32, int32_t(1)),
                                           MakeUnicode(u"other"), MakeUnicode(u"x")})}});
    EXPECT_EQ(Describe(out.mDesc), Describe(*expected));
    // Describe sorts pairs; the list itself must follow the dictionary's order.
    OwnedDesc userFields;
    ASSERT_EQ(AEGetParamDesc(&out.mDesc, keyASUserRecordFields, typeWildCard, userFields.Out()),
              noErr);
    OwnedDesc first;
    AEKeyword keyword;
    ASSERT_EQ(AEGetNthDesc(&userFields.Get(), 1, typeWildCard, &keyword, first.Out()), noErr);
    EXPECT_EQ(Describe(*first), Describe(*MakeUnicode(u"name")));
}

TEST_F(PropertyListToDescTest, RawDescriptorDictionariesBecomeTheDescriptorTheyDescribe) {
    struct Row {
        const char* type;
        std::string data;
        OwnedDesc expected;
    } rows[] = {
        {"enum", "yes ", MakeValue(typeEnumerated, FourCC("yes "))},
        {"enum", "yes", MakeBytes(typeEnumerated, "yes")},
        {"type", "\x01\x02\x03\x04", MakeBytes(typeType, "\x01\x02\x03\x04")},
        {"ab", "zz", MakeBytes(FourCC("ab**"), "zz")},
        {"utxtXYZ", "ab", MakeBytes(typeUnicodeText, "ab")},
        {"a\xC4\x80"
         "bc",
         "", MakeBytes(FourCC("a***"), "")},                    // U+0100 has no Mac OS Roman form
        {"\xC3\xA9t\xC3\xA9s", "", MakeBytes(0x8E748E73, "")},  // é is 8E in Mac OS Roman
        {"null", "", MakeNull()},
    };
    for (const Row& row : rows) {
        CFObject type = CFStr(row.type), data = CFBytes(row.data);
        CFObject dict =
            CFDict({{CFSTR("AEDescType"), type.Get()}, {CFSTR("AEDescData"), data.Get()}});
        EXPECT_EQ(Converted(dict.Get()), Describe(*row.expected)) << row.type;
    }
}

TEST_F(PropertyListToDescTest, RawDescriptorLookalikesStayRecords) {
    CFObject type = CFStr("long"), data = CFBytes("abcd"), third = CFStr("3rd"),
             number = CFInt64(5);
    auto userFieldsOf = [](std::vector<std::pair<std::u16string, OwnedDesc>>&& pairs) {
        OwnedDesc list = MakeList({});
        for (auto& [key, value] : pairs) {
            AEPutDesc(list.Mutable(), 0, &MakeUnicode(key).Get());
            AEPutDesc(list.Mutable(), 0, &value.Get());
        }
        OwnedDesc record = MakeRecord({});
        AEPutParamDesc(record.Mutable(), keyASUserRecordFields, &list.Get());
        return Describe(*record);
    };
    CFObject three = CFDict({{CFSTR("AEDescType"), type.Get()},
                             {CFSTR("AEDescData"), data.Get()},
                             {third.Get(), third.Get()}});
    std::vector<std::pair<std::u16string, OwnedDesc>> threeFields;
    threeFields.emplace_back(u"AEDescType", MakeUnicode(u"long"));
    threeFields.emplace_back(u"AEDescData", MakeBytes(typeWildCard, "abcd"));
    threeFields.emplace_back(u"3rd", MakeUnicode(u"3rd"));
    EXPECT_EQ(Converted(three.Get()), userFieldsOf(std::move(threeFields)));
    // The right keys with values of the wrong kinds: kept whole as an ordinary record.
    CFObject wrong =
        CFDict({{CFSTR("AEDescType"), number.Get()}, {CFSTR("AEDescData"), data.Get()}});
    std::vector<std::pair<std::u16string, OwnedDesc>> wrongFields;
    wrongFields.emplace_back(u"AEDescType", MakeValue(typeSInt32, int32_t(5)));
    wrongFields.emplace_back(u"AEDescData", MakeBytes(typeWildCard, "abcd"));
    EXPECT_EQ(Converted(wrong.Get()), userFieldsOf(std::move(wrongFields)));
}

enum class Nesting { kArrays, kKeywordDictionaries, kUserDictionaries };

CFObject Nested(int levels, Nesting kind) {
    CFObject value = CFStr("leaf");
    CFObject key = CFStr(kind == Nesting::kKeywordDictionaries ? "'pnam'" : "k");
    for (int i = 0; i < levels; ++i)
        value =
            kind == Nesting::kArrays ? CFArr({value.Get()}) : CFDict({{key.Get(), value.Get()}});
    return value;
}

TEST_F(PropertyListToDescTest, NestingDeeperThanTheLimitIsRefusedAsAWhole) {
    // A dictionary with ordinary keys is a record holding a user-field list, two descriptor
    // levels; the Apple Event Manager takes those too, so our own limit is the only one met.
    for (Nesting kind :
         {Nesting::kArrays, Nesting::kKeywordDictionaries, Nesting::kUserDictionaries}) {
        CFObject deepest = Nested(kMaxPropertyListDepth, kind);
        CAEDesc out;
        EXPECT_EQ(Convert(deepest.Get(), out), 0) << int(kind);
        // Deeper fails at the top, not as a silently emptied innermost container.
        CFObject tooDeep = Nested(kMaxPropertyListDepth + 1, kind);
        EXPECT_EQ(Convert(tooDeep.Get(), out), errOSAStackOverflow) << int(kind);
        // The refusal leaves no state behind for the next conversion.
        EXPECT_EQ(Convert(deepest.Get(), out), 0) << int(kind);
    }
}

TEST_F(PropertyListToDescTest, FailuresBuildingAContainerOrADateReachTheCaller) {
    CFObject key = CFStr("k"), one = CFInt64(1);
    CFObject dict = CFDict({{key.Get(), one.Get()}});
    CFObject array = CFArr({one.Get()});
    CAEDesc out;
    PTFailCalls("AECreateList", 0, 1, -108);
    EXPECT_EQ(Convert(array.Get(), out), -108);
    PTFailCalls("AECreateList", 1, 1, -109);  // the user-field list
    EXPECT_EQ(Convert(dict.Get(), out), -109);
    PTFailCalls("AEPutParamDesc", 0, 1, -1719);  // putting the user-field list
    EXPECT_EQ(Convert(dict.Get(), out), -1719);

    CFObject date(CFDateCreate(kCFAllocatorDefault, 1e300));  // beyond LongDateTime
    OwnedDesc before = MakeUnicode(u"untouched");
    ASSERT_EQ(AEDuplicateDesc(&before.Get(), out.Out()), noErr);
    EXPECT_EQ(Convert(date.Get(), out), paramErr);
    EXPECT_EQ(Describe(out.mDesc), Describe(*before));
}

TEST_F(PropertyListToDescTest, ABinarySetIsNoTypeTheConversionKnows) {
    // {set of "a", 1} in the binary format: header, three objects, offset table, trailer.
    const std::string binary(
        "bplist00\xC2\x01\x02\x51\x61\x10\x01\x08\x0B\x0D"
        "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x0F",
        50);
    CFObject set = CFParse(binary);
    ASSERT_TRUE(set);
    ASSERT_EQ(CFGetTypeID(set.Get()), CFSetGetTypeID());
    EXPECT_EQ(Converted(set.Get()), "threw -4960");
    // Inside a container it is left out like any element that cannot be converted.
    CFObject one = CFInt64(1);
    CFObject array = CFArr({one.Get(), set.Get(), one.Get()});
    EXPECT_EQ(Converted(array.Get()), Describe(*MakeList({MakeValue(typeSInt32, int32_t(1)),
                                                          MakeValue(typeSInt32, int32_t(1))})));
}

}  // namespace

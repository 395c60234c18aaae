// Built-in coercions at their edges and refusals, file references, installed handlers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>

#include "platform/AE/AETestSupport.h"
#include "support/PlatformTest.h"

namespace {

struct Coercion {
    const char* name;
    DescType from;
    std::vector<uint8_t> data;
    DescType to;
    OSErr status;
    std::vector<uint8_t> expected;  // compared when the coercion succeeds
};

std::ostream& operator<<(std::ostream& os, const Coercion& c) {
    return os << c.name;
}

class AEBuiltInCoercion : public PlatformTestWithParam<Coercion> {};

TEST_P(AEBuiltInCoercion, GivesTheExactValueOrRefuses) {
    const Coercion& c = GetParam();
    OwnedDesc source, result;
    ASSERT_EQ(Make(c.from, c.data, source.Mutable()), noErr);
    EXPECT_EQ(AECoerceDesc(&source.Get(), c.to, result.Mutable()), c.status);
    if (c.status != noErr) {
        EXPECT_TRUE(IsCleared(*result));
        return;
    }
    EXPECT_EQ(result.Type(), c.to == typeWildCard ? c.from : c.to);
    EXPECT_EQ(DataBytes(*result), c.expected);
}

template <class T>
std::vector<uint8_t> B(T v) {
    return BytesOf(v);
}
std::vector<uint8_t> S(const std::string& s) {
    return BytesOf(s);
}
std::vector<uint8_t> U(const std::u16string& s) {
    return UTF16Bytes(s);
}
const std::vector<uint8_t> kNone;
constexpr OSErr kNo = errAECoercionFail;

// clang-format off
const Coercion kNumbers[] = {
    {"shor max to long", typeSInt16, B<int16_t>(32767), typeSInt32, noErr, B<int32_t>(32767)},
    {"long to shor edge", typeSInt32, B<int32_t>(-32768), typeSInt16, noErr, B<int16_t>(-32768)},
    {"long past shor", typeSInt32, B<int32_t>(32768), typeSInt16, kNo, kNone},
    {"long below shor", typeSInt32, B<int32_t>(-32769), typeSInt16, kNo, kNone},
    {"magn max to comp", typeUInt32, B<uint32_t>(4294967295u), typeSInt64, noErr, B<int64_t>(4294967295)},
    {"magn max to long", typeUInt32, B<uint32_t>(4294967295u), typeSInt32, kNo, kNone},
    {"negative to magn", typeSInt32, B<int32_t>(-1), typeUInt32, kNo, kNone},
    {"comp 2^53 to doub", typeSInt64, B<int64_t>(1LL << 53), typeIEEE64BitFloatingPoint, noErr, B<double>(9007199254740992.0)},
    {"comp 2^53+1 to doub", typeSInt64, B<int64_t>((1LL << 53) + 1), typeIEEE64BitFloatingPoint, kNo, kNone},
    {"comp min to doub", typeSInt64, B<int64_t>(std::numeric_limits<int64_t>::min()), typeIEEE64BitFloatingPoint, noErr, B<double>(-9223372036854775808.0)},
    {"comp max to doub", typeSInt64, B<int64_t>(std::numeric_limits<int64_t>::max()), typeIEEE64BitFloatingPoint, kNo, kNone},
    {"doub 2^63 to comp", typeIEEE64BitFloatingPoint, B<double>(9223372036854775808.0), typeSInt64, kNo, kNone},
    {"doub whole to long", typeIEEE64BitFloatingPoint, B<double>(2147483647.0), typeSInt32, noErr, B<int32_t>(2147483647)},
    {"doub past long", typeIEEE64BitFloatingPoint, B<double>(2147483648.0), typeSInt32, kNo, kNone},
    {"doub fraction to long", typeIEEE64BitFloatingPoint, B<double>(1.5), typeSInt32, kNo, kNone},
    {"doub nan to long", typeIEEE64BitFloatingPoint, B<double>(NAN), typeSInt32, kNo, kNone},
    {"sing to doub", typeIEEE32BitFloatingPoint, B<float>(0.1f), typeIEEE64BitFloatingPoint, noErr, B<double>(double(0.1f))},
    {"doub 0.1 to sing", typeIEEE64BitFloatingPoint, B<double>(0.1), typeIEEE32BitFloatingPoint, kNo, kNone},
    {"doub 0.5 to sing", typeIEEE64BitFloatingPoint, B<double>(0.5), typeIEEE32BitFloatingPoint, noErr, B<float>(0.5f)},
    {"long 2^24+1 to sing", typeSInt32, B<int32_t>(16777217), typeIEEE32BitFloatingPoint, kNo, kNone},
    {"fixd to doub", typeFixed, B<int32_t>(0x00018000), typeIEEE64BitFloatingPoint, noErr, B<double>(1.5)},
    {"fixd whole to shor", typeFixed, B<int32_t>(-0x00020000), typeSInt16, noErr, B<int16_t>(-2)},
    {"fixd fraction to long", typeFixed, B<int32_t>(0x00018000), typeSInt32, kNo, kNone},
    {"doub max fixd", typeIEEE64BitFloatingPoint, B<double>(2147483647.0 / 65536.0), typeFixed, noErr, B<int32_t>(0x7FFFFFFF)},
    {"doub past fixd", typeIEEE64BitFloatingPoint, B<double>(32768.0), typeFixed, kNo, kNone},
    {"doub finer than fixd", typeIEEE64BitFloatingPoint, B<double>(1.0 / 131072.0), typeFixed, kNo, kNone},
    {"short data", typeSInt32, B<int16_t>(1), typeSInt16, kNo, kNone},
};

const Coercion kBooleansAndCodes[] = {
    {"bool to true", typeBoolean, B<uint8_t>(1), typeTrue, noErr, kNone},
    {"false bool to true", typeBoolean, B<uint8_t>(0), typeTrue, kNo, kNone},
    {"fals to bool", typeFalse, kNone, typeBoolean, noErr, B<uint8_t>(0)},
    {"bool to long", typeBoolean, B<uint8_t>(1), typeSInt32, noErr, B<int32_t>(1)},
    {"long 1 to bool", typeSInt32, B<int32_t>(1), typeBoolean, noErr, B<uint8_t>(1)},
    {"long 2 to bool", typeSInt32, B<int32_t>(2), typeBoolean, kNo, kNone},
    {"shor to bool", typeSInt16, B<int16_t>(1), typeBoolean, kNo, kNone},
    {"enum true to bool", typeEnumerated, B<uint32_t>(typeTrue), typeBoolean, noErr, B<uint8_t>(1)},
    {"enum other to bool", typeEnumerated, B<uint32_t>(FourCC("yes ")), typeBoolean, kNo, kNone},
    {"bool to text", typeBoolean, B<uint8_t>(1), typeChar, kNo, kNone},
    {"enum to type", typeEnumerated, B<uint32_t>(FourCC("abcd")), typeType, noErr, B<uint32_t>(FourCC("abcd"))},
    {"keyw to prop", typeKeyword, B<uint32_t>(FourCC("pnam")), typeProperty, noErr, B<uint32_t>(FourCC("pnam"))},
    {"type to TEXT", typeType, B<uint32_t>(FourCC("utxt")), typeChar, noErr, S("utxt")},
    {"abso to utxt", typeAbsoluteOrdinal, B<uint32_t>(FourCC("all ")), typeUnicodeText, noErr, U(u"all ")},
    {"text to type", typeChar, S("abcd"), typeType, kNo, kNone},
    {"null to null", typeNull, kNone, typeNull, noErr, kNone},
    {"null to wildcard", typeNull, kNone, typeWildCard, noErr, kNone},
    {"null to TEXT", typeNull, kNone, typeChar, kNo, kNone},
    {"unknown pair", FourCC("abcd"), S("xyz"), typeSInt32, kNo, kNone},
};

const Coercion kTexts[] = {
    {"long to TEXT", typeSInt32, B<int32_t>(-2147483647 - 1), typeChar, noErr, S("-2147483648")},
    {"doub shortest", typeIEEE64BitFloatingPoint, B<double>(0.1), typeUTF8Text, noErr, S("0.1")},
    {"sing shortest", typeIEEE32BitFloatingPoint, B<float>(0.1f), typeChar, noErr, S("0.1")},
    {"doub huge", typeIEEE64BitFloatingPoint, B<double>(1e300), typeChar, noErr, S("1e+300")},
    {"doub infinity", typeIEEE64BitFloatingPoint, B<double>(INFINITY), typeChar, kNo, kNone},
    {"comp to utxt", typeSInt64, B<int64_t>(-7), typeUnicodeText, noErr, U(u"-7")},
    {"number to STXT", typeSInt32, B<int32_t>(1), typeStyledText, kNo, kNone},
    {"spaces trimmed", typeChar, S("  42\t"), typeSInt32, noErr, B<int32_t>(42)},
    {"plus sign", typeUTF8Text, S("+7"), typeSInt16, noErr, B<int16_t>(7)},
    {"real literal", typeUnicodeText, U(u"-1.25e2"), typeIEEE64BitFloatingPoint, noErr, B<double>(-125.0)},
    {"real to long", typeChar, S("1.5"), typeSInt32, kNo, kNone},
    {"whole real to long", typeChar, S("3.0"), typeSInt32, noErr, B<int32_t>(3)},
    {"beyond shor", typeChar, S("40000"), typeSInt16, kNo, kNone},
    {"trailing junk", typeChar, S("4x"), typeSInt32, kNo, kNone},
    {"empty", typeChar, S("   "), typeSInt32, kNo, kNone},
    {"inf text", typeChar, S("inf"), typeIEEE64BitFloatingPoint, kNo, kNone},
    {"utf8 to TEXT", typeUTF8Text, S("caf\xC3\xA9"), typeChar, noErr, S("caf\x8E")},
    {"euro to TEXT", typeUnicodeText, U(u"\u20AC"), typeChar, noErr, S("\xDB")},
    {"no Roman form", typeUnicodeText, U(u"a\u4E00"), typeChar, kNo, kNone},
    {"TEXT to utxt", typeChar, S("\x8E"), typeUnicodeText, noErr, U(u"\u00E9")},
    {"bad utf8", typeUTF8Text, S("\xC3"), typeUnicodeText, kNo, kNone},
    {"odd utxt", typeUnicodeText, S("abc"), typeUTF8Text, kNo, kNone},
    {"itxt drops header", typeIntlText, S(std::string("\0\0\0\0hi", 6)), typeUnicodeText, noErr, U(u"hi")},
    {"short itxt", typeIntlText, S("ab"), typeUnicodeText, kNo, kNone},
    {"utxt to itxt", typeUnicodeText, U(u"hi"), typeIntlText, noErr, std::vector<uint8_t>{0, 0, 0, 0, 'h', 'i'}},
    {"aprl to utxt", typeApplicationURL, S("eppc://host/App"), typeUnicodeText, noErr, U(u"eppc://host/App")},
    {"bund to TEXT", typeApplicationBundleID, S("com.example.app"), typeChar, noErr, S("com.example.app")},
    {"utxt to bund", typeUnicodeText, U(u"x"), typeApplicationBundleID, kNo, kNone},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Numbers, AEBuiltInCoercion, ::testing::ValuesIn(kNumbers));
INSTANTIATE_TEST_SUITE_P(BooleansAndCodes, AEBuiltInCoercion,
                         ::testing::ValuesIn(kBooleansAndCodes));
INSTANTIATE_TEST_SUITE_P(Texts, AEBuiltInCoercion, ::testing::ValuesIn(kTexts));

class AECoercion : public PlatformTest {};

TEST_F(AECoercion, StyledTextsRoundTrip) {
    for (DescType styled : {DescType(typeStyledText), DescType(typeStyledUnicodeText)}) {
        OwnedDesc text, asStyled, back;
        ASSERT_EQ(AECreateDesc(typeUnicodeText, u"caf\u00E9", 8, text.Mutable()), noErr);
        ASSERT_EQ(AECoerceDesc(&text.Get(), styled, asStyled.Mutable()), noErr);
        long count = 0;
        EXPECT_EQ(AECountItems(&asStyled.Get(), &count), noErr);
        EXPECT_EQ(count, 2);
        ASSERT_EQ(AECoerceDesc(&asStyled.Get(), typeUTF8Text, back.Mutable()), noErr);
        EXPECT_EQ(DataBytes(*back), BytesOf(std::string("caf\xC3\xA9")));
    }
}

TEST_F(AECoercion, RecordsChangeTypeThroughReco) {
    OwnedDesc record, spec, again, text;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), keyAEKeyForm, typeEnumerated, "eman", 4), noErr);
    ASSERT_EQ(AECoerceDesc(&record.Get(), typeObjectSpecifier, spec.Mutable()), noErr);
    EXPECT_EQ(spec.Type(), typeObjectSpecifier);
    ASSERT_EQ(AECoerceDesc(&spec.Get(), typeAERecord, again.Mutable()), noErr);
    long count = 0;
    EXPECT_EQ(AECountItems(&again.Get(), &count), noErr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(AECoerceDesc(&record.Get(), typeChar, text.Mutable()), errAECoercionFail);
    EXPECT_EQ(AECoerceDesc(&spec.Get(), FourCC("abcd"), text.Mutable()), errAECoercionFail);
}

// ---- files

struct FileCase {
    const char* name;
    DescType from;
    std::string data;
    DescType to;
    OSErr status;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const FileCase& c) {
    return os << c.name;
}

class AEFileCoercion : public PlatformTestWithParam<FileCase> {};

TEST_P(AEFileCoercion, ConvertsPathsAndURLs) {
    const FileCase& c = GetParam();
    OwnedDesc source, result;
    ASSERT_EQ(Make(c.from, BytesOf(c.data), source.Mutable()), noErr);
    ASSERT_EQ(AECoerceDesc(&source.Get(), c.to, result.Mutable()), c.status);
    if (c.status == noErr) {
        EXPECT_EQ(DataBytes(*result), BytesOf(c.expected));
    }
}

const FileCase kFiles[] = {
    {"psxf to furl escapes", FourCC("psxf"), "/no such/a%b#c\xC3\xA9", typeFileURL, noErr,
     "file:///no%20such/a%25b%23c%C3%A9"},
    {"folder gets a slash", typeAlias, "/tmp", typeFileURL, noErr, "file:///tmp/"},
    {"furl to fsrf decodes", typeFileURL, "file:///no%20such/x%C3%A9/", typeFSRef, noErr,
     "/no such/x\xC3\xA9"},
    {"localhost", typeFileURL, "file://localhost/etc/hosts", cFile, noErr, "/etc/hosts"},
    {"other host", typeFileURL, "file://server/etc", cFile, errAECoercionFail, ""},
    {"other scheme", typeFileURL, "http://example.com/x", typeAlias, errAECoercionFail, ""},
    {"bad escape", typeFileURL, "file:///a%zz", typeAlias, errAECoercionFail, ""},
    {"furl to utxt is the URL", typeFileURL, "file:///x", typeUTF8Text, noErr, "file:///x"},
    {"alis to TEXT is the path", typeAlias, "/x/y", typeChar, noErr, "/x/y"},
    {"path types interconvert", cFile, "/x/y", FourCC("psxf"), noErr, "/x/y"},
    {"text is not a file", typeUTF8Text, "/x/y", typeFileURL, errAECoercionFail, ""},
};

INSTANTIATE_TEST_SUITE_P(Files, AEFileCoercion, ::testing::ValuesIn(kFiles));

// An object specifier {want: class, form: name, seld: text, from: container}.
void MakeSpecifier(AEDesc* out, DescType want, const std::string& name, bool nullContainer) {
    OwnedDesc record;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), keyAEDesiredClass, typeType, &want, 4), noErr);
    DescType form = formName;
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), keyAEKeyForm, typeEnumerated, &form, 4), noErr);
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), keyAEKeyData, typeUTF8Text, name.data(),
                            static_cast<Size>(name.size())),
              noErr);
    if (nullContainer) {
        ASSERT_EQ(AEPutParamPtr(record.Mutable(), keyAEContainer, typeNull, nullptr, 0), noErr);
    } else {
        ASSERT_EQ(AEPutParamDesc(record.Mutable(), keyAEContainer, &record.Get()), noErr);
    }
    ASSERT_EQ(AECoerceDesc(&record.Get(), typeObjectSpecifier, out), noErr);
}

TEST_F(AECoercion, SpecifierNamingAFileBecomesAFileURL) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string here = std::string("file://") + cwd + (std::string(cwd) == "/" ? "" : "/");
    struct {
        DescType want;
        std::string name;
        bool nullContainer;
        OSErr status;
        std::string url;
    } cases[] = {
        {cFile, "/no such/file", true, noErr, "file:///no%20such/file"},
        {typeAlias, "Macintosh HD:Users:a/b:f", true, noErr, "file:///Users/a:b/f"},
        {cFile, "Disk:dir:", true, noErr, "file:///dir/"},
        {cFile, "Disk:", true, noErr, "file:///"},
        {cFile, "plain-name", true, noErr, here + "plain-name"},
        {FourCC("docu"), "/x", true, errAECoercionFail, ""},
        {cFile, "/x", false, errAECoercionFail, ""},
    };
    for (const auto& c : cases) {
        OwnedDesc spec, url;
        MakeSpecifier(spec.Mutable(), c.want, c.name, c.nullContainer);
        ASSERT_EQ(AECoerceDesc(&spec.Get(), typeFileURL, url.Mutable()), c.status) << c.name;
        if (c.status == noErr) {
            EXPECT_EQ(DataBytes(*url), BytesOf(c.url)) << c.name;
        }
    }
}

// ---- installed handlers

OSErr RefuseWithRefcon(const AEDesc*, DescType, SRefCon refcon, AEDesc*) {
    return static_cast<OSErr>(reinterpret_cast<intptr_t>(refcon));
}

OSErr PtrToAnswer(DescType, const void* data, Size size, DescType, SRefCon, AEDesc* result) {
    int32_t answer = static_cast<int32_t>(size) + static_cast<const uint8_t*>(data)[0];
    return AECreateDesc(typeSInt32, &answer, 4, result);
}

TEST_F(AECoercion, InstalledHandlersTakePrecedence) {
    OwnedDesc number, result;
    int32_t v = 5;
    ASSERT_EQ(AECreateDesc(typeSInt32, &v, 4, number.Mutable()), noErr);
    for (OSErr forced : {OSErr(paramErr), OSErr(errAECoercionFail), OSErr(-12345)}) {
        ASSERT_EQ(
            AEInstallCoercionHandler(typeSInt32, typeChar, RefuseWithRefcon,
                                     reinterpret_cast<SRefCon>(intptr_t(forced)), true, false),
            noErr);
        EXPECT_EQ(AECoerceDesc(&number.Get(), typeChar, result.Mutable()), forced);
        EXPECT_TRUE(IsCleared(*result));
    }
    auto upp =
        reinterpret_cast<AECoercionHandlerUPP>(reinterpret_cast<void (*)(void)>(PtrToAnswer));
    EXPECT_EQ(AERemoveCoercionHandler(typeSInt32, typeChar, upp, false), errAEHandlerNotFound);
    ASSERT_EQ(AERemoveCoercionHandler(typeSInt32, typeChar, RefuseWithRefcon, false), noErr);
    ASSERT_EQ(AECoerceDesc(&number.Get(), typeChar, result.Mutable()), noErr);
    EXPECT_EQ(DataBytes(*result), BytesOf(std::string("5")));

    // The pointer form gets the bytes.
    ASSERT_EQ(AEInstallCoercionHandler(typeChar, typeSInt32, upp, nullptr, false, true), noErr);
    OwnedDesc coerced;
    ASSERT_EQ(AECoercePtr(typeChar, "\x02xyz", 4, typeSInt32, coerced.Mutable()), noErr);
    EXPECT_EQ(DataBytes(*coerced), BytesOf(int32_t(6)));
    ASSERT_EQ(AERemoveCoercionHandler(typeChar, typeSInt32, upp, true), noErr);
}

}  // namespace

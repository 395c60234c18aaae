// CFString: decoding and encoding at the edges of each encoding, constants, comparison.
#include <CoreFoundation/CoreFoundation.h>

#include <set>
#include <string>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

using Units = std::u16string;
using Bytes = std::vector<uint8_t>;

Units UnitsOf(CFStringRef s) {
    Units out(static_cast<size_t>(CFStringGetLength(s)), u'\0');
    CFStringGetCharacters(s, CFRangeMake(0, CFStringGetLength(s)),
                          reinterpret_cast<UniChar*>(out.data()));
    return out;
}

CFStringRef Make(const Units& u) {
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(u.data()),
                                        static_cast<CFIndex>(u.size()));
}

struct DecodeCase {
    const char* name;
    Bytes bytes;
    CFStringEncoding encoding;
    bool external;
    bool valid;
    Units expected;
};

class CFStringDecode : public PlatformTestWithParam<DecodeCase> {};

TEST_P(CFStringDecode, GivesTheUnitsOrNull) {
    const DecodeCase& c = GetParam();
    cf::Ref<CFStringRef> s(CFStringCreateWithBytes(
        nullptr, c.bytes.data(), static_cast<CFIndex>(c.bytes.size()), c.encoding, c.external));
    ASSERT_EQ(s.Get() != nullptr, c.valid);
    if (c.valid) {
        EXPECT_EQ(UnitsOf(s.Get()), c.expected);
    }
}

constexpr CFStringEncoding kUTF8 = kCFStringEncodingUTF8;
constexpr CFStringEncoding kUTF16 = kCFStringEncodingUnicode;

const std::vector<DecodeCase> kDecodeCases = {
    DecodeCase{
        "ascii", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}, kUTF8, false, true, u"abcdefghi"},
    DecodeCase{"twoByte", {0xC3, 0xA9}, kUTF8, false, true, u"\u00E9"},
    DecodeCase{"astral", {0xF0, 0x9F, 0x98, 0x80}, kUTF8, false, true, u"\U0001F600"},
    DecodeCase{"largest", {0xF4, 0x8F, 0xBF, 0xBF}, kUTF8, false, true, u"\U0010FFFF"},
    DecodeCase{"overlongTwo", {0xC0, 0x80}, kUTF8, false, false, {}},
    DecodeCase{"overlongThree", {0xE0, 0x80, 0xAF}, kUTF8, false, false, {}},
    DecodeCase{"overlongFour", {0xF0, 0x8F, 0xBF, 0xBF}, kUTF8, false, false, {}},
    DecodeCase{"encodedSurrogate", {0xED, 0xA0, 0x80}, kUTF8, false, false, {}},
    DecodeCase{"aboveRange", {0xF4, 0x90, 0x80, 0x80}, kUTF8, false, false, {}},
    DecodeCase{"truncated", {'a', 0xE2, 0x82}, kUTF8, false, false, {}},
    DecodeCase{"loneContinuation", {'a', 0x80, 'b'}, kUTF8, false, false, {}},
    DecodeCase{"invalidLead", {0xF8, 0x88, 0x80, 0x80, 0x80}, kUTF8, false, false, {}},
    DecodeCase{"utf8BomExternal", {0xEF, 0xBB, 0xBF, 'x'}, kUTF8, true, true, u"x"},
    DecodeCase{"utf8BomKeptOtherwise", {0xEF, 0xBB, 0xBF, 'x'}, kUTF8, false, true, u"\uFEFFx"},
    DecodeCase{
        "bomBigEndian", {0xFE, 0xFF, 0x00, 0x41, 0xD8, 0x00}, kUTF16, false, true, u"A\xD800"},
    DecodeCase{"bomLittleEndian", {0xFF, 0xFE, 0x41, 0x00}, kUTF16, true, true, u"A"},
    DecodeCase{"externalNoBomIsBigEndian", {0x00, 0x41}, kUTF16, true, true, u"A"},
    DecodeCase{"hostOrderNoBom", {0x41, 0x00}, kUTF16, false, true, u"A"},
    DecodeCase{"utf16OddLength", {0x00, 0x41, 0x00}, kUTF16, false, false, {}},
    DecodeCase{"utf16BEKeepsBom",
               {0xFE, 0xFF, 0xDC, 0x00},
               kCFStringEncodingUTF16BE,
               false,
               true,
               u"\uFEFF\xDC00"},
    DecodeCase{
        "utf16LE", {0x3D, 0xD8, 0x00, 0xDE}, kCFStringEncodingUTF16LE, false, true, u"\U0001F600"},
    DecodeCase{"asciiHighByte", {'a', 0xE9}, kCFStringEncodingASCII, false, false, {}},
    DecodeCase{"latin1", {0xE9, 0xFF}, kCFStringEncodingISOLatin1, false, true, u"\u00E9\u00FF"},
    DecodeCase{"windowsLatin1",
               {0x80, 0x81, 0x9F},
               kCFStringEncodingWindowsLatin1,
               false,
               true,
               u"\u20AC\u0081\u0178"},
    DecodeCase{"macRomanSpots",
               {0xDB, 0xF0, 0xCA, 0x80},
               kCFStringEncodingMacRoman,
               false,
               true,
               u"\u20AC\uF8FF\u00A0\u00C4"},
    DecodeCase{"unknownEncoding", {'a'}, kCFStringEncodingNextStepLatin, false, false, {}}};

INSTANTIATE_TEST_SUITE_P(Edges, CFStringDecode, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

class CFStringTest : public PlatformTest {};

// The readers' own UTF-8 path (short texts decode on the stack, long ones on the heap,
// mutable ones into growable storage) accepts and refuses exactly what the public call does.
TEST_F(CFStringTest, InternalUTF8CreationAgrees) {
    for (const DecodeCase& c : kDecodeCases) {
        if (c.encoding != kCFStringEncodingUTF8 || c.external) continue;
        SCOPED_TRACE(c.name);
        for (size_t padding : {size_t{0}, size_t{509}, size_t{600}}) {
            for (bool isMutable : {false, true}) {
                Bytes bytes(padding, 'p');
                bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
                cf::Ref<CFStringRef> s(
                    cf::CreateStringFromUTF8(bytes.data(), bytes.size(), isMutable));
                ASSERT_EQ(s.Get() != nullptr, c.valid) << "padding " << padding;
                if (c.valid) {
                    EXPECT_EQ(UnitsOf(s.Get()), Units(padding, u'p') + c.expected);
                }
            }
        }
    }
}

// ASCII runs are measured and widened in blocks: every byte-oriented case must decode the same
// wherever it falls relative to a block, inside text before and after it.
TEST_F(CFStringTest, DecodingHoldsAtEveryPositionInLongerText) {
    for (const DecodeCase& c : kDecodeCases) {
        bool utf16 = c.encoding == kUTF16 || c.encoding == kCFStringEncodingUTF16BE ||
                     c.encoding == kCFStringEncodingUTF16LE;
        if (utf16 || c.external) continue;  // a BOM is only one at the start
        SCOPED_TRACE(c.name);
        for (size_t before = 0; before <= 40; ++before) {
            for (size_t after : {0, 1, 7, 8, 15, 16, 17, 33}) {
                Bytes bytes(before, 'p');
                bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
                bytes.insert(bytes.end(), after, 'q');
                cf::Ref<CFStringRef> s(CFStringCreateWithBytes(
                    nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()), c.encoding, false));
                ASSERT_EQ(s.Get() != nullptr, c.valid)
                    << before << " before, " << after << " after";
                if (c.valid) {
                    ASSERT_EQ(UnitsOf(s.Get()),
                              Units(before, u'p') + c.expected + Units(after, u'q'))
                        << before << " before, " << after << " after";
                }
            }
        }
    }
}

TEST_F(CFStringTest, MacRomanHighHalfRoundTrips) {
    Bytes high;
    for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<uint8_t>(b));
    cf::Ref<CFStringRef> s(
        CFStringCreateWithBytes(nullptr, high.data(), 128, kCFStringEncodingMacRoman, false));
    ASSERT_TRUE(s);
    Units units = UnitsOf(s.Get());
    EXPECT_EQ(std::set<char16_t>(units.begin(), units.end()).size(), 128u) << "table not bijective";
    Bytes back(128);
    CFIndex used = 0;
    EXPECT_EQ(CFStringGetBytes(s.Get(), CFRangeMake(0, 128), kCFStringEncodingMacRoman, 0, false,
                               back.data(), 128, &used),
              128);
    EXPECT_EQ(used, 128);
    EXPECT_EQ(back, high);
}

struct EncodeCase {
    const char* name;
    Units text;
    CFStringEncoding encoding;
    uint8_t lossByte;
    CFIndex maxBufLen;
    CFIndex converted;
    Bytes bytes;
};

class CFStringEncode : public PlatformTestWithParam<EncodeCase> {};

TEST_P(CFStringEncode, StopsOrSubstitutes) {
    const EncodeCase& c = GetParam();
    cf::Ref<CFStringRef> s(Make(c.text));
    Bytes buffer(64, 0xEE);
    CFIndex used = -1;
    CFIndex converted =
        CFStringGetBytes(s.Get(), CFRangeMake(0, CFStringGetLength(s.Get())), c.encoding,
                         c.lossByte, false, buffer.data(), c.maxBufLen, &used);
    EXPECT_EQ(converted, c.converted);
    ASSERT_EQ(used, static_cast<CFIndex>(c.bytes.size()));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + used), c.bytes);
    // Measuring (no buffer) agrees with converting when the buffer is not the limit.
    CFIndex measured = -1;
    CFIndex counted = CFStringGetBytes(s.Get(), CFRangeMake(0, CFStringGetLength(s.Get())),
                                       c.encoding, c.lossByte, false, nullptr, 0, &measured);
    if (c.maxBufLen >= 64) {
        EXPECT_EQ(counted, converted);
        EXPECT_EQ(measured, used);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CFStringEncode,
    ::testing::Values(
        EncodeCase{
            "latin1StopsAtEuro", u"ab\u20ACc", kCFStringEncodingISOLatin1, 0, 64, 2, {'a', 'b'}},
        EncodeCase{"latin1LossByte",
                   u"ab\u20ACc",
                   kCFStringEncodingISOLatin1,
                   '?',
                   64,
                   4,
                   {'a', 'b', '?', 'c'}},
        EncodeCase{"asciiStopsAtAccent", u"x\u00E9", kCFStringEncodingASCII, 0, 64, 1, {'x'}},
        EncodeCase{
            "macRomanEuro", u"\u20AC\u00E9", kCFStringEncodingMacRoman, 0, 64, 2, {0xDB, 0x8E}},
        EncodeCase{"macRomanStopsAtCJK", u"a\u4E00b", kCFStringEncodingMacRoman, 0, 64, 1, {'a'}},
        EncodeCase{"macRomanPairIsOneLoss",
                   u"a\U0001F600b",
                   kCFStringEncodingMacRoman,
                   '?',
                   64,
                   4,
                   {'a', '?', 'b'}},
        EncodeCase{"utf8LoneSurrogateStops",
                   u"a\xD800"
                   u"b",
                   kUTF8,
                   0,
                   64,
                   1,
                   {'a'}},
        EncodeCase{"utf8LoneSurrogateLoss",
                   u"a\xDC00"
                   u"b",
                   kUTF8,
                   '?',
                   64,
                   3,
                   {'a', '?', 'b'}},
        EncodeCase{"utf8Pair", u"\U0001F600", kUTF8, 0, 64, 2, {0xF0, 0x9F, 0x98, 0x80}},
        EncodeCase{"utf8NoSplitAtLimit", u"a\u20AC", kUTF8, 0, 3, 1, {'a'}},
        EncodeCase{"utf8PairNoSplit", u"a\U0001F600", kUTF8, 0, 4, 1, {'a'}},
        EncodeCase{"utf16BEKeepsLoneSurrogate",
                   u"\xD800",
                   kCFStringEncodingUTF16BE,
                   0,
                   64,
                   1,
                   {0xD8, 0x00}},
        EncodeCase{"windowsLatin1Euro",
                   u"\u20AC\u00FF",
                   kCFStringEncodingWindowsLatin1,
                   0,
                   64,
                   2,
                   {0x80, 0xFF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CFStringTest, ExternalRepresentationCarriesBomAndRoundTrips) {
    cf::Ref<CFStringRef> s(Make(u"h\u00E9\U0001F600"));
    cf::Ref<CFDataRef> utf16(CFStringCreateExternalRepresentation(nullptr, s.Get(), kUTF16, 0));
    ASSERT_TRUE(utf16);
    ASSERT_EQ(CFDataGetLength(utf16.Get()), 10);
    const UInt8* p = CFDataGetBytePtr(utf16.Get());
    EXPECT_EQ(p[0] | p[1] << 8, 0xFEFF) << "BOM in host (little-endian) order";
    cf::Ref<CFStringRef> back(
        CFStringCreateFromExternalRepresentation(nullptr, utf16.Get(), kUTF16));
    ASSERT_TRUE(back);
    EXPECT_TRUE(CFEqual(back.Get(), s.Get()));

    cf::Ref<CFDataRef> roman(
        CFStringCreateExternalRepresentation(nullptr, s.Get(), kCFStringEncodingMacRoman, 0));
    EXPECT_FALSE(roman) << "no loss byte: an unencodable character refuses the whole string";
}

TEST_F(CFStringTest, ConstantsAreInternedAndImmortal) {
    long live = PTLiveCFObjectCount();
    CFStringRef a = CFSTR("constant \xC3\xA9");
    std::string copy = "constant \xC3\xA9";
    EXPECT_EQ(__CFStringMakeConstantString(copy.c_str()), a);
    EXPECT_EQ(UnitsOf(a), u"constant \u00E9");
    CFRelease(a);
    CFRelease(a);
    EXPECT_EQ(CFStringGetLength(a), 10);
    EXPECT_EQ(PTLiveCFObjectCount(), live);
}

TEST_F(CFStringTest, CStringNeedsRoomForTheTerminator) {
    CFStringRef s = CFSTR("abc");
    char buffer[4];
    EXPECT_FALSE(CFStringGetCString(s, buffer, 3, kUTF8));
    ASSERT_TRUE(CFStringGetCString(s, buffer, 4, kUTF8));
    EXPECT_STREQ(buffer, "abc");
}

TEST_F(CFStringTest, CompareHonoursFlags) {
    struct {
        CFStringRef a, b;
        CFStringCompareFlags flags;
        CFComparisonResult expected;
    } cases[] = {
        {CFSTR("abc"), CFSTR("abd"), 0, kCFCompareLessThan},
        {CFSTR("ABC"), CFSTR("abc"), 0, kCFCompareLessThan},
        {CFSTR("ABC"), CFSTR("abc"), kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {CFSTR("file10"), CFSTR("file9"), 0, kCFCompareLessThan},
        {CFSTR("file10"), CFSTR("file9"), kCFCompareNumerically, kCFCompareGreaterThan},
        {CFSTR("ab"), CFSTR("abc"), 0, kCFCompareLessThan},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CFStringCompare(c.a, c.b, c.flags), c.expected)
            << cf::StringUnits(c.a).size() << " vs " << cf::StringUnits(c.b).size();
}

TEST_F(CFStringTest, MutableStringsAppendAndCopyIndependently) {
    cf::Ref<CFMutableStringRef> m(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(m.Get(), CFSTR("ab"));
    CFStringAppend(m.Get(), m.Get());
    CFStringAppendCString(m.Get(), "\xC3\xA9", kUTF8);
    EXPECT_EQ(UnitsOf(m.Get()), u"abab\u00E9");
    cf::Ref<CFStringRef> copy(CFStringCreateCopy(nullptr, m.Get()));
    CFHashCode before = CFHash(m.Get());
    CFStringAppend(m.Get(), CFSTR("!"));
    EXPECT_NE(CFHash(m.Get()), before) << "a mutated string must not keep a stale hash";
    EXPECT_EQ(UnitsOf(copy.Get()), u"abab\u00E9");
    CFStringAppend(const_cast<CFMutableStringRef>(CFSTR("immutable")), CFSTR("x"));
    EXPECT_EQ(CFStringGetLength(CFSTR("immutable")), 9);
}

// Immutable strings keep their units inside the object, mutable ones in a buffer that grows:
// every way of making a string must give the same contents, equality and hash either way.
TEST_F(CFStringTest, MutableAndImmutableFormsAgree) {
    const Units expected = u"caf\u00E9 \U0001F600 and a tail longer than one block";
    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80 and a tail longer than one block";
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    using Maker = CFStringRef (*)(const Units&, const std::string&, bool);
    const struct {
        const char* name;
        Maker make;
    } makers[] = {
        {"utf8", [](const Units&, const std::string& u8,
                    bool m) { return cf::CreateStringFromUTF8(u8, m); }},
        {"utf16", [](const Units& u, const std::string&,
                     bool m) { return cf::CreateStringFromUTF16(u.data(), u.size(), m); }},
        {"adopting", [](const Units& u, const std::string&,
                        bool m) { return cf::CreateStringAdoptingUTF16(Units(u), m); }},
        {"encoding",
         [](const Units&, const std::string& u8, bool m) {
             return cf::CreateStringWithEncoding(reinterpret_cast<const uint8_t*>(u8.data()),
                                                 u8.size(), kUTF8, false, m);
         }},
    };
    cf::Ref<CFStringRef> reference(
        CFStringCreateWithBytes(nullptr, bytes, static_cast<CFIndex>(utf8.size()), kUTF8, false));
    for (const auto& maker : makers) {
        SCOPED_TRACE(maker.name);
        cf::Ref<CFStringRef> fixed(maker.make(expected, utf8, false));
        cf::Ref<CFStringRef> growable(maker.make(expected, utf8, true));
        ASSERT_TRUE(fixed && growable);
        for (CFStringRef s : {fixed.Get(), growable.Get()}) {
            EXPECT_EQ(UnitsOf(s), expected);
            EXPECT_EQ(
                std::u16string_view(reinterpret_cast<const char16_t*>(CFStringGetCharactersPtr(s)),
                                    expected.size()),
                expected);
            EXPECT_TRUE(CFEqual(s, reference.Get()));
            EXPECT_EQ(CFHash(s), CFHash(reference.Get()));
        }
        CFStringAppend(const_cast<CFMutableStringRef>(growable.Get()), fixed.Get());
        EXPECT_EQ(UnitsOf(growable.Get()), expected + expected);
        CFStringAppend(const_cast<CFMutableStringRef>(fixed.Get()), CFSTR("x"));  // ignored
        EXPECT_EQ(UnitsOf(fixed.Get()), expected);
    }
}

TEST_F(CFStringTest, FailuresReturnNullWithoutLeaking) {
    PTFailCalls("CFStringCreateWithCString", 0, 1, 0);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", kUTF8), nullptr);
    PTFailCFAllocations(0, 1);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", kUTF8), nullptr);
    cf::Ref<CFStringRef> ok(CFStringCreateWithCString(nullptr, "x", kUTF8));
    EXPECT_TRUE(ok);
}

TEST_F(CFStringTest, IANANamesMapToEncodings) {
    EXPECT_EQ(CFStringConvertIANACharSetNameToEncoding(CFSTR("UTF-8")), kUTF8);
    EXPECT_EQ(CFStringConvertIANACharSetNameToEncoding(CFSTR("macintosh")),
              kCFStringEncodingMacRoman);
    EXPECT_EQ(CFStringConvertIANACharSetNameToEncoding(CFSTR("koi8-r")),
              kCFStringEncodingInvalidId);
}

}  // namespace

#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>
#include <vector>

#include "notation/NotationTestSupport.h"
#include "notation/NotationText.h"
#include "support/PlatformTest.h"

namespace {

struct PrintCase {
    const char* name;
    DescType type;
    std::string bytes;
    const char* expected;
};

std::string U16(std::u16string_view units) {
    return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

double NaNWithPayload() {
    uint64_t bits = 0x7FF8000000000123ULL;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

const PrintCase kPrintCases[] = {
    // Integers: 'long' bare; 'comp' bare only outside 32 bits.
    {"long", typeSInt32, BytesOf<int32_t>(-7), "-7"},
    {"compWide", typeSInt64, BytesOf<int64_t>(3000000000LL), "3000000000"},
    {"compNarrow", typeSInt64, BytesOf<int64_t>(INT32_MIN), "'comp'(-2147483648)"},
    {"shor", typeSInt16, BytesOf<int16_t>(5), "'shor'(5)"},
    {"magn", typeUInt32, BytesOf<uint32_t>(4000000000U), "'magn'(4000000000)"},
    {"ucom", typeUInt64, BytesOf<uint64_t>(UINT64_MAX), "'ucom'(18446744073709551615)"},
    {"ucomShort", typeUInt64, BytesOf<uint32_t>(7), "'ucom'(\u00ab07000000\u00bb)"},
    {"ldt", FourCC("ldt "), BytesOf<int64_t>(3600), "'ldt '(3600)"},
    // Either side of the 32-bit digits.
    {"compBelowInt32", typeSInt64, BytesOf<int64_t>(INT32_MIN - 1LL), "-2147483649"},
    {"compUInt32Max", typeSInt64, BytesOf<int64_t>(UINT32_MAX), "4294967295"},
    {"compInt64Min", typeSInt64, BytesOf<int64_t>(INT64_MIN), "-9223372036854775808"},
    {"ldtNegative", FourCC("ldt "), BytesOf<int64_t>(-1), "'ldt '(-1)"},
    {"ucomUInt32Max", typeUInt64, BytesOf<uint64_t>(UINT32_MAX), "'ucom'(4294967295)"},
    // Reals laid out as Python's repr.
    {"realPoint", typeIEEE64BitFloatingPoint, BytesOf(1.5), "1.5"},
    {"realWhole", typeIEEE64BitFloatingPoint, BytesOf(100.0), "100.0"},
    {"realNegZero", typeIEEE64BitFloatingPoint, BytesOf(-0.0), "-0.0"},
    {"realTenth", typeIEEE64BitFloatingPoint, BytesOf(0.1), "0.1"},
    {"realSmallPositional", typeIEEE64BitFloatingPoint, BytesOf(0.0001), "0.0001"},
    {"realSmallExponent", typeIEEE64BitFloatingPoint, BytesOf(1.5e-5), "1.5e-05"},
    {"realLargePositional", typeIEEE64BitFloatingPoint, BytesOf(1e15), "1000000000000000.0"},
    {"realLargeExponent", typeIEEE64BitFloatingPoint, BytesOf(1e16), "1e+16"},
    {"realLongDigits", typeIEEE64BitFloatingPoint, BytesOf(123456789012345678.0),
     "1.2345678901234568e+17"},
    {"realDenormal", typeIEEE64BitFloatingPoint, BytesOf(5e-324), "5e-324"},
    {"realNegSmall", typeIEEE64BitFloatingPoint, BytesOf(-0.00012), "-0.00012"},
    {"realFraction", typeIEEE64BitFloatingPoint, BytesOf(123.456), "123.456"},
    {"realSixteenDigits", typeIEEE64BitFloatingPoint, BytesOf(1234567890123456.0),
     "1234567890123456.0"},
    {"realNegExponent", typeIEEE64BitFloatingPoint, BytesOf(-2.5e+300), "-2.5e+300"},
    {"realNaN", typeIEEE64BitFloatingPoint, BytesOf(std::numeric_limits<double>::quiet_NaN()),
     "nan"},
    {"realNegInf", typeIEEE64BitFloatingPoint, BytesOf(-HUGE_VAL), "-inf"},
    {"realNaNPayload", typeIEEE64BitFloatingPoint, BytesOf(NaNWithPayload()),
     "'doub'(\u00AB230100000000F87F\u00BB)"},
    {"sing", typeIEEE32BitFloatingPoint, BytesOf(1.1f), "'sing'(1.1)"},
    {"fixd", typeFixed, BytesOf<int32_t>(-0x18000), "'fixd'(-1.5)"},
    // Text.
    {"utxtEscapes", typeUnicodeText, U16(u"a\"b\\c\n\r\t\b\f\x01\x1F\x7F"),
     "\"a\\\"b\\\\c\\n\\r\\t\\b\\f\\u0001\\u001F\x7F\""},
    {"utxtNonASCII", typeUnicodeText, U16(u"caf\u00E9 \U0001F600"), "\"caf\u00E9 \U0001F600\""},
    {"utxtLoneSurrogates", typeUnicodeText, U16(u"\xD800x\xDFFF"), "\"\\uD800x\\uDFFF\""},
    {"utxtEmpty", typeUnicodeText, "", "\"\""},
    {"utxtOddLength", typeUnicodeText, "a", "'utxt'(\u00AB61\u00BB)"},
    {"macRoman", typeChar, "caf\x8E \xDB", "'TEXT'(\"caf\u00E9 \u20AC\")"},
    {"macRomanEmpty", typeChar, "", "'TEXT'(\"\")"},
    {"utf8", typeUTF8Text, "\xC3\xA9", "'utf8'(\"\u00E9\")"},
    {"utf8Invalid", typeUTF8Text, "\xC3", "'utf8'(\u00ABC3\u00BB)"},
    {"furl", typeFileURL, "file:///tmp/a", "'furl'(\"file:///tmp/a\")"},
    {"psxf", FourCC("psxf"), "/tmp/a.plist", "'psxf'(\"/tmp/a.plist\")"},
    // Booleans and codes.
    {"true", typeBoolean, "\x01", "true"},
    {"false", typeBoolean, std::string(1, '\0'), "false"},
    {"boolOther", typeBoolean, "\x02", "'bool'(\u00AB02\u00BB)"},
    {"type", typeType, BytesOf(FourCC("abcd")), "'abcd'"},
    {"typeEscaped", typeType, BytesOf(FourCC("a'\\\x01")), "'a\\x27\\x5C\\x01'"},
    {"enum", typeEnumerated, BytesOf(FourCC("yes ")), "'enum'('yes ')"},
    // Everything else: no data, or exactly its bytes.
    {"fallbackHex", FourCC("rdat"), "\x0A\xFF", "'rdat'(\u00AB0AFF\u00BB)"},
    {"wrongWidth", typeSInt32, "\x01\x02\x03", "'long'(\u00AB010203\u00BB)"},
    {"emptyLong", typeSInt32, "", "'long'()"},
    {"escapedType", FourCC("\x01\x02\x03\x04"), "", "'\\x01\\x02\\x03\\x04'()"},
};

class NotationPrinterTest : public PlatformTestWithParam<PrintCase> {};

TEST_P(NotationPrinterTest, PrintsCanonicalForm) {
    const PrintCase& c = GetParam();
    OwnedDesc desc = MakeDesc(c.type, c.bytes);
    EXPECT_EQ(Print(desc.Get()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Values, NotationPrinterTest, ::testing::ValuesIn(kPrintCases),
                         [](const auto& info) { return std::string(info.param.name); });

class NotationContainerPrintTest : public PlatformTest {};

TEST_F(NotationContainerPrintTest, ListsRecordsAndTypedRecords) {
    OwnedDesc record, list, inner, specifier;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, inner.Out()), noErr);
    OwnedDesc one = MakeDesc(typeSInt32, BytesOf<int32_t>(1));
    OwnedDesc text = MakeDesc(typeUnicodeText, std::string("a\0", 2));
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &one.Get()), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &inner.Get()), noErr);
    ASSERT_EQ(AEPutParamDesc(record.Mutable(), FourCC("pnam"), &text.Get()), noErr);
    ASSERT_EQ(AEPutParamDesc(record.Mutable(), FourCC("usrf"), &list.Get()), noErr);
    EXPECT_EQ(Print(record.Get()), "{'pnam':\"a\", 'usrf':[1, []]}");

    ASSERT_EQ(AECoerceDesc(&record.Get(), typeObjectSpecifier, specifier.Out()), noErr);
    EXPECT_EQ(Print(specifier.Get()), "'obj '{'pnam':\"a\", 'usrf':[1, []]}");

    OwnedDesc null;
    EXPECT_EQ(Print(null.Get()), "'null'()");
}

// The deepest list the platform will build prints in brackets all the way down and parses back.
TEST_F(NotationContainerPrintTest, DeepestListRoundTrips) {
    OwnedDesc nested;
    ASSERT_EQ(AECreateList(nullptr, 0, false, nested.Out()), noErr);
    int depth = 1;
    for (;; ++depth) {
        OwnedDesc outer;
        ASSERT_EQ(AECreateList(nullptr, 0, false, outer.Out()), noErr);
        if (AEPutDesc(outer.Mutable(), 0, &nested.Get()) != noErr) break;
        nested = std::move(outer);
    }
    EXPECT_EQ(depth, notation::kMaxDepth);
    const std::string text = Print(nested.Get());
    EXPECT_EQ(text, std::string(depth, '[') + std::string(depth, ']'));
    OwnedDesc back;
    NotationError error;
    ASSERT_TRUE(ParseDesc(text, back, error)) << error.Describe();
    EXPECT_TRUE(SameDesc(nested.Get(), back.Get()));
}

// Each call that fetches an item, failing, fails the print with its status: [1, [2], [0, …]]
// fetches the plain 1 by copying, the small inner list as its flat form and the large one (past
// what is fetched flat) as a descriptor.
TEST_F(NotationContainerPrintTest, ReportsAFailingPlatformCall) {
    OwnedDesc list, inner, large;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, inner.Out()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, large.Out()), noErr);
    OwnedDesc one = MakeDesc(typeSInt32, BytesOf<int32_t>(1));
    OwnedDesc two = MakeDesc(typeSInt32, BytesOf<int32_t>(2));
    ASSERT_EQ(AEPutDesc(inner.Mutable(), 0, &two.Get()), noErr);
    std::string expectedLarge = "[";
    for (int32_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(AEPutPtr(large.Mutable(), 0, typeSInt32, &i, 4), noErr);
        expectedLarge += (i ? ", " : "") + std::to_string(i);
    }
    expectedLarge += "]";
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &one.Get()), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &inner.Get()), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &large.Get()), noErr);
    for (const char* call : {"AEGetNthPtr", "AEGetNthDesc"}) {
        PTFailCalls(call, 0, 1, errAECorruptData);
        std::string text;
        EXPECT_EQ(PrintDesc(list.Get(), text), errAECorruptData) << call;
        PTClearFaults();
    }
    // The calls that only tell plain items from lists and records may fail, and so may the
    // second fetch of a list as a whole: the text is the same.
    const std::string expected = "[1, [2], " + expectedLarge + "]";
    for (const char* call : {"AECreateList", "AEGetDescData"}) {
        PTFailCalls(call, 0, 1, errAECorruptData);
        EXPECT_EQ(Print(list.Get()), expected) << call;
        PTClearFaults();
    }
}

// Every value prints the same as an item of a list or a record as on its own, including an
// item of a text type that holds a record, and values longer than the reused item buffer.
TEST_F(NotationContainerPrintTest, ItemsPrintAsTheyDoAlone) {
    std::vector<std::pair<OwnedDesc, std::string>> values;
    for (const PrintCase& c : kPrintCases)
        values.emplace_back(MakeDesc(c.type, c.bytes), c.expected);
    const std::string longText(5000, 'x');
    values.emplace_back(MakeDesc(typeUTF8Text, longText), "'utf8'(\"" + longText + "\")");
    OwnedDesc record, textRecord;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
    OwnedDesc one = MakeDesc(typeSInt32, BytesOf<int32_t>(1));
    ASSERT_EQ(AEPutParamDesc(record.Mutable(), FourCC("abcd"), &one.Get()), noErr);
    textRecord = MakeDesc(typeUnicodeText, DataOf(record.Get()));
    values.emplace_back(std::move(textRecord), "'utxt'{'abcd':1}");
    values.emplace_back(OwnedDesc(), "'null'()");
    for (const auto& [value, expected] : values) {
        ASSERT_EQ(Print(value.Get()), expected);
        OwnedDesc list, keyed;
        ASSERT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
        ASSERT_EQ(AECreateList(nullptr, 0, true, keyed.Out()), noErr);
        ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &value.Get()), noErr);
        ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &value.Get()), noErr);
        ASSERT_EQ(AEPutParamDesc(keyed.Mutable(), FourCC("k   "), &value.Get()), noErr);
        EXPECT_EQ(Print(list.Get()), "[" + expected + ", " + expected + "]");
        EXPECT_EQ(Print(keyed.Get()), "{'k   ':" + expected + "}");
    }
}

// A print appends to the text already there, however long.
TEST_F(NotationContainerPrintTest, AppendsToTheTextThere) {
    OwnedDesc value = MakeDesc(typeUnicodeText, U16(u"\u00E9"));
    for (size_t kept : {0, 5, 300, 70000}) {
        std::string text(kept, 'k');
        ASSERT_EQ(PrintDesc(value.Get(), text), noErr);
        ASSERT_EQ(PrintDesc(value.Get(), text), noErr);
        EXPECT_EQ(text, std::string(kept, 'k') + "\"\u00E9\"\"\u00E9\"");
    }
}

// Printed to a stream, a value comes out as the string print gives it, also when it is written
// in several pieces; a stream that cannot be written fails the print.
TEST_F(NotationContainerPrintTest, StreamedPrintEqualsTheString) {
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
    const std::string text(1000, 'y');
    for (int i = 0; i < 300; ++i) {
        OwnedDesc record;
        ASSERT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
        ASSERT_EQ(AEPutParamPtr(record.Mutable(), FourCC("pnam"), typeUTF8Text, text.data(),
                                static_cast<Size>(text.size())),
                  noErr);
        ASSERT_EQ(AEPutParamPtr(record.Mutable(), FourCC("indx"), typeSInt32, &i, sizeof i), noErr);
        ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &record.Get()), noErr);
    }
    // A text of several pieces, with pairs and escapes across them, and larger than a write.
    std::u16string longText;
    for (int i = 0; i < 30000; ++i) longText += i % 7 ? u"ab\"" : u"\U0001F600\n";
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeUnicodeText, longText.data(),
                       static_cast<Size>(2 * longText.size())),
              noErr);
    OwnedDesc one = MakeDesc(typeSInt32, BytesOf<int32_t>(1));
    for (const AEDesc* value : {&list.Get(), &one.Get()}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(PrintDesc(*value, file), noErr);
        std::string streamed(static_cast<size_t>(std::ftell(file)), '\0');
        std::rewind(file);
        EXPECT_EQ(std::fread(streamed.data(), 1, streamed.size(), file), streamed.size());
        std::fclose(file);
        EXPECT_EQ(streamed, Print(*value));
    }
    std::FILE* readOnly = std::fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(PrintDesc(list.Get(), readOnly), ioErr);
    EXPECT_EQ(PrintDesc(one.Get(), readOnly), ioErr);
    std::fclose(readOnly);
}

}  // namespace

// ASCII is copied in runs (up to sixteen units at a time): a character that ends a run must
// come out right wherever it falls in or across a block, also where a long text is quoted in
// pieces (of 4096 units), and a lone surrogate must still fail the conversion.
TEST(NotationText, RunsOfASCIIEndWhereverTheOtherCharacterFalls) {
    std::vector<size_t> befores = {4094, 4095, 4096, 8191};
    for (size_t before = 0; before <= 35; ++before) befores.push_back(before);
    for (size_t before : befores) {
        for (size_t after = 0; after <= 18; ++after) {
            for (const auto& [middle, utf8, quoted] :
                 {std::tuple<std::u16string, std::string, std::string>{u"", "", ""},
                  {u"\u00E9", "\xC3\xA9", "\xC3\xA9"},
                  {u"\U0001F600", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                  {u"\"", "\"", "\\\""},
                  {u"\n", "\n", "\\n"},
                  {u"\x7F", "\x7F", "\x7F"},
                  {u"\x1F", "\x1F", "\\u001F"},
                  {u"\\ ~", "\\ ~", "\\\\ ~"},
                  {u"\u0100", "\xC4\x80", "\xC4\x80"},
                  {u"\u07FF", "\xDF\xBF", "\xDF\xBF"},
                  {u"\u0800", "\xE0\xA0\x80", "\xE0\xA0\x80"},
                  {u"\uFFFF", "\xEF\xBF\xBF", "\xEF\xBF\xBF"}}) {
                const std::u16string units =
                    std::u16string(before, u'a') + middle + std::u16string(after, u'b');
                std::string out = "x";
                ASSERT_TRUE(notation::UTF16ToUTF8(units, out));
                EXPECT_EQ(out, "x" + std::string(before, 'a') + utf8 + std::string(after, 'b'));
                out.clear();
                notation::AppendQuoted(units, out);
                EXPECT_EQ(
                    out, "\"" + std::string(before, 'a') + quoted + std::string(after, 'b') + "\"");
            }
            for (char16_t lone : {u'\xD800', u'\xDFFF'}) {
                const std::u16string units =
                    std::u16string(before, u'a') + lone + std::u16string(after, u'b');
                std::string out;
                EXPECT_FALSE(notation::UTF16ToUTF8(units, out));
                out.clear();
                notation::AppendQuoted(units, out);
                EXPECT_EQ(out, "\"" + std::string(before, 'a') +
                                   (lone == 0xD800 ? "\\uD800" : "\\uDFFF") +
                                   std::string(after, 'b') + "\"");
            }
        }
    }
}

// Hex is written sixteen bytes at a time: every length and every byte value comes out as the
// byte-by-byte form.
TEST(NotationText, HexOfEveryLengthAndByte) {
    std::vector<uint8_t> bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 167 + 3);
    for (size_t length = 0; length <= bytes.size(); length += length < 40 ? 1 : 72) {
        std::string expected = "x";
        for (size_t i = 0; i < length; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
            expected += pair;
        }
        std::string out = "x";
        notation::AppendHex(bytes.data(), length, out);
        EXPECT_EQ(out, expected) << length;
    }
}

// Forms are found through a table of slots: each type finds its own, others none.
TEST(NotationForms, EachTypeFindsItsForm) {
    for (FourCharCode code :
         {FourCC("utxt"), FourCC("long"), FourCC("doub"), FourCC("comp"), FourCC("ldt "),
          FourCC("shor"), FourCC("magn"), FourCC("ucom"), FourCC("sing"), FourCC("fixd"),
          FourCC("TEXT"), FourCC("utf8"), FourCC("furl"), FourCC("aprl"), FourCC("bund"),
          FourCC("alis"), FourCC("fsrf"), FourCC("file"), FourCC("psxf"), FourCC("type"),
          FourCC("enum"), FourCC("abso"), FourCC("prop"), FourCC("keyw")}) {
        const notation::TypedForm* form = notation::FindTypedForm(code);
        ASSERT_NE(form, nullptr) << std::hex << code;
        EXPECT_EQ(form->type, code);
    }
    for (FourCharCode code : {FourCC("list"), FourCC("reco"), FourCC("bool"), FourCC("null"),
                              FourCC("****"), FourCC("rdat"), FourCharCode{0}})
        EXPECT_EQ(notation::FindTypedForm(code), nullptr) << std::hex << code;
}

#include <cctype>
#include <charconv>
#include <string>

#include "notation/NotationTestSupport.h"
#include "support/PlatformTest.h"

namespace {

// Input → the canonical form the printer gives for what was parsed.
struct NormaliseCase {
    const char* input;
    const char* canonical;
};

const NormaliseCase kNormaliseCases[] = {
    {"  [ 1 ,2 ,\n 3 ]  ", "[1, 2, 3]"},
    {"{ 'pnam' : \"x\" }", "{'pnam':\"x\"}"},
    {"{}", "{}"},
    {"'obj '{}", "'obj '{}"},
    {"-0", "0"},
    {"2147483647", "2147483647"},
    {"2147483648", "2147483648"},
    {"-9223372036854775808", "-9223372036854775808"},
    {"'long'(5)", "5"},
    {"'comp'(5)", "'comp'(5)"},
    {"1E5", "100000.0"},
    {"2.50", "2.5"},
    {"-inf", "-inf"},
    {"nan", "nan"},
    {"'doub'(3)", "3.0"},
    {"'sing'(0.1)", "'sing'(0.1)"},
    {"'fixd'(-32768)", "'fixd'(-32768.0)"},
    {"'magn'(0)", "'magn'(0)"},
    {"'ucom'(18446744073709551615)", "'ucom'(18446744073709551615)"},
    {"'ucom'(7)", "'ucom'(7)"},
    {"\"\\u00e9\\/\"", "\"\u00E9/\""},
    {"\"\\uD83D\\uDE00\"", "\"\U0001F600\""},
    {"'utxt'(\"x\")", "\"x\""},
    {"'TEXT'(\"\u20AC\")", "'TEXT'(\"\u20AC\")"},
    {"'bund'(\"org.example\")", "'bund'(\"org.example\")"},
    {"'\\x61bcd'", "'abcd'"},
    {"'a\\'\\\\d'", "'a\\x27\\x5Cd'"},
    {"'keyw'('pnam')", "'keyw'('pnam')"},
    {"[' ~ ~', '\\x1F~\\x7F ']", "[' ~ ~', '\\x1F~\\x7F ']"},
    {"'type'('pnam')", "'pnam'"},
    {"'bool'(true)", "true"},
    {"'bool'(\u00AB00\u00BB)", "false"},
    {"'rdat'(\u00AB0aff\u00BB)", "'rdat'(\u00AB0AFF\u00BB)"},
    {"'rdat'()", "'rdat'()"},
    {"'null'( )", "'null'()"},
    {"'true'()", "'true'()"},
};

class NotationNormaliseTest : public PlatformTestWithParam<NormaliseCase> {};

TEST_P(NotationNormaliseTest, ParsesToTheCanonicalForm) {
    OwnedDesc desc;
    NotationError error;
    ASSERT_TRUE(ParseDesc(GetParam().input, desc, error)) << error.Describe();
    EXPECT_EQ(Print(desc.Get()), GetParam().canonical);
}

INSTANTIATE_TEST_SUITE_P(Inputs, NotationNormaliseTest, ::testing::ValuesIn(kNormaliseCases));

// The typed forms store exactly the type's width and encoding.
struct BytesCase {
    const char* input;
    DescType type;
    std::string bytes;
};

const BytesCase kBytesCases[] = {
    {"'shor'(-2)", typeSInt16, BytesOf<int16_t>(-2)},
    {"'magn'(4294967295)", typeUInt32, BytesOf<uint32_t>(4294967295U)},
    {"'ucom'(18446744073709551615)", typeUInt64, BytesOf<uint64_t>(UINT64_MAX)},
    {"'ucom'(9223372036854775808)", typeUInt64, BytesOf<uint64_t>(9223372036854775808ULL)},
    {"'fixd'(1.5)", typeFixed, BytesOf<int32_t>(0x18000)},
    {"'sing'(1.5)", typeIEEE32BitFloatingPoint, BytesOf(1.5f)},
    {"'TEXT'(\"caf\u00E9\")", typeChar, "caf\x8E"},
    {"'utf8'(\"\u00E9\")", typeUTF8Text, "\xC3\xA9"},
    {"\"\u00E9\"", typeUnicodeText, BytesOf(u'\u00E9')},
    {"'enum'('yes ')", typeEnumerated, BytesOf(FourCC("yes "))},
    {"true", typeBoolean, "\x01"},
    {"3000000000", typeSInt64, BytesOf<int64_t>(3000000000LL)},
};

class NotationBytesTest : public PlatformTestWithParam<BytesCase> {};

TEST_P(NotationBytesTest, StoresTheTypesEncoding) {
    OwnedDesc desc;
    NotationError error;
    ASSERT_TRUE(ParseDesc(GetParam().input, desc, error)) << error.Describe();
    EXPECT_EQ(desc.Type(), GetParam().type);
    EXPECT_EQ(DataOf(desc.Get()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Inputs, NotationBytesTest, ::testing::ValuesIn(kBytesCases));

struct ErrorCase {
    std::string input;
    size_t line;
    size_t column;
    const char* message;
};

const ErrorCase kErrorCases[] = {
    {"", 1, 1, "expected a value, found the end"},
    {"[1, 2", 1, 6, "expected ',' or ']', found the end"},
    {"[1 2]", 1, 4, "expected ',' or ']'"},
    {"{'pnam' 1}", 1, 9, "expected ':'"},
    {"{pnam:1}", 1, 2, "expected a keyword such as 'pnam'"},
    {"{'pnam':1, 'pnam':2}", 1, 12, "duplicate keyword 'pnam'"},
    {"'abc'", 1, 1, "a code is four characters (printable ASCII or \\xHH)"},
    {"'ab\\qd'", 1, 4, "expected \\xHH, \\' or \\\\ in a code"},
    {"['ab\x7F"
     "d']",
     1, 2, "a code is four characters (printable ASCII or \\xHH)"},
    {"'ab\x1F"
     "d'",
     1, 1, "a code is four characters (printable ASCII or \\xHH)"},
    {"'shor'(40000)", 1, 8, "integer out of range for 'shor'"},
    {"'magn'(-1)", 1, 8, "integer out of range for 'magn'"},
    {"'ucom'(-1)", 1, 8, "integer out of range for 'ucom'"},
    {"'ucom'(18446744073709551616)", 1, 8, "integer out of range for 'ucom'"},
    {"'ucom'(1.5)", 1, 8, "'ucom' takes an integer"},
    {"'shor'(1.5)", 1, 8, "'shor' takes an integer"},
    {"'fixd'(0.1)", 1, 8, "value has no exact 'fixd' form"},
    {"'sing'(1e39)", 1, 8, "real out of range for 'sing'"},
    {"'TEXT'(\"\U0001F600\")", 1, 8, "character U+1F600 has no Mac OS Roman form"},
    {"'utf8'(\"\\uD800\")", 1, 8, "a lone surrogate has no UTF-8 form"},
    {"'utf8'(5)", 1, 8, "expected a string"},
    {"'enum'(\"yes \")", 1, 8, "expected a code such as 'yes '"},
    {"'rdat'(5)", 1, 8, "'rdat' takes \u00ABhex\u00BB data or nothing"},
    {"'rdat'(\u00AB0G\u00BB)", 1, 10, "expected a hex digit"},
    {"'rdat'(\u00ABx\u00BB)", 1, 9, "expected a hex digit or '\u00BB'"},
    {"'rdat'(\u00AB0\u00BB)", 1, 10, "hex data needs an even number of digits"},
    {"'rdat'(\u00AB0A", 1, 8, "unterminated \u00AB\u00BB data"},
    {"'rdat'(\u00AB\u00BB", 1, 10, "expected ')', found the end"},
    {"'null'(\u00AB00\u00BB)", 1, 8, "'null' holds no data"},
    {"\u00AB00\u00BB", 1, 1, "data needs a type in front, as in 'rdat'(\u00AB0AFF\u00BB)"},
    {"\"abc", 1, 5, "unterminated string"},
    {"\"a\\q\"", 1, 3, "unknown escape"},
    {"\"\\u12\"", 1, 2, "\\u needs four hex digits"},
    {"\"a\tb\"", 1, 3, "control character in a string (write it as an escape)"},
    {"\"\xC3\"", 1, 2, "invalid UTF-8 in a string"},
    {"nope", 1, 1, "unknown word 'nope'"},
    {"1 2", 1, 3, "unexpected text after the value"},
    {"1.", 1, 3, "expected a digit after '.'"},
    {"1e+", 1, 4, "expected a digit in the exponent"},
    {"99999999999999999999", 1, 1, "integer out of range (64 bits at most)"},
    {"1e400", 1, 1, "real out of range"},
    {"[\"\u00E9\" 1]", 1, 6, "expected ',' or ']'"},
    {"[\n  1,\n  2 3]", 3, 5, "expected ',' or ']'"},
    {std::string(2049, '[') + std::string(2049, ']'), 1, 2049, "nesting deeper than 2048 levels"},
    {std::string(2048, '[') + "{'pnam':1}" + std::string(2048, ']'), 1, 2049,
     "nesting deeper than 2048 levels"},
};

class NotationErrorTest : public PlatformTestWithParam<ErrorCase> {};

TEST_P(NotationErrorTest, ReportsWhatAndWhere) {
    const ErrorCase& c = GetParam();
    OwnedDesc desc;
    NotationError error;
    EXPECT_FALSE(ParseDesc(c.input, desc, error));
    EXPECT_TRUE(desc.IsNull());
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(error.line, c.line);
    EXPECT_EQ(error.column, c.column);
    EXPECT_EQ(error.status, noErr);
}

INSTANTIATE_TEST_SUITE_P(Inputs, NotationErrorTest, ::testing::ValuesIn(kErrorCases));

class NotationParserTest : public PlatformTest {};

TEST_F(NotationParserTest, PlatformRefusalCarriesItsStatus) {
    OwnedDesc desc;
    NotationError error;
    EXPECT_FALSE(ParseDesc("[1, 'list'(\u00AB00\u00BB)]", desc, error));
    EXPECT_EQ(error.status, errAECorruptData);
    EXPECT_EQ(error.column, 5u);
    EXPECT_EQ(error.Describe(), "at column 5: cannot make a descriptor of type 'list' (-1702)");
}

TEST_F(NotationParserTest, DescribeNamesTheLineOnlyPastTheFirst) {
    NotationError error;
    error.column = 7;
    error.message = "expected ']'";
    EXPECT_EQ(error.Describe(), "at column 7: expected ']'");
    error.line = 2;
    EXPECT_EQ(error.Describe(), "at line 2, column 7: expected ']'");
}

// A failure part-way through releases everything built so far (the fixture checks) and
// reports the platform's status.
TEST_F(NotationParserTest, FaultsReleaseEverything) {
    const char* text = "{'pnam':[1, \"a\", {'usrf':[\"k\", 2.5]}], 'obj1':'obj '{'want':'file'}}";
    for (const char* name : {"AECreateDesc", "AECreateList", "AEPutPtr", "AEPutDesc",
                             "AEPutParamPtr", "AEPutParamDesc", "AECoerceDesc"}) {
        for (long skip = 0;; ++skip) {
            PTFailCalls(name, skip, 1, memFullErr);
            OwnedDesc desc;
            NotationError error;
            const bool parsed = ParseDesc(text, desc, error);
            const bool delivered = PTFaultWasDelivered();
            PTClearFaults();
            if (!delivered) {
                EXPECT_TRUE(parsed) << error.Describe();
                break;
            }
            EXPECT_FALSE(parsed) << name << " " << skip;
            EXPECT_EQ(error.status, memFullErr) << name << " " << skip;
            EXPECT_TRUE(desc.IsNull());
        }
    }
}

// Plain bytes of a string are taken in runs (sixteen at a time, and two-byte UTF-8 in runs of its
// own): whatever ends a run, wherever it falls in or across a block, is read right, alone and as a
// list item, and a raw control, a bad byte or the end of the input is still refused where it is.
TEST_F(NotationParserTest, StringRunsEndWhereverTheOtherByteFalls) {
    auto unitsOf = [](const AEDesc& desc) {
        const std::string data = DataOf(desc);
        return std::u16string(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2);
    };
    for (size_t before = 0; before <= 35; ++before) {
        for (size_t after = 0; after <= 18; ++after) {
            const std::string a(before, 'a'), b(after, 'b');
            for (const auto& [middle, units] :
                 {std::pair<std::string, std::u16string>{"\\\"", u"\""},
                  {"\\\\", u"\\"},
                  {"\\n", u"\n"},
                  {"\x7F", u"\x7F"},
                  {" ~", u" ~"},
                  {"\xC3\xA9", u"\u00E9"},
                  {"\xC3\xA9\xD0\x9C \xC2\xA0", u"\u00E9\u041C \u00A0"},
                  {"\xF0\x9F\x98\x80", u"\U0001F600"}}) {
                const std::string string = "\"" + a + middle + b + "\"";
                const std::u16string expected =
                    std::u16string(a.begin(), a.end()) + units + std::u16string(b.begin(), b.end());
                OwnedDesc desc, list, item;
                NotationError error;
                ASSERT_TRUE(ParseDesc(string, desc, error)) << error.Describe();
                EXPECT_EQ(unitsOf(desc.Get()), expected);
                ASSERT_TRUE(ParseDesc("[0, " + string + "]", list, error)) << error.Describe();
                ASSERT_EQ(AEGetNthDesc(&list.Get(), 2, typeWildCard, nullptr, item.Out()), noErr);
                EXPECT_EQ(unitsOf(item.Get()), expected);
            }
            struct Bad {
                std::string bytes;
                size_t at;  // of the byte refused, in `bytes`
                const char* message;
            };
            for (const Bad& bad :
                 {Bad{"\x1F", 0, "control character in a string (write it as an escape)"},
                  Bad{"\x80", 0, "invalid UTF-8 in a string"},
                  Bad{"\xC3", 0, "invalid UTF-8 in a string"},
                  Bad{"\xC3\xA9\xC3", 2, "invalid UTF-8 in a string"}}) {
                for (const std::string open : {"\"", "[\""}) {
                    const std::string text = open + a + bad.bytes + b + "\"]";
                    OwnedDesc desc;
                    NotationError error;
                    EXPECT_FALSE(ParseDesc(text, desc, error));
                    EXPECT_EQ(error.message, bad.message);
                    EXPECT_EQ(error.offset, open.size() + before + bad.at) << text;
                }
            }
        }
        // Cut off before its closing quote, at every length.
        const std::string a(before, 'a');
        for (const std::string& text : {"[\"" + a, "[\"" + a + "\xC3\xA9", "[\"" + a + "\xC3"}) {
            OwnedDesc desc;
            NotationError error;
            EXPECT_FALSE(ParseDesc(text, desc, error));
            const bool cutInUTF8 = text.back() == '\xC3';
            EXPECT_EQ(error.message,
                      cutInUTF8 ? "invalid UTF-8 in a string" : "unterminated string");
            EXPECT_EQ(error.offset, text.size() - cutInUTF8) << text;
        }
    }
}

// Numbers of up to 18 digits are read in one pass; longer ones, and any with a fraction or an
// exponent, as before. The edges of that shortcut, alone and as list items.
TEST_F(NotationParserTest, NumbersAroundTheShortDigitRunReadAlike) {
    const std::pair<const char*, const char*> cases[] = {
        {"99999999999999999", "99999999999999999"},
        {"999999999999999999", "999999999999999999"},
        {"-999999999999999999", "-999999999999999999"},
        {"1000000000000000000", "1000000000000000000"},
        {"9223372036854775807", "9223372036854775807"},
        {"-2147483648", "-2147483648"},
        {"-2147483649", "-2147483649"},
        {"0007", "7"},
        {"000000000012", "12"},
        {"12345678.5", "12345678.5"},
        {"1234567e1", "12345670.0"},
        {"123456789012345678.5", "1.2345678901234568e+17"},
        {"12e2", "1200.0"},
        {"12E-1", "1.2"},
        {"'magn'(-0)", "'magn'(0)"},
        {"'shor'(-32768)", "'shor'(-32768)"},
        {"'ucom'(999999999999999999)", "'ucom'(999999999999999999)"},
    };
    for (const auto& [input, canonical] : cases) {
        OwnedDesc alone, listed;
        NotationError error;
        ASSERT_TRUE(ParseDesc(input, alone, error)) << input << ": " << error.Describe();
        EXPECT_EQ(Print(alone.Get()), canonical) << input;
        ASSERT_TRUE(ParseDesc(std::string("[") + input + "]", listed, error)) << input;
        EXPECT_EQ(Print(listed.Get()), std::string("[") + canonical + "]") << input;
    }
    // Eight digits are taken at once: every count of them, signed or not, at the end of the input,
    // before a list's end, before a fraction, and before the bytes around the digits' range.
    for (size_t count = 1; count <= 20; ++count) {
        std::string digits;
        for (size_t i = 0; i < count; ++i) digits += static_cast<char>('1' + i % 9);
        for (const std::string& number : {digits, "-" + digits}) {
            int64_t value = 0;
            const bool fits =
                std::from_chars(number.data(), number.data() + number.size(), value).ec ==
                std::errc();
            const bool narrow = value >= INT32_MIN && value <= INT32_MAX;
            OwnedDesc expected = narrow ? MakeDesc(typeSInt32, BytesOf(static_cast<int32_t>(value)))
                                        : MakeDesc(typeSInt64, BytesOf(value));
            for (const std::string& text : {number, "[" + number + "]"}) {
                OwnedDesc desc, item;
                NotationError error;
                ASSERT_EQ(ParseDesc(text, desc, error), fits) << text;
                if (!fits) continue;
                if (text[0] == '[') {
                    ASSERT_EQ(AEGetNthDesc(&desc.Get(), 1, typeWildCard, nullptr, item.Out()),
                              noErr);
                }
                EXPECT_TRUE(SameDesc(text[0] == '[' ? item.Get() : desc.Get(), expected.Get()))
                    << text;
            }
            OwnedDesc real, item;
            NotationError error;
            ASSERT_TRUE(ParseDesc("[" + number + ".5]", real, error)) << number;
            ASSERT_EQ(AEGetNthDesc(&real.Get(), 1, typeWildCard, nullptr, item.Out()), noErr);
            EXPECT_TRUE(SameDesc(
                item.Get(),
                MakeDesc(typeIEEE64BitFloatingPoint, BytesOf(std::stod(number + ".5"))).Get()));
            if (!fits) continue;
            for (const char* after : {"/]", ":]", "\x80]", "\xFF]"}) {
                OwnedDesc desc;
                EXPECT_FALSE(ParseDesc("[" + number + after, desc, error));
                EXPECT_EQ(error.message, "expected ',' or ']'") << number << after;
                EXPECT_EQ(error.offset, 1 + number.size()) << number << after;
            }
        }
    }
    OwnedDesc desc;
    NotationError error;
    EXPECT_FALSE(ParseDesc("[9223372036854775808]", desc, error));
    EXPECT_EQ(error.message, "integer out of range (64 bits at most)");
    EXPECT_EQ(error.offset, 1u);
    EXPECT_FALSE(ParseDesc("[12.]", desc, error));
    EXPECT_EQ(error.message, "expected a digit after '.'");
    // Unsigned 64-bit values are read without a sign, so not even "-0".
    EXPECT_FALSE(ParseDesc("['ucom'(-0)]", desc, error));
    EXPECT_EQ(error.message, "integer out of range for 'ucom'");
    EXPECT_EQ(error.offset, 8u);
}

// Hex data are taken sixteen digits and then a pair at a time: every length across the block
// edges keeps its bytes, in either case, and a bad digit anywhere is reported where it stands.
TEST_F(NotationParserTest, HexDataOfEveryLengthAcrossBlocks) {
    for (size_t length = 0; length <= 70; ++length) {
        std::string bytes, hex;
        for (size_t i = 0; i < length; ++i) {
            bytes.push_back(static_cast<char>(i * 37 + 5));
            static const char kDigits[] = "0123456789abcdef";
            hex += {kDigits[(i * 37 + 5) >> 4 & 0xF], kDigits[(i * 37 + 5) & 0xF]};
            if (i % 3 == 0) hex[2 * i] = static_cast<char>(std::toupper(hex[2 * i]));
        }
        const std::string text = "['rdat'(\u00AB" + hex + "\u00BB)]";
        OwnedDesc list;
        NotationError error;
        ASSERT_TRUE(ParseDesc(text, list, error)) << length << ": " << error.Describe();
        OwnedDesc item;
        ASSERT_EQ(AEGetNthDesc(&list.Get(), 1, typeWildCard, nullptr, item.Out()), noErr);
        EXPECT_EQ(DataOf(item.Get()), bytes) << length;
        if (length == 0) continue;
        const size_t firstDigit = std::strlen("['rdat'(\u00AB");
        // The bytes just outside each digit range, and one that is not ASCII.
        static const char kNotDigits[] = {'/', ':', '@', 'G', '`', 'g', '\xC2'};
        for (size_t at = 0; at < 2 * length; ++at) {
            std::string bad = text;
            bad[firstDigit + at] = kNotDigits[at % std::size(kNotDigits)];
            OwnedDesc desc;
            EXPECT_FALSE(ParseDesc(bad, desc, error));
            EXPECT_EQ(error.offset, firstDigit + at) << length << " " << at;
            EXPECT_EQ(error.message,
                      at % 2 ? "expected a hex digit" : "expected a hex digit or '\u00BB'");
        }
        std::string odd = text;
        odd.erase(firstDigit + 2 * length - 1, 1);
        OwnedDesc desc;
        EXPECT_FALSE(ParseDesc(odd, desc, error));
        EXPECT_EQ(error.message, "hex data needs an even number of digits") << length;
        EXPECT_EQ(error.offset, firstDigit + 2 * length - 1) << length;
    }
}

}  // namespace

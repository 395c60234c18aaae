// Every reader reads what a coercion gave it with itself again: a handler may answer with
// another type that the reader then coerces on, and one that answers with its own source type
// for ever is stopped after kMaxCoercionsPerRead coercions with -1700.
#include <functional>
#include <string>

#include "desc/CAEDesc.h"
#include "desc/DescTestSupport.h"
#include "desc/FileReference.h"
#include "support/PlatformTest.h"

namespace {

using CoercionChainTest = PlatformTest;

const DescType kOdd = FourCC("xxxx");

// What a handler did: how often it was called, and the descriptor it answers with (none: it
// answers with its own source).
struct Handler {
    int calls = 0;
    const AEDesc* answer = nullptr;
};

OSErr AnswerOrEcho(const AEDesc* from, DescType, SRefCon refcon, AEDesc* out) {
    auto& handler = *static_cast<Handler*>(refcon);
    ++handler.calls;
    return AEDuplicateDesc(handler.answer ? handler.answer : from, out);
}

// Each reader as a call that describes its value.
using Read = std::function<std::string(const CAEDesc&)>;
struct Reader {
    const char* name;
    DescType target;  // the type it coerces an odd value to first
    Read read;
};

const Reader kReaders[] = {
    {"GetDouble", typeIEEE64BitFloatingPoint,
     [](const CAEDesc& d) { return std::to_string(d.GetDouble()); }},
    {"GetSInt32", typeSInt32, [](const CAEDesc& d) { return std::to_string(d.GetSInt32()); }},
    {"GetSInt64", typeSInt32, [](const CAEDesc& d) { return std::to_string(d.GetSInt64()); }},
    {"GetEnum", typeEnumerated, [](const CAEDesc& d) { return std::to_string(d.GetEnum()); }},
    {"GetTypeCode", typeType, [](const CAEDesc& d) { return std::to_string(d.GetTypeCode()); }},
    {"GetBoolean", typeBoolean, [](const CAEDesc& d) { return std::to_string(d.GetBoolean()); }},
    {"GetLongDateTime", typeLongDateTime,
     [](const CAEDesc& d) { return std::to_string(d.GetLongDateTime()); }},
    {"GetTCLString", typeUnicodeText,
     [](const CAEDesc& d) {
         TCLString units;
         d.GetTCLString(units);
         return std::string(units.begin(), units.end());
     }},
    {"GetString", typeChar,
     [](const CAEDesc& d) {
         std::string bytes;
         d.GetString(bytes);
         return bytes;
     }},
    {"GetUTF8String", typeUTF8Text,
     [](const CAEDesc& d) {
         std::string bytes;
         d.GetUTF8String(bytes);
         return bytes;
     }},
    {"ToCFURL", typeFileURL,
     [](const CAEDesc& d) {
         CFRef<CFURLRef> url(ToCFURL(&d.mDesc));
         return UTF8Of(CFURLGetString(url.Get()));
     }},
};

std::string StatusOrValue(const Read& read, const CAEDesc& desc) {
    std::string value;
    const int32_t status = StatusOf([&] { value = read(desc); });
    return status ? "status " + std::to_string(status) : value;
}

TEST_F(CoercionChainTest, AHandlerAnsweringWithItsOwnSourceIsStoppedAfterEightCoercions) {
    static_assert(kMaxCoercionsPerRead == 8);
    const CAEDesc odd = MakeDesc(kOdd, "?");
    for (const Reader& reader : kReaders) {
        SCOPED_TRACE(reader.name);
        Handler echo;
        ASSERT_EQ(AEInstallCoercionHandler(kOdd, reader.target, AnswerOrEcho, &echo, true, false),
                  noErr);
        EXPECT_EQ(StatusOrValue(reader.read, odd), "status -1700");
        EXPECT_EQ(echo.calls, kMaxCoercionsPerRead);
        AERemoveCoercionHandler(kOdd, reader.target, AnswerOrEcho, false);
    }
}

TEST_F(CoercionChainTest, AnAnswerOfAnotherTypeIsCoercedOnByTheSameReader) {
    const CAEDesc odd = MakeDesc(kOdd, "?");
    const struct {
        const char* reader;
        CAEDesc answer;
        std::string value;
    } rows[] = {
        {"GetDouble", MakeDesc(typeChar, "2.5"), "2.500000"},
        {"GetSInt32", MakeDesc(typeChar, "42"), "42"},
        {"GetSInt64", MakeScalar<double>(typeIEEE64BitFloatingPoint, 5.0), "5"},
        {"GetTCLString", MakeDesc(typeChar, "hi"), "hi"},
        {"GetString", MakeUnicode(u"\u00E9"), "\xC3\xA9"},
        {"GetUTF8String", MakeUnicode(u"hi"), "hi"},
        {"ToCFURL", MakeDesc(FourCC("psxf"), "/tmp/a b"), "file:///tmp/a%20b"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reader);
        const Reader* reader = nullptr;
        for (const Reader& r : kReaders)
            if (std::string(r.name) == row.reader) reader = &r;
        ASSERT_NE(reader, nullptr);
        Handler answer{0, &row.answer.mDesc};
        ASSERT_EQ(
            AEInstallCoercionHandler(kOdd, reader->target, AnswerOrEcho, &answer, true, false),
            noErr);
        EXPECT_EQ(StatusOrValue(reader->read, odd), row.value);
        EXPECT_EQ(answer.calls, 1);
        AERemoveCoercionHandler(kOdd, reader->target, AnswerOrEcho, false);
    }
}

}  // namespace

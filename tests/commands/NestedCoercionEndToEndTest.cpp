// Coercion handlers that do more than answer, seen through the loaded bundle: one that sends its
// own load plist while a load reads a key, one that answers with a type the reader must coerce
// again, and one that answers with its own source type for ever.
#include <gtest/gtest.h>

#include <string>

#include "commands/CommandTestSupport.h"
#include "commands/LoadedBundleTest.h"
#include "desc/CAEDesc.h"
#include "host/EventSender.h"

namespace {

// `levels` arrays, one inside the other, around `inner`.
std::string Nested(int levels, const std::string& inner) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<array>";
    text += inner;
    for (int i = 0; i < levels; ++i) text += "</array>";
    return text;
}

std::string Plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
           "</plist>\n";
}

// "status N" for a failed load, else the result described.
std::string LoadValue(const AEDesc& value) {
    EventOutcome outcome = SendLoadPList(value);
    if (outcome.status != noErr) return "status " + std::to_string(outcome.status);
    OwnedDesc result;
    EXPECT_EQ(CopyDirectResult(outcome.reply.Get(), result), noErr);
    return Describe(result.Get());
}

std::string Load(const std::string& text) {
    return LoadValue(*MakeBytes(typeUTF8Text, text));
}

// What the key handler does on its first call: a load of `innerText`, whose outcome it keeps.
struct NestedLoad {
    std::string innerText;
    std::string innerResult;
    int calls = 0;
};

// 'utxt' → 'utf8' of an ASCII key, answered as the built-in coercion would, after sending a
// load plist of its own on the first call.
OSErr LoadWhileCoercing(const AEDesc* from, DescType, SRefCon refcon, AEDesc* result) {
    auto& nested = *static_cast<NestedLoad*>(refcon);
    if (nested.calls++ == 0) nested.innerResult = Load(nested.innerText);
    const std::string units = DataOf(*from);
    std::string bytes;
    for (size_t i = 0; i + 1 < units.size(); i += 2) bytes += units[i];
    return AECreateDesc(typeUTF8Text, bytes.data(), static_cast<Size>(bytes.size()), result);
}

// Answers with the descriptor its refcon points to, whatever it is asked.
OSErr Answer(const AEDesc*, DescType, SRefCon refcon, AEDesc* result) {
    return AEDuplicateDesc(static_cast<const AEDesc*>(refcon), result);
}

// Answers with its own source, counting the calls.
int sEchoCalls = 0;
OSErr Echo(const AEDesc* from, DescType, SRefCon, AEDesc* result) {
    ++sEchoCalls;
    return AEDuplicateDesc(from, result);
}

// Installs a coercion handler while in scope.
class ScopedHandler {
public:
    ScopedHandler(DescType from, DescType to, AECoerceDescProcPtr handler, const void* refcon)
        : mFrom(from), mTo(to), mHandler(handler) {
        EXPECT_EQ(
            AEInstallCoercionHandler(from, to, handler, const_cast<void*>(refcon), true, false),
            noErr);
    }
    ~ScopedHandler() { AERemoveCoercionHandler(mFrom, mTo, mHandler, false); }
    ScopedHandler(const ScopedHandler&) = delete;
    ScopedHandler& operator=(const ScopedHandler&) = delete;

private:
    DescType mFrom, mTo;
    AECoerceDescProcPtr mHandler;
};

// "status N", or the XML a store answered with.
std::string Store(const AEDesc& value) {
    EventOutcome outcome = SendStorePList(value, nullptr);
    if (outcome.status != noErr) return "status " + std::to_string(outcome.status);
    OwnedDesc result, utf8;
    EXPECT_EQ(CopyDirectResult(outcome.reply.Get(), result), noErr);
    EXPECT_EQ(AECoerceDesc(&result.Get(), typeUTF8Text, utf8.Out()), noErr);
    return DataOf(utf8.Get());
}

using NestedCoercionEndToEndTest = LoadedBundleTest;

TEST_F(NestedCoercionEndToEndTest, ALoadInsideALoadLeavesBothResultsAsEachWouldBeAlone) {
    const std::string record = "<dict><key>a</key><integer>1</integer></dict>";
    const struct {
        const char* what;
        std::string outer, inner;
    } rows[] = {
        // The key is read at depth 1; the inner list is as deep as a load accepts.
        {"at the top", Plist(record), Plist(Nested(512, "<integer>0</integer>"))},
        {"511 levels down", Plist(Nested(510, record)), Plist(Nested(512, "<integer>0</integer>"))},
        {"inner fails", Plist(Nested(510, record)), Plist("<array><integer>")},
        {"inner has keys", Plist(record), Plist(Nested(300, record))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string outerAlone = Load(row.outer), innerAlone = Load(row.inner);
        ASSERT_EQ(outerAlone.rfind("status", 0), std::string::npos) << outerAlone;
        NestedLoad nested{row.inner, "", 0};
        std::string outer;
        {
            ScopedHandler handler(typeUnicodeText, typeUTF8Text, LoadWhileCoercing, &nested);
            outer = Load(row.outer);
        }
        EXPECT_GE(nested.calls, 1);
        EXPECT_EQ(nested.innerResult, innerAlone);
        EXPECT_EQ(outer, outerAlone);
        EXPECT_EQ(Load(row.outer), outerAlone);  // and nothing stays behind for the next load
    }
}

TEST_F(NestedCoercionEndToEndTest, ACoercionAnsweredWithAnotherTypeIsReadAgain) {
    const OwnedDesc otherText = MakeBytes(typeChar, "other"),
                    five = MakeValue(typeIEEE64BitFloatingPoint, 5.0);
    {
        ScopedHandler handler(typeUTF8Text, typeUnicodeText, Answer, &*otherText);
        EXPECT_NE(Store(*MakeBytes(typeUTF8Text, "x")).find("<string>other</string>"),
                  std::string::npos);
    }
    {
        ScopedHandler handler(typeUInt32, typeSInt32, Answer, &*five);
        EXPECT_NE(Store(*MakeValue(typeUInt32, uint32_t(7))).find("<integer>5</integer>"),
                  std::string::npos);
    }
    {
        // The text of a load answered as 'utxt' is coerced to 'utf8' once more.
        const OwnedDesc asUnicode = MakeUnicode(u"<string>other</string>");
        ScopedHandler handler(FourCC("xxxx"), typeUTF8Text, Answer, &*asUnicode);
        EXPECT_EQ(LoadValue(*MakeBytes(FourCC("xxxx"), "?")), Describe(*MakeUnicode(u"other")));
    }
}

TEST_F(NestedCoercionEndToEndTest, AnAliasAnsweredAsAPOSIXFileIsWritten) {
    ScratchFolder folder;
    const std::string written = folder.Path("written.plist");
    const OwnedDesc posixFile = FileReference(FourCC("psxf"), written);
    const OwnedDesc alias = FileReference(typeAlias, folder.Path("elsewhere.plist"));
    ScopedHandler handler(typeAlias, typeFileURL, Answer, &*posixFile);
    EventOutcome outcome = SendStorePList(*MakeValue(typeSInt32, int32_t(3)), &*alias);
    ASSERT_EQ(outcome.status, noErr);
    EXPECT_NE(ReadFile(written).find("<integer>3</integer>"), std::string::npos);
    OwnedDesc result;
    ASSERT_EQ(CopyDirectResult(outcome.reply.Get(), result), noErr);
    EXPECT_EQ(Describe(result.Get()), Describe(*alias));
}

TEST_F(NestedCoercionEndToEndTest, AHandlerAnsweringWithItsOwnSourceForeverEndsWithMinus1700) {
    ScratchFolder folder;
    const struct {
        const char* what;
        DescType from, to;
        OwnedDesc value;
        bool store;
        OwnedDesc destination;  // null: none
    } rows[] = {
        {"magn", typeUInt32, typeSInt32, MakeValue(typeUInt32, uint32_t(5)), true, {}},
        {"utf8 text", typeUTF8Text, typeUnicodeText, MakeBytes(typeUTF8Text, "x"), true, {}},
        {"text of a load", FourCC("xxxx"), typeUTF8Text, MakeBytes(FourCC("xxxx"), "?"), false, {}},
        {"alias destination", typeAlias, typeFileURL, MakeValue(typeSInt32, int32_t(1)), true,
         FileReference(typeAlias, folder.Path("a.plist"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sEchoCalls = 0;
        ScopedHandler handler(row.from, row.to, Echo, nullptr);
        EventOutcome outcome =
            row.store
                ? SendStorePList(*row.value,
                                 row.destination.Get().dataHandle ? &*row.destination : nullptr)
                : SendLoadPList(*row.value);
        EXPECT_EQ(outcome.status, errAECoercionFail);
        EXPECT_EQ(outcome.errorText, std::nullopt);
        EXPECT_EQ(sEchoCalls, kMaxCoercionsPerRead);
    }
}

}  // namespace

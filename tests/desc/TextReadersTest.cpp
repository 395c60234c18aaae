// The text readers and SetCFString: bytes taken as they are, the styled-text detour, and the
// strings handed over or released.
#include <optional>

#include "desc/CAEDesc.h"
#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

using TextReadersTest = PlatformTest;

TEST_F(TextReadersTest, UnicodeTextKeepsItsCodeUnits) {
    TCLString units;
    MakeDesc(typeUnicodeText, "").GetTCLString(units);
    EXPECT_TRUE(units.empty());
    MakeDesc(typeUnicodeText, "a\0b\0c\0d", 7).GetTCLString(units);
    EXPECT_EQ(units, (TCLString{'a', 'b', 'c'}));  // the odd last byte is dropped

    CAEDesc marked = MakeUnicode(u"\uFEFFhi");
    marked.GetTCLString(units);
    EXPECT_EQ(units, (TCLString{0xFEFF, 'h', 'i'}));
    CFRef<CFStringRef> string;
    marked.GetCFString(string);
    EXPECT_EQ(CFStringGetLength(string.Get()), 3);
    EXPECT_EQ(CFStringGetCharacterAtIndex(string.Get(), 0), 0xFEFF);
}

TEST_F(TextReadersTest, ByteReadersChooseTheirCoercionTarget) {
    struct Case {
        CAEDesc desc;
        std::string viaGetString;
        std::string viaGetUTF8String;
    } cases[] = {
        {MakeUnicode(u"\u00E9"), "\xC3\xA9", "\xC3\xA9"},
        {MakeDesc(typeChar, "\x8E\0x"), "\x8E\0x", "\x8E\0x"},  // system encoding, untouched
        {MakeDesc(typeFileURL, "file:///a"), "file:///a", "file:///a"},
        {MakeScalar<int32_t>(typeSInt32, -12), "-12", "-12"},
    };
    for (Case& c : cases) {
        std::string bytes = "previous content";
        c.desc.GetString(bytes);
        EXPECT_EQ(bytes, c.viaGetString);
        c.desc.GetUTF8String(bytes);
        EXPECT_EQ(bytes, c.viaGetUTF8String);
    }
}

TEST_F(TextReadersTest, GetCFStringDecodesByDescriptorType) {
    struct Case {
        CAEDesc desc;
        const char* utf8;
    } cases[] = {
        {MakeDesc(typeChar, "caf\x8E"), "caf\xC3\xA9"},         // Mac OS Roman
        {MakeDesc(typeFileURL, "caf\xC3\xA9"), "caf\xC3\xA9"},  // UTF-8
        {MakeDesc(typeApplicationBundleID, "org.x"), "org.x"},
        {MakeDesc(typeUTF8Text, "\xE2\x82\xAC"), "\xE2\x82\xAC"},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> string;
        c.desc.GetCFString(string);
        EXPECT_EQ(UTF8Of(string.Get()), c.utf8);
    }

    // 'utf8' is read through its coercion to 'utxt', not through its bytes.
    PTReset();
    CFRef<CFStringRef> string;
    MakeDesc(typeUTF8Text, "x").GetCFString(string);
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 1u);
    EXPECT_EQ(PTCallCount("CFStringCreateWithCharacters"), 1u);
    EXPECT_EQ(PTCallCount("CFStringCreateWithBytes"), 0u);

    CFStringRef held = nullptr;
    EXPECT_EQ(StatusOf([&] { MakeDesc(typeFileURL, "\xFF").GetCFString(held); }), memFullErr);
    EXPECT_EQ(held, nullptr);
}

TEST_F(TextReadersTest, GetCFStringReleasesTheStringItReplaces) {
    CFStringRef held = nullptr;
    MakeDesc(typeChar, "one").GetCFString(held);
    const long live = PTLiveCFObjectCount();
    PTReset();
    MakeDesc(typeChar, "two").GetCFString(held);
    EXPECT_EQ(PTCallCount("CFRelease"), 1u);
    EXPECT_EQ(PTLiveCFObjectCount(), live);
    EXPECT_EQ(UTF8Of(held), "two");
    CFRelease(held);
}

TEST_F(TextReadersTest, NullIsRefusedByEveryReader) {
    CAEDesc null;
    TCLString units;
    std::string bytes;
    CFStringRef held = nullptr;
    EXPECT_EQ(StatusOf([&] { null.GetTCLString(units); }), errAECoercionFail);
    EXPECT_EQ(StatusOf([&] { null.GetString(bytes); }), errAECoercionFail);
    EXPECT_EQ(StatusOf([&] { null.GetUTF8String(bytes); }), errAECoercionFail);
    EXPECT_EQ(StatusOf([&] { null.GetCFString(held); }), errAECoercionFail);
    EXPECT_EQ(PTCallCount("AECoerceDesc"), 0u);
}

TEST_F(TextReadersTest, StyledTextFallbackHappensAtMostOnce) {
    const DescType odd = FourCC("xxxx");
    struct Case {
        const char* name;
        std::vector<int32_t> oddScript;     // 'xxxx' -> 'utxt'/'TEXT', then -> 'STXT' (0: made)
        std::vector<int32_t> styledScript;  // 'STXT' -> 'utxt'/'TEXT'
        bool unicode;                       // GetTCLString, else GetString
        int32_t thrown;
        std::size_t oddAttempts;
    } cases[] = {
        {"utxt refused -1700, detour", {errAECoercionFail, 0}, {}, true, 0, 2},
        {"utxt refused -50, detour", {paramErr, 0}, {}, true, 0, 2},
        {"utxt refused otherwise", {-4960}, {}, true, -4960, 1},
        {"detour refused", {errAECoercionFail, paramErr}, {}, true, paramErr, 2},
        {"styled text refused again",
         {errAECoercionFail, 0},
         {errAECoercionFail},
         true,
         errAECoercionFail,
         2},
        {"TEXT refused -1700, no detour", {errAECoercionFail}, {}, false, errAECoercionFail, 1},
        {"TEXT refused -50, detour", {paramErr, 0}, {}, false, 0, 2},
        {"styled TEXT refused again", {paramErr, 0}, {paramErr}, false, paramErr, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DescType target = c.unicode ? DescType(typeUnicodeText) : DescType(typeChar);
        CoercionScript oddScript{c.oddScript, {}};
        CoercionScript styledScript{c.styledScript, {}};
        ScopedCoercion oddHandlers(odd, {target, typeStyledText}, oddScript);
        std::optional<ScopedCoercion> styledHandlers;
        if (!c.styledScript.empty())
            styledHandlers.emplace(typeStyledText, std::vector{target}, styledScript);

        CAEDesc source = MakeDesc(odd, "?");
        TCLString units;
        std::string bytes;
        const int32_t status = StatusOf([&] {
            if (c.unicode)
                source.GetTCLString(units);
            else
                source.GetString(bytes);
        });
        EXPECT_EQ(status, c.thrown);
        EXPECT_EQ(oddScript.asked.size(), c.oddAttempts);
        EXPECT_LE(styledScript.asked.size(), 1u);
        if (status == 0) {  // the styled text's plain text, ASCII either way
            EXPECT_EQ(c.unicode ? std::string(units.begin(), units.end()) : bytes, "styled");
        }
    }
}

TEST_F(TextReadersTest, SetCFStringMakesUnicodeText) {
    CAEDesc target = MakeDesc(typeChar, "old");
    target.SetCFString(nullptr);
    EXPECT_TRUE(target.IsNull());
    EXPECT_EQ(target.mDesc.descriptorType, DescType(typeNull));

    struct Case {
        CFStringRef string;
        bool forceCopy;  // no direct access to the characters
        Size bytes;
    } cases[] = {
        {CFSTR(""), false, 0},
        {CFSTR("abc"), false, 6},
        {CFSTR("abc"), true, 6},
    };
    for (const Case& c : cases) {
        if (c.forceCopy) PTFailCalls("CFStringGetCharactersPtr", 0, 1, 0);
        target.SetCFString(c.string);
        EXPECT_EQ(target.mDesc.descriptorType, DescType(typeUnicodeText));
        EXPECT_EQ(AEGetDescDataSize(&target.mDesc), c.bytes);
        TCLString units;
        target.GetTCLString(units);
        EXPECT_EQ(static_cast<CFIndex>(units.size()), CFStringGetLength(c.string));
    }

    PTFailCalls("AECreateDesc", 0, 1, errAECorruptData);
    EXPECT_EQ(StatusOf([&] { target.SetCFString(CFSTR("x")); }), errAECorruptData);
    EXPECT_TRUE(target.IsNull());
}

}  // namespace

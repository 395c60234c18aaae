// A 'utxt' descriptor made from a long immutable string's own characters shares them: nothing a
// caller does can tell, whatever the order of release and whatever is changed afterwards.
#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "platform/AE/AETestSupport.h"
#include "platform/CoreFoundation/CFStringSharedUnits.h"
#include "support/PlatformTest.h"

namespace {

class AESharedText : public PlatformTest {};

// A string long enough for shared units, its characters differing from place to place.
std::u16string LongUnits(size_t count = cf::kSharedUnitsMin + 3) {
    std::u16string units(count, u'a');
    for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(u'a' + i % 26);
    units[1] = u'\u00e9';
    return units;
}

CFStringRef MakeString(const std::u16string& units) {
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                        static_cast<CFIndex>(units.size()));
}

// A 'utxt' descriptor made from the string's characters pointer, as text is handed over.
OSErr TextFrom(CFStringRef string, AEDesc* out) {
    const UniChar* units = CFStringGetCharactersPtr(string);
    if (!units) return paramErr;
    return AECreateDesc(typeUnicodeText, units,
                        CFStringGetLength(string) * static_cast<Size>(sizeof(UniChar)), out);
}

TEST_F(AESharedText, DescriptorOutlivesItsStringInEitherOrder) {
    const std::u16string units = LongUnits();
    const size_t blocks = cf::LiveSharedUnitBlocks();
    for (bool stringFirst : {true, false}) {
        SCOPED_TRACE(stringFirst ? "string released first" : "descriptor disposed first");
        CFStringRef string = MakeString(units);
        ASSERT_NE(string, nullptr);
        const long objects = PTLiveCFObjectCount();
        OwnedDesc text;
        ASSERT_EQ(TextFrom(string, text.Mutable()), noErr);
        EXPECT_EQ(PTLiveCFObjectCount(), objects) << "sharing must not keep a CF object";
        EXPECT_EQ(cf::LiveSharedUnitBlocks(), blocks + 1);
        if (stringFirst) {
            CFRelease(string);
            EXPECT_EQ(PTLiveCFObjectCount(), objects - 1);
            EXPECT_EQ(cf::LiveSharedUnitBlocks(), blocks + 1) << "the descriptor holds the units";
            EXPECT_EQ(DataBytes(*text), UTF16Bytes(units));
            EXPECT_EQ(AEDisposeDesc(text.Mutable()), noErr);
        } else {
            EXPECT_EQ(AEDisposeDesc(text.Mutable()), noErr);
            EXPECT_EQ(CFStringGetCharacterAtIndex(string, 1), u'\u00e9');
            CFRelease(string);
        }
        EXPECT_EQ(cf::LiveSharedUnitBlocks(), blocks) << "the last owner frees the units";
    }
}

// Each owner of the shared characters is changed in turn; every other owner keeps them.
TEST_F(AESharedText, ChangingOneOwnerLeavesTheOthers) {
    const std::u16string units = LongUnits();
    const std::vector<uint8_t> original = UTF16Bytes(units);
    enum Owner { kText, kDuplicate, kListItem };
    for (Owner changed : {kText, kDuplicate, kListItem}) {
        SCOPED_TRACE(changed);
        CFStringRef string = MakeString(units);
        OwnedDesc text, copy, list, item;
        ASSERT_EQ(TextFrom(string, text.Mutable()), noErr);
        ASSERT_EQ(AEDuplicateDesc(&text.Get(), copy.Mutable()), noErr);
        ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
        ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &text.Get()), noErr);
        if (changed == kListItem) {
            ASSERT_EQ(AEPutPtr(list.Mutable(), 1, typeUnicodeText, u"z", 2), noErr);
        } else {
            AEDesc* owner = changed == kText ? text.Mutable() : copy.Mutable();
            ASSERT_EQ(AEReplaceDescData(typeUnicodeText, u"z", 2, owner), noErr);
        }
        CFRelease(string);
        ASSERT_EQ(AEGetNthDesc(&list.Get(), 1, typeWildCard, nullptr, item.Mutable()), noErr);
        const AEDesc* owners[] = {&text.Get(), &copy.Get(), &item.Get()};
        for (int owner = kText; owner <= kListItem; ++owner)
            EXPECT_EQ(DataBytes(*owners[owner]), owner == changed ? UTF16Bytes(u"z") : original)
                << "owner " << owner;
    }
}

// Only a whole block is shared; any other bytes, and short strings, are copied as before.
TEST_F(AESharedText, OnlyWholeLongStringsAreShared) {
    struct Case {
        const char* name;
        size_t units;
        size_t offset;  // units skipped at the start
        size_t less;    // units left off the end
        bool shared;
    };
    const Case cases[] = {
        {"whole long string", cf::kSharedUnitsMin, 0, 0, true},
        {"short string", cf::kSharedUnitsMin - 1, 0, 0, false},
        {"from inside", cf::kSharedUnitsMin * 2, 1, 0, false},
        {"cut short", cf::kSharedUnitsMin * 2, 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string units = LongUnits(c.units);
        CFStringRef string = MakeString(units);
        const size_t blocks = cf::LiveSharedUnitBlocks();
        const UniChar* start = CFStringGetCharactersPtr(string) + c.offset;
        const size_t count = c.units - c.offset - c.less;
        OwnedDesc text;
        ASSERT_EQ(
            AECreateDesc(typeUnicodeText, start, static_cast<Size>(count * 2), text.Mutable()),
            noErr);
        CFRelease(string);
        // A copy leaves the string's block (when it has one) to go with the string.
        const bool freed = !c.shared && c.units >= cf::kSharedUnitsMin;
        EXPECT_EQ(cf::LiveSharedUnitBlocks(), blocks - (freed ? 1 : 0));
        EXPECT_EQ(DataBytes(*text), UTF16Bytes(units.substr(c.offset, count)));
    }
}

// Short values made again and again (the keys of every record) may share their bytes; each
// put still reads back as put, and changing or disposing of one leaves the others.
TEST_F(AESharedText, RepeatedShortValuesStayIndependent) {
    const std::string values[] = {"Track ID", std::string(64, 'k'), std::string(65, 'l'),
                                  std::string("a\0b\0c\0d\0e", 9)};
    for (const std::string& value : values) {
        SCOPED_TRACE(value.size());
        OwnedDesc list, first, replaced;
        ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeUTF8Text, value.data(),
                               static_cast<Size>(value.size())),
                      noErr);
        ASSERT_EQ(Make(typeUTF8Text, BytesOf(value), first.Mutable()), noErr);
        ASSERT_EQ(Make(typeUTF8Text, BytesOf(value), replaced.Mutable()), noErr);
        ASSERT_EQ(AEReplaceDescData(typeUTF8Text, "x", 1, replaced.Mutable()), noErr);
        ASSERT_EQ(AEPutPtr(list.Mutable(), 2, typeUTF8Text, "y", 1), noErr);
        EXPECT_EQ(AEDisposeDesc(first.Mutable()), noErr);
        const std::vector<uint8_t> expected[] = {BytesOf(value), BytesOf(std::string("y")),
                                                 BytesOf(value)};
        for (long i = 1; i <= 3; ++i) {
            OwnedDesc item;
            ASSERT_EQ(AEGetNthDesc(&list.Get(), i, typeWildCard, nullptr, item.Mutable()), noErr);
            EXPECT_EQ(DataBytes(*item), expected[i - 1]) << i;
        }
        EXPECT_EQ(DataBytes(*replaced), BytesOf(std::string("x")));
    }
}

// Text decoded from bytes is what the store command's text route shares.
TEST_F(AESharedText, DecodedStringIsSharedAndReadsBackInRanges) {
    std::string utf8(cf::kSharedUnitsMin * 2, 'x');
    utf8.replace(10, 2, "\xc3\xa9");
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                  static_cast<CFIndex>(utf8.size()));
    CFStringRef string =
        CFStringCreateFromExternalRepresentation(nullptr, data, kCFStringEncodingUTF8);
    CFRelease(data);
    ASSERT_NE(string, nullptr);
    const size_t blocks = cf::LiveSharedUnitBlocks();
    OwnedDesc text;
    ASSERT_EQ(TextFrom(string, text.Mutable()), noErr);
    CFRelease(string);
    EXPECT_EQ(cf::LiveSharedUnitBlocks(), blocks);
    char16_t range[3] = {};
    ASSERT_EQ(AEGetDescDataRange(&text.Get(), range, 9 * 2, sizeof range), noErr);
    EXPECT_EQ(std::u16string(range, 3), u"x\u00e9x");
}

}  // namespace

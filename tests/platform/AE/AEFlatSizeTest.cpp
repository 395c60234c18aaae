// Sizes of lists, records and events stay exact through every kind of change, also after
// they were sized once (sizes of containers are remembered between changes).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/AE/AETestSupport.h"
#include "support/PlatformTest.h"

namespace {

constexpr AEKeyword kA = FourCC("aaaa");
constexpr AEKeyword kB = FourCC("bbbb");

bool IsContainer(DescType type) {
    return type == typeAEList || type == typeAERecord || type == typeAppleEvent;
}

// Flat size of a list or record's body (shape, count, items) worked out from its items alone,
// only ever asking the size of plain bytes.
size_t BodySizeByWalking(const AEDesc& desc) {
    long count = 0;
    EXPECT_EQ(AECountItems(&desc, &count), noErr);
    size_t size = 1 + 4;
    for (long i = 1; i <= count; ++i) {
        OwnedDesc item;
        EXPECT_EQ(AEGetNthDesc(&desc, i, typeWildCard, nullptr, item.Out()), noErr);
        size += 4 + 4 + 1;
        size += IsContainer(item.Type()) ? BodySizeByWalking(item.Get())
                                         : 4 + static_cast<size_t>(AEGetDescDataSize(&item.Get()));
    }
    return size;
}

// Checks every size the manager reports for `desc` and its items against the contents.
void ExpectExactSizes(const AEDesc& desc) {
    const auto size = static_cast<size_t>(AEGetDescDataSize(&desc));
    if (desc.descriptorType != typeAppleEvent) {
        EXPECT_EQ(size, 4 + BodySizeByWalking(desc));
    }
    // The flat form is exactly that long: read back, it makes the same descriptor.
    std::vector<uint8_t> bytes = DataBytes(desc);
    OwnedDesc fresh;
    ASSERT_EQ(Make(desc.descriptorType, bytes, fresh.Out()), noErr);
    EXPECT_EQ(static_cast<size_t>(AEGetDescDataSize(&fresh.Get())), size);
    EXPECT_EQ(DataBytes(fresh.Get()), bytes);
    long count = 0;
    ASSERT_EQ(AECountItems(&desc, &count), noErr);
    for (long i = 1; i <= count; ++i) {
        DescType type;
        Size itemSize = 0;
        OwnedDesc item;
        ASSERT_EQ(AESizeOfNthItem(&desc, i, &type, &itemSize), noErr);
        ASSERT_EQ(AEGetNthDesc(&desc, i, typeWildCard, nullptr, item.Out()), noErr);
        EXPECT_EQ(itemSize, AEGetDescDataSize(&item.Get())) << "item " << i;
        if (IsContainer(type)) ExpectExactSizes(item.Get());
    }
}

OwnedDesc NumberList(std::initializer_list<int32_t> values) {
    OwnedDesc list;
    EXPECT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
    for (int32_t v : values) EXPECT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    return list;
}

// [ {aaaa: 7, bbbb: [1, 2]}, "text" ], every level sized before the change under test.
OwnedDesc Nested() {
    OwnedDesc record, outer;
    EXPECT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
    int32_t seven = 7;
    EXPECT_EQ(AEPutParamPtr(record.Mutable(), kA, typeSInt32, &seven, 4), noErr);
    OwnedDesc inner = NumberList({1, 2});
    EXPECT_EQ(AEPutParamDesc(record.Mutable(), kB, &inner.Get()), noErr);
    outer = NumberList({});
    EXPECT_EQ(AEPutDesc(outer.Mutable(), 0, &record.Get()), noErr);
    EXPECT_EQ(AEPutPtr(outer.Mutable(), 0, typeUTF8Text, "text", 4), noErr);
    ExpectExactSizes(outer.Get());
    return outer;
}

// Replaces item `index` of `list` by the result of `change` applied to a copy of it.
void ChangeItem(AEDesc* list, long index, const std::function<void(AEDesc*)>& change) {
    OwnedDesc item;
    ASSERT_EQ(AEGetNthDesc(list, index, typeWildCard, nullptr, item.Out()), noErr);
    change(item.Mutable());
    ASSERT_EQ(AEPutDesc(list, index, &item.Get()), noErr);
}

struct Change {
    const char* name;
    std::function<void(AEDesc*)> apply;
};

class AEFlatSize : public PlatformTestWithParam<Change> {};

TEST_P(AEFlatSize, StaysExactAfterChange) {
    OwnedDesc outer = Nested();
    const Size before = AEGetDescDataSize(&outer.Get());
    GetParam().apply(outer.Mutable());
    ExpectExactSizes(outer.Get());
    if (std::string(GetParam().name) != "SameSizeReplacement") {
        EXPECT_NE(AEGetDescDataSize(&outer.Get()), before);
    }
}

int32_t gNumber = 12345;

INSTANTIATE_TEST_SUITE_P(
    Changes, AEFlatSize,
    ::testing::Values(
        Change{"Append", [](AEDesc* d) { AEPutPtr(d, 0, typeSInt32, &gNumber, 4); }},
        Change{"ReplaceByIndex",
               [](AEDesc* d) { AEPutPtr(d, 2, typeUTF8Text, "longer text", 11); }},
        Change{"SameSizeReplacement", [](AEDesc* d) { AEPutPtr(d, 2, typeUTF8Text, "TEXT", 4); }},
        Change{"Delete", [](AEDesc* d) { AEDeleteItem(d, 1); }},
        Change{"NestedFieldAdded",
               [](AEDesc* d) {
                   ChangeItem(d, 1, [](AEDesc* r) {
                       AEPutParamPtr(r, FourCC("cccc"), typeSInt32, &gNumber, 4);
                   });
               }},
        Change{"NestedFieldReplaced",
               [](AEDesc* d) {
                   ChangeItem(d, 1, [](AEDesc* r) {
                       OwnedDesc longer = NumberList({1, 2, 3, 4});
                       AEPutParamDesc(r, kB, &longer.Get());
                   });
               }},
        Change{"NestedFieldDeleted",
               [](AEDesc* d) { ChangeItem(d, 1, [](AEDesc* r) { AEDeleteParam(r, kB); }); }},
        Change{"TwoLevelsDown",
               [](AEDesc* d) {
                   ChangeItem(d, 1, [](AEDesc* r) {
                       OwnedDesc inner;
                       AEGetParamDesc(r, kB, typeWildCard, inner.Out());
                       AEPutPtr(inner.Mutable(), 0, typeSInt32, &gNumber, 4);
                       AEPutParamDesc(r, kB, &inner.Get());
                   });
               }},
        Change{"DataReplaced",
               [](AEDesc* d) {
                   OwnedDesc other = NumberList({9});
                   std::vector<uint8_t> bytes = DataBytes(other.Get());
                   AEReplaceDescData(typeAEList, bytes.data(), static_cast<Size>(bytes.size()), d);
               }}),
    [](const ::testing::TestParamInfo<Change>& info) { return std::string(info.param.name); });

class AEFlatSizeSharing : public PlatformTest {};

// A container shared by a parent and a handle, or by two handles, is copied before either
// changes: the other keeps its contents and its size.
TEST_F(AEFlatSizeSharing, ChangingOneHolderLeavesTheOtherSized) {
    OwnedDesc inner = NumberList({1, 2, 3});
    OwnedDesc outer = NumberList({});
    ASSERT_EQ(AEPutDesc(outer.Mutable(), 0, &inner.Get()), noErr);
    OwnedDesc copy;
    ASSERT_EQ(AEDuplicateDesc(&outer.Get(), copy.Out()), noErr);
    const Size outerSize = AEGetDescDataSize(&outer.Get());
    const Size innerSize = AEGetDescDataSize(&inner.Get());
    for (int i = 0; i < 40; ++i) {  // past several regrowths of the item vector
        ASSERT_EQ(AEPutPtr(inner.Mutable(), 0, typeSInt32, &i, 4), noErr);
        ASSERT_EQ(AEPutPtr(copy.Mutable(), 0, typeSInt32, &i, 4), noErr);
    }
    EXPECT_EQ(AEGetDescDataSize(&outer.Get()), outerSize);
    EXPECT_EQ(AEGetDescDataSize(&inner.Get()), innerSize + 40 * 17);
    EXPECT_EQ(AEGetDescDataSize(&copy.Get()), outerSize + 40 * 17);
    ExpectExactSizes(outer.Get());
    ExpectExactSizes(inner.Get());
    ExpectExactSizes(copy.Get());
}

TEST_F(AEFlatSizeSharing, EventSizeFollowsParametersAndAttributes) {
    OwnedDesc event, address;
    ProcessSerialNumber self = {0, kCurrentProcess};
    ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &self, sizeof self, address.Out()), noErr);
    ASSERT_EQ(AECreateAppleEvent(FourCC("Test"), FourCC("evnt"), &address.Get(),
                                 kAutoGenerateReturnID, kAnyTransactionID, event.Out()),
              noErr);
    OwnedDesc list = NumberList({1, 2});
    ASSERT_EQ(AEPutParamDesc(event.Mutable(), keyDirectObject, &list.Get()), noErr);
    ExpectExactSizes(event.Get());
    const std::vector<std::function<void()>> changes = {
        [&] { AEPutAttributePtr(event.Mutable(), FourCC("attr"), typeSInt32, &gNumber, 4); },
        [&] { AEPutAttributeDesc(event.Mutable(), FourCC("attr"), &list.Get()); },
        [&] { AEPutParamPtr(event.Mutable(), kA, typeUTF8Text, "abc", 3); },
        [&] { AEDeleteParam(event.Mutable(), keyDirectObject); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        const Size before = AEGetDescDataSize(&event.Get());
        changes[i]();
        EXPECT_NE(AEGetDescDataSize(&event.Get()), before) << "change " << i;
        ExpectExactSizes(event.Get());
    }
}

// A copy cut short is the start of the full flat form, whatever the cut, and writes nothing past
// it: for a nested list, for an item that is a record, and for an event with attributes.
TEST_F(AEFlatSizeSharing, ShortCopiesArePrefixesOfTheFlatForm) {
    OwnedDesc outer = Nested();
    OwnedDesc event;
    ASSERT_EQ(AECreateAppleEvent(FourCC("Test"), FourCC("evnt"), nullptr, kAutoGenerateReturnID,
                                 kAnyTransactionID, event.Out()),
              noErr);
    ASSERT_EQ(AEPutParamDesc(event.Mutable(), keyDirectObject, &outer.Get()), noErr);
    using Copy = std::function<OSErr(void*, Size)>;
    const std::vector<std::pair<const AEDesc*, Copy>> cases = {
        {&outer.Get(), [&](void* to, Size n) { return AEGetDescData(&outer.Get(), to, n); }},
        {&event.Get(), [&](void* to, Size n) { return AEGetDescData(&event.Get(), to, n); }},
        {nullptr,
         [&](void* to, Size n) {
             return AEGetNthPtr(&outer.Get(), 1, typeWildCard, nullptr, nullptr, to, n, nullptr);
         }},
    };
    for (const auto& [desc, copy] : cases) {
        std::vector<uint8_t> full;
        if (desc) {
            full = DataBytes(*desc);
        } else {
            OwnedDesc record;
            ASSERT_EQ(AEGetNthDesc(&outer.Get(), 1, typeWildCard, nullptr, record.Out()), noErr);
            full = DataBytes(record.Get());
        }
        for (size_t n = 0; n <= full.size(); ++n) {
            std::vector<uint8_t> out(full.size() + 8, 0xEE);
            ASSERT_EQ(copy(out.data(), static_cast<Size>(n)), noErr);
            EXPECT_TRUE(
                std::equal(full.begin(), full.begin() + static_cast<ptrdiff_t>(n), out.begin()))
                << n;
            EXPECT_EQ(std::count(out.begin() + static_cast<ptrdiff_t>(n), out.end(), 0xEE),
                      static_cast<ptrdiff_t>(out.size() - n))
                << n;
        }
    }
}

// A range is the same slice of the data as the whole copy gives, for plain bytes and for a
// container's flat form, and writes nothing around it; a range outside the data is refused.
TEST_F(AEFlatSizeSharing, RangesAreSlicesOfTheWholeData) {
    OwnedDesc outer = Nested();
    OwnedDesc text;
    const std::string units = "a text long enough to live on the heap";
    ASSERT_EQ(AECreateDesc(typeUTF8Text, units.data(), static_cast<Size>(units.size()), text.Out()),
              noErr);
    for (const AEDesc* desc : {&outer.Get(), &text.Get()}) {
        const std::vector<uint8_t> full = DataBytes(*desc);
        for (size_t from = 0; from <= full.size(); from += 3) {
            for (size_t n : {size_t{0}, size_t{1}, size_t{5}, full.size() - from}) {
                if (n > full.size() - from) continue;
                std::vector<uint8_t> out(n + 2, 0xEE);
                ASSERT_EQ(AEGetDescDataRange(desc, out.data() + 1, static_cast<Size>(from),
                                             static_cast<Size>(n)),
                          noErr);
                EXPECT_TRUE(std::equal(full.begin() + static_cast<ptrdiff_t>(from),
                                       full.begin() + static_cast<ptrdiff_t>(from + n),
                                       out.begin() + 1))
                    << from << "+" << n;
                EXPECT_EQ(out.front(), 0xEE);
                EXPECT_EQ(out.back(), 0xEE);
            }
        }
        const auto size = static_cast<Size>(full.size());
        uint8_t byte = 0;
        for (auto [from, n] : {std::pair<Size, Size>{size, 1}, {0, size + 1}, {-1, 1}, {0, -1}})
            EXPECT_EQ(AEGetDescDataRange(desc, &byte, from, n), paramErr) << from << "+" << n;
        EXPECT_EQ(AEGetDescDataRange(desc, nullptr, 0, 1), paramErr);
    }
    const AEDesc null = {typeNull, nullptr};
    EXPECT_EQ(AEGetDescDataRange(&null, nullptr, 0, 0), noErr);
}

// Appends keep the size as they go: items whose size is known, a nested list whose size was
// forgotten by a deletion and never worked out again, and an event, whose attributes count.
TEST_F(AEFlatSizeSharing, AppendsOfEveryKindKeepTheSizeExact) {
    OwnedDesc list = NumberList({});
    OwnedDesc forgotten = NumberList({1, 2, 3});
    ASSERT_EQ(AEDeleteItem(forgotten.Mutable(), 2), noErr);
    OwnedDesc record, event, address;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Out()), noErr);
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), kA, typeUTF8Text, "field text", 10), noErr);
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeUTF8Text, "a longer text item", 18), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &forgotten.Get()), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &record.Get()), noErr);
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &gNumber, 4), noErr);
    ExpectExactSizes(list.Get());

    ProcessSerialNumber self = {0, kCurrentProcess};
    ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &self, sizeof self, address.Out()), noErr);
    ASSERT_EQ(AECreateAppleEvent(FourCC("Test"), FourCC("evnt"), &address.Get(),
                                 kAutoGenerateReturnID, kAnyTransactionID, event.Out()),
              noErr);
    ASSERT_EQ(AEPutParamDesc(event.Mutable(), keyDirectObject, &record.Get()), noErr);
    const Size before = AEGetDescDataSize(&list.Get());
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &event.Get()), noErr);
    EXPECT_EQ(AEGetDescDataSize(&list.Get()),
              before + 4 + 4 + 1 + AEGetDescDataSize(&event.Get()) - 4);
    std::vector<uint8_t> bytes = DataBytes(list.Get());
    OwnedDesc fresh;
    ASSERT_EQ(Make(typeAEList, bytes, fresh.Out()), noErr);
    EXPECT_EQ(DataBytes(fresh.Get()), bytes);
}

}  // namespace

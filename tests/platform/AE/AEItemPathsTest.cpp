// Putting and reading list items: the common appends and plain reads take short routes, and
// every case beside them must behave exactly as the general route does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/AE/AETestSupport.h"
#include "support/PlatformTest.h"

namespace {

class AEItemPaths : public PlatformTest {};

long CountOf(const AEDesc& list) {
    long count = -1;
    EXPECT_EQ(AECountItems(&list, &count), noErr);
    return count;
}

// Type and bytes of item `index`, read as a descriptor.
std::pair<DescType, std::vector<uint8_t>> NthItem(const AEDesc& list, long index) {
    OwnedDesc item;
    EXPECT_EQ(AEGetNthDesc(&list, index, typeWildCard, nullptr, item.Mutable()), noErr);
    return {item.Type(), DataBytes(item.Get())};
}

TEST_F(AEItemPaths, AppendedBytesKeepTheirTypeAndValue) {
    OwnedDesc record, list;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    int32_t one = 1;
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), FourCC("one "), typeSInt32, &one, 4), noErr);
    const std::vector<uint8_t> flatRecord = DataBytes(record.Get());
    struct {
        const char* what;
        DescType type;
        std::vector<uint8_t> bytes;
        DescType wantType;
        size_t wantSize;
        bool wantRecord;
    } cases[] = {
        {"empty", typeChar, {}, typeChar, 0, false},
        {"inline limit", typeChar, BytesOf(std::string("12345678")), typeChar, 8, false},
        {"first heap size", typeChar, BytesOf(std::string("123456789")), typeChar, 9, false},
        {"null drops its bytes", typeNull, BytesOf(std::string("xyz")), typeNull, 0, false},
        {"only the flat magic", typeChar, BytesOf(std::string("AEfl")), typeChar, 4, false},
        {"a flat record under another type", FourCC("abcd"), flatRecord, FourCC("abcd"),
         flatRecord.size(), true},
    };
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    long index = 0;
    for (const auto& c : cases) {
        ++index;
        ASSERT_EQ(AEPutPtr(list.Mutable(), index % 2 ? 0 : index, c.type, c.bytes.data(),
                           static_cast<Size>(c.bytes.size())),
                  noErr)
            << c.what;
        OwnedDesc item;
        ASSERT_EQ(AEGetNthDesc(&list.Get(), index, typeWildCard, nullptr, item.Mutable()), noErr);
        EXPECT_EQ(item.Type(), c.wantType) << c.what;
        EXPECT_EQ(AEGetDescDataSize(&item.Get()), static_cast<Size>(c.wantSize)) << c.what;
        EXPECT_EQ(AECheckIsRecord(&item.Get()), c.wantRecord) << c.what;
        if (c.type != typeNull) {
            EXPECT_EQ(DataBytes(item.Get()), c.bytes) << c.what;
        }
    }
    EXPECT_EQ(CountOf(list.Get()), index);
}

// Short bytes are copied by fixed-size moves that overlap: every length up to the inline limit
// and past it keeps each byte in its place.
TEST_F(AEItemPaths, AppendedBytesOfEveryShortLengthReadBackAsPut) {
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    std::vector<uint8_t> bytes;
    for (size_t size = 0; size <= 12; ++size) {
        ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeChar, bytes.data(), static_cast<Size>(size)),
                  noErr);
        EXPECT_EQ(NthItem(list.Get(), static_cast<long>(size) + 1).second, bytes) << size;
        bytes.push_back(static_cast<uint8_t>(0xA0 + size));
    }
}

TEST_F(AEItemPaths, RefusedPutsLeaveTheListAsItWas) {
    OwnedDesc list, record;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    int32_t v = 5;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    AEDesc dead = {typeAEList, nullptr};
    ASSERT_EQ(AECreateList(nullptr, 0, false, &dead), noErr);
    AEDesc alias = dead;
    ASSERT_EQ(AEDisposeDesc(&dead), noErr);
    const char corrupt[] = "AEfl\x09garbage";
    struct {
        const char* what;
        OSErr got, want;
    } cases[] = {
        {"negative size", AEPutPtr(list.Mutable(), 0, typeSInt32, &v, -1), paramErr},
        {"no bytes", AEPutPtr(list.Mutable(), 0, typeSInt32, nullptr, 4), paramErr},
        {"corrupt list bytes", AEPutPtr(list.Mutable(), 0, typeAEList, corrupt, sizeof corrupt - 1),
         errAECorruptData},
        {"past count + 1", AEPutPtr(list.Mutable(), 3, typeSInt32, &v, 4), errAEIllegalIndex},
        {"onto a record", AEPutPtr(record.Mutable(), 1, typeSInt32, &v, 4), errAEWrongDataType},
        {"a dead list", AEPutPtr(&alias, 0, typeSInt32, &v, 4), errAENotAEDesc},
        {"no list", AEPutPtr(nullptr, 0, typeSInt32, &v, 4), paramErr},
        {"desc onto a dead list", AEPutDesc(&alias, 0, &list.Get()), errAENotAEDesc},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(CountOf(list.Get()), 1);
    EXPECT_EQ(CountOf(record.Get()), 0);
    // An empty put with no bytes is allowed.
    EXPECT_EQ(AEPutPtr(list.Mutable(), 2, typeChar, nullptr, 0), noErr);
    EXPECT_EQ(CountOf(list.Get()), 2);
}

// Appends change a list in place only when nothing else holds it.
TEST_F(AEItemPaths, AppendingToASharedListLeavesTheOtherHolderAlone) {
    OwnedDesc list, copy, outer, nested;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    int32_t v = 1;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    ASSERT_EQ(AEDuplicateDesc(&list.Get(), copy.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, outer.Mutable()), noErr);
    ASSERT_EQ(AEPutDesc(outer.Mutable(), 0, &list.Get()), noErr);
    v = 2;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    ASSERT_EQ(AEPutPtr(list.Mutable(), 3, typeChar, "long enough text", 16), noErr);
    EXPECT_EQ(CountOf(list.Get()), 3);
    EXPECT_EQ(CountOf(copy.Get()), 1);
    ASSERT_EQ(AEGetNthDesc(&outer.Get(), 1, typeWildCard, nullptr, nested.Mutable()), noErr);
    EXPECT_EQ(CountOf(nested.Get()), 1);

    // A list put into itself holds its earlier state.
    ASSERT_EQ(AEPutDesc(copy.Mutable(), 0, &copy.Get()), noErr);
    EXPECT_EQ(CountOf(copy.Get()), 2);
    OwnedDesc self;
    ASSERT_EQ(AEGetNthDesc(&copy.Get(), 2, typeWildCard, nullptr, self.Mutable()), noErr);
    EXPECT_EQ(self.Type(), typeAEList);
    EXPECT_EQ(CountOf(self.Get()), 1);
}

TEST_F(AEItemPaths, ReadingAnItemAsItIsMatchesItsDescriptor) {
    OwnedDesc list, inner;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, true, inner.Mutable()), noErr);
    ASSERT_EQ(AEPutParamPtr(inner.Mutable(), FourCC("name"), typeChar, "a record field", 14),
              noErr);
    int16_t small = -3;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt16, &small, 2), noErr);
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeChar, "some text of length 25...", 25), noErr);
    ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &inner.Get()), noErr);
    for (long index = 1; index <= 3; ++index) {
        const auto [wantType, wantBytes] = NthItem(list.Get(), index);
        for (DescType desired : {DescType{typeWildCard}, wantType}) {
            for (size_t maximum : {size_t{0}, size_t{1}, size_t{7}, wantBytes.size() + 5}) {
                std::vector<uint8_t> buffer(maximum + 1, 0xEE);
                AEKeyword key = 0;
                DescType type = 0;
                Size size = -1;
                ASSERT_EQ(AEGetNthPtr(&list.Get(), index, desired, &key, &type,
                                      maximum ? buffer.data() : nullptr, static_cast<Size>(maximum),
                                      &size),
                          noErr);
                EXPECT_EQ(key, typeWildCard);
                EXPECT_EQ(type, wantType);
                EXPECT_EQ(size, static_cast<Size>(wantBytes.size()));
                const size_t copied = std::min(maximum, wantBytes.size());
                EXPECT_TRUE(
                    std::equal(wantBytes.begin(), wantBytes.begin() + copied, buffer.begin()))
                    << "item " << index << ", " << maximum << " bytes";
                EXPECT_EQ(buffer[copied], 0xEE) << "wrote past what it reported";
            }
        }
    }
    // A bad buffer is refused before anything is written.
    AEKeyword key = 1;
    DescType type = 1;
    Size size = 1;
    EXPECT_EQ(AEGetNthPtr(&list.Get(), 1, typeWildCard, &key, &type, nullptr, 4, &size), paramErr);
    EXPECT_EQ(AEGetNthPtr(&list.Get(), 1, typeWildCard, &key, &type, &size, -1, &size), paramErr);
    EXPECT_EQ(type, typeNull);
    EXPECT_EQ(size, 0);
}

// Items of every kind survive the list growing, being copied on write, losing items from the
// middle and being compacted as a finished item of another list.
TEST_F(AEItemPaths, ItemsSurviveGrowthCopiesDeletionAndCompaction) {
    OwnedDesc list, inner;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, inner.Mutable()), noErr);
    ASSERT_EQ(AEPutPtr(inner.Mutable(), 0, typeChar, "inner item", 10), noErr);
    std::vector<std::pair<DescType, std::vector<uint8_t>>> model;
    for (int32_t i = 0; i < 300; ++i) {
        if (i % 3 == 0) {
            ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &i, 4), noErr);
            model.emplace_back(typeSInt32, BytesOf(i));
        } else if (i % 3 == 1) {
            const std::string text = "a text long enough for the heap #" + std::to_string(i);
            ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeUTF8Text, text.data(),
                               static_cast<Size>(text.size())),
                      noErr);
            model.emplace_back(typeUTF8Text, BytesOf(text));
        } else {
            ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &inner.Get()), noErr);
            model.emplace_back(typeAEList, DataBytes(inner.Get()));
        }
    }
    OwnedDesc copy, outer;
    ASSERT_EQ(AEDuplicateDesc(&list.Get(), copy.Mutable()), noErr);
    const auto copyModel = model;
    for (long index : {250L, 100L, 2L, 1L}) {
        ASSERT_EQ(AEDeleteItem(list.Mutable(), index), noErr);
        model.erase(model.begin() + (index - 1));
    }
    ASSERT_EQ(AECreateList(nullptr, 0, false, outer.Mutable()), noErr);
    ASSERT_EQ(AEPutDesc(outer.Mutable(), 0, &list.Get()), noErr);  // compacts the finished list
    int32_t last = -1;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &last, 4), noErr);  // grows it again
    model.emplace_back(typeSInt32, BytesOf(last));
    auto expect = [](const AEDesc& desc, const auto& want, const char* what) {
        ASSERT_EQ(CountOf(desc), static_cast<long>(want.size())) << what;
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_EQ(NthItem(desc, static_cast<long>(i + 1)), want[i]) << what << " item " << i;
    };
    expect(list.Get(), model, "changed list");
    expect(copy.Get(), copyModel, "duplicate");
    OwnedDesc kept;
    ASSERT_EQ(AEGetNthDesc(&outer.Get(), 1, typeWildCard, nullptr, kept.Mutable()), noErr);
    model.pop_back();
    expect(kept.Get(), model, "item of the outer list");
}

// Only the start of a live slot is a handle; any address inside one is refused.
TEST_F(AEItemPaths, AnAddressInsideAHandleIsNotAHandle) {
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    for (size_t offset : {8, 16, 32, 64, 96}) {
        AEDesc inside = {typeAEList, reinterpret_cast<AEDataStorage>(
                                         reinterpret_cast<char*>(list->dataHandle) + offset)};
        OwnedDesc copy;
        long count = 7;
        int32_t v = 1;
        EXPECT_EQ(AEDuplicateDesc(&inside, copy.Mutable()), errAENotAEDesc) << offset;
        EXPECT_EQ(AECountItems(&inside, &count), errAENotAEDesc) << offset;
        EXPECT_EQ(AEPutPtr(&inside, 0, typeSInt32, &v, 4), errAENotAEDesc) << offset;
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(CountOf(list.Get()), 0);
}

// Descriptors declared and read while testing is armed are still counted and can be failed.
TEST_F(AEItemPaths, ArmedCallsAreCountedAndFailed) {
    AEDesc d = {typeChar, reinterpret_cast<AEDataStorage>(&d)};
    AEInitializeDesc(&d);
    EXPECT_TRUE(IsCleared(d));
    EXPECT_EQ(PTCallCount("AEInitializeDesc"), 1u);
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    int32_t v = 4;
    PTFailCalls("AEPutPtr", 0, 1, memFullErr);
    EXPECT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), memFullErr);
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    EXPECT_EQ(CountOf(list.Get()), 1);
    PTFailCalls("AEGetNthPtr", 0, 1, errAEEventFailed);
    Size size = 9;
    EXPECT_EQ(AEGetNthPtr(&list.Get(), 1, typeWildCard, nullptr, nullptr, nullptr, 0, &size),
              errAEEventFailed);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(PTCallCount("AEPutPtr"), 2u);
    EXPECT_EQ(PTCallCount("AEGetNthPtr"), 1u);
}

}  // namespace

// Descriptors, lists and records: storage rules, positions, keywords and the flat form.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "common/Sanitizers.h"
#include "platform/AE/AETestSupport.h"
#include "support/PlatformTest.h"

namespace {

class AEStructure : public PlatformTest {};

// A record with fields k0..k(n-1) holding their index as 'long'.
void FillRecord(AEDesc* record, int n) {
    for (int32_t i = 0; i < n; ++i)
        ASSERT_EQ(AEPutParamPtr(record, FourCC("k000") + i, typeSInt32, &i, 4), noErr);
}

std::vector<AEKeyword> Keys(const AEDesc* record) {
    long count = 0;
    AECountItems(record, &count);
    std::vector<AEKeyword> keys;
    for (long i = 1; i <= count; ++i) {
        AEKeyword key;
        DescType type;
        Size size;
        AESizeOfNthItem(record, i, &type, &size);
        AEGetNthPtr(record, i, typeWildCard, &key, &type, nullptr, 0, &size);
        keys.push_back(key);
    }
    return keys;
}

TEST_F(AEStructure, NullHasNoStorageAndEverythingElseHasSome) {
    OwnedDesc null, empty;
    ASSERT_EQ(AECreateDesc(typeNull, "x", 1, null.Mutable()), noErr);
    EXPECT_TRUE(IsCleared(*null));
    ASSERT_EQ(AECreateDesc(typeChar, nullptr, 0, empty.Mutable()), noErr);
    EXPECT_NE(empty->dataHandle, nullptr);
    EXPECT_EQ(AEGetDescDataSize(&empty.Get()), 0);
    EXPECT_EQ(AEDisposeDesc(empty.Mutable()), noErr);
    EXPECT_TRUE(IsCleared(*empty));
}

TEST_F(AEStructure, DuplicateIsIndependent) {
    OwnedDesc list, copy, item;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    int32_t one = 1;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &one, 4), noErr);
    ASSERT_EQ(AEDuplicateDesc(&list.Get(), copy.Mutable()), noErr);
    ASSERT_EQ(AEPutPtr(copy.Mutable(), 0, typeSInt32, &one, 4), noErr);
    ASSERT_EQ(AEPutPtr(copy.Mutable(), 1, typeChar, "a", 1), noErr);
    long count = 0;
    AECountItems(&list.Get(), &count);
    EXPECT_EQ(count, 1);
    ASSERT_EQ(AEGetNthDesc(&list.Get(), 1, typeWildCard, nullptr, item.Mutable()), noErr);
    EXPECT_EQ(item.Type(), typeSInt32);
}

TEST_F(AEStructure, PutByIndexAppendsOrReplaces) {
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    for (int32_t v : {10, 20}) ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    int32_t v = 30;
    EXPECT_EQ(AEPutPtr(list.Mutable(), 3, typeSInt32, &v, 4), noErr);  // count + 1 appends
    v = 11;
    EXPECT_EQ(AEPutPtr(list.Mutable(), 1, typeSInt32, &v, 4), noErr);  // replaces in place
    EXPECT_EQ(AEPutPtr(list.Mutable(), 5, typeSInt32, &v, 4), errAEIllegalIndex);
    EXPECT_EQ(AEPutPtr(list.Mutable(), -1, typeSInt32, &v, 4), errAEIllegalIndex);
    std::vector<int32_t> seen;
    for (long i = 1; i <= 3; ++i) {
        int32_t x = 0;
        ASSERT_EQ(AEGetNthPtr(&list.Get(), i, typeSInt32, nullptr, nullptr, &x, 4, nullptr), noErr);
        seen.push_back(x);
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{11, 20, 30}));
}

// Small records scan, large ones use the index: both must keep a replaced field in place.
class AERecordSizes : public PlatformTestWithParam<int> {};

TEST_P(AERecordSizes, ReplacingAFieldKeepsItsPlaceAndDeletingShifts) {
    int n = GetParam();
    OwnedDesc record;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    FillRecord(record.Mutable(), n);
    AEKeyword middle = FourCC("k000") + n / 2;
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), middle, typeChar, "new", 3), noErr);
    std::vector<AEKeyword> keys = Keys(&record.Get());
    ASSERT_EQ(keys.size(), static_cast<size_t>(n));
    EXPECT_EQ(keys[static_cast<size_t>(n / 2)], middle);
    char text[8] = {};
    Size size = 0;
    DescType type = 0;
    ASSERT_EQ(AEGetParamPtr(&record.Get(), middle, typeWildCard, &type, text, 8, &size), noErr);
    EXPECT_EQ(type, typeChar);
    EXPECT_EQ(std::string(text, static_cast<size_t>(size)), "new");

    ASSERT_EQ(AEDeleteParam(record.Mutable(), FourCC("k000")), noErr);
    EXPECT_EQ(AEDeleteParam(record.Mutable(), FourCC("k000")), errAEDescNotFound);
    int32_t last = -1;
    ASSERT_EQ(AEGetParamPtr(&record.Get(), FourCC("k000") + n - 1, typeSInt32, nullptr, &last, 4,
                            nullptr),
              noErr);
    EXPECT_EQ(last, n - 1);
    keys = Keys(&record.Get());
    EXPECT_EQ(keys.front(), FourCC("k001"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, AERecordSizes, ::testing::Values(3, 16, 17, 200));

TEST_F(AEStructure, IndexKeywordAndShapeErrors) {
    OwnedDesc list, record, text, out;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    ASSERT_EQ(AECreateDesc(typeChar, "abc", 3, text.Mutable()), noErr);
    int32_t v = 1;
    ASSERT_EQ(AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4), noErr);
    long count = 7;
    struct {
        const char* what;
        OSErr got, want;
    } cases[] = {
        {"index 0", AEGetNthDesc(&list.Get(), 0, typeWildCard, nullptr, out.Mutable()),
         errAEIllegalIndex},
        {"past the end", AEGetNthDesc(&list.Get(), 2, typeWildCard, nullptr, out.Mutable()),
         errAEIllegalIndex},
        {"delete past end", AEDeleteItem(list.Mutable(), 2), errAEIllegalIndex},
        {"size past end", AESizeOfNthItem(&list.Get(), 5, nullptr, nullptr), errAEIllegalIndex},
        {"missing keyword",
         AEGetParamDesc(&record.Get(), keyDirectObject, typeWildCard, out.Mutable()),
         errAEDescNotFound},
        {"size of missing", AESizeOfParam(&record.Get(), keyDirectObject, nullptr, nullptr),
         errAEDescNotFound},
        {"keyword on a list", AEPutParamPtr(list.Mutable(), keyDirectObject, typeSInt32, &v, 4),
         errAEWrongDataType},
        {"position on a record", AEPutPtr(record.Mutable(), 0, typeSInt32, &v, 4),
         errAEWrongDataType},
        {"count of bytes", AECountItems(&text.Get(), &count), errAEWrongDataType},
        {"item of bytes", AEGetNthDesc(&text.Get(), 1, typeWildCard, nullptr, out.Mutable()),
         errAEWrongDataType},
        {"negative size", AECreateDesc(typeChar, "x", -1, out.Mutable()), paramErr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.want) << c.what;
        EXPECT_TRUE(IsCleared(*out)) << c.what;
    }
    EXPECT_EQ(count, 0);
}

TEST_F(AEStructure, NthPtrCoercesTruncatesAndReportsTheKeyword) {
    OwnedDesc record;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    int16_t s = 7;
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), FourCC("shrt"), typeSInt16, &s, 2), noErr);
    ASSERT_EQ(AEPutParamPtr(record.Mutable(), FourCC("text"), typeChar, "abcdef", 6), noErr);
    AEKeyword key = 0;
    DescType type = 0;
    int32_t widened = 0;
    Size size = 0;
    ASSERT_EQ(AEGetNthPtr(&record.Get(), 1, typeSInt32, &key, &type, &widened, 4, &size), noErr);
    EXPECT_EQ(key, FourCC("shrt"));
    EXPECT_EQ(type, typeSInt32);
    EXPECT_EQ(widened, 7);
    char buffer[3] = {};
    ASSERT_EQ(AEGetNthPtr(&record.Get(), 2, typeWildCard, &key, &type, buffer, 3, &size), noErr);
    EXPECT_EQ(size, 6);  // the full size, though only 3 bytes were copied
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(AEGetNthPtr(&record.Get(), 2, typeSInt32, &key, &type, &widened, 4, &size),
              errAECoercionFail);
    EXPECT_EQ(type, typeNull);
    EXPECT_EQ(size, 0);
}

TEST_F(AEStructure, InjectedFailureLeavesOutputsClear) {
    OwnedDesc d;
    PTFailCalls("AECreateDesc", 0, 1, memFullErr);
    EXPECT_EQ(AECreateDesc(typeChar, "x", 1, d.Mutable()), memFullErr);
    EXPECT_TRUE(IsCleared(*d));
    EXPECT_EQ(AECreateDesc(typeChar, "x", 1, d.Mutable()), noErr);
    EXPECT_EQ(PTCallCount("AECreateDesc"), 2u);
}

TEST_F(AEStructure, DisposingDeadStorageIsCaught) {
    PTSetAbortOnDoubleRelease(false);
    AEDesc d, alias;
    ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &d), noErr);
    alias = d;
    EXPECT_EQ(AEDisposeDesc(&d), noErr);
    EXPECT_EQ(AEDisposeDesc(&alias), errAENotAEDesc);
    EXPECT_EQ(PTDoubleReleaseCount(), 1);
    PTReset();
}

// Handles live in pool slots that stay readable after disposal: a dead or foreign handle is
// refused by the slot's generation or by its address, wherever it points, and bytes shared
// between copies outlive the descriptor they came from.
TEST_F(AEStructure, DeadAndForeignHandlesAreRefusedAcrossPoolGrowth) {
    PTSetAbortOnDoubleRelease(false);
    std::vector<OwnedDesc> many(5000);  // several rounds of pool growth
    for (size_t i = 0; i < many.size(); ++i)
        ASSERT_EQ(AECreateDesc(typeSInt32, &i, 4, many[i].Mutable()), noErr);
    AEDesc first = many.front().Get();
    AEDesc last = many.back().Get();
    ASSERT_EQ(AEDisposeDesc(many.front().Mutable()), noErr);
    ASSERT_EQ(AEDisposeDesc(many.back().Mutable()), noErr);
    uint64_t notAHandle[16] = {};
    AEDesc onStack = {typeChar, reinterpret_cast<AEDataStorage>(&notAHandle[4])};
    AEDesc misaligned = {typeChar, reinterpret_cast<AEDataStorage>(
                                       reinterpret_cast<char*>(many[1].Get().dataHandle) + 1)};
    for (AEDesc* dead : {&first, &last, &onStack, &misaligned}) {
        OwnedDesc copy;
        EXPECT_EQ(AEDuplicateDesc(dead, copy.Mutable()), errAENotAEDesc);
        EXPECT_EQ(AEDisposeDesc(dead), errAENotAEDesc);
    }
    EXPECT_EQ(PTDoubleReleaseCount(), 4);
    PTReset();  // the fixture checks for double releases: these were on purpose
}

// The handle pool reserves address space up front; under a limit on address space it
// reserves less instead of failing every descriptor. Run in a fresh process (the pool of this
// one already exists); sanitizers reserve far more address space than any such limit allows.
#if !defined(PLISTBRIDGE_ASAN) && !defined(__SANITIZE_THREAD__)
// Exits with 0 when a descriptor can be made and disposed under a limit on address space of
// 256 MB more than the process uses now.
[[noreturn]] void MakeDescriptorUnderAddressSpaceLimit() {
    long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1) std::exit(2);
    std::fclose(statm);
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (rlim_t{256} << 20);
    const rlimit small = {limit, limit};
    if (setrlimit(RLIMIT_AS, &small) != 0) std::exit(3);
    AEDesc d = {typeNull, nullptr};
    const bool made = AECreateDesc(typeChar, "x", 1, &d) == noErr;
    std::exit(made && AEDisposeDesc(&d) == noErr ? 0 : 1);
}

TEST(AEHandlePool, DescriptorsWorkUnderAnAddressSpaceLimit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(MakeDescriptorUnderAddressSpaceLimit(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(AEStructure, CopiesKeepSharedBytesAfterTheOriginalGoes) {
    const std::string text(1000, 'x');
    OwnedDesc copy, item, list;
    {
        OwnedDesc original;
        ASSERT_EQ(MakeText(text, original.Mutable()), noErr);
        ASSERT_EQ(AEDuplicateDesc(&original.Get(), copy.Mutable()), noErr);
        ASSERT_EQ(AECreateList(nullptr, 0, false, list.Mutable()), noErr);
        ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &original.Get()), noErr);
    }
    ASSERT_EQ(AEGetNthDesc(&list.Get(), 1, typeWildCard, nullptr, item.Mutable()), noErr);
    EXPECT_EQ(DataBytes(copy.Get()), BytesOf(text));
    EXPECT_EQ(DataBytes(item.Get()), BytesOf(text));
    Size size = -1;
    DescType type = 0;
    ASSERT_EQ(AEGetNthPtr(&list.Get(), 1, typeWildCard, nullptr, &type, nullptr, 0, &size), noErr);
    EXPECT_EQ(size, 1000);
}

// ---- the flat form

// A list holding a number, a text, a nested record (with a list inside) and an object
// specifier: every kind of item the flat form carries.
void BuildNested(AEDesc* list) {
    ASSERT_EQ(AECreateList(nullptr, 0, false, list), noErr);
    int64_t big = -5;
    ASSERT_EQ(AEPutPtr(list, 0, typeSInt64, &big, 8), noErr);
    ASSERT_EQ(AEPutPtr(list, 0, typeUTF8Text, "h\xC3\xA9llo world", 12), noErr);
    OwnedDesc record, inner, spec;
    ASSERT_EQ(AECreateList(nullptr, 0, true, record.Mutable()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, false, inner.Mutable()), noErr);
    ASSERT_EQ(AEPutPtr(inner.Mutable(), 0, typeNull, nullptr, 0), noErr);
    ASSERT_EQ(AEPutParamDesc(record.Mutable(), FourCC("innr"), &inner.Get()), noErr);
    ASSERT_EQ(AECreateList(nullptr, 0, true, spec.Mutable()), noErr);
    ASSERT_EQ(AEPutParamPtr(spec.Mutable(), keyAEKeyForm, typeEnumerated, "eman", 4), noErr);
    AEDesc asSpec;
    ASSERT_EQ(AECoerceDesc(&spec.Get(), typeObjectSpecifier, &asSpec), noErr);
    ASSERT_EQ(AEPutParamDesc(record.Mutable(), FourCC("spec"), &asSpec), noErr);
    AEDisposeDesc(&asSpec);
    ASSERT_EQ(AEPutDesc(list, 0, &record.Get()), noErr);
}

TEST_F(AEStructure, FlatFormRebuildsTheSameStructure) {
    OwnedDesc list, rebuilt, record, spec;
    BuildNested(list.Mutable());
    std::vector<uint8_t> flat = DataBytes(*list);
    ASSERT_EQ(Make(typeAEList, flat, rebuilt.Mutable()), noErr);
    EXPECT_EQ(DataBytes(*rebuilt), flat);
    ASSERT_EQ(AEGetNthDesc(&rebuilt.Get(), 3, typeWildCard, nullptr, record.Mutable()), noErr);
    ASSERT_EQ(AEGetParamDesc(&record.Get(), FourCC("spec"), typeWildCard, spec.Mutable()), noErr);
    EXPECT_EQ(spec.Type(), typeObjectSpecifier);

    // A specifier kept as raw bytes of its own type comes back as the same specifier.
    OwnedDesc again;
    ASSERT_EQ(Make(typeObjectSpecifier, DataBytes(*spec), again.Mutable()), noErr);
    long count = 0;
    EXPECT_EQ(AECountItems(&again.Get(), &count), noErr);
    EXPECT_EQ(count, 1);
    // Arbitrary bytes of another type stay bytes.
    OwnedDesc plain;
    ASSERT_EQ(Make(FourCC("abcd"), BytesOf(std::string("AEfl?")), plain.Mutable()), noErr);
    EXPECT_EQ(AECountItems(&plain.Get(), &count), errAEWrongDataType);
}

TEST_F(AEStructure, CorruptFlatBytesAreRefused) {
    OwnedDesc list, record, out;
    BuildNested(list.Mutable());
    std::vector<uint8_t> flat = DataBytes(*list);
    // Every truncation of a valid form.
    for (size_t n = 0; n < flat.size(); ++n) {
        std::vector<uint8_t> cut(flat.begin(), flat.begin() + static_cast<long>(n));
        ASSERT_EQ(Make(typeAEList, cut, out.Mutable()), errAECorruptData) << n;
        ASSERT_TRUE(IsCleared(*out));
    }
    std::vector<uint8_t> trailing = flat;
    trailing.push_back(0);
    EXPECT_EQ(Make(typeAEList, trailing, out.Mutable()), errAECorruptData);
    EXPECT_EQ(Make(typeAERecord, flat, out.Mutable()), errAECorruptData);  // a list is not a record
    std::vector<uint8_t> hugeCount = flat;
    std::memset(&hugeCount[5], 0xFF, 4);
    EXPECT_EQ(Make(typeAEList, hugeCount, out.Mutable()), errAECorruptData);
    // Random damage either still parses or is refused; it never crashes or over-reads.
    std::mt19937 rng(1234);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> damaged = flat;
        damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        OSErr status = Make(typeAEList, damaged, out.Mutable());
        ASSERT_TRUE(status == noErr || status == errAECorruptData) << status;
        AEDisposeDesc(out.Mutable());
    }
}

// Lists and records may nest 2048 deep: a property list's 512 levels of dictionaries, each a
// record holding its user fields in a list, fit inside an event inside a reply.
constexpr int kDeepest = 2048;

// `inner` becomes the only item of a new list, or the 'pnam' field of a new record.
OSErr Wrap(OwnedDesc& inner, bool record) {
    OwnedDesc outer;
    OSErr err = AECreateList(nullptr, 0, record, outer.Mutable());
    if (err == noErr)
        err = record ? AEPutParamDesc(outer.Mutable(), FourCC("pnam"), &inner.Get())
                     : AEPutDesc(outer.Mutable(), 0, &inner.Get());
    AEDisposeDesc(inner.Mutable());
    if (err == noErr) err = AEDuplicateDesc(&outer.Get(), inner.Mutable());
    return err;
}

TEST_F(AEStructure, NestingIsLimitedTo2048Levels) {
    for (bool record : {false, true}) {
        OwnedDesc deep;
        ASSERT_EQ(AECreateList(nullptr, 0, record, deep.Mutable()), noErr);
        for (int level = 2; level <= kDeepest; ++level)
            ASSERT_EQ(Wrap(deep, record), noErr) << level;
        OwnedDesc tooDeep, rebuilt;
        ASSERT_EQ(AECreateList(nullptr, 0, record, tooDeep.Mutable()), noErr);
        EXPECT_EQ(record ? AEPutParamDesc(tooDeep.Mutable(), FourCC("pnam"), &deep.Get())
                         : AEPutDesc(tooDeep.Mutable(), 0, &deep.Get()),
                  errOSAStackOverflow);
        const DescType type = record ? typeAERecord : typeAEList;
        std::vector<uint8_t> flat = DataBytes(*deep);
        ASSERT_EQ(Make(type, flat, rebuilt.Mutable()), noErr);
        EXPECT_EQ(DataBytes(*rebuilt), flat);
        // The same bytes one level deeper: wrap them by hand as the only item of a container.
        std::vector<uint8_t> wrapped = {'A', 'E', 'f', 'l', uint8_t(record ? 1 : 0), 1, 0, 0, 0};
        for (uint8_t b : BytesOf(record ? FourCC("pnam") : uint32_t(typeWildCard)))
            wrapped.push_back(b);
        for (uint8_t b : BytesOf(uint32_t(type))) wrapped.push_back(b);
        wrapped.push_back(1);
        wrapped.insert(wrapped.end(), flat.begin() + 4, flat.end());
        OwnedDesc refused;
        EXPECT_EQ(Make(type, wrapped, refused.Mutable()), errAECorruptData) << record;
        EXPECT_TRUE(IsCleared(*refused));
    }
}

// Runs `body` on a thread with a stack of `bytes`, far less than a main thread's.
template <class F>
void OnSmallStack(size_t bytes, F body) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, bytes), 0);
    pthread_t thread;
    auto run = [](void* f) -> void* {
        (*static_cast<F*>(f))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, run, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// An eighth of a main thread's stack. clang's AddressSanitizer without optimisation gives every
// frame redzones several times gcc's, so that build alone gets four times as much.
#if defined(__clang__) && defined(PLISTBRIDGE_ASAN)
constexpr size_t kSmallStack = 4 * 1024 * 1024;
#else
constexpr size_t kSmallStack = 1024 * 1024;
#endif

// The deepest descriptors are built, copied, flattened, rebuilt, coerced and freed on a small
// stack, gcc's sanitizers included: freeing and reading the flat form use no recursion, and
// writing it takes two small frames a level.
TEST_F(AEStructure, DeepestDescriptorsFitASmallStack) {
    OnSmallStack(kSmallStack, [] {
        OwnedDesc deep;
        ASSERT_EQ(AECreateList(nullptr, 0, true, deep.Mutable()), noErr);
        for (int level = 2; level <= kDeepest; ++level)
            ASSERT_EQ(Wrap(deep, level % 2 == 0), noErr) << level;
        OwnedDesc copy, rebuilt, coerced;
        ASSERT_EQ(AEDuplicateDesc(&deep.Get(), copy.Mutable()), noErr);
        std::vector<uint8_t> flat = DataBytes(*copy);
        ASSERT_EQ(Make(typeAERecord, flat, rebuilt.Mutable()), noErr);  // the outermost is a record
        ASSERT_EQ(AECoerceDesc(&rebuilt.Get(), typeWildCard, coerced.Mutable()), noErr);
        EXPECT_EQ(DataBytes(*coerced), flat);
    });
}

// Short byte values come from a pool of size classes, longer ones from the heap: values of
// every length across the class boundaries keep their bytes while shared with a list, and
// when others next to them are released and new values take the released blocks.
TEST_F(AEStructure, BytesOfEveryShortLengthSurviveSharingAndReuse) {
    constexpr size_t kLongest = 200;
    auto pattern = [](size_t n, int seed) {
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(n + 7 * i + seed);
        return bytes;
    };
    const DescType type = FourCC("rdat");
    OwnedDesc list;
    ASSERT_EQ(AECreateList(nullptr, 0, false, list.Out()), noErr);
    std::vector<OwnedDesc> values(kLongest + 1);
    for (size_t n = 0; n <= kLongest; ++n) {
        ASSERT_EQ(Make(type, pattern(n, 1), values[n].Out()), noErr);
        if (n % 2) {
            ASSERT_EQ(AEPutDesc(list.Mutable(), 0, &values[n].Get()), noErr);
        }
    }
    // Release the even lengths (their only holders), then make new values of those lengths.
    for (size_t n = 0; n <= kLongest; n += 2) values[n].Dispose();
    for (size_t n = 0; n <= kLongest; n += 2) {
        ASSERT_EQ(Make(type, pattern(n, 2), values[n].Out()), noErr);
    }
    for (size_t n = 0; n <= kLongest; ++n) {
        EXPECT_EQ(DataBytes(values[n].Get()), pattern(n, n % 2 ? 1 : 2)) << n;
        if (n % 2 == 0) continue;
        std::vector<uint8_t> item(n + 1, 0xEE);
        Size size = 0;
        ASSERT_EQ(AEGetNthPtr(&list.Get(), static_cast<long>(n / 2 + 1), typeWildCard, nullptr,
                              nullptr, item.data(), static_cast<Size>(item.size()), &size),
                  noErr);
        item.resize(static_cast<size_t>(size));
        EXPECT_EQ(item, pattern(n, 1)) << n;
    }
}

}  // namespace

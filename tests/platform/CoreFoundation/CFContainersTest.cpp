// CFArray and CFDictionary: callbacks, insertion order, equality, scale.
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFContainersTest : public PlatformTest {};

std::string Utf8(CFTypeRef s) {
    std::string out;
    cf::AppendUTF8(static_cast<CFStringRef>(s), out);
    return out;
}

std::vector<std::string> Keys(CFDictionaryRef d) {
    std::vector<std::string> keys;
    CFDictionaryApplyFunction(
        d,
        [](const void* k, const void*, void* ctx) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(Utf8(k));
        },
        &keys);
    return keys;
}

cf::Ref<CFNumberRef> Number(int64_t v) {
    return cf::Ref<CFNumberRef>(cf::CreateNumberSInt64(v));
}

TEST_F(CFContainersTest, DictionaryKeepsInsertionOrderThroughReplaceAndRemove) {
    cf::Ref<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (const char* k : {"zeta", "alpha", "mid", "beta"})
        CFDictionarySetValue(d.Get(), cf::Ref<CFStringRef>(cf::CreateStringFromUTF8(k)).Get(),
                             kCFBooleanTrue);
    CFDictionarySetValue(d.Get(), CFSTR("alpha"), kCFBooleanFalse);  // replaced: keeps its place
    CFDictionaryAddValue(d.Get(), CFSTR("zeta"), kCFBooleanFalse);   // add: keeps the old value
    CFDictionaryRemoveValue(d.Get(), CFSTR("mid"));
    CFDictionarySetValue(d.Get(), CFSTR("mid"), kCFNull);  // back in, at the end
    EXPECT_EQ(Keys(d.Get()), (std::vector<std::string>{"zeta", "alpha", "beta", "mid"}));
    EXPECT_EQ(CFDictionaryGetValue(d.Get(), CFSTR("alpha")), kCFBooleanFalse);
    EXPECT_EQ(CFDictionaryGetValue(d.Get(), CFSTR("zeta")), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetCount(d.Get()), 4);
    const void* value = kCFNull;
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(d.Get(), CFSTR("gone"), &value));
    EXPECT_EQ(value, kCFNull) << "absent key leaves the out value alone";
}

TEST_F(CFContainersTest, DictionaryLooksUpByValueAcrossKeyTypes) {
    cf::Ref<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(d.Get(), Number(1).Get(), CFSTR("int"));
    double one = 1.0;
    cf::Ref<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberFloat64Type, &one));
    EXPECT_TRUE(CFDictionaryContainsKey(d.Get(), real.Get()));
    CFDictionarySetValue(d.Get(), real.Get(), CFSTR("real"));  // same key by value: replaces
    EXPECT_EQ(CFDictionaryGetCount(d.Get()), 1);
    EXPECT_EQ(CFDictionaryGetValue(d.Get(), Number(1).Get()), CFSTR("real"));
    // A mutable string key equals its immutable twin.
    cf::Ref<CFMutableStringRef> key(CFStringCreateMutableCopy(nullptr, 0, CFSTR("k")));
    CFDictionarySetValue(d.Get(), key.Get(), kCFNull);
    EXPECT_EQ(CFDictionaryGetValue(d.Get(), CFSTR("k")), kCFNull);
}

TEST_F(CFContainersTest, DictionaryEqualityIgnoresOrderAndComparesDeeply) {
    auto make = [](bool reversed, CFTypeRef last) {
        const void* keys[] = {CFSTR("a"), CFSTR("b")};
        cf::Ref<CFArrayRef> inner(CFArrayCreate(nullptr, &last, 1, &kCFTypeArrayCallBacks));
        const void* values[] = {kCFBooleanTrue, inner.Get()};
        if (reversed) std::swap(keys[0], keys[1]), std::swap(values[0], values[1]);
        return cf::Ref<CFDictionaryRef>(CFDictionaryCreate(nullptr, keys, values, 2,
                                                           &kCFTypeDictionaryKeyCallBacks,
                                                           &kCFTypeDictionaryValueCallBacks));
    };
    auto a = make(false, CFSTR("x"));
    auto b = make(true, CFSTR("x"));
    auto c = make(false, CFSTR("y"));
    EXPECT_TRUE(CFEqual(a.Get(), b.Get()));
    EXPECT_EQ(CFHash(a.Get()), CFHash(b.Get()));
    EXPECT_FALSE(CFEqual(a.Get(), c.Get()));
    EXPECT_EQ(Keys(b.Get()), (std::vector<std::string>{"b", "a"}));
}

TEST_F(CFContainersTest, CallbacksDecideRetention) {
    cf::Ref<CFStringRef> s(cf::CreateStringFromUTF8("held"));
    const void* values[] = {s.Get()};
    {
        cf::Ref<CFArrayRef> retaining(CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks));
        EXPECT_EQ(CFGetRetainCount(s.Get()), 2);
        cf::Ref<CFArrayRef> plain(CFArrayCreate(nullptr, values, 1, nullptr));
        EXPECT_EQ(CFGetRetainCount(s.Get()), 2);
        cf::Ref<CFArrayRef> copy(CFArrayCreateCopy(nullptr, plain.Get()));
        EXPECT_EQ(CFGetRetainCount(s.Get()), 2) << "a copy keeps the source's callbacks";
    }
    EXPECT_EQ(CFGetRetainCount(s.Get()), 1);

    cf::Ref<CFMutableStringRef> mutableKey(CFStringCreateMutableCopy(nullptr, 0, CFSTR("key")));
    cf::Ref<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(d.Get(), mutableKey.Get(), kCFNull);
    CFStringAppend(mutableKey.Get(), CFSTR("!"));
    EXPECT_EQ(Keys(d.Get()), std::vector<std::string>{"key"}) << "the key was copied";
}

TEST_F(CFContainersTest, ArrayMutatorsKeepValuesAlive) {
    cf::Ref<CFMutableArrayRef> a(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    cf::Ref<CFStringRef> s(cf::CreateStringFromUTF8("v"));
    CFArrayAppendValue(a.Get(), s.Get());
    CFArraySetValueAtIndex(a.Get(), 0, s.Get());  // replacing a value with itself
    CFArrayInsertValueAtIndex(a.Get(), 0, kCFNull);
    CFArraySetValueAtIndex(a.Get(), 2, kCFBooleanTrue);  // one past the end appends
    CFArraySetValueAtIndex(a.Get(), 9, kCFBooleanTrue);  // beyond: ignored
    ASSERT_EQ(CFArrayGetCount(a.Get()), 3);
    EXPECT_EQ(CFArrayGetValueAtIndex(a.Get(), 1), s.Get());
    EXPECT_EQ(CFArrayGetValueAtIndex(a.Get(), 3), nullptr);
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(a.Get(), CFRangeMake(0, 3), CFSTR("v")), 1);
    CFArrayRemoveValueAtIndex(a.Get(), 0);
    EXPECT_EQ(CFArrayGetValueAtIndex(a.Get(), 0), s.Get());
    EXPECT_EQ(CFGetRetainCount(s.Get()), 2);
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(
                           cf::Ref<CFArrayRef>(CFArrayCreate(nullptr, nullptr, 0, nullptr)).Get()),
                       kCFNull);  // immutable: ignored, must not crash
}

TEST_F(CFContainersTest, BuildersAdoptAndLastWins) {
    cf::Ref<CFDictionaryRef> d(cf::CreateDictionary(0, false));
    CFStringRef first = cf::CreateStringFromUTF8("k");
    EXPECT_TRUE(cf::DictionarySetAdopting(d.Get(), first, cf::CreateNumberSInt64(1)));
    EXPECT_TRUE(cf::DictionarySetAdopting(d.Get(), cf::CreateStringFromUTF8("other"), kCFNull));
    EXPECT_TRUE(cf::DictionarySetAdopting(d.Get(), cf::CreateStringFromUTF8("k"),
                                          cf::CreateNumberSInt64(2)));
    EXPECT_FALSE(cf::IsMutable(d.Get()));
    ASSERT_EQ(cf::DictionaryCount(d.Get()), 2u);
    const void* keys[2];
    CFDictionaryGetKeysAndValues(d.Get(), keys, nullptr);
    EXPECT_EQ(keys[0], first) << "the first key object keeps its place";
    EXPECT_EQ(
        cf::GetNumberValue(static_cast<CFNumberRef>(cf::DictionaryGetValue(d.Get(), first))).s, 2);

    std::vector<CFTypeRef> values = {cf::CreateStringFromUTF8("a"), cf::CreateNumberSInt64(3)};
    cf::Ref<CFArrayRef> array(cf::CreateArrayAdopting(std::move(values), true));
    EXPECT_TRUE(cf::IsMutable(array.Get()));
    EXPECT_EQ(cf::ArrayCount(array.Get()), 2u);
}

// Made in one go or pair by pair, with repeated keys at every size around the index switch:
// the same first key objects in the same order, the last values, the same count.
TEST_F(CFContainersTest, DictionaryMadeInOneGoEqualsOneMadePairByPair) {
    for (size_t size : {0, 1, 2, 5, 23, 24, 25, 40, 60}) {
        std::vector<CFTypeRef> keys, values;
        for (size_t i = 0; i < size; ++i) {  // every third pair repeats an earlier key
            size_t k = i % 3 == 2 ? i / 2 : i;
            keys.push_back(cf::CreateStringFromUTF8("key" + std::to_string(k)));
            values.push_back(cf::CreateNumberSInt64(static_cast<int64_t>(i)));
        }
        cf::Ref<CFDictionaryRef> byPair(cf::CreateDictionary(0, true));
        for (size_t i = 0; i < size; ++i) {
            ASSERT_TRUE(cf::DictionarySetAdopting(byPair.Get(), cf::Retain(keys[i]),
                                                  cf::Retain(values[i])));
        }
        cf::Ref<CFDictionaryRef> inOneGo(
            cf::CreateDictionaryAdopting(keys.data(), values.data(), size, true));
        ASSERT_TRUE(inOneGo) << size;
        EXPECT_TRUE(cf::IsMutable(inOneGo.Get()));
        const size_t count = cf::DictionaryCount(byPair.Get());
        ASSERT_EQ(cf::DictionaryCount(inOneGo.Get()), count) << size;
        std::vector<CFTypeRef> k1(count), v1(count), k2(count), v2(count);
        cf::DictionaryGetKeysAndValues(byPair.Get(), k1.data(), v1.data());
        cf::DictionaryGetKeysAndValues(inOneGo.Get(), k2.data(), v2.data());
        EXPECT_EQ(k1, k2) << size;
        EXPECT_EQ(v1, v2) << size;
        EXPECT_TRUE(CFEqual(byPair.Get(), inOneGo.Get()));
    }
}

TEST_F(CFContainersTest, LargeDictionaryStaysOrderedThroughChurn) {
    constexpr int kCount = 100000;
    cf::Ref<CFDictionaryRef> d(cf::CreateDictionary(0, true));
    for (int i = 0; i < kCount; ++i)
        cf::DictionarySetAdopting(d.Get(), cf::CreateNumberSInt64(i), cf::CreateNumberSInt64(i));
    for (int i = 0; i < kCount; i += 2)
        CFDictionaryRemoveValue(const_cast<CFMutableDictionaryRef>(d.Get()), Number(i).Get());
    ASSERT_EQ(CFDictionaryGetCount(d.Get()), kCount / 2);
    std::vector<const void*> keys(kCount / 2);
    CFDictionaryGetKeysAndValues(d.Get(), keys.data(), nullptr);
    for (int i = 0; i < kCount / 2; ++i)
        ASSERT_EQ(cf::GetNumberValue(static_cast<CFNumberRef>(keys[i])).s, 2 * i + 1);
    for (int i = 1; i < kCount; i += 2)
        ASSERT_TRUE(CFDictionaryContainsKey(d.Get(), Number(i).Get()));
}

// A dictionary made with room for some entries, by the internal builder or by the capacity
// of CFDictionaryCreateMutable (a hint that limits nothing, however large).
CFMutableDictionaryRef MakeWithRoom(int maker, int size) {
    switch (maker) {
        case 0:
            return const_cast<CFMutableDictionaryRef>(
                cf::CreateDictionary(static_cast<size_t>(size % 7), true));
        case 1:
            return CFDictionaryCreateMutable(kCFAllocatorDefault, size / 2,
                                             &kCFTypeDictionaryKeyCallBacks,
                                             &kCFTypeDictionaryValueCallBacks);
        default:
            return CFDictionaryCreateMutable(kCFAllocatorDefault, LONG_MAX,
                                             &kCFTypeDictionaryKeyCallBacks,
                                             &kCFTypeDictionaryValueCallBacks);
    }
}

// Small dictionaries find keys by a scan and large ones by an index: every size around the
// switch, grown, shrunk and regrown, must keep lookups, order and counts those of a model.
TEST_F(CFContainersTest, DictionaryAtEverySizeAroundTheIndexSwitch) {
    for (int n = 0; n <= 3 * 60 + 2; ++n) {
        const int size = n / 3;
        cf::Ref<CFMutableDictionaryRef> d(MakeWithRoom(n % 3, size));
        std::vector<int64_t> order;  // the model: keys in insertion order
        for (int i = 0; i < size; ++i) {
            CFDictionarySetValue(d.Get(), Number(i).Get(), Number(i * 10).Get());
            order.push_back(i);
        }
        for (int i = 0; i < size; i += 3) {  // remove every third, then put half back
            CFDictionaryRemoveValue(d.Get(), Number(i).Get());
            order.erase(std::find(order.begin(), order.end(), i));
        }
        for (int i = 0; i < size; i += 6) {
            CFDictionarySetValue(d.Get(), Number(i).Get(), Number(i * 10).Get());
            order.push_back(i);
        }
        ASSERT_EQ(CFDictionaryGetCount(d.Get()), static_cast<CFIndex>(order.size())) << size;
        std::vector<const void*> keys(order.size()), values(order.size());
        CFDictionaryGetKeysAndValues(d.Get(), keys.data(), values.data());
        for (size_t k = 0; k < order.size(); ++k) {
            ASSERT_EQ(cf::GetNumberValue(static_cast<CFNumberRef>(keys[k])).s, order[k]) << size;
            ASSERT_EQ(cf::GetNumberValue(static_cast<CFNumberRef>(values[k])).s, order[k] * 10);
        }
        for (int i = 0; i < size + 2; ++i) {
            bool present = std::find(order.begin(), order.end(), i) != order.end();
            ASSERT_EQ(CFDictionaryContainsKey(d.Get(), Number(i).Get()), present)
                << size << " " << i;
        }
    }
}

// Containers with their own callbacks must go through them (the standard ones are taken a
// shorter way): keys equal modulo 100 here, and every retain matched by a release.
struct Counts {
    int retains = 0;
    int releases = 0;
} gCounts;

int64_t Mod100(const void* n) {
    return cf::GetNumberValue(static_cast<CFNumberRef>(n)).s % 100;
}

TEST_F(CFContainersTest, OwnCallbacksAreCalledForEveryOperation) {
    gCounts = {};
    auto retain = [](CFAllocatorRef, const void* v) -> const void* {
        ++gCounts.retains;
        return CFRetain(v);
    };
    auto release = [](CFAllocatorRef, const void* v) {
        ++gCounts.releases;
        CFRelease(v);
    };
    const CFDictionaryKeyCallBacks keys = {
        0,
        retain,
        release,
        nullptr,
        [](const void* a, const void* b) -> Boolean { return Mod100(a) == Mod100(b); },
        [](const void* k) -> CFHashCode { return static_cast<CFHashCode>(Mod100(k)); }};
    const CFDictionaryValueCallBacks values = {0, retain, release, nullptr, nullptr};
    {
        cf::Ref<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(nullptr, 0, &keys, &values));
        for (int size = 1; size <= 40; ++size) {  // across the index switch
            CFDictionarySetValue(d.Get(), Number(size).Get(), Number(size).Get());
            ASSERT_EQ(CFDictionaryGetCount(d.Get()), size);
            for (int i = 1; i <= size; ++i) {
                const void* found = CFDictionaryGetValue(d.Get(), Number(i + 100).Get());
                ASSERT_TRUE(found) << size << " " << i;
                ASSERT_EQ(cf::GetNumberValue(static_cast<CFNumberRef>(found)).s, i);
            }
        }
        CFDictionarySetValue(d.Get(), Number(105).Get(), Number(0).Get());  // replaces 5
        EXPECT_EQ(CFDictionaryGetCount(d.Get()), 40);
        cf::Ref<CFArrayRef> array;
        cf::Ref<CFNumberRef> one = Number(1), two = Number(2);
        const void* items[] = {one.Get(), two.Get()};
        const CFArrayCallBacks arrayCallBacks = {0, retain, release, nullptr, nullptr};
        array.Reset(CFArrayCreate(nullptr, items, 2, &arrayCallBacks));
    }
    EXPECT_GT(gCounts.retains, 80);
    EXPECT_EQ(gCounts.retains, gCounts.releases);
}

}  // namespace

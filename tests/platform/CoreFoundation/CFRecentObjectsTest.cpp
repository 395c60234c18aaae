// Equal immutable strings and numbers made while one is alive are that one; nothing else is.
#include <CoreFoundation/CoreFoundation.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFRecentObjectsTest : public PlatformTest {};

using Maker = std::function<CFTypeRef()>;

CFTypeRef Characters(const std::u16string& text) {
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.data()),
                                        static_cast<CFIndex>(text.size()));
}
CFTypeRef CString(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}
template <class T>
CFTypeRef Number(CFNumberType type, T value) {
    return CFNumberCreate(nullptr, type, &value);
}

struct Pair {
    const char* what;
    Maker first, second;
    bool shared;
};

TEST_F(CFRecentObjectsTest, AnEqualValueMadeWhileOneLivesIsThatOne) {
    const std::u16string longText(33, u'x');
    const Pair pairs[] = {
        {"the same characters", [] { return Characters(u"Kind"); },
         [] { return Characters(u"Kind"); }, true},
        {"the same text from bytes and from characters", [] { return CString("Genre"); },
         [] { return Characters(u"Genre"); }, true},
        {"different text", [] { return CString("Rock"); }, [] { return CString("Rack"); }, false},
        {"text longer than is remembered", [&] { return Characters(longText); },
         [&] { return Characters(longText); }, false},
        {"a mutable string", [] { return CFStringCreateMutableCopy(nullptr, 0, CFSTR("Kind")); },
         [] { return Characters(u"Kind"); }, false},
        {"the same integer", [] { return Number(kCFNumberSInt32Type, 320); },
         [] { return Number(kCFNumberSInt32Type, 320); }, true},
        {"an equal integer of another type", [] { return Number(kCFNumberSInt32Type, 320); },
         [] { return Number(kCFNumberSInt64Type, int64_t{320}); }, false},
        {"0.0 and -0.0", [] { return Number(kCFNumberFloat64Type, 0.0); },
         [] { return Number(kCFNumberFloat64Type, -0.0); }, false},
    };
    for (const Pair& pair : pairs) {
        const long live = PTLiveCFObjectCount();
        {
            cf::Ref<CFTypeRef> first(pair.first());
            cf::Ref<CFTypeRef> second(pair.second());
            ASSERT_TRUE(first && second) << pair.what;
            EXPECT_EQ(first.Get() == second.Get(), pair.shared) << pair.what;
            EXPECT_EQ(CFGetRetainCount(first.Get()), pair.shared ? 2 : 1) << pair.what;
        }
        EXPECT_EQ(PTLiveCFObjectCount(), live) << pair.what;
    }
}

// A remembered object that was freed is never handed out again (AddressSanitizer would see the
// read), and a fault meant for an allocation still lands though an equal value is alive.
TEST_F(CFRecentObjectsTest, FreedValuesAreForgottenAndFaultsStillLand) {
    { cf::Ref<CFTypeRef> once(CString("Album Artist")); }
    cf::Ref<CFTypeRef> again(CString("Album Artist"));
    ASSERT_TRUE(again);
    EXPECT_TRUE(CFEqual(again.Get(), CFSTR("Album Artist")));
    EXPECT_EQ(CFGetRetainCount(again.Get()), 1);

    PTFailCFAllocations(0, 1);
    cf::Ref<CFTypeRef> refused(CString("Album Artist"));
    EXPECT_FALSE(refused);
    EXPECT_TRUE(PTFaultWasDelivered());
    PTClearFaults();
}

// Threads making and releasing the same values race a lookup against a last release; run under
// the sanitizers, a lookup that revived an object being freed is a use after free.
TEST_F(CFRecentObjectsTest, ThreadsSharingAndReleasingTheSameValuesNeverReviveOne) {
    const long live = PTLiveCFObjectCount();
    auto churn = [] {
        for (int i = 0; i < 20000; ++i) {
            cf::Ref<CFTypeRef> text(CString(i % 2 ? "Track Number" : "Year"));
            cf::Ref<CFTypeRef> number(Number(kCFNumberSInt32Type, i % 3));
            if (!text || !number || CFGetTypeID(text.Get()) != CFStringGetTypeID()) std::abort();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(churn);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(PTLiveCFObjectCount(), live);
}

}  // namespace

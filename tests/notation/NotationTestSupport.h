// Helpers shared by the notation tests: making descriptors from raw bytes and comparing
// descriptor trees by type, keywords and bytes.
#ifndef TESTS_HOST_NOTATIONTESTSUPPORT_H
#define TESTS_HOST_NOTATIONTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "notation/DescNotation.h"
#include "notation/NotationForms.h"

inline OwnedDesc MakeDesc(DescType type, const std::string& bytes) {
    OwnedDesc desc;
    EXPECT_EQ(AECreateDesc(type, bytes.data(), static_cast<Size>(bytes.size()), desc.Out()), noErr);
    return desc;
}

template <class T>
std::string BytesOf(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

inline std::string DataOf(const AEDesc& desc) {
    std::string data(static_cast<size_t>(AEGetDescDataSize(&desc)), '\0');
    if (!data.empty()) {
        EXPECT_EQ(AEGetDescData(&desc, data.data(), static_cast<Size>(data.size())), noErr);
    }
    return data;
}

inline std::string Print(const AEDesc& desc) {
    std::string text;
    EXPECT_EQ(PrintDesc(desc, text), noErr);
    return text;
}

// Same type, and for containers the same keywords and items; otherwise the same bytes.
inline ::testing::AssertionResult SameDesc(const AEDesc& a, const AEDesc& b) {
    if (a.descriptorType != b.descriptorType)
        return ::testing::AssertionFailure() << "types differ: " << Print(a) << " vs " << Print(b);
    long countA = 0, countB = 0;
    const bool containerA = AECountItems(&a, &countA) == noErr;
    const bool containerB = AECountItems(&b, &countB) == noErr;
    if (containerA != containerB || countA != countB)
        return ::testing::AssertionFailure() << "shapes differ: " << Print(a) << " vs " << Print(b);
    if (!containerA) {
        if (DataOf(a) == DataOf(b)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "bytes differ: " << Print(a) << " vs " << Print(b);
    }
    for (long i = 1; i <= countA; ++i) {
        AEKeyword keyA = 0, keyB = 0;
        OwnedDesc itemA, itemB;
        AEGetNthDesc(&a, i, typeWildCard, &keyA, itemA.Out());
        AEGetNthDesc(&b, i, typeWildCard, &keyB, itemB.Out());
        if (keyA != keyB) return ::testing::AssertionFailure() << "keyword " << i << " differs";
        auto same = SameDesc(itemA.Get(), itemB.Get());
        if (!same) return same;
    }
    return ::testing::AssertionSuccess();
}

#endif

// Property lists for the edit library's tests, written as JSON on one line and compared in the
// same form.
#ifndef TESTS_TOOLS_EDIT_EDITTESTSUPPORT_H
#define TESTS_TOOLS_EDIT_EDITTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "tools/formats/PListTextFormats.h"

// 30 levels of [x, x], each level one shared array, as a binary list can hold them: two
// billion values when walked as a tree.
inline CFRef<CFPropertyListRef> SharedPairs() {
    CFRef<CFPropertyListRef> level(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    for (int i = 0; i < 30; ++i) {
        const void* pair[] = {level.Get(), level.Get()};
        level.Reset(CFArrayCreate(nullptr, pair, 2, &kCFTypeArrayCallBacks));
    }
    return level;
}

inline CFRef<CFPropertyListRef> FromJSON(const std::string& json) {
    CFRef<CFPropertyListRef> value;
    std::string error;
    EXPECT_TRUE(plisttext::ReadJSON(json, value, error)) << json << ": " << error;
    return value;
}

// JSON without the writer's line breaks and indentation (test data holds no spaces in strings).
inline std::string CompactJSON(CFPropertyListRef value) {
    std::string json, error, compact;
    if (!plisttext::WriteJSON(value, false, json, error, true)) return "error: " + error;
    for (char c : json)
        if (c != '\n' && c != ' ') compact.push_back(c);
    return compact;
}

#endif

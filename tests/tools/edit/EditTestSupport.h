// Property lists for the edit library's tests, written as JSON on one line and compared in the
// same form.
#ifndef TESTS_TOOLS_EDIT_EDITTESTSUPPORT_H
#define TESTS_TOOLS_EDIT_EDITTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "tools/formats/PListTextFormats.h"

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

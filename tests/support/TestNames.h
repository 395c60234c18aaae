// Names for parameterised tests made from file names and other text.
#ifndef TESTS_SUPPORT_TESTNAMES_H
#define TESTS_SUPPORT_TESTNAMES_H

#include <cctype>
#include <string>

// `text` with every character but letters and digits made '_', as test names must be.
inline std::string TestNameOf(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

#endif

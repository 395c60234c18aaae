// A small JSON reader for test data: the typed value notation of the golden write cases.
// Strings are kept as UTF-16 code units so that "\udXXX" escapes survive as lone surrogates.
#ifndef TESTS_SUPPORT_TYPEDJSON_H
#define TESTS_SUPPORT_TYPEDJSON_H

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testjson {

struct Value {
    // Defined out of line: a vector of pairs holding Value cannot be destroyed before Value is
    // complete (clang instantiates the implicit destructor at the closing brace).
    Value();
    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;
    ~Value();

    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool boolean = false;
    std::string number;  // the literal text of a number
    std::u16string string;
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> object;  // member names as UTF-8, in order

    // The member called `name`, or nullptr.
    const Value* Find(std::string_view name) const {
        for (const auto& [key, value] : object)
            if (key == name) return &value;
        return nullptr;
    }
    // ASCII/UTF-8 form of a string value (lone surrogates become U+FFFD).
    std::string Utf8() const;
};

// Parses a whole JSON document; false (with `error` set) on malformed input.
bool Parse(std::string_view text, Value& out, std::string& error);

}  // namespace testjson

#endif

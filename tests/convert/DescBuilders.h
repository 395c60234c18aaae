// Test helpers shared by the convert and commands tests: an owning descriptor holder that
// needs none of the bundle's code, builders for descriptor trees, and a canonical text form to
// compare trees with readable failures.
#ifndef TESTS_CONVERT_DESCBUILDERS_H
#define TESTS_CONVERT_DESCBUILDERS_H

#include <CoreServices/CoreServices.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// Four-char code from its four characters, the first one most significant.
constexpr FourCharCode Code(const char (&text)[5]) {
    return (FourCharCode(uint8_t(text[0])) << 24) | (FourCharCode(uint8_t(text[1])) << 16) |
           (FourCharCode(uint8_t(text[2])) << 8) | FourCharCode(uint8_t(text[3]));
}

// Owns one descriptor; disposes it once.
class TestDesc {
public:
    TestDesc() = default;
    TestDesc(const TestDesc&) = delete;
    TestDesc& operator=(const TestDesc&) = delete;
    TestDesc(TestDesc&& other) noexcept
        : mDesc(std::exchange(other.mDesc, AEDesc{typeNull, nullptr})) {}
    TestDesc& operator=(TestDesc&& other) noexcept {
        if (this != &other) {
            AEDisposeDesc(&mDesc);
            mDesc = std::exchange(other.mDesc, AEDesc{typeNull, nullptr});
        }
        return *this;
    }
    ~TestDesc() { AEDisposeDesc(&mDesc); }

    const AEDesc& operator*() const { return mDesc; }
    const AEDesc* operator->() const { return &mDesc; }
    const AEDesc* Get() const { return &mDesc; }
    // For calls that change the descriptor in place (AEPutDesc, AEPutParamDesc).
    AEDesc* Mutable() { return &mDesc; }
    // For calls that fill the descriptor: what it held is disposed first.
    AEDesc* Out() {
        AEDisposeDesc(&mDesc);
        return &mDesc;
    }

private:
    AEDesc mDesc{typeNull, nullptr};
};

TestDesc MakeBytes(DescType type, std::string_view bytes);
template <class T>
TestDesc MakeValue(DescType type, T value) {
    return MakeBytes(type, std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}
TestDesc MakeUnicode(std::u16string_view text);  // 'utxt'
TestDesc MakeNull();
TestDesc MakeList(std::initializer_list<TestDesc> items);
struct Field {
    AEKeyword key;
    TestDesc value;
};
// A 'reco', or a record of `type` ('obj ', a custom class) holding the same fields.
TestDesc MakeRecord(std::initializer_list<Field> fields, DescType type = typeAERecord);
// Alternating keys and values for a record's 'usrf' field.
TestDesc MakeUserFields(std::initializer_list<std::pair<std::u16string_view, TestDesc>> pairs);

// `desc` coerced by the Apple Event Manager (e.g. 'utxt' to 'STXT').
TestDesc CoercedTo(const AEDesc& desc, DescType type);

// The bytes a descriptor holds (the flat form for a list or record).
std::string DataOf(const AEDesc& desc);

// One-line canonical text of a tree: record fields sorted by keyword, user-field pairs sorted
// by their key's text, reals by value. Two trees that must come back equal print the same.
std::string Describe(const AEDesc& desc);

// The value "store then load" must give for `desc`: text types become 'utxt', integers 'long'
// or 'comp' by range, 'sing' becomes 'doub', 'true'/'fals'/'bool' a 0/1 'bool', records gain an
// empty 'usrf' and keep only whole user-field pairs; every other descriptor is unchanged.
TestDesc ExpectedAfterRoundTrip(const AEDesc& desc);

#endif

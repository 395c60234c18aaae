// The rows of the SDK declarations table as static assertions: each public name of the
// stand-in has the kind, type and value the real SDK gives it, so that a drift fails our build
// and not a build against the real frameworks.
#ifndef TESTS_PLATFORM_SDK_SDKDECLARATIONS_H
#define TESTS_PLATFORM_SDK_SDKDECLARATIONS_H

#include <Carbon/Carbon.h>
#include <CoreFoundation/CoreFoundation.h>

#include <type_traits>

namespace sdk {

template <class E, class Underlying>
constexpr bool kEnumOf = std::is_enum_v<E>&& std::is_same_v<std::underlying_type_t<E>, Underlying>;

template <class T, class = void>
constexpr bool kComplete = false;
template <class T>
constexpr bool kComplete<T, std::void_t<decltype(sizeof(T))>> = true;

struct Missing {};

}  // namespace sdk

// A function, typedef or variable and its type, spelled as the table spells it.
#define FUNC(name, ...) static_assert(std::is_same_v<decltype(name), __VA_ARGS__>, #name)
#define TYPE(name, ...) static_assert(std::is_same_v<name, __VA_ARGS__>, #name)
#define VAR(name, ...) static_assert(std::is_same_v<decltype(name), __VA_ARGS__>, #name)
// A typedef of a structure of the same name (CFRange).
#define RECORD(name) static_assert(std::is_class_v<name>, #name)
// An enumeration with a fixed underlying type, and an enumerator of it.
#define ENUM(name, underlying) static_assert(sdk::kEnumOf<name, underlying>, #name)
#define IN(name, enumeration, value)                                                 \
    static_assert(std::is_same_v<decltype(name), enumeration> &&                     \
                      static_cast<long long>(name) == static_cast<long long>(value), \
                  #name)
// An enumerator of an unnamed enumeration, whose underlying type the table gives.
#define ANON(name, underlying, value)                                                \
    static_assert(sdk::kEnumOf<decltype(name), underlying> &&                        \
                      static_cast<long long>(name) == static_cast<long long>(value), \
                  #name)
#define ANON_UINT(name, value) ANON(name, unsigned int, value)
#define ANON_INT(name, value) ANON(name, int, value)
#define ANON_ULONG(name, value) ANON(name, unsigned long, value)
// A member of a structure and its type.
#define FIELD(record, member, ...) \
    static_assert(std::is_same_v<decltype(record::member), __VA_ARGS__>, #record "::" #member)
// A name the real SDK does not declare: when a public header declares it too, the lookup
// below finds both and is ambiguous, which fails the build.
#define ABSENT(name)                                                          \
    namespace sdk_absent {                                                    \
    inline constexpr sdk::Missing name{};                                     \
    }                                                                         \
    namespace sdk_absent_check {                                              \
    using namespace sdk_absent;                                               \
    static_assert(std::is_same_v<decltype(name), const sdk::Missing>, #name); \
    }                                                                         \
    static_assert(true)

#endif

// Which sanitizer a test build runs under, for the few tests whose bounds (time, memory,
// address space, stack) a sanitizer changes. gcc says so with __SANITIZE_ADDRESS__, clang
// through __has_feature.
#ifndef TESTS_SUPPORT_SANITIZERS_H
#define TESTS_SUPPORT_SANITIZERS_H

#if defined(__SANITIZE_ADDRESS__)
#define PLISTBRIDGE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLISTBRIDGE_ASAN 1
#endif
#endif

#endif

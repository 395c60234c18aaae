// Whether a build runs under AddressSanitizer, for the code that must step aside for it (the
// platform's pools, the tool's operator new) and the few tests whose bounds (time, memory,
// address space, stack) it changes. gcc says so with __SANITIZE_ADDRESS__, clang through
// __has_feature.
#ifndef COMMON_SANITIZERS_H
#define COMMON_SANITIZERS_H

#if defined(__SANITIZE_ADDRESS__)
#define PLISTBRIDGE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLISTBRIDGE_ASAN 1
#endif
#endif

#endif

// Defaults for the address sanitizer of a program that loads the addition; include this in one
// source of each such program (it defines a function). Nothing in a build without the sanitizer.
//
// The addition keeps thread-local state, and a host unloads it while the thread lives on. The
// leak checker at exit then walks that thread's record of the unloaded module's thread-local
// block, which the C library has already freed, and crashes in the checker itself, depending on
// how memory happens to be laid out. Nothing of ours is kept only in such blocks, so the leak
// check loses nothing when it leaves them alone.
#ifndef COMMON_SANITIZERDEFAULTS_H
#define COMMON_SANITIZERDEFAULTS_H

#include "common/Sanitizers.h"

#ifdef PLISTBRIDGE_ASAN
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

#endif

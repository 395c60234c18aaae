/*
 * ASRegistry.h — the script runner's keywords that additions use. Part of the scripting
 * framework, reached through <Carbon/Carbon.h>, not through <CoreServices/CoreServices.h>.
 */
#ifndef __ASREGISTRY__
#define __ASREGISTRY__

#include <CoreServices/CoreServices.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    keyASUserRecordFields = 0x75737266 /* 'usrf' */,
    keyASPrepositionGiven = 0x6769766E /* 'givn' */,
    keyASSubroutineName = 0x736E616D /* 'snam' */,
    keyASPositionalArgs = 0x70617267 /* 'parg' */,
    kASAppleScriptSuite = 0x61736372 /* 'ascr' */,
    kASSubroutineEvent = 0x70736272 /* 'psbr' */
};

#ifdef __cplusplus
}
#endif

#endif

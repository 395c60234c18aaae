/* CFBundle.h — bundle folders (Contents/Info.plist, Contents/MacOS/<executable>). */
#ifndef __COREFOUNDATION_CFBUNDLE__
#define __COREFOUNDATION_CFBUNDLE__

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef struct __CFBundle* CFBundleRef;

/* Info.plist keys. */
CF_EXPORT const CFStringRef kCFBundleInfoDictionaryVersionKey;
CF_EXPORT const CFStringRef kCFBundleExecutableKey;
CF_EXPORT const CFStringRef kCFBundleIdentifierKey;
CF_EXPORT const CFStringRef kCFBundleVersionKey;
CF_EXPORT const CFStringRef kCFBundleNameKey;

CF_EXPORT CFTypeID CFBundleGetTypeID(void);

/*
 * +1 bundle for the folder a file: URL names. Reads Contents/Info.plist with the stand-in's
 * property-list reader; a missing or unreadable Info.plist gives a bundle with an empty info
 * dictionary (as on the real platform), a URL that is not an existing folder gives NULL.
 * Unlike the real platform, bundles are not uniqued: each call makes a new object.
 */
CF_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

/* CFBundleIdentifier from the info dictionary (borrowed), or NULL. */
CF_EXPORT CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

/* The info dictionary (borrowed, never NULL for a bundle). */
CF_EXPORT CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);

/* A value of the info dictionary (borrowed), or NULL. */
CF_EXPORT CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);

/* +1 URL of the bundle folder. */
CF_EXPORT CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);

/* +1 URL of Contents/MacOS/<CFBundleExecutable>, or NULL when the key is missing. */
CF_EXPORT CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);

/* +1 URL of Contents/Resources/. */
CF_EXPORT CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);

/* Loads the executable with dlopen(RTLD_NOW | RTLD_LOCAL); true when loaded (also when it
   already was). The dlerror() text is written to stderr on failure. */
CF_EXPORT Boolean CFBundleLoadExecutable(CFBundleRef bundle);

CF_EXPORT Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);

/* dlclose()s the executable; pointers obtained from it become invalid. */
CF_EXPORT void CFBundleUnloadExecutable(CFBundleRef bundle);

/* The address of an exported function (dlsym), loading the executable first when needed;
   NULL when it cannot be loaded or the name is not exported. */
CF_EXPORT void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

CF_EXTERN_C_END

#endif

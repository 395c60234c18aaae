// CFBundle: a bundle folder, its Info.plist and its loadable executable.
#include <CoreFoundation/CFBundle.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/CoreFoundation/CFFileAccess.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "platform/CoreFoundation/CFObject.h"
#include "platform/CoreFoundation/PropertyList/CFPropertyListInternal.h"
#include "platform/Testing/PTInternal.h"

struct __CFBundle final : cf::Object {
    __CFBundle(std::string&& path, CFURLRef url, CFDictionaryRef info)
        : Object(cf::kBundleTypeID, false), mPath(std::move(path)), mURL(url), mInfo(info) {}
    // The executable stays loaded: code from it may still be running or referenced, and the
    // real platform does not unload on release either.
    ~__CFBundle() override {
        cf::Release(mURL);
        cf::Release(mInfo);
    }
    bool EqualTo(const Object& other) const override {
        return mPath == static_cast<const __CFBundle&>(other).mPath;
    }
    CFHashCode HashValue() const override { return std::hash<std::string>()(mPath); }
    void Describe(std::string& out) const override { out += "<CFBundle " + mPath + ">"; }

    std::string mPath;  // the folder, ending in '/'
    CFURLRef mURL;
    CFDictionaryRef mInfo;
    void* mHandle = nullptr;
};

namespace cf {
namespace {

__CFBundle* AsBundle(CFTypeRef ref) {
    return As<__CFBundle>(ref, kBundleTypeID);
}

// The Info.plist dictionary, or an empty one when it is missing or not a dictionary.
CFDictionaryRef ReadInfo(const std::string& folder) {
    std::string path = folder + "Contents/Info.plist";
    CFDataRef bytes = nullptr;
    if (file::ReadWholeFile(path, bytes) == 0) {
        CFPropertyListRef plist =
            plist::Read(DataBytes(bytes), DataLength(bytes), kCFPropertyListImmutable, nullptr);
        Release(bytes);
        if (IsDictionary(plist)) return static_cast<CFDictionaryRef>(plist);
        Release(plist);
    }
    return CreateDictionary(0, false);
}

std::string ExecutablePath(const __CFBundle* b) {
    CFTypeRef name = DictionaryGetValue(b->mInfo, CFSTR("CFBundleExecutable"));
    if (!IsString(name)) return {};
    std::string path = b->mPath + "Contents/MacOS/";
    AppendUTF8(static_cast<CFStringRef>(name), path);
    return path;
}

bool Load(__CFBundle* b) {
    if (b->mHandle) return true;
    std::string path = ExecutablePath(b);
    if (path.empty()) return false;
    b->mHandle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b->mHandle)
        std::fprintf(stderr, "CFBundle: cannot load %s: %s\n", path.c_str(), ::dlerror());
    return b->mHandle != nullptr;
}

}  // namespace
}  // namespace cf

extern "C" {

const CFStringRef kCFBundleInfoDictionaryVersionKey = CFSTR("CFBundleInfoDictionaryVersion");
const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");
const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");

CFTypeID CFBundleGetTypeID(void) {
    int32_t injected;
    if (PT_ENTER("CFBundleGetTypeID", injected)) return 0;
    return cf::kBundleTypeID;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
    int32_t injected;
    if (PT_ENTER("CFBundleCreate", injected)) return nullptr;
    std::string path;
    struct stat info {};
    if (!cf::url::PathFromURL(bundleURL, path) || ::stat(path.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode))
        return nullptr;
    if (!path.ends_with('/')) path.push_back('/');
    cf::Ref<CFURLRef> url(cf::url::CreateFileURL(path, true));
    cf::Ref<CFDictionaryRef> dictionary(cf::ReadInfo(path));
    if (!url || !dictionary) return nullptr;
    __CFBundle* bundle = cf::New<__CFBundle>(std::move(path), url.Get(), dictionary.Get());
    if (bundle) (void)url.Detach(), (void)dictionary.Detach();
    return bundle;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleGetIdentifier", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    CFTypeRef id = b ? cf::DictionaryGetValue(b->mInfo, CFSTR("CFBundleIdentifier")) : nullptr;
    return cf::IsString(id) ? static_cast<CFStringRef>(id) : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleGetInfoDictionary", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    return b ? b->mInfo : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    int32_t injected;
    if (PT_ENTER("CFBundleGetValueForInfoDictionaryKey", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    return b ? cf::DictionaryGetValue(b->mInfo, key) : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleCopyBundleURL", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    return b ? static_cast<CFURLRef>(cf::Retain(b->mURL)) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleCopyExecutableURL", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    std::string path = b ? cf::ExecutablePath(b) : std::string();
    return path.empty() ? nullptr : cf::url::CreateFileURL(path, false);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleCopyResourcesDirectoryURL", injected)) return nullptr;
    const __CFBundle* b = cf::AsBundle(bundle);
    return b ? cf::url::CreateFileURL(b->mPath + "Contents/Resources/", true) : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleLoadExecutable", injected)) return false;
    __CFBundle* b = cf::AsBundle(bundle);
    return b && cf::Load(b);
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleIsExecutableLoaded", injected)) return false;
    const __CFBundle* b = cf::AsBundle(bundle);
    return b && b->mHandle;
}

void CFBundleUnloadExecutable(CFBundleRef bundle) {
    int32_t injected;
    if (PT_ENTER("CFBundleUnloadExecutable", injected)) return;
    __CFBundle* b = cf::AsBundle(bundle);
    if (b && b->mHandle) {
        ::dlclose(b->mHandle);
        b->mHandle = nullptr;
    }
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
    int32_t injected;
    if (PT_ENTER("CFBundleGetFunctionPointerForName", injected)) return nullptr;
    __CFBundle* b = cf::AsBundle(bundle);
    if (!b || !cf::IsString(functionName) || !cf::Load(b)) return nullptr;
    std::string name;
    cf::AppendUTF8(functionName, name);
    return ::dlsym(b->mHandle, name.c_str());
}

}  // extern "C"

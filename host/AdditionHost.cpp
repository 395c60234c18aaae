#include "host/AdditionHost.h"

#include <filesystem>

namespace {

template <class Proc>
Proc FindFunction(CFBundleRef bundle, CFStringRef name) {
    return reinterpret_cast<Proc>(CFBundleGetFunctionPointerForName(bundle, name));
}

}  // namespace

OSStatus CAdditionHost::Load(std::string_view bundlePath) {
    Unload();
    const std::string path(bundlePath);
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), true));
    if (!url) return memFullErr;
    CFRef<CFBundleRef> bundle(CFBundleCreate(kCFAllocatorDefault, url.Get()));
    if (!bundle) return kHostNoBundleErr;
    if (!CFBundleLoadExecutable(bundle.Get())) return kHostNoLibraryErr;
    auto initialize = FindFunction<InitializeProc>(bundle.Get(), CFSTR("SAInitialize"));
    auto terminate = FindFunction<TerminateProc>(bundle.Get(), CFSTR("SATerminate"));
    if (initialize == nullptr || terminate == nullptr) return kHostNoSymbolErr;
    if (OSErr err = initialize(bundle.Get())) {
        terminate();
        return err;
    }
    mBundle = std::move(bundle);
    mTerminate = terminate;
    mIsBusy = FindFunction<IsBusyProc>(mBundle.Get(), CFSTR("SAIsBusy"));
    return noErr;
}

void CAdditionHost::Unload() {
    if (mTerminate != nullptr) mTerminate();
    mTerminate = nullptr;
    mIsBusy = nullptr;
    mBundle.Reset();
}

bool CAdditionHost::IsBusy() const {
    return mIsBusy != nullptr && mIsBusy();
}

std::string CAdditionHost::DefaultBundlePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "PlistBridge.osax";
    const std::filesystem::path beside = self.parent_path() / "PlistBridge.osax";
#ifdef PLISTBRIDGE_INSTALLED_BUNDLE
    // An installed tool has no bundle beside it; it is where cmake --install put it.
    if (!std::filesystem::exists(beside, error))
        return (self.parent_path() / PLISTBRIDGE_INSTALLED_BUNDLE).lexically_normal().string();
#endif
    return beside.string();
}

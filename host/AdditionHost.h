// CAdditionHost: plays the script runner's part for one scripting addition. It loads the
// bundle through CFBundle, starts it with SAInitialize and stops it with SATerminate; events
// then reach the addition's handlers through AESend (host/EventSender.h), never by a direct
// call.
#ifndef HOST_ADDITIONHOST_H
#define HOST_ADDITIONHOST_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <string>
#include <string_view>

#include "desc/CFRef.h"

// Load failures that have no platform status of their own; the values are the code-fragment
// statuses a script runner reports for the same failures.
constexpr OSStatus kHostNoBundleErr = fnfErr;  // no bundle folder at the path
constexpr OSStatus kHostNoLibraryErr = -2804;  // the executable cannot be loaded
constexpr OSStatus kHostNoSymbolErr = -2802;   // SAInitialize or SATerminate is not exported

class CAdditionHost {
public:
    CAdditionHost() = default;
    CAdditionHost(const CAdditionHost&) = delete;
    CAdditionHost& operator=(const CAdditionHost&) = delete;
    ~CAdditionHost() { Unload(); }

    // Loads the bundle folder at `bundlePath` (a POSIX path) and calls its SAInitialize with
    // the bundle's reference. Returns noErr; kHostNoBundleErr, kHostNoLibraryErr or
    // kHostNoSymbolErr as above; or SAInitialize's own status, in which case SATerminate has
    // already been called to undo a partial start. A host that is already loaded is unloaded
    // first. The executable stays mapped after Unload (the real host keeps additions loaded
    // too), so a later Load of the same bundle starts it again in place.
    OSStatus Load(std::string_view bundlePath);

    // Calls SATerminate and releases the bundle; nothing when not loaded.
    void Unload();

    bool IsLoaded() const { return mTerminate != nullptr; }

    // The addition's SAIsBusy; false when not loaded.
    bool IsBusy() const;

    // The loaded bundle (borrowed), or NULL.
    CFBundleRef Bundle() const { return mBundle.Get(); }

    // Where the tool looks for the bundle by default: PlistBridge.osax in the folder of the
    // running executable (found through /proc/self/exe), else the installed bundle relative to
    // that folder (lib/plistbridge/PlistBridge.osax beside bin/).
    static std::string DefaultBundlePath();

private:
    using InitializeProc = OSErr (*)(CFBundleRef);
    using TerminateProc = void (*)();
    using IsBusyProc = Boolean (*)();

    CFRef<CFBundleRef> mBundle;
    TerminateProc mTerminate = nullptr;
    IsBusyProc mIsBusy = nullptr;
};

#endif

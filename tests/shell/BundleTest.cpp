// The built bundle as a host sees it: exactly five exported entry points, and a start-up and
// shut-down cycle through CFBundle that installs and removes both handlers.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstdio>
#include <set>
#include <string>

#include "common/PlistBridgeEvents.h"
#include "desc/CFRef.h"
#include "desc/DescTestSupport.h"
#include "support/PlatformTest.h"

namespace {

const char kBundleDir[] = PLISTBRIDGE_BINARY_DIR "/bin/PlistBridge.osax";
const char kExecutable[] =
    PLISTBRIDGE_BINARY_DIR "/bin/PlistBridge.osax/Contents/MacOS/PlistBridge";

using BundleTest = PlatformTest;

TEST_F(BundleTest, ExportsExactlyTheFiveEntryPoints) {
    const std::string command = std::string("nm -D --defined-only ") + kExecutable;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char kind = 0;
        char name[400];
        // "<address> <kind> <name>"
        if (std::sscanf(line, "%*s %c %399s", &kind, name) == 2) exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(exported, (std::set<std::string>{"LoadPList", "SAInitialize", "SAIsBusy",
                                               "SATerminate", "StorePList"}));
}

using InitializeProc = OSErr (*)(CFBundleRef);
using TerminateProc = void (*)();
using IsBusyProc = Boolean (*)();

AEEventHandlerProcPtr SystemHandler(AEEventID id) {
    AEEventHandlerProcPtr handler = nullptr;
    SRefCon refcon = nullptr;
    AEGetEventHandler(FourCC("Gmqb"), id, &handler, &refcon, true);
    return handler;
}

TEST_F(BundleTest, HostLoadsStartsAndStopsTheBundle) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(kBundleDir), sizeof kBundleDir - 1,
        true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(kCFAllocatorDefault, url.Get()));
    ASSERT_TRUE(bundle);
    ASSERT_TRUE(CFBundleLoadExecutable(bundle.Get()));
    auto entry = [&](CFStringRef name) {
        return CFBundleGetFunctionPointerForName(bundle.Get(), name);
    };
    auto initialize = reinterpret_cast<InitializeProc>(entry(CFSTR("SAInitialize")));
    auto terminate = reinterpret_cast<TerminateProc>(entry(CFSTR("SATerminate")));
    auto isBusy = reinterpret_cast<IsBusyProc>(entry(CFSTR("SAIsBusy")));
    auto load = entry(CFSTR("LoadPList"));
    auto store = entry(CFSTR("StorePList"));
    ASSERT_TRUE(initialize && terminate && isBusy && load && store);

    for (int cycle = 0; cycle < 2; ++cycle) {  // a host may start the bundle again
        const CFIndex retained = CFGetRetainCount(bundle.Get());
        ASSERT_EQ(initialize(bundle.Get()), noErr);
        EXPECT_EQ(CFGetRetainCount(bundle.Get()), retained + 1);
        EXPECT_EQ(reinterpret_cast<void*>(SystemHandler(kAELoadPList)), load);
        EXPECT_EQ(reinterpret_cast<void*>(SystemHandler(kAEStorePList)), store);
        EXPECT_FALSE(isBusy());
        terminate();
        EXPECT_EQ(CFGetRetainCount(bundle.Get()), retained);
        EXPECT_EQ(SystemHandler(kAELoadPList), nullptr);
        EXPECT_EQ(SystemHandler(kAEStorePList), nullptr);
    }
}

}  // namespace

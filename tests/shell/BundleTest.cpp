// The built bundle as a host sees it: exactly five exported entry points, and a start-up and
// shut-down cycle through CFBundle that installs and removes both handlers.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstdio>
#include <fstream>
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

// The names a linker list file keeps: one a line for the Mac linker (with the C prefix '_'),
// "name;" lines of the global section for the Linux one.
std::set<std::string> ExportListNames(const char* file, bool machO) {
    std::ifstream in(std::string(PLISTBRIDGE_SOURCE_DIR "/shell/") + file);
    std::set<std::string> names;
    for (std::string line; std::getline(in, line);) {
        line.erase(0, line.find_first_not_of(" \t"));
        if (machO && !line.empty() && line[0] == '_') names.insert(line.substr(1));
        if (!machO && line.size() > 1 && line.back() == ';' &&
            line.find_first_of(":*}") == line.npos)
            names.insert(line.substr(0, line.size() - 1));
    }
    return names;
}

CFTypeRef ValueAt(CFDictionaryRef dict, CFStringRef key) {
    return dict ? CFDictionaryGetValue(dict, key) : nullptr;
}

std::string StringAt(CFDictionaryRef dict, CFStringRef key) {
    CFTypeRef value = ValueAt(dict, key);
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return "(none)";
    return UTF8Of(static_cast<CFStringRef>(value));
}

TEST_F(BundleTest, InfoPlistNamesEachHandlerForTheAdditionLoader) {
    // Both linkers keep the same five names.
    const std::set<std::string> five = {"LoadPList", "SAInitialize", "SAIsBusy", "SATerminate",
                                        "StorePList"};
    EXPECT_EQ(ExportListNames("exports.txt", true), five);
    EXPECT_EQ(ExportListNames("exports.map", false), five);

    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(kBundleDir), sizeof kBundleDir - 1,
        true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(kCFAllocatorDefault, url.Get()));
    ASSERT_TRUE(bundle);
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle.Get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(StringAt(info, CFSTR("CFBundleExecutable")), "PlistBridge");
    EXPECT_EQ(StringAt(info, CFSTR("CFBundlePackageType")), "osax");
    EXPECT_EQ(StringAt(info, CFSTR("OSAScriptingDefinition")), "PlistBridge.sdef");
    auto events = static_cast<CFDictionaryRef>(ValueAt(
        static_cast<CFDictionaryRef>(ValueAt(info, CFSTR("OSAXHandlers"))), CFSTR("Events")));
    ASSERT_NE(events, nullptr);
    ASSERT_EQ(CFGetTypeID(events), CFDictionaryGetTypeID());
    EXPECT_EQ(CFDictionaryGetCount(events), 2);
    ASSERT_TRUE(CFBundleLoadExecutable(bundle.Get()));
    const struct {
        CFStringRef event;
        const char* handler;
        void* entry;
    } rows[] = {
        {CFSTR("GmqbplsL"), "LoadPList",
         CFBundleGetFunctionPointerForName(bundle.Get(), CFSTR("LoadPList"))},
        {CFSTR("GmqbplsS"), "StorePList",
         CFBundleGetFunctionPointerForName(bundle.Get(), CFSTR("StorePList"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.handler);
        auto entry = static_cast<CFDictionaryRef>(ValueAt(events, row.event));
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(CFGetTypeID(entry), CFDictionaryGetTypeID());
        EXPECT_EQ(CFDictionaryGetCount(entry), 3);
        EXPECT_EQ(StringAt(entry, CFSTR("Handler")), row.handler);
        EXPECT_TRUE(five.count(row.handler));
        EXPECT_NE(row.entry, nullptr);  // the loader finds the handler under that name
        EXPECT_EQ(StringAt(entry, CFSTR("Context")), "Process");
        EXPECT_EQ(ValueAt(entry, CFSTR("ThreadSafe")), kCFBooleanFalse);
    }
}

}  // namespace

// What the command fuzz targets share: a scratch folder, and one call of a command handler on
// an event built by the Apple Event Manager, with the invariants every call must keep.
#ifndef FUZZ_COMMANDFUZZSUPPORT_H
#define FUZZ_COMMANDFUZZSUPPORT_H

#include <CoreServices/CoreServices.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/OwnedDesc.h"
#include "common/PlistBridgeEvents.h"
#include "shell/AdditionEntryPoints.h"

namespace fuzz {

// Aborts, so that the fuzzer reports the input, when `condition` does not hold.
inline void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// One scratch folder for the whole run, removed at exit.
class Scratch {
public:
    Scratch() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "plistbridge-fuzz-XXXXXX").string();
        Require(mkdtemp(pattern.data()) != nullptr, "mkdtemp failed");
        mFolder = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(mFolder, ignored);
    }
    std::string Path(const char* name) const { return (mFolder / name).string(); }
    // Writes `bytes` to a file of the folder and returns its path.
    std::string Write(std::string_view bytes) const {
        std::string path = Path("in.plist");
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path mFolder;
};

inline const Scratch& TheScratch() {
    static const Scratch scratch;
    return scratch;
}

// Calls the handler of `id` on an event holding `direct` (no direct parameter when NULL) and, for a
// store, `destination` (when not NULL, declared optional as a script runner does). Checks that
// a failed command leaves no result in the reply, a successful one does, and the addition is
// idle afterwards. True, with the reply's result in `result`, when the command succeeded.
inline bool RunCommand(AEEventID id, const AEDesc* direct, const AEDesc* destination,
                       OwnedDesc& result) {
    ProcessSerialNumber self{0, kCurrentProcess};
    OwnedDesc target;
    AECreateDesc(typeProcessSerialNumber, &self, sizeof self, target.Out());
    OwnedDesc event;
    Require(AECreateAppleEvent(kPlistBridgeSuite, id, &target.Get(), kAutoGenerateReturnID,
                               kAnyTransactionID, event.Out()) == noErr,
            "cannot make the event");
    if (id == kAEStorePList) {
        OwnedDesc optional;
        AECreateList(nullptr, 0, false, optional.Out());
        AEPutPtr(optional.Mutable(), 0, typeKeyword, &kStoreDestination, sizeof kStoreDestination);
        AEPutAttributeDesc(event.Mutable(), keyOptionalKeywordAttr, &optional.Get());
    }
    if (direct) AEPutParamDesc(event.Mutable(), keyDirectObject, direct);
    if (destination) AEPutParamDesc(event.Mutable(), kStoreDestination, destination);
    OwnedDesc reply;
    Require(AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, kAutoGenerateReturnID,
                               kAnyTransactionID, reply.Out()) == noErr,
            "cannot make the reply");

    const OSErr status =
        (id == kAEStorePList ? StorePList : LoadPList)(&event.Get(), reply.Mutable(), 0);

    const bool hasResult =
        AEGetParamDesc(&reply.Get(), keyDirectObject, typeWildCard, result.Out()) == noErr;
    Require(status == noErr || !hasResult, "a failed command left a result in the reply");
    Require(status != noErr || hasResult, "a successful command left no result in the reply");
    Require(!SAIsBusy(), "the addition is still busy after the handler returned");
    return status == noErr;
}

}  // namespace fuzz

#endif

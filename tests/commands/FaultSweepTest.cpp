// Every platform call that one load and one store make fails in turn: the command must return
// a status (or succeed with a result), leave the reply empty on failure, bring the busy count
// back and leak nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"
#include "support/PlatformTest.h"

namespace {

const char kDocument[] =
    "<plist version=\"1.0\"><dict><key>'pnam'</key><string>name</string>"
    "<key>user</key><array><integer>1</integer><integer>4294967296</integer><real>2.5</real>"
    "<true/><date>2020-02-29T12:00:00Z</date><data>AAEC</data></array>"
    "<key>raw</key><dict><key>AEDescType</key><string>enum</string><key>AEDescData</"
    "key><data>eWVzIA==</data></dict>"
    "</dict></plist>";

// Every function the platform headers declare.
std::set<std::string> PlatformFunctionNames() {
    std::set<std::string> names;
    std::regex declaration(R"(\b((?:CF|AE|UC|New|Dispose|Mem|Fix)\w*)\s*\()");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             std::string(PLISTBRIDGE_SOURCE_DIR) + "/platform/include")) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::string source = text.str();
        for (std::sregex_iterator it(source.begin(), source.end(), declaration), end; it != end;
             ++it)
            names.insert((*it)[1]);
    }
    return names;
}

// Releases cannot report a failure, so a failing one would only leak: they are left alone.
bool IsRelease(const std::string& name) {
    return name == "CFRelease" || name == "AEDisposeDesc" || name == "DisposePtr" ||
           name == "CFRetain";
}

struct Scenario {
    const char* name;
    bool store;
    bool toFile;
};

class FaultSweepTest : public PlatformTestWithParam<Scenario> {
protected:
    OwnedDesc Event() {
        const Scenario& scenario = GetParam();
        OwnedDesc event =
            MakeEvent(scenario.store ? kAEStorePList : kAELoadPList, {kStoreDestination});
        if (scenario.store) {
            OwnedDesc value = MakeRecord(
                {{FourCC("pnam"), MakeBytes(typeChar, "n\x8E")},
                 {FourCC("list"), MakeList({MakeValue(typeSInt16, int16_t(2)),
                                            MakeValue(typeIEEE32BitFloatingPoint, 1.5f),
                                            MakeValue(typeLongDateTime, int64_t(3'700'000'000LL)),
                                            MakeBytes(typeWildCard, "ab"),
                                            MakeValue(typeEnumerated, FourCC("yes "))})},
                 {keyASUserRecordFields,
                  MakeUserFields({{u"k", MakeValue(typeSInt64, int64_t(1) << 40)}})}});
            PutParam(event, keyDirectObject, value);
            if (scenario.toFile)
                PutParam(event, kStoreDestination,
                         FileReference(typeFileURL, mFolder.Path("out.plist")));
        } else {
            PutParam(event, keyDirectObject,
                     scenario.toFile ? FileReference(typeAlias, mFolder.Path("in.plist"))
                                     : MakeUnicode(ToUTF16(kDocument)));
        }
        return event;
    }
    OSErr Run(const OwnedDesc& event, OwnedDesc& reply) {
        return GetParam().store ? StorePList(&event.Get(), reply.Mutable(), 0)
                                : LoadPList(&event.Get(), reply.Mutable(), 0);
    }

    ScratchFolder mFolder;
};

TEST_P(FaultSweepTest, EveryFailingCallEndsInAStatusWithNothingLeaked) {
    WriteFile(mFolder.Path("in.plist"), kDocument);
    std::set<std::string> names = PlatformFunctionNames();
    // A run without faults: which calls, and how many of each.
    OwnedDesc event = Event(), reply = MakeReply();
    PTReset();
    ASSERT_EQ(Run(event, reply), noErr);
    unsigned long total = PTTotalCallCount(), covered = 0;
    std::vector<std::pair<std::string, unsigned long>> calls;
    for (const std::string& name : names) {
        unsigned long count = PTCallCount(name.c_str());
        covered += count;
        if (count && !IsRelease(name)) calls.emplace_back(name, count);
    }
    ASSERT_EQ(covered, total) << "calls to functions the sweep does not know";

    size_t faults = 0;
    for (const auto& [name, count] : calls) {
        for (unsigned long skip = 0; skip < count; ++skip) {
            long descriptors = PTLiveDescriptorCount(), objects = PTLiveCFObjectCount();
            {
                OwnedDesc failing = Event(), answer = MakeReply();
                PTFailCalls(name.c_str(), static_cast<long>(skip), 1, errAEEventNotHandled);
                OSErr status = Run(failing, answer);
                faults += PTFaultWasDelivered() ? 1 : 0;
                PTClearFaults();
                std::string where = name + " call " + std::to_string(skip + 1);
                EXPECT_EQ(HasResult(answer), status == noErr) << where << " status " << status;
                EXPECT_EQ(gBusyCount, 0) << where;
            }
            EXPECT_EQ(PTLiveDescriptorCount(), descriptors) << name << " call " << skip + 1;
            EXPECT_EQ(PTLiveCFObjectCount(), objects) << name << " call " << skip + 1;
        }
    }
    EXPECT_GT(faults, 20u);
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultSweepTest,
                         ::testing::Values(Scenario{"LoadText", false, false},
                                           Scenario{"LoadFile", false, true},
                                           Scenario{"StoreText", true, false},
                                           Scenario{"StoreFile", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

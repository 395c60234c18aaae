// Every platform call that one load or store makes fails in turn, with each of three statuses,
// and so does every CF allocation: the command must fail with a status and an empty reply, or
// succeed with the right result, bring the busy count back and leak nothing. Every route is
// swept: XML, binary and old-style input as text and as files named by each kind of file
// reference, text and file destinations, and the error-text path.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "shell/CommandFrame.h"
#include "support/PlatformTest.h"

namespace {

const char kXMLDocument[] =
    "<plist version=\"1.0\"><dict><key>'pnam'</key><string>name</string>"
    "<key>user</key><array><integer>1</integer><integer>4294967296</integer><real>2.5</real>"
    "<true/><date>2020-02-29T12:00:00Z</date><data>AAEC</data></array>"
    "<key>raw</key><dict><key>AEDescType</key><string>enum</string><key>AEDescData</"
    "key><data>eWVzIA==</data></dict>"
    "</dict></plist>";

const char kOldStyleDocument[] = "{ 'pnam' = name; user = (1, \"two\", <0001>, {}); k = (); }";

// A binary list: [1, "two", 4294967296, 2.5, true, {"'pnam'": "two"}], the string shared.
std::string BinaryDocument() {
    const std::vector<std::string> objects = {
        std::string("\xA6\x01\x02\x03\x04\x05\x06", 7),
        std::string("\x10\x01", 2),
        "\x53two",
        std::string("\x13\0\0\0\x01\0\0\0\0", 9),
        std::string("\x23\x40\x04\0\0\0\0\0\0", 9),
        "\x09",
        "\xD1\x07\x02",
        "\x56'pnam'",
    };
    std::string bytes = "bplist00", offsets;
    for (const std::string& object : objects) {
        offsets.push_back(static_cast<char>(bytes.size()));
        bytes += object;
    }
    const size_t table = bytes.size();
    bytes += offsets;
    bytes += std::string(6, '\0') + "\x01\x01";
    for (uint64_t field : {uint64_t{objects.size()}, uint64_t{0}, uint64_t{table}})
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>(field >> shift));
    return bytes;
}

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

// How a call's injected failure reaches the bundle, which decides what a successful run must
// return.
enum class Failure {
    // Another answer, not a failure: a getter the real platform cannot fail (a type ID, a
    // length, a lookup), or a failing AESizeOfParam, which says a record has no user fields.
    // The result is not compared.
    kAnotherAnswer,
    // No memory: an object that could not be made (NULL), a value that did not go into a
    // container, an apply function that stopped, or -108 returned as a status. The result
    // must be whole.
    kMemory,
    // Any other failure: load may drop the element it hit, store must be whole.
    kOther,
};

Failure Classify(const std::string& name, int32_t status) {
    static const std::set<std::string> answers = {"AEGetDescDataSize", "CFEqual", "CFHash",
                                                  "CFDictionaryContainsKey", "CFStringGetBytes"};
    const bool getter = name.starts_with("CF") && name.find("Get") != std::string::npos &&
                        name != "CFNumberGetValue" && name != "CFStringGetCString";
    if (getter || answers.count(name) || name == "AESizeOfParam") return Failure::kAnotherAnswer;
    const bool makesObject = name.starts_with("CF") && (name.find("Create") != std::string::npos ||
                                                        name.find("Copy") != std::string::npos);
    if (makesObject || name == "CFArrayAppendValue" || name == "CFDictionarySetValue" ||
        name.ends_with("ApplyFunction") ||
        (status == memFullErr && (name.starts_with("AE") || name.starts_with("UC"))))
        return Failure::kMemory;
    return Failure::kOther;
}

enum class Input { XML, Binary, OldStyle, Null };
enum class Source { Text, TextBytes, File };

struct Scenario {
    const char* name;
    bool store;
    Input input = Input::XML;
    Source source = Source::Text;
    DescType reference = 0;  // the file reference kind (0: an object specifier), for files
};

// True when `got` is `want` with some list items or record fields left out: what the drop rule
// allows for an element whose conversion failed. Everything kept must be whole and in order.
bool PrunedFrom(const AEDesc& got, const AEDesc& want) {
    if (got.descriptorType != want.descriptorType) return false;
    const bool list = got.descriptorType == typeAEList;
    if (!list && got.descriptorType != typeAERecord) return DataOf(got) == DataOf(want);
    long gotCount = 0, wantCount = 0;
    if (AECountItems(&got, &gotCount) != noErr || AECountItems(&want, &wantCount) != noErr)
        return false;
    long next = 1;  // the first item of `want` still free to match
    for (long i = 1; i <= gotCount; ++i) {
        AEKeyword keyword = 0;
        OwnedDesc item, counterpart;
        if (AEGetNthDesc(&got, i, typeWildCard, &keyword, item.Out()) != noErr) return false;
        if (!list) {
            if (AEGetParamDesc(&want, keyword, typeWildCard, counterpart.Out()) != noErr ||
                !PrunedFrom(*item, *counterpart))
                return false;
            continue;
        }
        bool matched = false;
        for (; next <= wantCount && !matched; ++next) {
            if (AEGetNthDesc(&want, next, typeWildCard, &keyword, counterpart.Out()) != noErr)
                return false;
            matched = PrunedFrom(*item, *counterpart);
        }
        if (!matched) return false;
    }
    return true;
}

class FaultSweepTest : public PlatformTestWithParam<Scenario> {
protected:
    void SetUp() override {
        PlatformTestWithParam<Scenario>::SetUp();
        WriteFile(mFolder.Path("in.plist"), InputBytes());
    }
    std::string InputBytes() const {
        switch (GetParam().input) {
            case Input::Binary:
                return BinaryDocument();
            case Input::OldStyle:
                return kOldStyleDocument;
            default:
                return kXMLDocument;
        }
    }
    OwnedDesc StoredValue() const {
        return MakeRecord(
            {{FourCC("pnam"), MakeBytes(typeChar, "n\x8E")},
             {FourCC("list"),
              MakeList({MakeValue(typeSInt16, int16_t(2)),
                        MakeValue(typeIEEE32BitFloatingPoint, 1.5f),
                        MakeValue(typeLongDateTime, int64_t(3'700'000'000LL)),
                        MakeBytes(typeWildCard, "ab"), MakeValue(typeEnumerated, FourCC("yes "))})},
             {keyASUserRecordFields,
              MakeUserFields(
                  {{u"k", MakeValue(typeSInt64, int64_t(1) << 40)}, {u"e", MakeList({})}})}});
    }
    OwnedDesc Reference(const std::string& path) const {
        const DescType kind = GetParam().reference;
        return kind ? FileReference(kind, path) : FileSpecifier(ToUTF16(path));
    }
    OwnedDesc Event() {
        const Scenario& scenario = GetParam();
        OwnedDesc event =
            MakeEvent(scenario.store ? kAEStorePList : kAELoadPList, {kStoreDestination});
        if (scenario.store) {
            PutParam(event, keyDirectObject, StoredValue());
            if (scenario.source == Source::File)
                PutParam(event, kStoreDestination, Reference(mFolder.Path("out.plist")));
        } else if (scenario.input == Input::Null) {
            PutParam(event, keyDirectObject, MakeNull());
        } else if (scenario.source == Source::File) {
            PutParam(event, keyDirectObject, Reference(mFolder.Path("in.plist")));
        } else if (scenario.source == Source::TextBytes) {
            PutParam(event, keyDirectObject, MakeBytes(typeChar, InputBytes()));
        } else {
            PutParam(event, keyDirectObject, MakeUnicode(ToUTF16(InputBytes())));
        }
        return event;
    }
    OSErr Run(const OwnedDesc& event, OwnedDesc& reply) {
        return GetParam().store ? StorePList(&event.Get(), reply.Mutable(), 0)
                                : LoadPList(&event.Get(), reply.Mutable(), 0);
    }
    std::string Written() const {
        return GetParam().store && GetParam().source == Source::File
                   ? ReadFile(mFolder.Path("out.plist"))
                   : "";
    }

    // One run with whatever fault is armed: a status and an empty reply, or the reference
    // result (for load with an ordinary failing call, the reference with dropped elements);
    // either way nothing leaked and a file destination holds the reference text.
    template <class Arm>
    void RunOnce(const std::string& where, Failure failure, Arm arm) {
        long descriptors = PTLiveDescriptorCount(), objects = PTLiveCFObjectCount();
        {
            OwnedDesc event = Event(), reply = MakeReply();
            arm();  // after the event is built: only the command's own calls may fail
            OSErr status = Run(event, reply);
            mFaults += PTFaultWasDelivered() ? 1 : 0;
            PTClearFaults();
            EXPECT_EQ(HasResult(reply), status == noErr) << where << " status " << status;
            EXPECT_EQ(gBusyCount, 0) << where;
            if (status == noErr && failure != Failure::kAnotherAnswer) {
                OwnedDesc result = ResultOf(reply);
                const bool exact = Describe(*result) == mExpected;
                const bool dropped = !GetParam().store && failure == Failure::kOther &&
                                     PrunedFrom(*result, *mExpectedDesc);
                EXPECT_TRUE(exact || dropped) << where << " gave " << Describe(*result);
                ++mChecked;
            }
            if (failure != Failure::kAnotherAnswer) {
                EXPECT_EQ(Written(), mWritten) << where;
            }
            // Another answer may have written another text; the next run starts from ours.
            if (Written() != mWritten) WriteFile(mFolder.Path("out.plist"), mWritten);
        }
        EXPECT_EQ(PTLiveDescriptorCount(), descriptors) << where;
        EXPECT_EQ(PTLiveCFObjectCount(), objects) << where;
    }

    ScratchFolder mFolder;
    OSErr mExpectedStatus = noErr;
    OwnedDesc mExpectedDesc;
    std::string mExpected, mWritten;
    size_t mFaults = 0, mChecked = 0;
};

TEST_P(FaultSweepTest, EveryFailingCallEndsInAStatusOrTheRightResultWithNothingLeaked) {
    std::set<std::string> names = PlatformFunctionNames();
    // A run without faults: the reference result, which calls, and how many of each.
    OwnedDesc event = Event(), reply = MakeReply();
    PTReset();
    mExpectedStatus = Run(event, reply);
    if (GetParam().input == Input::Null)
        EXPECT_EQ(ErrorTextOf(reply), "load plist: no property list specified");
    else
        ASSERT_EQ(mExpectedStatus, noErr);
    mExpectedDesc = ResultOf(reply);
    mExpected = Describe(*mExpectedDesc);
    mWritten = Written();
    unsigned long total = PTTotalCallCount(), covered = 0;
    std::vector<std::pair<std::string, unsigned long>> calls;
    for (const std::string& name : names) {
        unsigned long count = PTCallCount(name.c_str());
        covered += count;
        if (count && !IsRelease(name)) calls.emplace_back(name, count);
    }
    ASSERT_EQ(covered, total) << "calls to functions the sweep does not know";

    for (int32_t status :
         {int32_t{memFullErr}, int32_t{errAEDescNotFound}, int32_t{errAEEventNotHandled}}) {
        for (const auto& call : calls) {
            // Named, not bound: clang 14 cannot capture a structured binding in a lambda.
            const std::string& name = call.first;
            for (unsigned long skip = 0; skip < call.second; ++skip) {
                RunOnce(name + " call " + std::to_string(skip + 1) + " failing with " +
                            std::to_string(status),
                        Classify(name, status),
                        [&] { PTFailCalls(name.c_str(), static_cast<long>(skip), 1, status); });
            }
        }
    }
    const size_t callFaults = mFaults;
    const bool succeeds = mExpectedStatus == noErr;
    EXPECT_GT(callFaults, succeeds ? 20u : 2u);
    // Every CF allocation in turn, until the run makes no more.
    for (long skip = 0;; ++skip) {
        const size_t before = mFaults;
        RunOnce("CF allocation " + std::to_string(skip + 1), Failure::kMemory,
                [&] { PTFailCFAllocations(skip, 1); });
        if (mFaults == before) break;
    }
    if (succeeds) {
        EXPECT_GT(mFaults, callFaults) << "no CF allocation was failed";
        EXPECT_GT(mChecked, 0u) << "no successful result was checked";
    }
    mExpectedDesc = OwnedDesc();  // before the fixture counts what is left
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FaultSweepTest,
    ::testing::Values(Scenario{"LoadXMLText", false, Input::XML, Source::Text},
                      Scenario{"LoadBinaryText", false, Input::Binary, Source::TextBytes},
                      Scenario{"LoadOldStyleText", false, Input::OldStyle, Source::Text},
                      Scenario{"LoadXMLAlias", false, Input::XML, Source::File, typeAlias},
                      Scenario{"LoadBinaryFSRef", false, Input::Binary, Source::File, typeFSRef},
                      Scenario{"LoadOldStyleURL", false, Input::OldStyle, Source::File,
                               typeFileURL},
                      Scenario{"LoadXMLPOSIXPath", false, Input::XML, Source::File, FourCC("psxf")},
                      Scenario{"LoadBinarySpecifier", false, Input::Binary, Source::File, 0},
                      Scenario{"LoadNullErrorText", false, Input::Null},
                      Scenario{"StoreText", true},
                      Scenario{"StoreURL", true, Input::XML, Source::File, typeFileURL},
                      Scenario{"StorePOSIXPath", true, Input::XML, Source::File, FourCC("psxf")}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

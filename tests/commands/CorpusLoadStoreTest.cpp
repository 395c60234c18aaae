// Every real-world file the real framework reads, loaded and stored again as text, must give
// the real framework's bytes: nothing dropped, changed or invented on the way through the
// descriptors (unsigned 64-bit integers included).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/CommandTestSupport.h"
#include "shell/AdditionEntryPoints.h"
#include "support/PlatformTest.h"
#include "support/TestNames.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = std::string(PLISTBRIDGE_TEST_DATA_DIR) + "/corpus/";

// The files the real framework reads (their expected output is not a refusal).
std::vector<std::string> ReadableFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kCorpus + "files")) {
        std::string name = entry.path().filename().string();
        if (ReadFile(kCorpus + "expect/" + name + ".cf.xml").rfind("REJECT", 0) != 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CorpusLoadStore : public PlatformTestWithParam<std::string> {
protected:
    // load FILE | store -: the stored text, or what failed.
    std::string LoadThenStore(const std::string& path) {
        OwnedDesc load = MakeEvent(kAELoadPList);
        PutParam(load, keyDirectObject, FileReference(typeFileURL, path));
        OwnedDesc loaded = MakeReply();
        OSErr status = LoadPList(&load.Get(), loaded.Mutable(), 0);
        if (status) return "load failed with " + std::to_string(status);
        OwnedDesc store = MakeEvent(kAEStorePList, {kStoreDestination});
        PutParam(store, keyDirectObject, ResultOf(loaded));
        OwnedDesc stored = MakeReply();
        status = StorePList(&store.Get(), stored.Mutable(), 0);
        if (status) return "store failed with " + std::to_string(status);
        return Describe(*ResultOf(stored));
    }
};

TEST_P(CorpusLoadStore, GivesTheRealFrameworksBytes) {
    std::string expected = ReadFile(kCorpus + "expect/" + GetParam() + ".cf.xml");
    EXPECT_EQ(LoadThenStore(kCorpus + "files/" + GetParam()),
              Describe(*MakeUnicode(ToUTF16(expected))));
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusLoadStore, ::testing::ValuesIn(ReadableFiles()),
                         [](const auto& info) { return TestNameOf(info.param); });

}  // namespace

// A mapped input that another process shortens while the tool reads it: the tool must see an
// early end, know that it happened and go on, not die of SIGBUS. Faults outside a guarded
// input must still end the process as before.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <numeric>
#include <string>

#include <gtest/gtest.h>

#include "common/Sanitizers.h"
#include "tools/cli/ToolSupport.h"

namespace {

class InputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/plistbridge-input-XXXXXX";
        mFd = mkstemp(name);
        ASSERT_GE(mFd, 0);
        mPath = name;
        Fill();
    }
    void Fill() {
        const std::string text(kSize, 'x');
        ASSERT_EQ(pwrite(mFd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    }
    void TearDown() override {
        close(mFd);
        unlink(mPath.c_str());
    }
    // Reads every byte, as a parser would; the sum of their values.
    static long ReadAll(std::string_view bytes) {
        return std::accumulate(bytes.begin(), bytes.end(), 0L, [](long sum, char c) {
            return sum + static_cast<unsigned char>(c);
        });
    }

    static constexpr size_t kSize = 5 * 4096 + 100;
    std::string mPath;
    int mFd = -1;
};

TEST_F(InputFileTest, ShortenedWhileMappedReadsZerosAndSaysSo) {
    for (size_t keep : {size_t{0}, size_t{4096}, size_t{4096 + 7}}) {
        Fill();
        InputFile input;
        std::string reason;
        ASSERT_TRUE(input.Open(mPath, reason)) << reason;
        EXPECT_FALSE(input.Shrank());
        ASSERT_EQ(ftruncate(mFd, static_cast<off_t>(keep)), 0);
        const std::string_view bytes = input.Bytes();
        ASSERT_EQ(bytes.size(), kSize);
        // What is left of the file may read as itself or as zeros; what went away, as zeros.
        EXPECT_LE(ReadAll(bytes), static_cast<long>(keep) * 'x') << keep;
        EXPECT_EQ(bytes.back(), '\0') << keep;
        EXPECT_TRUE(input.Shrank()) << keep;
        input.Close();
        // The next input is guarded afresh.
        Fill();
        ASSERT_TRUE(input.Open(mPath, reason)) << reason;
        EXPECT_EQ(ReadAll(input.Bytes()), static_cast<long>(kSize) * 'x');
        EXPECT_FALSE(input.Shrank());
    }
}

TEST_F(InputFileTest, AFileLeftAloneIsReadWhole) {
    InputFile input;
    std::string reason;
    ASSERT_TRUE(input.Open(mPath, reason)) << reason;
    EXPECT_EQ(ReadAll(input.Bytes()), static_cast<long>(kSize) * 'x');
    EXPECT_FALSE(input.Shrank());
}

// Only the guarded input is looked after: a fault in any other mapping still kills.
TEST_F(InputFileTest, OtherFaultsStillEndTheProcess) {
    InputFile input;
    std::string reason;
    ASSERT_TRUE(input.Open(mPath, reason)) << reason;  // the handler is installed
    auto* other = static_cast<volatile char*>(mmap(nullptr, kSize, PROT_READ, MAP_PRIVATE, mFd, 0));
    ASSERT_NE(other, MAP_FAILED);
    EXPECT_EXIT(
        {
            if (ftruncate(mFd, 0) != 0) std::exit(0);
            std::exit(other[kSize - 1]);
        },
        // SIGBUS, or whatever the handler before ours does with it: the address sanitizer
        // reports the fault and exits with a failure status.
        [](int status) {
#ifdef PLISTBRIDGE_ASAN
            if (WIFEXITED(status)) return WEXITSTATUS(status) != 0;
#endif
            return WIFSIGNALED(status);
        },
        "");
    munmap(const_cast<char*>(other), kSize);
}

}  // namespace

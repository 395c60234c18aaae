// Reading and atomically writing the files that file: URLs name.
#include <CoreFoundation/CoreFoundation.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFURLAccessTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        char pattern[] = "/tmp/cfurlaccess.XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        mDir = pattern;
    }
    void TearDown() override {
        std::system(("rm -rf '" + mDir + "'").c_str());
        PlatformTest::TearDown();
    }
    cf::Ref<CFURLRef> URL(const std::string& name) {
        return cf::Ref<CFURLRef>(cf::url::CreateFileURL(mDir + "/" + name, false));
    }
    std::string Contents(const std::string& name) {
        std::ifstream in(mDir + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        if (DIR* d = opendir(mDir.c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.'))
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    static cf::Ref<CFDataRef> Data(const std::string& s) {
        return cf::Ref<CFDataRef>(
            cf::CreateData(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    }
    std::string mDir;
};

TEST_F(CFURLAccessTest, WriteReplacesAndReadReturnsTheBytes) {
    SInt32 error = 1;
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("a b.plist").Get(), Data("first").Get(),
                                                      nullptr, &error));
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("a b.plist").Get(), Data("second").Get(),
                                                      nullptr, &error));
    EXPECT_EQ(Contents("a b.plist"), "second");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a b.plist"}) << "no temporary file left";

    // The escaped path, and a localhost host, name the same file.
    std::string text = "file://localhost" + mDir + "/a%20b.plist";
    cf::Ref<CFURLRef> url(CFURLCreateWithString(
        nullptr, cf::Ref<CFStringRef>(cf::CreateStringFromUTF8(text)).Get(), nullptr));
    CFDataRef data = nullptr;
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.Get(), &data, nullptr,
                                                         nullptr, &error));
    cf::Ref<CFDataRef> held(data);
    EXPECT_TRUE(CFEqual(data, Data("second").Get()));
}

TEST_F(CFURLAccessTest, PermissionsOfAnExistingFileAreKept) {
    std::string path = mDir + "/kept";
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("kept").Get(), Data("x").Get(), nullptr,
                                                      nullptr));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0644u & ~mask);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("kept").Get(), Data("y").Get(), nullptr,
                                                      nullptr));
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CFURLAccessTest, RefusedURLsTouchNothing) {
    struct {
        std::string url;
        SInt32 error;
    } cases[] = {
        {"file://" + mDir + "/missing/dir/x.plist", kCFURLResourceNotFoundError},
        {"http://example.invalid/x.plist", kCFURLUnknownSchemeError},
        {"file://remote" + mDir + "/x.plist", kCFURLUnknownSchemeError},
        {"x.plist", kCFURLImproperArgumentsError},
        {"file://" + mDir + "/", kCFURLImproperArgumentsError},
    };
    for (const auto& c : cases) {
        cf::Ref<CFURLRef> url(CFURLCreateWithString(
            nullptr, cf::Ref<CFStringRef>(cf::CreateStringFromUTF8(c.url)).Get(), nullptr));
        ASSERT_TRUE(url) << c.url;
        SInt32 error = 0;
        EXPECT_FALSE(
            CFURLWriteDataAndPropertiesToResource(url.Get(), Data("x").Get(), nullptr, &error));
        EXPECT_EQ(error, c.error) << c.url;
        CFDataRef data = reinterpret_cast<CFDataRef>(1);
        EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.Get(), &data, nullptr,
                                                              nullptr, &error));
        EXPECT_EQ(data, nullptr);
    }
    EXPECT_TRUE(Entries().empty());
    SInt32 error = 0;
    CFDataRef data = nullptr;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, URL("absent").Get(), &data,
                                                          nullptr, nullptr, &error));
    EXPECT_EQ(error, kCFURLResourceNotFoundError);
}

TEST_F(CFURLAccessTest, AWriteThatFailsMidwayLeavesTheOldFile) {
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("keep").Get(), Data("old content").Get(),
                                                      nullptr, nullptr));
    // A file-size limit makes the write fail after part of the data is on disk.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SInt32 error = 0;
    bool ok = CFURLWriteDataAndPropertiesToResource(
        URL("keep").Get(), Data(std::string(100000, 'n')).Get(), nullptr, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, kCFURLUnknownError);
    EXPECT_EQ(Contents("keep"), "old content");
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep"}) << "the temporary file was removed";
}

TEST_F(CFURLAccessTest, InjectedFailureReportsAndClearsOutputs) {
    PTFailCalls("CFURLCreateDataAndPropertiesFromResource", 0, 1, -7);
    CFDataRef data = reinterpret_cast<CFDataRef>(1);
    SInt32 error = 0;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, URL("x").Get(), &data, nullptr,
                                                          nullptr, &error));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(error, -7);
}

}  // namespace

// Reading and atomically writing the files that file: URLs name.
#include <CoreFoundation/CoreFoundation.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/CoreFoundation/CFFilePrivate.h"
#include "platform/CoreFoundation/CFInternal.h"
#include "support/PlatformTest.h"

namespace {

class CFURLAccessTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        mDir = (std::filesystem::temp_directory_path() / "cfurlaccess.XXXXXX").string();
        ASSERT_TRUE(mkdtemp(mDir.data()));
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

// A file is read whole whatever its size, an empty one too; a read whose data object cannot be
// made is memFullErr (-108), with nothing handed out.
TEST_F(CFURLAccessTest, ReadsWholeFilesAndReportsMemoryAsMemFull) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{3 * 65536 + 5}}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
        ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("whole").Get(), Data(bytes).Get(),
                                                          nullptr, nullptr));
        CFDataRef data = nullptr;
        SInt32 error = 1;
        ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, URL("whole").Get(), &data,
                                                             nullptr, nullptr, &error));
        cf::Ref<CFDataRef> held(data);
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(CFEqual(data, Data(bytes).Get())) << size;
    }
    // The data object is the call's last allocation: failing each in turn, the last failure
    // before success is that one.
    SInt32 lastError = 0;
    for (long skip = 0;; ++skip) {
        cf::Ref<CFURLRef> url = URL("whole");
        PTFailCFAllocations(skip, 1);
        CFDataRef data = reinterpret_cast<CFDataRef>(1);
        SInt32 error = 0;
        const bool read = CFURLCreateDataAndPropertiesFromResource(nullptr, url.Get(), &data,
                                                                   nullptr, nullptr, &error);
        PTClearFaults();
        cf::Ref<CFDataRef> held(read ? data : nullptr);
        if (read) break;
        EXPECT_EQ(data, nullptr);
        lastError = error;
        ASSERT_LT(skip, 100);
    }
    EXPECT_EQ(lastError, -108);
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

cf::Ref<CFURLRef> PathURL(const std::string& path) {
    return cf::Ref<CFURLRef>(cf::url::CreateFileURL(path, false));
}

// Runs `body` in a child process; its exit status (as waitpid gives it).
template <class Body>
int InChild(Body body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST_F(CFURLAccessTest, DescriptorNamesAreWrittenThroughInPlace) {
    // As `{ echo H; store --to /dev/stdout; echo F; } > f` does: the redirected file keeps what
    // came before and after, and is not replaced by a new one.
    const std::string path = mDir + "/redirected";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string n = std::to_string(fd);
    for (const std::string& name : {"/dev/fd/" + n, "/proc/self/fd/" + n}) {
        ASSERT_EQ(::write(fd, "H", 1), 1);
        SInt32 error = 1;
        EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(PathURL(name).Get(), Data("xml").Get(),
                                                          nullptr, &error))
            << name;
        EXPECT_EQ(error, 0);
        ASSERT_EQ(::write(fd, "F", 1), 1);
    }
    // A link to a descriptor name is one too.
    ASSERT_EQ(::symlink(("/dev/fd/" + n).c_str(), (mDir + "/link").c_str()), 0);
    EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("link").Get(), Data("!").Get(), nullptr,
                                                      nullptr));
    ::close(fd);
    EXPECT_EQ(Contents("redirected"), "HxmlFHxmlF!");
    // A descriptor that is closed or read-only is refused.
    SInt32 error = 0;
    EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(PathURL("/dev/fd/" + n).Get(),
                                                       Data("x").Get(), nullptr, &error));
    EXPECT_EQ(error, kCFURLResourceNotFoundError);
    const int reader = ::open(path.c_str(), O_RDONLY);
    EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(
        PathURL("/dev/fd/" + std::to_string(reader)).Get(), Data("x").Get(), nullptr, &error));
    EXPECT_EQ(error, kCFURLResourceAccessViolationError);
    ::close(reader);
}

TEST_F(CFURLAccessTest, DevicesAndPipesAreWrittenInPlace) {
    EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(PathURL("/dev/null").Get(),
                                                      Data("gone").Get(), nullptr, nullptr));
    const std::string fifo = mDir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("fifo").Get(), Data("piped").Get(),
                                                      nullptr, nullptr));
    reader.join();
    EXPECT_EQ(received, "piped");
    EXPECT_EQ(Entries(), std::vector<std::string>{"fifo"}) << "no temporary file, no new file";
}

TEST_F(CFURLAccessTest, AReplacedFileKeepsItsOwnerWhereTheProcessMaySetIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "only a privileged process can give a file away";
    const std::string path = mDir + "/owned";
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("owned").Get(), Data("x").Get(), nullptr,
                                                      nullptr));
    ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("owned").Get(), Data("y").Get(), nullptr,
                                                      nullptr));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 8765u);
    EXPECT_EQ(Contents("owned"), "y");
}

TEST_F(CFURLAccessTest, EndlessSourcesAreReadUpToTheLimitThenRefused) {
    // Bounded by CPU time: a read that did not stop would be ended by SIGXCPU.
    const int status = InChild([] {
        rlimit cpu{20, 20};
        ::setrlimit(RLIMIT_CPU, &cpu);
        CFDataRef data = reinterpret_cast<CFDataRef>(1);
        SInt32 error = 0;
        const bool ok = CFURLCreateDataAndPropertiesFromResource(
            nullptr, PathURL("/dev/zero").Get(), &data, nullptr, nullptr, &error);
        return !ok && !data && error == kCFURLUnknownError && PBFileLastError() == EFBIG ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    CFDataRef data = nullptr;
    SInt32 error = 0;
    // A pipe shorter than the limit reads whole.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        std::string text(100000, 'p');
        EXPECT_EQ(::write(fds[1], text.data(), text.size()), 100000);
        ::close(fds[1]);
    });
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(
        nullptr, PathURL("/dev/fd/" + std::to_string(fds[0])).Get(), &data, nullptr, nullptr,
        &error));
    writer.join();
    ::close(fds[0]);
    cf::Ref<CFDataRef> held(data);
    EXPECT_EQ(CFDataGetLength(data), 100000);
}

TEST_F(CFURLAccessTest, AWritePastTheFileSizeLimitFailsAndRemovesItsTemporaryFile) {
    // With SIGXFSZ at its default, which would end the process and leave the temporary file.
    const int status = InChild([&] {
        ::signal(SIGXFSZ, SIG_DFL);
        rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &small);
        SInt32 error = 0;
        bool ok = CFURLWriteDataAndPropertiesToResource(
            URL("big").Get(), Data(std::string(100000, 'n')).Get(), nullptr, &error);
        struct sigaction now {};
        ::sigaction(SIGXFSZ, nullptr, &now);
        // Failed, and the default disposition is back.
        return !ok && error == kCFURLUnknownError && now.sa_handler == SIG_DFL ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(CFURLAccessTest, ATerminatingSignalDuringAWriteRemovesTheTemporaryFile) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        bool caught = false;
        // The write must be caught in progress; a big one is, almost always at once.
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            pid_t child = ::fork();
            if (child == 0) {
                std::string bytes(size_t{64} << 20, 'w');
                for (;;)
                    CFURLWriteDataAndPropertiesToResource(URL("target").Get(), Data(bytes).Get(),
                                                          nullptr, nullptr);
            }
            // Wait for a temporary file to appear, then end the child.
            for (int i = 0; i < 20000; ++i) {
                bool temporary = false;
                for (const std::string& name : Entries()) temporary |= name != "target";
                if (temporary) break;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            ::kill(child, signal);
            int status = 0;
            ::waitpid(child, &status, 0);
            caught = WIFSIGNALED(status) && WTERMSIG(status) == signal;
            EXPECT_TRUE(caught) << "signal " << signal;
            for (const std::string& name : Entries())
                EXPECT_EQ(name, "target") << "signal " << signal << " left a temporary file";
        }
    }
}

// The unprivileged user the permission cases act as, in a child process.
constexpr uid_t kNobody = 65534;

// Runs `body` in a child acting as `nobody`; 0 when body returned 0.
template <class Body>
int AsNobody(Body body) {
    const int status = InChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            return 99;
        return body();
    });
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(CFURLAccessTest, ATargetTheCallerCouldNotOpenForWritingIsRefusedUnchanged) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user in a child";
    ASSERT_EQ(::chmod(mDir.c_str(), 0777), 0);  // anyone may replace files in the folder
    struct {
        const char* name;
        mode_t mode;
        uid_t owner;
        bool writable;
    } cases[] = {
        {"root-0644", 0644, 0, false},
        {"own-0444", 0444, kNobody, false},
        {"root-0600", 0600, 0, false},
        // Written, and in place: a replacement would belong to the caller.
        {"root-0666", 0666, 0, true},
    };
    for (const auto& c : cases) {
        const std::string path = mDir + "/" + c.name;
        std::ofstream(path) << "old";
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(path.c_str(), c.owner, 0), 0);
        const int result = AsNobody([&] {
            SInt32 error = 0;
            const bool ok = CFURLWriteDataAndPropertiesToResource(
                URL(c.name).Get(), Data("new").Get(), nullptr, &error);
            if (ok) return c.writable ? 0 : 1;
            return error == kCFURLResourceAccessViolationError && PBFileLastError() == EACCES &&
                           !c.writable
                       ? 0
                       : 2;
        });
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_EQ(Contents(c.name), c.writable ? "new" : "old") << c.name;
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.owner) << c.name;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.name;
    }
    EXPECT_EQ(Entries().size(), std::size(cases)) << "a temporary file was left";
}

TEST_F(CFURLAccessTest, AFileWithHardLinksIsWrittenThroughAndKeepsThem) {
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("a").Get(), Data("first, long").Get(),
                                                      nullptr, nullptr));
    ASSERT_EQ(::link((mDir + "/a").c_str(), (mDir + "/b").c_str()), 0);
    for (const char* bytes : {"second", "a third, longer than both"}) {
        ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(URL("a").Get(), Data(bytes).Get(),
                                                          nullptr, nullptr));
        EXPECT_EQ(Contents("b"), bytes);
    }
    struct stat info {};
    ASSERT_EQ(::stat((mDir + "/a").c_str(), &info), 0);
    EXPECT_EQ(info.st_nlink, 2u);
}

TEST_F(CFURLAccessTest, EveryTargetNameTheSystemAllowsCanBeWritten) {
    for (size_t length : {1, 200, 247, 248, 250, 255}) {
        const std::string name(length, 'n');
        SInt32 error = 0;
        EXPECT_TRUE(CFURLWriteDataAndPropertiesToResource(URL(name).Get(), Data("x").Get(), nullptr,
                                                          &error))
            << length << ": " << error;
        EXPECT_EQ(Contents(name), "x") << length;
        EXPECT_EQ(Entries(), std::vector<std::string>{name});
        ::unlink((mDir + "/" + name).c_str());
    }
}

TEST_F(CFURLAccessTest, FailuresKeepTheSystemsReason) {
    ASSERT_EQ(::mkdir((mDir + "/folder").c_str(), 0755), 0);
    struct {
        std::string path;
        int error;
    } cases[] = {
        {mDir + "/folder", EISDIR},
        {mDir + "/missing/x", ENOENT},
        {"/dev/full", ENOSPC},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(PathURL(c.path).Get(), Data("x").Get(),
                                                           nullptr, nullptr))
            << c.path;
        EXPECT_EQ(PBFileLastError(), c.error) << c.path;
    }
    EXPECT_TRUE(
        CFURLWriteDataAndPropertiesToResource(URL("ok").Get(), Data("x").Get(), nullptr, nullptr));
    EXPECT_EQ(PBFileLastError(), 0);
}

TEST_F(CFURLAccessTest, LinksInStickyFoldersAreFollowedOnlyWhereTheKernelWould) {
    std::ifstream setting("/proc/sys/fs/protected_symlinks");
    int protectedLinks = 0;
    setting >> protectedLinks;
    if (protectedLinks != 1) GTEST_SKIP() << "fs.protected_symlinks is off on this system";
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to own links as other users";
    const std::string sticky = mDir + "/sticky";
    ASSERT_EQ(::mkdir(sticky.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(mDir.c_str(), 0755), 0);
    std::ofstream(mDir + "/target") << "old";
    ASSERT_EQ(::chmod((mDir + "/target").c_str(), 0666), 0);
    // Owned by neither the follower nor the folder's owner: not followed.
    for (uid_t linkOwner : {uid_t{4321}, uid_t{0}}) {
        const std::string link = sticky + "/link" + std::to_string(linkOwner);
        ASSERT_EQ(::symlink((mDir + "/target").c_str(), link.c_str()), 0);
        ASSERT_EQ(::lchown(link.c_str(), linkOwner, 0), 0);
        const bool followed = linkOwner == 0;
        EXPECT_EQ(AsNobody([&] {
                      return CFURLWriteDataAndPropertiesToResource(PathURL(link).Get(),
                                                                   Data("new").Get(), nullptr,
                                                                   nullptr) == followed
                                 ? 0
                                 : 1;
                  }),
                  0)
            << linkOwner;
        EXPECT_EQ(Contents("target"), followed ? "new" : "old") << linkOwner;
    }
}

TEST_F(CFURLAccessTest, ALinkIsWrittenThroughToItsTargetAndStaysALink) {
    std::ofstream(mDir + "/existing") << "old";
    struct {
        const char* link;
        const char* target;
        int error;
    } cases[] = {
        {"to-existing", "existing", 0},
        {"dangling", "created", 0},
        {"loop", "loop", ELOOP},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(::symlink(c.target, (mDir + "/" + c.link).c_str()), 0);
        EXPECT_EQ(CFURLWriteDataAndPropertiesToResource(URL(c.link).Get(), Data("new").Get(),
                                                        nullptr, nullptr),
                  c.error == 0)
            << c.link;
        EXPECT_EQ(PBFileLastError(), c.error) << c.link;
        struct stat info {};
        ASSERT_EQ(::lstat((mDir + "/" + c.link).c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.link;
        EXPECT_EQ(Contents(c.target), c.error == 0 ? "new" : "") << c.link;
    }
}

TEST_F(CFURLAccessTest, AWritableFileInAFolderTheCallerCannotWriteIsWrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to act as another user in a child";
    const std::string path = mDir + "/mine";
    std::ofstream(path) << "old";
    ASSERT_EQ(::chown(path.c_str(), kNobody, 0), 0);
    ASSERT_EQ(::chmod(mDir.c_str(), 0755), 0);
    EXPECT_EQ(AsNobody([&] {
                  return CFURLWriteDataAndPropertiesToResource(URL("mine").Get(), Data("new").Get(),
                                                               nullptr, nullptr)
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(Contents("mine"), "new");
    EXPECT_EQ(Entries(), std::vector<std::string>{"mine"});
}

TEST_F(CFURLAccessTest, ALargeFileIsMappedAndItsShorteningNoticed) {
    const std::string path = mDir + "/large";
    std::ofstream(path) << std::string(1 << 20, 'm');
    CFDataRef data = nullptr;
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, URL("large").Get(), &data,
                                                         nullptr, nullptr, nullptr));
    cf::Ref<CFDataRef> held(data);
    ASSERT_EQ(CFDataGetLength(data), 1 << 20);
    EXPECT_EQ(CFDataGetBytePtr(data)[(1 << 20) - 1], 'm');
    EXPECT_FALSE(PBFileGuardedMappingShrank());
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    // What went away reads as zeros, and is noted, rather than ending the process.
    EXPECT_EQ(CFDataGetBytePtr(data)[(1 << 20) - 1], 0);
    EXPECT_TRUE(PBFileGuardedMappingShrank());
    held.Reset();
    // The guard went with the data: the next file is mapped and guarded afresh.
    std::ofstream(path) << std::string(1 << 20, 'n');
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, URL("large").Get(), &data,
                                                         nullptr, nullptr, nullptr));
    held.Reset(data);
    EXPECT_EQ(CFDataGetBytePtr(data)[(1 << 20) - 1], 'n');
    EXPECT_FALSE(PBFileGuardedMappingShrank());
}

TEST_F(CFURLAccessTest, TheReadLimitCanBeRaised) {
    for (size_t limit : {size_t{1000}, size_t{6000}}) {
        PBFileSetReadLimit(limit);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        std::thread writer([&] {
            const std::string text(5000, 'p');
            (void)!::write(fds[1], text.data(), text.size());
            ::close(fds[1]);
        });
        CFDataRef data = nullptr;
        const bool ok = CFURLCreateDataAndPropertiesFromResource(
            nullptr, PathURL("/dev/fd/" + std::to_string(fds[0])).Get(), &data, nullptr, nullptr,
            nullptr);
        ::close(fds[0]);
        writer.join();
        cf::Ref<CFDataRef> held(data);
        EXPECT_EQ(ok, limit > 5000) << limit;
        EXPECT_EQ(PBFileLastError(), ok ? 0 : EFBIG) << limit;
    }
    PBFileSetReadLimit(PB_DEFAULT_READ_LIMIT);
}

}  // namespace

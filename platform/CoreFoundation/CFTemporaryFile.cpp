// Temporary files that do not outlive an interrupted process. The handlers touch only what is
// async-signal-safe: lock-free atomics, fixed arrays of path bytes, unlink, sigaction, raise.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/CoreFoundation/CFFileAccess.h"

namespace cf::file {
namespace {

constexpr int kTerminating[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSlotCount = 16;

// A slot's path is read by the handler only while its state is kReady.
enum SlotState : int { kFree, kFilling, kReady };
std::atomic<int> gSlotState[kSlotCount];
char gSlotPath[kSlotCount][PATH_MAX];
static_assert(std::atomic<int>::is_always_lock_free);

// Dispositions are changed only while at least one temporary file exists, and only from the
// default: a host that handles or ignores these signals itself keeps its own behaviour.
std::mutex gInstallMutex;
int gActive = 0;
struct sigaction gPrevious[4];
bool gInstalled[4];

void RemoveTemporariesAndDie(int signal) {
    for (int i = 0; i < kSlotCount; ++i)
        if (gSlotState[i].load() == kReady) ::unlink(gSlotPath[i]);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    // Blocked while this handler runs; delivered on return, with the default action.
    ::raise(signal);
}

void InstallHandlers() {
    std::lock_guard lock(gInstallMutex);
    if (gActive++ > 0) return;
    for (int i = 0; i < 4; ++i) {
        const int signal = i < 3 ? kTerminating[i] : SIGXFSZ;
        gInstalled[i] = false;
        if (::sigaction(signal, nullptr, &gPrevious[i]) != 0 ||
            (gPrevious[i].sa_flags & SA_SIGINFO) || gPrevious[i].sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        sigfillset(&action.sa_mask);
        // A file grown past RLIMIT_FSIZE then fails its write with EFBIG, and the ordinary
        // failure path removes the temporary file.
        action.sa_handler = signal == SIGXFSZ ? SIG_IGN : RemoveTemporariesAndDie;
        gInstalled[i] = ::sigaction(signal, &action, nullptr) == 0;
    }
}

void RestoreHandlers() {
    std::lock_guard lock(gInstallMutex);
    if (--gActive > 0) return;
    for (int i = 0; i < 4; ++i)
        if (gInstalled[i]) ::sigaction(i < 3 ? kTerminating[i] : SIGXFSZ, &gPrevious[i], nullptr);
}

// Blocks the terminating signals for its lifetime, so a slot and its file change together.
class SignalsBlocked {
public:
    SignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : kTerminating) sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, &mSaved);
    }
    ~SignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &mSaved, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t mSaved;
};

int ClaimSlot(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;  // still removed on failure, not on a signal
    for (int i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (gSlotState[i].compare_exchange_strong(expected, kFilling)) {
            std::memcpy(gSlotPath[i], path.c_str(), path.size() + 1);
            gSlotState[i].store(kReady);
            return i;
        }
    }
    return -1;
}

}  // namespace

std::string TemporaryTemplateFor(const std::string& target) {
    const size_t slash = target.rfind('/');        // npos + 1: no folder
    constexpr size_t kAffixes = sizeof ".XXXXXX";  // and the leading dot
    std::string name = target.substr(slash + 1);
    if (name.size() > NAME_MAX - kAffixes) name.resize(NAME_MAX - kAffixes);
    return target.substr(0, slash + 1) + "." + name + ".XXXXXX";
}

TemporaryFile::TemporaryFile(std::string pathTemplate) : mPath(std::move(pathTemplate)) {
    InstallHandlers();
    SignalsBlocked blocked;
    int fd = ::mkostemp(mPath.data(), O_CLOEXEC);
    if (fd < 0) {
        mError = errno;
        return;
    }
    mFD = FileDescriptor(fd);
    mSlot = ClaimSlot(mPath);
}

TemporaryFile::~TemporaryFile() {
    if (mFD || mSlot >= 0 || !mPath.empty()) Discard();
    RestoreHandlers();
}

int TemporaryFile::RenameTo(const std::string& target) {
    SignalsBlocked blocked;
    if (::rename(mPath.c_str(), target.c_str()) != 0) return errno;
    Forget();
    return 0;
}

void TemporaryFile::Discard() {
    SignalsBlocked blocked;
    mFD = FileDescriptor();
    if (!mPath.empty() && mError == 0) ::unlink(mPath.c_str());
    Forget();
}

void TemporaryFile::Forget() {
    if (mSlot >= 0) gSlotState[mSlot].store(kFree);
    mSlot = -1;
    mPath.clear();
}

}  // namespace cf::file

// Call counters, fault injection and live-object accounting for the stand-in.
#include "PlatformTesting.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Testing/PTInternal.h"

namespace pt {

bool gArmed = false;

namespace {

struct State {
    std::map<std::string, std::unique_ptr<Site>, std::less<>> sites;
    unsigned long totalCalls = 0;
    unsigned long failAtCall = 0;  // 0: no nth-call fault armed
    int32_t failAtCallStatus = 0;
    bool anyFault = false;  // fast path: one branch when nothing is armed
    bool delivered = false;
    long allocSkip = 0;
    long allocFailures = 0;
    long doubleReleases = 0;
#ifdef NDEBUG
    bool abortOnDoubleRelease = false;
#else
    bool abortOnDoubleRelease = true;
#endif
};

State& TheState() {
    static State* state = new State;  // never destroyed: platform calls may run at exit
    return *state;
}

// Live-object counts are kept per thread: a property-list read creates millions of objects,
// and an uncontended locked add per object is measurable there. Only the owning thread
// writes its counters (plain load + store, no lock); readers sum every thread's counters.
// A thread's counters stay registered after it exits, so objects it made and another thread
// freed still balance, and nothing is torn down while exit-time code may still count.
struct LiveCounts {
    std::atomic<long> descriptors{0};
    std::atomic<long> cfObjects{0};
};

struct LiveRegistry {
    std::mutex lock;
    std::deque<LiveCounts> threads;  // a deque never moves its elements
};

LiveRegistry& Registry() {
    static LiveRegistry* registry = new LiveRegistry;  // outlives every thread
    return *registry;
}

LiveCounts& RegisterThread() {
    LiveRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.threads.emplace_back();
}

LiveCounts& ThisThread() {
    thread_local LiveCounts* counts = &RegisterThread();
    return *counts;
}

void Add(std::atomic<long>& counter, long delta) {
    counter.store(counter.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

long Sum(std::atomic<long> LiveCounts::*member) {
    LiveRegistry& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    long total = 0;
    for (LiveCounts& counts : r.threads) total += (counts.*member).load();
    return total;
}

void RecomputeAnyFault(State& s) {
    s.anyFault = s.failAtCall != 0 || s.allocFailures > 0;
    for (auto& [name, site] : s.sites)
        if (site->failures > 0) s.anyFault = true;
}

}  // namespace

Site& RegisterSite(const char* name) {
    auto& sites = TheState().sites;
    auto it = sites.find(name);
    if (it == sites.end()) it = sites.emplace(name, std::make_unique<Site>(Site{name})).first;
    return *it->second;
}

bool Enter(Site& site, int32_t& status) {
    State& s = TheState();
    ++site.calls;
    ++s.totalCalls;
    if (!s.anyFault) return false;
    if (s.failAtCall != 0 && --s.failAtCall == 0) {
        status = s.failAtCallStatus;
        s.delivered = true;
        RecomputeAnyFault(s);
        return true;
    }
    if (site.failures > 0) {
        if (site.skip > 0) {
            --site.skip;
            return false;
        }
        --site.failures;
        status = site.status;
        s.delivered = true;
        RecomputeAnyFault(s);
        return true;
    }
    return false;
}

bool CFAllocationFailsArmed() {
    State& s = TheState();
    if (s.allocFailures <= 0) return false;
    if (s.allocSkip > 0) {
        --s.allocSkip;
        return false;
    }
    --s.allocFailures;
    s.delivered = true;
    RecomputeAnyFault(s);
    return true;
}

bool CFAllocationFaultPendingArmed() {
    return TheState().allocFailures > 0;
}

void CountDescriptor(long delta) {
    Add(ThisThread().descriptors, delta);
}
void CountCFObject(long delta) {
    Add(ThisThread().cfObjects, delta);
}

void DoubleRelease(const char* what) {
    State& s = TheState();
    ++s.doubleReleases;
    std::fprintf(stderr, "platform: double release of %s\n", what);
    if (s.abortOnDoubleRelease) std::abort();
}

}  // namespace pt

extern "C" {

void PTArm(void) {
    pt::gArmed = true;
}

unsigned long PTCallCount(const char* name) {
    pt::gArmed = true;
    auto& sites = pt::TheState().sites;
    auto it = sites.find(name);
    return it == sites.end() ? 0 : it->second->calls;
}

unsigned long PTTotalCallCount(void) {
    pt::gArmed = true;
    return pt::TheState().totalCalls;
}

void PTFailCalls(const char* name, long skip, long count, int32_t status) {
    pt::gArmed = true;
    pt::Site& site = pt::RegisterSite(name);
    site.skip = skip;
    site.failures = count;
    site.status = status;
    pt::RecomputeAnyFault(pt::TheState());
}

void PTFailNthCall(unsigned long n, int32_t status) {
    pt::gArmed = true;
    auto& s = pt::TheState();
    s.failAtCall = n;
    s.failAtCallStatus = status;
    pt::RecomputeAnyFault(s);
}

int PTFaultWasDelivered(void) {
    pt::gArmed = true;
    return pt::TheState().delivered ? 1 : 0;
}

void PTFailCFAllocations(long skip, long count) {
    pt::gArmed = true;
    auto& s = pt::TheState();
    s.allocSkip = skip;
    s.allocFailures = count;
    pt::RecomputeAnyFault(s);
}

void PTClearFaults(void) {
    pt::gArmed = true;
    auto& s = pt::TheState();
    for (auto& [name, site] : s.sites) site->skip = site->failures = 0;
    s.failAtCall = 0;
    s.allocSkip = s.allocFailures = 0;
    s.delivered = false;
    s.anyFault = false;
}

long PTLiveDescriptorCount(void) {
    pt::gArmed = true;
    return pt::Sum(&pt::LiveCounts::descriptors);
}
long PTLiveCFObjectCount(void) {
    pt::gArmed = true;
    return pt::Sum(&pt::LiveCounts::cfObjects);
}
long PTDoubleReleaseCount(void) {
    pt::gArmed = true;
    return pt::TheState().doubleReleases;
}
void PTSetAbortOnDoubleRelease(int on) {
    pt::gArmed = true;
    pt::TheState().abortOnDoubleRelease = on != 0;
}

void PTReset(void) {
    pt::gArmed = true;
    PTClearFaults();
    auto& s = pt::TheState();
    for (auto& [name, site] : s.sites) site->calls = 0;
    s.totalCalls = 0;
    s.doubleReleases = 0;
}

}  // extern "C"

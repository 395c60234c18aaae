// Call counters, fault injection and live-object accounting for the stand-in.
#include "PlatformTesting.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "Testing/PTInternal.h"

namespace pt {
namespace {

struct State {
    std::map<std::string, std::unique_ptr<Site>, std::less<>> sites;
    unsigned long totalCalls = 0;
    unsigned long failAtCall = 0;  // 0: no nth-call fault armed
    int32_t failAtCallStatus = 0;
    bool anyFault = false;         // fast path: one branch when nothing is armed
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

std::atomic<long> gLiveDescriptors{0};
std::atomic<long> gLiveCFObjects{0};

void RecomputeAnyFault(State& s) {
    s.anyFault = s.failAtCall != 0 || s.allocFailures > 0;
    for (auto& [name, site] : s.sites)
        if (site->failures > 0) s.anyFault = true;
}

}  // namespace

Site& RegisterSite(const char* name) {
    auto& sites = TheState().sites;
    auto it = sites.find(name);
    if (it == sites.end())
        it = sites.emplace(name, std::make_unique<Site>(Site{name})).first;
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

bool CFAllocationFails() {
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

void DescriptorCreated() { gLiveDescriptors.fetch_add(1, std::memory_order_relaxed); }
void DescriptorDisposed() { gLiveDescriptors.fetch_sub(1, std::memory_order_relaxed); }
void CFObjectCreated() { gLiveCFObjects.fetch_add(1, std::memory_order_relaxed); }
void CFObjectFreed() { gLiveCFObjects.fetch_sub(1, std::memory_order_relaxed); }

void DoubleRelease(const char* what) {
    State& s = TheState();
    ++s.doubleReleases;
    std::fprintf(stderr, "platform: double release of %s\n", what);
    if (s.abortOnDoubleRelease) std::abort();
}

}  // namespace pt

extern "C" {

unsigned long PTCallCount(const char* name) {
    auto& sites = pt::TheState().sites;
    auto it = sites.find(name);
    return it == sites.end() ? 0 : it->second->calls;
}

unsigned long PTTotalCallCount(void) { return pt::TheState().totalCalls; }

void PTFailCalls(const char* name, long skip, long count, int32_t status) {
    pt::Site& site = pt::RegisterSite(name);
    site.skip = skip;
    site.failures = count;
    site.status = status;
    pt::RecomputeAnyFault(pt::TheState());
}

void PTFailNthCall(unsigned long n, int32_t status) {
    auto& s = pt::TheState();
    s.failAtCall = n;
    s.failAtCallStatus = status;
    pt::RecomputeAnyFault(s);
}

int PTFaultWasDelivered(void) { return pt::TheState().delivered ? 1 : 0; }

void PTFailCFAllocations(long skip, long count) {
    auto& s = pt::TheState();
    s.allocSkip = skip;
    s.allocFailures = count;
    pt::RecomputeAnyFault(s);
}

void PTClearFaults(void) {
    auto& s = pt::TheState();
    for (auto& [name, site] : s.sites) site->skip = site->failures = 0;
    s.failAtCall = 0;
    s.allocSkip = s.allocFailures = 0;
    s.delivered = false;
    s.anyFault = false;
}

long PTLiveDescriptorCount(void) { return pt::gLiveDescriptors.load(); }
long PTLiveCFObjectCount(void) { return pt::gLiveCFObjects.load(); }
long PTDoubleReleaseCount(void) { return pt::TheState().doubleReleases; }
void PTSetAbortOnDoubleRelease(int on) { pt::TheState().abortOnDoubleRelease = on != 0; }

void PTReset(void) {
    PTClearFaults();
    auto& s = pt::TheState();
    for (auto& [name, site] : s.sites) site->calls = 0;
    s.totalCalls = 0;
    s.doubleReleases = 0;
}

}  // extern "C"

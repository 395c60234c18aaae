// Shared unit blocks: a registry of the live ones, so that a pointer handed to the descriptor
// stand-in is shared only when it is the start of such a block. Blocks are few (one per long
// string) and their references change rarely, so one lock guards them all.
#include "platform/CoreFoundation/CFStringSharedUnits.h"

#include "platform/CarbonCore/HugePages.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

namespace cf {
namespace {

struct Block {
    size_t bytes;
    long references;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<const void*, Block> live;
};

Registry& Blocks() {
    static Registry* registry = new Registry;  // never destroyed: strings may die at exit
    return *registry;
}

}  // namespace

char16_t* NewSharedUnits(size_t count) {
    const size_t bytes = count * sizeof(char16_t);
    auto* units = static_cast<char16_t*>(std::malloc(bytes ? bytes : 1));
    if (!units) return nullptr;
    mm::OfferHugePages(units, bytes);
    Registry& registry = Blocks();
    try {
        std::lock_guard<std::mutex> guard(registry.lock);
        registry.live.emplace(units, Block{bytes, 1});
    } catch (const std::bad_alloc&) {
        std::free(units);
        return nullptr;
    }
    return units;
}

bool RetainSharedUnits(const void* bytes, size_t size) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.live.find(bytes);
    if (found == registry.live.end() || found->second.bytes != size) return false;
    ++found->second.references;
    return true;
}

void ReleaseSharedUnits(const void* units) {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.live.find(units);
    if (found == registry.live.end() || --found->second.references > 0) return;
    registry.live.erase(found);
    std::free(const_cast<void*>(units));
}

size_t LiveSharedUnitBlocks() {
    Registry& registry = Blocks();
    std::lock_guard<std::mutex> guard(registry.lock);
    return registry.live.size();
}

}  // namespace cf

// Property-list read and write throughput on a generated media library.
//
//   PropertyListBench [benchmark flags]          Google Benchmark runs (MB/s counters)
//   PropertyListBench --generate FILE [TRACKS]   write the library's XML to FILE
//   PropertyListBench --read FILE [RUNS]         time reading FILE (for bench/compare.sh)
//   PropertyListBench --write FILE [RUNS]        time writing FILE's value back to XML
#include <CoreFoundation/CoreFoundation.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "MediaLibrary.h"
#include "desc/CFRef.h"

namespace {

// The library's XML for `tracks` entries, made once per size.
CFDataRef LibraryXML(size_t tracks) {
    static std::map<size_t, CFRef<CFDataRef>> cache;
    CFRef<CFDataRef>& xml = cache[tracks];
    if (!xml) {
        CFRef<CFDictionaryRef> library = CreateMediaLibrary(tracks);
        xml.Reset(CFPropertyListCreateXMLData(nullptr, library.Get()));
    }
    return xml.Get();
}

void BM_WriteXML(benchmark::State& state) {
    CFRef<CFDictionaryRef> library = CreateMediaLibrary(static_cast<size_t>(state.range(0)));
    int64_t bytes = 0;
    for (auto _ : state) {
        CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, library.Get()));
        if (!xml) state.SkipWithError("writer refused the library");
        bytes += xml ? CFDataGetLength(xml.Get()) : 0;
    }
    state.SetBytesProcessed(bytes);
}

void BM_ReadXML(benchmark::State& state) {
    CFDataRef xml = LibraryXML(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        CFRef<CFTypeRef> value(
            CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListImmutable, nullptr));
        if (!value) state.SkipWithError("reader refused the library");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * CFDataGetLength(xml));
}

BENCHMARK(BM_WriteXML)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXML)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The file's bytes in one malloc'd block the data object adopts: no second copy, so the
// loading itself does not set the peak memory the comparison reports.
CFRef<CFDataRef> LoadFile(const char* path) {
    std::FILE* in = std::fopen(path, "rb");
    if (!in) return {};
    long length = std::fseek(in, 0, SEEK_END) == 0 ? std::ftell(in) : -1;
    auto* bytes =
        length >= 0 ? static_cast<UInt8*>(std::malloc(static_cast<size_t>(length) + 1)) : nullptr;
    bool ok = bytes && std::fseek(in, 0, SEEK_SET) == 0 &&
              std::fread(bytes, 1, static_cast<size_t>(length), in) == static_cast<size_t>(length);
    std::fclose(in);
    CFDataRef data =
        ok ? CFDataCreateWithBytesNoCopy(nullptr, bytes, length, kCFAllocatorDefault) : nullptr;
    if (!data) std::free(bytes);
    return CFRef<CFDataRef>(data);
}

// Process CPU time (user and system) counts on a shared, loaded machine; wall time is shown too.
double Seconds(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int Generate(const char* path, size_t tracks) {
    CFRef<CFDictionaryRef> library = CreateMediaLibrary(tracks);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, library.Get()));
    std::FILE* out = std::fopen(path, "wb");
    if (!xml || !out) return 1;
    size_t length = static_cast<size_t>(CFDataGetLength(xml.Get()));
    bool ok = std::fwrite(CFDataGetBytePtr(xml.Get()), 1, length, out) == length;
    ok = std::fclose(out) == 0 && ok;
    std::printf("generated %zu tracks, %zu bytes\n", tracks, length);
    return ok ? 0 : 1;
}

// Best of `runs` CPU-time measurements of reading (or of writing back) the file, as MB/s of XML.
int Time(const char* path, bool write, int runs) {
    CFRef<CFDataRef> xml = LoadFile(path);
    if (!xml) return 1;
    double mb = static_cast<double>(CFDataGetLength(xml.Get())) / 1e6;
    CFRef<CFTypeRef> value;
    if (write) {
        value.Reset(CFPropertyListCreateFromXMLData(nullptr, xml.Get(), 0, nullptr));
        xml.Reset();  // the writer needs only the value: keep the input out of its peak memory
    }
    double bestCPU = 1e300, bestWall = 1e300;
    for (int i = 0; i < runs; ++i) {
        double startCPU = Seconds(CLOCK_PROCESS_CPUTIME_ID), startWall = Seconds(CLOCK_MONOTONIC);
        if (write) {
            CFRef<CFDataRef> out(CFPropertyListCreateXMLData(nullptr, value.Get()));
            if (!out) return 1;
        } else {
            CFRef<CFTypeRef> parsed(
                CFPropertyListCreateFromXMLData(nullptr, xml.Get(), 0, nullptr));
            if (!parsed) return 1;
        }
        bestCPU = std::min(bestCPU, Seconds(CLOCK_PROCESS_CPUTIME_ID) - startCPU);
        bestWall = std::min(bestWall, Seconds(CLOCK_MONOTONIC) - startWall);
    }
    std::printf("PlistBridge %s: %.1f MB, CPU %.3f s = %.1f MB/s, wall %.3f s = %.1f MB/s\n",
                write ? "write" : "read", mb, bestCPU, mb / bestCPU, bestWall, mb / bestWall);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--generate") == 0)
        return Generate(argv[2], argc >= 4 ? std::strtoul(argv[3], nullptr, 10) : 100000);
    if (argc >= 3 && (std::strcmp(argv[1], "--read") == 0 || std::strcmp(argv[1], "--write") == 0))
        return Time(argv[2], argv[1][2] == 'w', argc >= 4 ? std::atoi(argv[3]) : 3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

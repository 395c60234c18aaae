// Apple Event Manager scaling: building and reading a record by keyword and a list by
// position must stay linear, so the time per item is flat from 10^4 to 10^6 fields and
// 10^5 to 10^7 items. Also the flat form's write and read-back.
#include <CoreServices/CoreServices.h>
#include <benchmark/benchmark.h>

#include <vector>

#include "common/OwnedDesc.h"

namespace {

// Keywords spread over the code space, as real four-char codes are.
AEKeyword KeyFor(int64_t i) {
    return static_cast<AEKeyword>(0x61616161u + i * 2654435761u);
}

void BuildRecord(AEDesc* record, int64_t fields) {
    AECreateList(nullptr, 0, true, record);
    for (int64_t i = 0; i < fields; ++i) {
        int32_t v = static_cast<int32_t>(i);
        AEPutParamPtr(record, KeyFor(i), typeSInt32, &v, 4);
    }
}

void BM_RecordBuildAndRead(benchmark::State& state) {
    const int64_t fields = state.range(0);
    for (auto _ : state) {
        OwnedDesc record;
        BuildRecord(record.Mutable(), fields);
        int64_t sum = 0;
        for (int64_t i = 0; i < fields; ++i) {
            int32_t v = 0;
            AEGetParamPtr(&record.Get(), KeyFor(i), typeSInt32, nullptr, &v, 4, nullptr);
            sum += v;
        }
        // Replacing a field in the middle must not rescan.
        int32_t replacement = -1;
        AEPutParamPtr(record.Mutable(), KeyFor(fields / 2), typeSInt32, &replacement, 4);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * fields);
}
BENCHMARK(BM_RecordBuildAndRead)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_ListBuildAndRead(benchmark::State& state) {
    const int64_t items = state.range(0);
    for (auto _ : state) {
        OwnedDesc list;
        AECreateList(nullptr, 0, false, list.Mutable());
        for (int64_t i = 0; i < items; ++i) {
            int32_t v = static_cast<int32_t>(i);
            AEPutPtr(list.Mutable(), 0, typeSInt32, &v, 4);
        }
        long count = 0;
        AECountItems(&list.Get(), &count);
        int64_t sum = 0;
        for (long i = 1; i <= count; ++i) {
            int32_t v = 0;
            AEGetNthPtr(&list.Get(), i, typeSInt32, nullptr, nullptr, &v, 4, nullptr);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_ListBuildAndRead)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond);

void BM_FlatFormRoundTrip(benchmark::State& state) {
    const int64_t fields = state.range(0);
    OwnedDesc record;
    BuildRecord(record.Mutable(), fields);
    std::vector<char> bytes(static_cast<size_t>(AEGetDescDataSize(&record.Get())));
    for (auto _ : state) {
        AEGetDescData(&record.Get(), bytes.data(), static_cast<Size>(bytes.size()));
        OwnedDesc rebuilt;
        AECreateDesc(typeAERecord, bytes.data(), static_cast<Size>(bytes.size()),
                     rebuilt.Mutable());
        benchmark::DoNotOptimize(rebuilt->dataHandle);
    }
    state.SetItemsProcessed(state.iterations() * fields);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_FlatFormRoundTrip)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

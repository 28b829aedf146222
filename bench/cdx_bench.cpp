// Compound index speed on a log-sized tag: 100 000 keys shaped like DTOS(DATESENT)+TIMESENT.
#include "faxlog/cdx/cdx_index.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

using namespace faxlog::cdx;

std::vector<KeyEntry> logKeys(size_t count) {
    std::mt19937 rng(42);
    std::vector<KeyEntry> entries;
    entries.reserve(count);
    for (size_t i = 1; i <= count; ++i) {
        char key[14];
        std::snprintf(key, sizeof key, "20%02u%02u%02u%02u:%02u", unsigned(rng() % 30), unsigned(1 + rng() % 12),
                      unsigned(1 + rng() % 28), unsigned(rng() % 24), unsigned(rng() % 60));
        entries.push_back({key, uint32_t(i)});
    }
    return entries;
}

std::filesystem::path benchFile() {
    return std::filesystem::temp_directory_path() / ("parvane_cdx_bench_" + std::to_string(::getpid()) + ".cdx");
}

const TagInfo kTag{"DATESENT", "DTOS(DATESENT)+TIMESENT", ".not. deleted()", true, false, 'C', 13};

void BM_CdxBuildTag(benchmark::State& state) {
    const auto entries = logKeys(size_t(state.range(0)));
    auto index = CdxIndex::create(benchFile());
    for (auto _ : state) benchmark::DoNotOptimize(index.createTag(kTag, entries).size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CdxBuildTag)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CdxFlush(benchmark::State& state) {
    const auto path = benchFile();
    auto index = CdxIndex::create(path);
    index.createTag(kTag, logKeys(size_t(state.range(0))));
    for (auto _ : state) {
        index.setStamp(index.stamp() + 1);   // makes it dirty
        index.flush();
    }
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(BM_CdxFlush)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CdxOpen(benchmark::State& state) {
    const auto path = benchFile();
    {
        auto index = CdxIndex::create(path);
        index.createTag(kTag, logKeys(size_t(state.range(0))));
        index.flush();
    }
    for (auto _ : state) benchmark::DoNotOptimize(CdxIndex::open(path).tag("DATESENT")->size());
    std::filesystem::remove(path);
}
BENCHMARK(BM_CdxOpen)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CdxWalk(benchmark::State& state) {
    auto index = CdxIndex::create(benchFile());
    const CdxTag& tag = index.createTag(kTag, logKeys(size_t(state.range(0))));
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const KeyEntry& e : tag) sum += e.recno;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CdxWalk)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_CdxInsertErase(benchmark::State& state) {
    auto index = CdxIndex::create(benchFile());
    CdxTag& tag = index.createTag(kTag, logKeys(size_t(state.range(0))));
    uint32_t recno = uint32_t(state.range(0)) + 1;
    for (auto _ : state) {
        tag.insert("2024061512:30", recno);
        tag.erase("2024061512:30", recno);
        ++recno;
    }
}
BENCHMARK(BM_CdxInsertErase)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();

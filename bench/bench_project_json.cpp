// Writing and reading a large project file: 200 sources with 4 pickups, 16 enclosures,
// DXF data and extras each, plus a share state fingerprinting every source.
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <benchmark/benchmark.h>

namespace {

const rig::Project& largeProject() {
    static const rig::Project p = rig::fixtures::largeProject(200, 4, 16);
    return p;
}

void BM_WriteProjectFile(benchmark::State& state) {
    const rig::Project& p = largeProject();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = p.fileText();
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WriteProjectFile)->Unit(benchmark::kMillisecond);

void BM_WriteRecoveryCopy(benchmark::State& state) {
    const rig::Project& p = largeProject();
    for (auto _ : state) {
        std::string text = p.recoveryText();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_WriteRecoveryCopy)->Unit(benchmark::kMillisecond);

void BM_ReadProjectFile(benchmark::State& state) {
    const std::string text = largeProject().fileText();
    for (auto _ : state) {
        rig::Project p = rig::Project::fromText(text);
        benchmark::DoNotOptimize(p);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadProjectFile)->Unit(benchmark::kMillisecond);

void BM_CompareUnchangedCopy(benchmark::State& state) {
    const rig::Project& p = largeProject();
    for (auto _ : state) {
        rig::Project copy = p;
        copy.name += "x";
        bool same = copy == p;
        benchmark::DoNotOptimize(same);
    }
}
BENCHMARK(BM_CompareUnchangedCopy)->Unit(benchmark::kMicrosecond);

} // namespace

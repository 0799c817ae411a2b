// Writing and reading a large project file: 200 sources with 4 pickups, 16 enclosures,
// DXF data and extras each, plus a share state fingerprinting every source.
#include "base/Json.h"
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

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

// The nesting check every read makes before parsing: its share of BM_ReadProjectFile.
void BM_CheckProjectNesting(benchmark::State& state) {
    const std::string text = largeProject().fileText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig::jsonNestsDeeperThan(text, rig::maxJsonDepth));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CheckProjectNesting)->Unit(benchmark::kMillisecond);

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

// Looking up a source identifier in a table of 200, keyed as the project keys its tables.
// A non-ASCII key (one "é") takes the canonical-equivalence path.
void BM_TextMapLookup(benchmark::State& state) {
    const bool ascii = state.range(0) == 0;
    rig::TextMap<int> table;
    std::vector<std::string> keys;
    for (int i = 0; i < 200; ++i) {
        std::string key = std::string(ascii ? "Scene" : "Sc\u00E8ne") + "/Main/Source " + std::to_string(i);
        table.set(key, i);
        keys.push_back(std::move(key));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.get(keys[i++ % keys.size()]));
    }
    state.SetLabel(ascii ? "ASCII" : "non-ASCII");
}
BENCHMARK(BM_TextMapLookup)->Arg(0)->Arg(1)->Unit(benchmark::kNanosecond);

// The change list between two states of one large project (every source compared).
void BM_DiffLargeProject(benchmark::State& state) {
    const rig::Project& p = largeProject();
    rig::Project changed = p;
    for (std::size_t i = 0; i < changed.report.sources.size(); ++i) {
        auto& s = changed.report.sources.mut(i);
        s.site = *s.site + 1;
        s.pickups.mut(0).load = *s.pickups[0].load + 10;
    }
    for (auto _ : state) {
        std::size_t lines = 0;
        for (std::size_t i = 0; i < p.report.sources.size(); ++i) {
            lines += rig::Project::diff(p.report.sources[i], changed.report.sources[i]).size();
        }
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_DiffLargeProject)->Unit(benchmark::kMillisecond);

// One source with many pickup roles, every load changed: the roles must not be searched
// once per role.
void BM_DiffManyPickups(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    rig::Source a("Main", rig::List<std::string>{"ALL"});
    for (int i = 0; i < n; ++i) {
        a.pickups.push_back(
            rig::fixtures::testPickup("Point " + std::to_string(i), rig::XYZ(i, 0, 10), 100.0));
    }
    rig::Source b = a;
    for (int i = 0; i < n; ++i) b.pickups.mut(static_cast<std::size_t>(i)).load = 200.0;
    for (auto _ : state) {
        auto lines = rig::Project::diff(a, b);
        benchmark::DoNotOptimize(lines);
    }
    state.SetComplexityN(n);
}
BENCHMARK(BM_DiffManyPickups)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

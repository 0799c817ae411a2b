// Reading a large loudspeaker DXF and building the outlines of every array.
#include "import/DXFReader.h"
#include "import/SideViewBuilder.h"

#include "support/TempDir.h"
#include "support/TestDXF.h"

#include <benchmark/benchmark.h>

namespace {

void readWithOutlines(benchmark::State& state, int sources, int faces) {
    rig::test::TempDir dir;
    const std::string text = rig::test::arrayExport(sources, faces, "\r\n");
    const auto path = dir.write("arrays.dxf", text);
    rig::Source report("Array", {"ALL"});
    report.azimuth = 30;
    for (auto _ : state) {
        auto dxf = rig::DXFReader::parse(path);
        std::size_t outlines = 0;
        for (const auto& s : dxf) {
            outlines += rig::SideViewBuilder::sideView(report, s).has_value();
            outlines += rig::SideViewBuilder::topView(s).has_value();
        }
        benchmark::DoNotOptimize(outlines);
        if (dxf.size() != static_cast<std::size_t>(sources)) state.SkipWithError("wrong source count");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

void readOnly(benchmark::State& state, int sources, int faces) {
    const std::string text = rig::test::arrayExport(sources, faces, "\n");
    for (auto _ : state) benchmark::DoNotOptimize(rig::DXFReader::parseText(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

} // namespace

// 400 arrays of 60 faces (about 4 MB in this compact form), and 400 arrays of 420 faces
// for a file of about 30 MB.
BENCHMARK_CAPTURE(readWithOutlines, s400_f60, 400, 60)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readWithOutlines, s400_f420, 400, 420)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOnly, s400_f420, 400, 420)->Unit(benchmark::kMillisecond);

// Parsing speed of a large generated report (300 sources), in pages per second.
#include "import/PDFText.h"
#include "import/ReportParser.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

struct LargeReport {
    rig::test::TempDir dir;
    std::filesystem::path path;
    int pages = 0;

    LargeReport() {
        rig::test::ReportGeneratorOptions o;
        o.sources = 300;
        o.seed = 42;
        rig::test::GeneratedReport g = rig::test::generateReport(o);
        pages = g.pages;
        path = dir.write("large report.pdf", g.pdf);
    }
};

const LargeReport& largeReport() {
    static const LargeReport report;
    return report;
}

void BM_ParseReport(benchmark::State& state) {
    const LargeReport& r = largeReport();
    for (auto _ : state) {
        rig::Report report = rig::ReportParser::parse(r.path);
        benchmark::DoNotOptimize(report);
    }
    state.counters["pages"] = r.pages;
    state.counters["pages/s"] = benchmark::Counter(r.pages, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseReport)->Unit(benchmark::kMillisecond);

// The text extraction alone, to see where the time goes.
void BM_ExtractText(benchmark::State& state) {
    const LargeReport& r = largeReport();
    for (auto _ : state) {
        auto items = rig::PDFText::items(r.path);
        benchmark::DoNotOptimize(items);
    }
    state.counters["pages/s"] = benchmark::Counter(r.pages, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExtractText)->Unit(benchmark::kMillisecond);

} // namespace

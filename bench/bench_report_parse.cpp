// Parsing speed of generated reports in pages per second; 300 sources make about 150 pages.
// The three sizes show that the time grows linearly with the pages.
#include "import/PDFText.h"
#include "import/ReportParser.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

struct GeneratedFile {
    rig::test::TempDir dir;
    std::filesystem::path path;
    int pages = 0;

    explicit GeneratedFile(int sources) {
        rig::test::ReportGeneratorOptions o;
        o.sources = sources;
        o.seed = 42;
        rig::test::GeneratedReport g = rig::test::generateReport(o);
        pages = g.pages;
        path = dir.write("large report.pdf", g.pdf);
    }
};

const GeneratedFile& report(int sources) {
    static std::map<int, std::unique_ptr<GeneratedFile>> files;
    auto& f = files[sources];
    if (!f) f = std::make_unique<GeneratedFile>(sources);
    return *f;
}

void BM_ParseReport(benchmark::State& state) {
    const GeneratedFile& r = report(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rig::Report parsed = rig::ReportParser::parse(r.path);
        benchmark::DoNotOptimize(parsed);
    }
    state.counters["pages"] = r.pages;
    state.counters["pages/s"] = benchmark::Counter(r.pages, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseReport)->ArgName("sources")->Arg(150)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

// The text extraction alone, to see where the time goes.
void BM_ExtractText(benchmark::State& state) {
    const GeneratedFile& r = report(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto items = rig::PDFText::items(r.path);
        benchmark::DoNotOptimize(items);
    }
    state.counters["pages/s"] = benchmark::Counter(r.pages, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExtractText)->ArgName("sources")->Arg(300)->Unit(benchmark::kMillisecond);

} // namespace

// Parsing speed of generated reports in pages per second; 300 sources make about 150 pages.
// The three sizes show that the time grows linearly with the pages. Also a hostile report
// of millions of bare operators.
#include "import/PDFText.h"
#include "import/ReportParser.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

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

// A hostile report: 68 KB of compressed pages that decode to 8 × 8 MiB of "q Q ", 32 million
// operators the scanner must pass over. Should take well under a second.
void BM_BareOperators(benchmark::State& state) {
    static const std::string pdf = [] {
        std::string page;
        while (page.size() < (8u << 20)) page += "q Q ";
        rig::test::TestPDF doc;
        doc.compress(true);
        for (int i = 0; i < 8; ++i) doc.addPage(std::vector<rig::test::TestStream>{{page, {}}});
        return doc.bytes();
    }();
    for (auto _ : state) {
        auto items = rig::PDFText::itemsFromMemory(pdf, "bare operators.pdf");
        benchmark::DoNotOptimize(items);
    }
    state.counters["file KB"] = static_cast<double>(pdf.size()) / 1000;
}
BENCHMARK(BM_BareOperators)->Unit(benchmark::kMillisecond);

} // namespace

// Damaged copies of the sample show's report, each imported as the program imports a file:
// a stray line after every line of the file, the file cut at every whole percent, and twenty
// bytes flipped at random (100 seeds); and twenty flipped bytes in a report of 1,000 sources
// (20 seeds). A copy that loses or mixes sources must say so: in the
// import's message, and in the checks, which must then not agree. The counters give, per
// sweep, the copies tried, those refused, those read whole, and the losses that the message
// left unsaid ("silent") or that the checks took for agreement ("agree").
#include "ImportWorker.h"
#include "analysis/Issues.h"
#include "support/ReportGenerator.h"
#include "support/SampleShow.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace {

using namespace rig;

struct Tally {
    int copies = 0;
    int refused = 0;
    int whole = 0;
    int silent = 0;
    int agree = 0;
};

app::ImportResult importReport(const std::filesystem::path& file) {
    app::ImportInput input;
    input.files = {file};
    input.now = [] { return Date{}; };
    return app::importFiles(input, app::ImportReaders::standard());
}

bool anyWarning(const Project& project) {
    for (const Issue& issue : project.issues()) {
        if (issue.level >= Issue::Level::check) return true;
    }
    return false;
}

void sweep(benchmark::State& state, const std::string& pdf,
           const std::function<std::string(const std::string&, int)>& damage, int copies) {
    test::TempDir dir;
    const Report whole = importReport(dir.write("show.pdf", pdf)).project.report;
    Tally t;
    for (auto _ : state) {
        t = {};
        for (int i = 0; i < copies; ++i) {
            const std::string bytes = damage(pdf, i);
            if (bytes.empty()) continue;
            const app::ImportResult result = importReport(dir.write("show.pdf", bytes));
            ++t.copies;
            if (result.project.isEmpty() && !result.errors.empty()) {
                ++t.refused;
            } else if (result.project.report == whole) {
                ++t.whole;
            } else {
                t.silent += result.errors.empty();
                t.agree += !anyWarning(result.project);
            }
        }
    }
    state.counters["copies"] = t.copies;
    state.counters["refused"] = t.refused;
    state.counters["whole"] = t.whole;
    state.counters["silent"] = t.silent;
    state.counters["agree"] = t.agree;
}

// After the line that ends at the i-th line break; nothing once there are no more.
std::string strayLine(const std::string& pdf, int i) {
    std::size_t at = 0;
    for (int k = 0; k <= i; ++k) {
        at = pdf.find('\n', at);
        if (at == std::string::npos) return {};
        ++at;
    }
    return pdf.substr(0, at) + "stray text\n" + pdf.substr(at);
}

std::string cut(const std::string& pdf, int percent) {
    return pdf.substr(0, pdf.size() * static_cast<std::size_t>(percent + 1) / 100);
}

std::string flipped(const std::string& pdf, int seed) {
    std::mt19937_64 random(static_cast<std::uint64_t>(seed) + 1);
    std::string bytes = pdf;
    std::uniform_int_distribution<std::size_t> at(0, bytes.size() - 1);
    for (int k = 0; k < 20; ++k) bytes[at(random)] ^= static_cast<char>(1 << (k % 8));
    return bytes;
}

void BM_ReportStrayLine(benchmark::State& state) {
    const std::string pdf = test::sampleShow().reportPdf;
    sweep(state, pdf, strayLine, static_cast<int>(std::count(pdf.begin(), pdf.end(), '\n')));
}
void BM_ReportCut(benchmark::State& state) {
    sweep(state, test::sampleShow().reportPdf, cut, 99);
}
void BM_ReportFlippedBytes(benchmark::State& state) {
    sweep(state, test::sampleShow().reportPdf, flipped, 100);
}
void BM_LargeReportFlippedBytes(benchmark::State& state) {
    test::ReportGeneratorOptions options;
    options.sources = 1000;
    options.seed = 7;
    sweep(state, test::generateReport(options).pdf, flipped, 20);
}

} // namespace

BENCHMARK(BM_ReportStrayLine)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportCut)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportFlippedBytes)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LargeReportFlippedBytes)->Iterations(1)->Unit(benchmark::kMillisecond);

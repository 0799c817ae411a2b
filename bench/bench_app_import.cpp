// A show's three exports dropped on the store at once: a 150-page report, its inventory and a
// 30 MB loudspeaker DXF, through handleURLs to the applied project. Reports the time until the
// result is applied and the longest stretch the main thread did not get back to its event
// loop (a 1 ms probe timer), which must stay well under a frame; beside it the same probe on
// an idle loop (what a busy machine alone causes), the time handleURLs itself takes and the
// time the result takes to apply.
#include "ImportController.h"
#include "MotorLibrary.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ReportGenerator.h"
#include "support/ShowProjects.h"
#include "support/TempDir.h"
#include "support/TestDXF.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace rig;
using rig::app::bench::LoopProbe;

// Mesh detail inside one cabinet stack: small boxes below the block origin, as a detailed
// export has them; they leave the outline as it is.
std::string detailFaces(int boxes) {
    test::DXFWriter w;
    for (int b = 0; b < boxes; ++b) {
        const double x = -0.5 + 0.9 * ((b * 37) % 100) / 100.0;
        const double y = -0.2 + 0.4 * ((b * 53) % 100) / 100.0;
        const double z = -0.05 - 0.3 * ((b * 71) % 100) / 100.0;
        test::box(w, XYZ(x, y, z - 0.04), XYZ(x + 0.08, y + 0.06, z));
    }
    return w.text();
}

struct ShowFiles {
    test::TempDir dir;
    QList<QUrl> urls;
    int pages = 0;
    double dxfMegabytes = 0;

    ShowFiles() {
        test::ReportGeneratorOptions options;
        options.sources = 280; // about 150 pages
        options.seed = 42;
        const test::GeneratedReport report = test::generateReport(options);
        pages = report.pages;

        std::string dxf = app::testing::loudspeakerDXF(report.expected);
        const std::string endBlock = "0\nENDBLK\n";
        // Fill every block with detail until the file is about 30 MB.
        const std::size_t target = 30u << 20;
        const std::size_t sources = report.expected.sources.size();
        const double boxBytes = double(detailFaces(100).size()) / 100;
        const int boxesPerBlock =
            int(double(target - std::min(target, dxf.size())) / (boxBytes * double(sources)));
        const std::string detail = detailFaces(boxesPerBlock);
        std::string filled;
        filled.reserve(target + target / 10);
        std::size_t from = 0;
        for (std::size_t at; (at = dxf.find(endBlock, from)) != std::string::npos;
             from = at + endBlock.size()) {
            filled.append(dxf, from, at - from).append(detail).append(endBlock);
        }
        filled.append(dxf, from, std::string::npos);
        dxfMegabytes = double(filled.size()) / (1 << 20);

        std::string csv = "Category;Quantity;Family;Product;Description;Amp channels\n";
        for (int i = 0; i < 200; ++i) {
            csv += "Enclosure;" + std::to_string(i % 24 + 1) + ";K2;K2 " + std::to_string(i) + ";;\n";
        }
        urls = {QUrl::fromLocalFile(app::fromPath(dir.write("Show speakers.dxf", filled))),
                QUrl::fromLocalFile(app::fromPath(dir.write("Show inventory.csv", csv))),
                QUrl::fromLocalFile(app::fromPath(dir.write("Show report.pdf", report.pdf)))};
    }
};

const ShowFiles& showFiles() {
    static ShowFiles files;
    return files;
}

void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_ImportShowThroughTheStore(benchmark::State& state) {
    const ShowFiles& files = showFiles();
    app::testing::TempAppPaths paths;
    app::MotorLibrary library;
    double longestBlockMs = 0;
    double longestCallMs = 0;
    double longestApplyMs = 0;
    double idleBlockMs = 0;

    for (auto _ : state) {
        app::ProjectStore store;
        store.setMotorLibrary(&library);
        store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});

        // What the machine alone does to the probe over the same time, for comparison.
        {
            LoopProbe idle;
            runEventLoopFor(500);
            idleBlockMs = std::max(idleBlockMs, idle.longestBlockMs());
        }

        QEventLoop loop;
        QElapsedTimer applying;
        QObject::connect(&store.importer(), &app::ImportController::importingChanged, &loop, [&] {
            if (store.importer().importing()) return;
            applying.start();
            loop.quit();
        });
        auto probe = std::make_unique<LoopProbe>();
        QElapsedTimer total;
        total.start();
        store.importer().handleURLs(files.urls);
        longestCallMs = std::max(longestCallMs, double(total.nsecsElapsed()) / 1e6);
        loop.exec();
        longestApplyMs = std::max(longestApplyMs, double(applying.nsecsElapsed()) / 1e6);
        // The result is applied by then: it goes in right after importing turns false.
        state.SetIterationTime(double(total.nsecsElapsed()) / 1e9);
        // A few more ticks cover the application of the result.
        runEventLoopFor(5);
        longestBlockMs = std::max(longestBlockMs, probe->longestBlockMs());
        probe.reset();

        if (store.project().report.sources.empty() || store.project().dxf.empty() ||
            store.project().inventory.empty() || store.errorMessage()) {
            state.SkipWithError("the import did not apply the three files");
            break;
        }
    }
    state.counters["pages"] = files.pages;
    state.counters["dxf_MB"] = files.dxfMegabytes;
    state.counters["longest_block_ms"] = longestBlockMs;
    state.counters["handleURLs_ms"] = longestCallMs;
    state.counters["apply_ms"] = longestApplyMs;
    state.counters["idle_block_ms"] = idleBlockMs;
}
BENCHMARK(BM_ImportShowThroughTheStore)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

// A large show in the sidebar. BM_SidebarRebuild: the sidebar of 1,000, 5,000 and 10,000
// sources rebuilt because the sources changed (one source renamed back and forth), until all
// its rows are built and its layout and paint have caught up, with the longest stretch the
// event loop did not run. BM_ApplyReportIntoWindow: the whole apply of such a report into the
// open main window on the overview, from the import's end until the window is idle again.
// BM_ApplyCheckedShowAfterAProject: a show of 200, 1,000 and 5,000 sources with checks (the
// report generator's, seed 7: report warnings and a load check for most sources; 163, 818 and
// 4,127 check rows) after another project was shown, so that the overview page exists:
// imported after File > New Project (/0), or opened while the overview is on screen (/1), until
// the sidebar and the overview have built all their rows.
//
// Measured on the 8-core development machine, others building beside it (wall time, one run):
//   rebuild        1,000: 362 ms    5,000: 1,762 ms    10,000: 4,069 ms   longest block 45-69 ms
//   apply          1,000: 423 ms    5,000: 1,966 ms    10,000: 3,897 ms   longest block 62-507 ms
//   checked /0       200: 172 ms    1,000:   898 ms     5,000: 3,829 ms   longest block 59-188 ms
//   checked /1       200: 177 ms    1,000:   800 ms     5,000: 4,302 ms   longest block 98-477 ms
// The longest block of an open is the file's read and parse with the first blocks of rows
// (about 60 ms of parse at 1,000 sources, 300-400 ms at 5,000); of an import, the project's
// apply with them. The sidebar builds 100 entries and the overview 50 check rows at a time, and
// rows of the show before go a part at a time too (leaving a checked show of 5,000 sources
// blocked 1.1 s, now 0.2 s).
// Before the check rows came in blocks, each check row shown laid the whole overview out again:
// checked 200: 1,855 ms and 1,884 ms (block 1.8 s and 1.9 s), 1,000: 53.1 s and 50.9 s, all of
// it one block (5,000 not run: some 25 minutes at that growth). With 200 entries per sidebar
// block the rebuild took 709 ms, 2,429 ms and 4,502 ms (blocks 113-153 ms) and the apply
// 459 ms, 2,423 ms and 4,880 ms (blocks 162-745 ms). With a label per line in the
// import-changes sheet of the first apply (one line per new source) the apply took 726 ms,
// 4,218 ms and 9,328 ms, with blocks of 0.7 s, 3.2 s and 7.5 s (see bench_app_changes).
// Before that, each rebuild showed and laid out the rows one by one and walked the focus chain
// per row, all in one block: 1,000 sources 1,757-1,912 ms, 5,000 sources 61.9 s (10,000 not
// run: about four minutes at that growth); the apply of 1,000 sources 2,278-2,965 ms.
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "SidebarWidget.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using namespace rig;
using namespace rig::app;
using rig::app::bench::BenchWindow;
using rig::app::bench::importUntilApplying;
using rig::app::bench::LoopProbe;
using rig::app::bench::settle;

Project showOf(int sources) {
    return fixtures::largeProject(sources, 2, 4);
}

// The same show with its last source renamed: a different source list, so the sidebar rebuilds.
Project renamedLast(Project p) {
    auto& sources = p.report.sources.edit();
    sources.back().name += " B";
    return p;
}

void BM_SidebarRebuild(benchmark::State& state) {
    testing::TempAppPaths paths;
    ProjectStore store;
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    const Project a = showOf(int(state.range(0)));
    const Project b = renamedLast(a);
    store.setProject(a);
    SidebarWidget sidebar(store);
    sidebar.resize(SidebarWidget::idealColumnWidth, 800);
    sidebar.show();
    settle();
    const int before = sidebar.rebuildCount();
    int n = 0;
    double longestBlockMs = 0;
    for (auto _ : state) {
        LoopProbe probe;
        store.setProject(++n % 2 ? b : a);
        while (store.hasChangesToShow() || !sidebar.complete()) QCoreApplication::processEvents();
        settle();
        longestBlockMs = std::max(longestBlockMs, probe.longestBlockMs());
    }
    if (sidebar.rebuildCount() - before != n || int(sidebar.rows().size()) != state.range(0))
        state.SkipWithError("the sidebar did not rebuild every time");
    state.counters["sources"] = double(state.range(0));
    state.counters["longest_block_ms"] = longestBlockMs;
}
BENCHMARK(BM_SidebarRebuild)->Arg(1000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_ApplyReportIntoWindow(benchmark::State& state) {
    testing::TempAppPaths paths;
    test::TempDir dir;
    const QList<QUrl> urls{QUrl::fromLocalFile(fromPath(dir.write("Show report.pdf", "%PDF-1.4\n")))};
    MotorLibrary library;
    ProjectStore store;
    store.setMotorLibrary(&library);
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    const Report reports[2] = {showOf(int(state.range(0))).report,
                               renamedLast(showOf(int(state.range(0)))).report};
    int n = 0;
    ImportReaders readers;
    readers.report = [&](const auto&, std::stop_token) { return reports[n % 2]; };
    store.importer().setImportReaders(readers);

    store.setProject(fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 6)}));
    BenchWindow shown(store, library);
    MainWindow& window = shown.window;

    double longestBlockMs = 0;
    for (auto _ : state) {
        QElapsedTimer applying;
        std::unique_ptr<LoopProbe> probe = importUntilApplying(store, urls, applying);
        runEventLoopFor(20);
        while (store.hasChangesToShow() || !window.sidebar()->complete()) QCoreApplication::processEvents();
        settle();
        state.SetIterationTime(double(applying.nsecsElapsed()) / 1e9);
        longestBlockMs = std::max(longestBlockMs, probe->longestBlockMs());
        if (store.project().report.sources.size() != std::size_t(state.range(0))) {
            state.SkipWithError("the report was not applied");
            break;
        }
        ++n;
    }
    state.counters["sources"] = double(state.range(0));
    state.counters["longest_block_ms"] = longestBlockMs;
}
BENCHMARK(BM_ApplyReportIntoWindow)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// A show whose sources carry checks (the report generator's warnings, and a load check for most
// sources) applied after another project was shown: imported after File > New Project (0), or
// opened while the other's overview is on screen (1). The overview page exists already.
void BM_ApplyCheckedShowAfterAProject(benchmark::State& state) {
    testing::TempAppPaths paths;
    test::TempDir dir;
    const bool opened = state.range(1) == 1;
    test::ReportGeneratorOptions options;
    options.sources = int(state.range(0));
    options.seed = 7;
    const Report report = test::generateReport(options).expected;
    Project checked;
    checked.importReport(report, "Show report.pdf", fixtures::testDate());
    const QString checkedFile = fromPath(dir.write("Checked.qvrig", checked.fileText()));
    const QString smallFile = fromPath(
        dir.write("Small.qvrig",
                  fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 6)}).fileText()));
    const QList<QUrl> urls{QUrl::fromLocalFile(fromPath(dir.write("Show report.pdf", "%PDF-1.4\n")))};
    MotorLibrary library;
    ProjectStore store;
    store.setMotorLibrary(&library);
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    ImportReaders readers;
    readers.report = [&](const auto&, std::stop_token) { return report; };
    store.importer().setImportReaders(readers);
    store.openProject(smallFile, false);
    BenchWindow shown(store, library);
    MainWindow& window = shown.window;
    const auto caughtUp = [&] {
        auto* overview = qobject_cast<OverviewPage*>(window.overviewPage());
        return !store.hasChangesToShow() && window.sidebar()->complete() && overview && overview->complete();
    };

    double longestBlockMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store.openProject(smallFile, false);
        window.setSelection(Selection::overview());
        while (!caughtUp()) QCoreApplication::processEvents();
        settle();
        if (!opened) {
            store.newProject();
            settle();
        }
        state.ResumeTiming();

        QElapsedTimer applying;
        std::unique_ptr<LoopProbe> probe;
        if (opened) {
            applying.start();
            probe = std::make_unique<LoopProbe>();
            store.openProject(checkedFile, false);
        } else {
            probe = importUntilApplying(store, urls, applying);
        }
        runEventLoopFor(20);
        while (!caughtUp()) QCoreApplication::processEvents();
        settle();
        state.SetIterationTime(double(applying.nsecsElapsed()) / 1e9);
        longestBlockMs = std::max(longestBlockMs, probe->longestBlockMs());
        if (store.project().report.sources.size() != std::size_t(state.range(0))) {
            state.SkipWithError("the show was not applied");
            break;
        }
    }
    state.counters["sources"] = double(state.range(0));
    state.counters["checks"] = double(checked.groupedIssues().size());
    state.counters["longest_block_ms"] = longestBlockMs;
}
BENCHMARK(BM_ApplyCheckedShowAfterAProject)
    ->ArgsProduct({{200, 1000, 5000}, {0, 1}})
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

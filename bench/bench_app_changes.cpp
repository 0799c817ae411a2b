// The import-changes sheet of a large re-import. BM_ChangesSheet: the sheet of 1,000, 5,000 and
// 10,000 change lines opened over a window until it is shown and its lines are laid out,
// with the longest stretch the event loop did not run, and the time Return takes to close it.
// BM_ReimportIntoWindow: a report of that many sources, every one of them new, applied into the
// open main window on the overview, from the import's end until the sheet is up and the window
// idle (the sidebar builds its rows meanwhile).
//
// Measured on the 8-core development machine, others building beside it (wall time, mean of
// the iterations; "shown" is until the sheet is on screen, "block" the longest stretch without
// the event loop):
//   sheet      1,000:  68 ms (shown  19, block  19)    5,000: 111 ms (shown 29, block 29)
//             10,000: 201 ms (shown 53, block 55)      close: 1-4 ms
//   re-import  1,000: 595 ms (block 198)   5,000: 2,237 ms (block 279)   10,000: 4,135 ms (block 440)
// The sheet lays its lines out lazily after it is shown, a slice per event-loop pass; what
// remains of the re-import's block is the project's apply before the loop runs again
// (0.1-0.4 s), the rest the sidebar building its rows in batches. With batches of 100 entries
// instead of 200: re-import 374 ms (block 60), 2,246 ms (block 219), 4,123 ms (block 307).
// Before, the sheet made a selectable label per line, all in one block: 1,000 lines 720 ms,
// 5,000 lines 4,054 ms, 10,000 lines 8,277 ms (close 16-234 ms); the re-import 976 ms, 5,335 ms
// and 11,624 ms with blocks of 0.7 s, 3.3 s and 6.3 s.
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportChangesDialog.h"
#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "SidebarWidget.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/TempDir.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
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

// Change texts as a report update makes them: mostly short, every fifth one long enough to wrap.
QStringList changeTexts(int count) {
    QStringList texts;
    texts.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("Array ") + toQ(std::to_string(i));
        texts << (i % 5 == 4 ? name + QStringLiteral(": trim 8.5 → 9 m; #1 angle 0° → 1°; #2 angle "
                                                     "2° → 3°; Front hole #5 → #6; Front load "
                                                     "380 → 402 kg; Rear load 410 → 396 kg")
                             : QStringLiteral("New source: ") + name + QStringLiteral(" (Hang 3)"));
    }
    return texts;
}

// Runs the event loop until the sheet's lines have been laid out to the end: the layout size
// has not changed for quietMs. Returns the seconds spent waiting past the end.
constexpr int quietMs = 300;
double runUntilLaidOut(ImportChangesDialog* sheet) {
    settle();
    if (!sheet->lineView()) return 0;
    QEventLoop loop;
    QTimer quiet;
    quiet.setSingleShot(true);
    QObject::connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sheet->lineView()->document()->documentLayout(),
                     &QAbstractTextDocumentLayout::documentSizeChanged, &loop, [&] { quiet.start(quietMs); });
    quiet.start(quietMs);
    loop.exec();
    return quietMs / 1e3;
}

void BM_ChangesSheet(benchmark::State& state) {
    const QStringList texts = changeTexts(int(state.range(0)));
    QWidget window;
    window.resize(1280, 800);
    window.show();
    settle();
    double longestBlockMs = 0;
    double shownAfterMs = 0;
    double closeMs = 0;
    for (auto _ : state) {
        LoopProbe probe;
        QElapsedTimer opening;
        QPointer<ImportChangesDialog> sheet;
        // Opened from the event loop, as the main window does.
        QTimer::singleShot(0, &window, [&] {
            opening.start();
            sheet = new ImportChangesDialog(texts, &window);
            sheet->open();
        });
        while (!sheet || !sheet->isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double shownMs = double(opening.nsecsElapsed()) / 1e6;
        const double idle = runUntilLaidOut(sheet);
        state.SetIterationTime(double(opening.nsecsElapsed()) / 1e9 - idle);
        shownAfterMs = std::max(shownAfterMs, shownMs);
        longestBlockMs = std::max(longestBlockMs, probe.longestBlockMs());

        QElapsedTimer closing;
        closing.start();
        QTest::keyClick(sheet, Qt::Key_Return);
        if (sheet->isVisible()) {
            state.SkipWithError("Return did not close the sheet");
            break;
        }
        delete sheet.data();
        settle();
        closeMs = std::max(closeMs, double(closing.nsecsElapsed()) / 1e6);
    }
    state.counters["lines"] = double(state.range(0));
    state.counters["longest_block_ms"] = longestBlockMs;
    state.counters["shown_ms"] = shownAfterMs;
    state.counters["close_ms"] = closeMs;
}
BENCHMARK(BM_ChangesSheet)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_ReimportIntoWindow(benchmark::State& state) {
    testing::TempAppPaths paths;
    test::TempDir dir;
    const QList<QUrl> urls{QUrl::fromLocalFile(fromPath(dir.write("Show report.pdf", "%PDF-1.4\n")))};
    MotorLibrary library;
    ProjectStore store;
    store.setMotorLibrary(&library);
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    const Report report = fixtures::largeProject(int(state.range(0)), 2, 4).report;
    ImportReaders readers;
    readers.report = [&](const auto&, std::stop_token) { return report; };
    store.importer().setImportReaders(readers);

    // A show of one array, replaced by the large one: every source of it is a new one, and the
    // array is gone.
    const Project small = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 6)});
    store.setProject(small);
    BenchWindow shown(store, library);
    MainWindow& window = shown.window;

    double longestBlockMs = 0;
    for (auto _ : state) {
        QElapsedTimer applying;
        std::unique_ptr<LoopProbe> probe = importUntilApplying(store, urls, applying);
        while (!window.changesSheet() || !window.changesSheet()->isVisible())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (store.hasChangesToShow() || !window.sidebar()->complete()) QCoreApplication::processEvents();
        const double idle = runUntilLaidOut(window.changesSheet());
        state.SetIterationTime(double(applying.nsecsElapsed()) / 1e9 - idle);
        longestBlockMs = std::max(longestBlockMs, probe->longestBlockMs());
        const bool applied = store.project().report.sources.size() == std::size_t(state.range(0)) &&
                             window.changesSheet()->changes().size() > state.range(0);
        probe.reset();

        state.PauseTiming();
        QTest::keyClick(window.changesSheet(), Qt::Key_Return);
        store.setProject(small);
        while (store.hasChangesToShow() || !window.sidebar()->complete()) QCoreApplication::processEvents();
        settle();
        state.ResumeTiming();
        if (!applied) {
            state.SkipWithError("the report was not applied or its changes not shown");
            break;
        }
    }
    state.counters["sources"] = double(state.range(0));
    state.counters["longest_block_ms"] = longestBlockMs;
}
BENCHMARK(BM_ReimportIntoWindow)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

// Edits of a large checked show open in the main window: the report generator's show (seed 7)
// of 1,000 and 5,000 sources with its check rows, a motor in the library, the sidebar and a
// page built. Each edit is made as the user makes it, and is timed from the click or key until
// the window is idle again, with the longest stretch the event loop did not run:
//   BM_BulkMotor        "Set on all points without a motor" on the overview
//   BM_SourcePointEdits on a source page, "Same motor on all points", then its K1-DELTA box
//   BM_HideSection      the eye of a sidebar section of half the sources (hides them all)
//   BM_RiggingHeight    "18" typed into the rigging height for all points
//   BM_DeltaSpacing     "0.9" typed into the Delta plate's motor spacing
//   BM_ImportNewer      a newer report of the show (one source's name changed) imported
//
// Measured on the 8-core development machine, others building beside it (wall time, longest
// block), sources 1,000 and 5,000 (2,309 and 11,427 points):
//   bulk motor        48 ms, 46 ms       295 ms, 283 ms
//   source page       22 ms, 12 ms       126 ms,  63 ms
//   hide section      41 ms, 36 ms       177 ms, 168 ms   (500 and 2,500 sources hidden)
//   rigging height   108 ms, 48 ms       516 ms, 252 ms   (two keys)
//   Delta spacing     22 ms, 11 ms       121 ms,  67 ms   (three keys)
//   newer report     331 ms, 49 ms     3,710 ms, 232 ms   (2,500 sources: 1,576 ms)
// Before, each write redrew the window, the sidebar and the page at once, and each point of the
// bulk motor copied the project's extras table, compared the whole project and had the motor
// library scan every extra and read its file: the bulk motor took 17.7 s at 1,000 sources and
// 833 s at 5,000, each in one block. The faded rows of hidden sources were drawn through a
// graphics effect, for which Qt walks the whole window per row: hiding half the show took 90 ms
// (block 128 ms) and 526 ms (block 562 ms). The other edits were as now: source page 41 ms and
// 203 ms, rigging height 114 ms and 493 ms, Delta spacing 23 ms and 124 ms, newer report 304 ms
// and 3,399 ms.
#include "DeltaFields.h"
#include "Fields.h"
#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "RiggingHeightFields.h"
#include "SidebarWidget.h"
#include "SourcePage.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace {

using namespace rig;
using namespace rig::app;
using rig::app::bench::BenchWindow;
using rig::app::bench::importUntilApplying;
using rig::app::bench::LoopProbe;
using rig::app::bench::settle;

// With `oneGroup`, the first half of the sources moved into one group: a sidebar section of
// their own.
Report checkedReport(int sources, bool oneGroup) {
    test::ReportGeneratorOptions options;
    options.sources = sources;
    options.seed = 7;
    Report report = test::generateReport(options).expected;
    if (oneGroup) {
        std::vector<Source>& all = report.sources.edit();
        for (std::size_t i = 0; i < all.size() / 2; ++i) all[i].groups = {"ALL", "Hang"};
    }
    return report;
}

// The checked show in a file, opened into the main window with a motor in the library.
struct OpenShow {
    explicit OpenShow(int sources, bool oneGroup = false) : report(checkedReport(sources, oneGroup)) {
        Project checked;
        checked.importReport(report, "Show report.pdf", fixtures::testDate());
        checks = double(checked.groupedIssues().size());
        file = fromPath(dir.write("Checked.qvrig", checked.fileText()));
        motor = library.upsert(QStringLiteral("D8 1t"), 57);
        store.setMotorLibrary(&library);
        store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
        store.openProject(file, false);
        shown = std::make_unique<BenchWindow>(store, library);
        caughtUp();
    }

    MainWindow& window() const { return shown->window; }
    OverviewPage* overview() const { return qobject_cast<OverviewPage*>(window().overviewPage()); }

    // Runs the event loop until the sidebar and the page shown have built all their rows and
    // nothing is pending.
    void caughtUp() const {
        settle();
        const auto done = [this] {
            OverviewPage* page = overview();
            return !store.hasChangesToShow() && window().sidebar()->complete() && (!page || page->complete());
        };
        while (!done()) QCoreApplication::processEvents();
        settle();
    }

    // The show as in its file again, `page` selected.
    void reopen(std::optional<Selection> page) {
        store.openProject(file, false);
        window().setSelection(std::move(page));
        caughtUp();
    }

    // Times `edit`, and then the window until it is idle again.
    void time(benchmark::State& state, const std::function<void()>& edit) {
        QElapsedTimer wall;
        wall.start();
        LoopProbe probe;
        edit();
        caughtUp();
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        longestBlockMs = std::max(longestBlockMs, probe.longestBlockMs());
    }

    void count(benchmark::State& state) const {
        state.counters["sources"] = double(report.sources.size());
        state.counters["checks"] = checks;
        state.counters["longest_block_ms"] = longestBlockMs;
    }

    testing::TempAppPaths paths;
    test::TempDir dir;
    Report report;
    double checks = 0;
    QString file;
    MotorLibrary library;
    Motor motor;
    ProjectStore store;
    std::unique_ptr<BenchWindow> shown;
    double longestBlockMs = 0;
};

void typeInto(QWidget* field, const QString& text) {
    field->setFocus(Qt::OtherFocusReason);
    for (const QChar c : text) {
        QTest::keyClicks(field, QString(c));
        settle();
    }
}

void BM_BulkMotor(benchmark::State& state) {
    OpenShow show(int(state.range(0)));
    std::size_t points = 0;
    for (const Source& s : show.report.sources) points += s.pickups.size();
    for (auto _ : state) {
        show.reopen(Selection::overview());
        OverviewPage* page = show.overview();
        page->chooseBulkMotor(show.motor);
        show.time(state, [&] { QTest::mouseClick(page->setOnAllButton(), Qt::LeftButton); });
        if (show.store.project().extras.size() == 0) {
            state.SkipWithError("no motor was set");
            break;
        }
    }
    show.count(state);
    state.counters["points"] = double(points);
}

void BM_SourcePointEdits(benchmark::State& state) {
    OpenShow show(int(state.range(0)));
    // A flown source in the middle of the show.
    const Source* source = nullptr;
    for (std::size_t i = show.report.sources.size() / 2; i < show.report.sources.size() && !source; ++i)
        if (show.report.sources[i].pickups.size() >= 2) source = &show.report.sources[i];
    const std::string id = source->id();
    for (auto _ : state) {
        show.reopen(Selection::source(id));
        SourcePage* page = show.window().sourcePage();
        show.time(state, [&] {
            page->applyMotorToAllPoints(show.motor);
            settle();
            auto* delta =
                page->findChild<QCheckBox*>(QStringLiteral("delta:") + toQ(source->pickups[0].role));
            QTest::mouseClick(delta, Qt::LeftButton, {}, QPoint(4, delta->height() / 2));
        });
        if (!show.store.project().extra(id, source->pickups[0].role).delta) {
            state.SkipWithError("the Delta box was not set");
            break;
        }
    }
    show.count(state);
}

void BM_HideSection(benchmark::State& state) {
    OpenShow show(int(state.range(0)), true);
    for (auto _ : state) {
        show.reopen(Selection::overview());
        SidebarWidget* sidebar = show.window().sidebar();
        const std::vector<SidebarWidget::HeadingView> headings = sidebar->headings();
        int largest = 0;
        for (int s = 0; s < int(headings.size()); ++s)
            if (headings[std::size_t(s)].count > headings[std::size_t(largest)].count) largest = s;
        state.counters["hidden"] = double(headings[std::size_t(largest)].count);
        show.time(state, [&] { QTest::mouseClick(sidebar->headingEye(largest), Qt::LeftButton); });
        if (!show.store.project().hiddenSources || show.store.project().hiddenSources->empty()) {
            state.SkipWithError("nothing was hidden");
            break;
        }
    }
    show.count(state);
}

void BM_RiggingHeight(benchmark::State& state) {
    OpenShow show(int(state.range(0)));
    for (auto _ : state) {
        show.reopen(Selection::overview());
        QWidget* field =
            show.overview()->riggingHeightFields()->findChild<NumField*>("allPoints")->lineEdit();
        show.time(state, [&] { typeInto(field, QStringLiteral("18")); });
        if (show.store.project().riggingHeight != 18.0) {
            state.SkipWithError("the height was not set");
            break;
        }
    }
    show.count(state);
}

void BM_DeltaSpacing(benchmark::State& state) {
    OpenShow show(int(state.range(0)));
    for (auto _ : state) {
        show.reopen(Selection::overview());
        QWidget* field = show.overview()->findChild<DeltaFields*>("deltaFields")->spacingField()->lineEdit();
        field->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        show.time(state, [&] { typeInto(field, QStringLiteral("0.9")); });
        if (show.store.project().delta.spacing != 0.9) {
            state.SkipWithError("the spacing was not set");
            break;
        }
    }
    show.count(state);
}

void BM_ImportNewer(benchmark::State& state) {
    OpenShow show(int(state.range(0)));
    test::TempDir dir;
    const QList<QUrl> urls{QUrl::fromLocalFile(fromPath(dir.write("Show report.pdf", "%PDF-1.4\n")))};
    Report newer = show.report;
    newer.sources.edit().back().name += " B";
    ImportReaders readers;
    readers.report = [&](const auto&, std::stop_token) { return newer; };
    show.store.importer().setImportReaders(readers);
    for (auto _ : state) {
        show.reopen(Selection::overview());
        QElapsedTimer applying;
        std::unique_ptr<LoopProbe> probe = importUntilApplying(show.store, urls, applying);
        show.caughtUp();
        state.SetIterationTime(double(applying.nsecsElapsed()) / 1e9);
        show.longestBlockMs = std::max(show.longestBlockMs, probe->longestBlockMs());
        if (show.store.project().report.sources.back().name != newer.sources.back().name) {
            state.SkipWithError("the report was not applied");
            break;
        }
    }
    show.count(state);
}

#define EDIT_BENCH(name) BENCHMARK(name)->Arg(1000)->Arg(5000)->UseManualTime()->Unit(benchmark::kMillisecond)

EDIT_BENCH(BM_BulkMotor)->Iterations(1);
EDIT_BENCH(BM_SourcePointEdits)->Iterations(3);
EDIT_BENCH(BM_HideSection)->Iterations(3);
EDIT_BENCH(BM_RiggingHeight)->Iterations(3);
EDIT_BENCH(BM_DeltaSpacing)->Iterations(3);
EDIT_BENCH(BM_ImportNewer)->Iterations(2);

} // namespace

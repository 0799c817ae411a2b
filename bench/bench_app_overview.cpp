// The overview page follows every keystroke: one character typed into the project name of a
// large published project (200 sources with 4 pickups, 16 enclosures, DXF data and extras
// each), from the key press until the store and every part of the page have caught up. The
// second run has the page hidden behind nothing (the store alone), for comparison.
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "Fields.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "PublishChanges.h"
#include "Reveal.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

using namespace rig;
using rig::app::bench::settle;
using namespace rig::app;

Project publishedLargeProject() {
    Project p = fixtures::largeProject(200, 4, 16);
    ShareInfo share;
    share.token = "tok";
    share.url = "https://rig.example.com/c/tok";
    share.publishedAt = fixtures::testDate();
    share.fingerprints = publishFingerprints(p);
    p.share = share;
    p.riggingHeight = 18.0;
    return p;
}

void BM_KeystrokeInTheName(benchmark::State& state) {
    testing::TempAppPaths paths;
    ProjectStore store;
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    store.setProject(publishedLargeProject());
    MotorLibrary library;
    DXFSettings dxf;
    rig::app::testing::NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports(store, dxf, printer, reveal);
    std::unique_ptr<OverviewPage> page;
    if (state.range(0) == 1) {
        page = std::make_unique<OverviewPage>(store, library, exports);
        page->resize(900, 1200);
        page->show();
        page->nameField()->setFocus();
    }
    int n = 0;
    for (auto _ : state) {
        if (page) {
            QTest::keyClick(page->nameField(), Qt::Key(Qt::Key_A + n % 26));
            // The page redraws once the event loop runs.
            settle();
        } else {
            Project p = store.project();
            p.name += char('a' + n % 26);
            store.setProject(std::move(p));
        }
        ++n;
    }
    if (store.project().name.size() < std::size_t(n)) std::abort();
    state.SetLabel(state.range(0) == 1 ? "with the overview page" : "store only");
}
BENCHMARK(BM_KeystrokeInTheName)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

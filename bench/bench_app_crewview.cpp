// The crew view of large shows (100, 1,000 and 5,000 sources with 4 pickups, 16 enclosures and
// DXF data each), as the main window shows it: the time from making the view until the page has
// drawn and laid itself out, and what its renderer process holds afterwards (resident and peak
// memory from /proc), with the page's element count and script heap for where it goes. And the
// time an edit's redraw takes for shows of sources scattered over the plan.
#include "CrewPage.h"
#include "CrewWebView.h"
#include "PublishChanges.h"
#include "support/CrewTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

namespace {

using namespace rig;
using namespace rig::app;

// kB values of /proc/<pid>/status and smaps_rollup.
double procKb(qint64 pid, const char* file, const char* field) {
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(file));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QString text = QString::fromLatin1(f.readAll());
    const auto m = QRegularExpression(QStringLiteral("^%1:\\s+(\\d+) kB").arg(field),
                                      QRegularExpression::MultilineOption)
                       .match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

// Forces the layout the window would do and reports what the page holds.
const char* const pageFacts = R"((function () {
  var t0 = performance.now(), h = document.documentElement.scrollHeight, nav = performance.getEntriesByType('navigation')[0];
  return JSON.stringify({ layoutMs: performance.now() - t0, height: h, elements: document.getElementsByTagName('*').length,
    scriptMs: nav ? nav.domInteractive - nav.responseEnd : 0,
    heapMB: performance.memory ? performance.memory.usedJSHeapSize / 1048576 : 0 });
})())";

void BM_CrewView(benchmark::State& state) {
    const Project p = fixtures::largeProject(int(state.range(0)));
    const CrewDoc doc = CrewDoc::build(p, publishChangeSummary(p), fixtures::testDate(), false);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        CrewWebView view(doc, true);
        view.resize(1180, 780);
        view.show();
        bool ended = false;
        QObject::connect(view.page(), &QWebEnginePage::renderProcessTerminated, [&] { ended = true; });
        if (!testing::waitFor([&] { return view.isLoaded() || ended; }, 900000) || ended) {
            state.SkipWithError("the crew view was not drawn");
            return;
        }
        const QJsonObject facts =
            QJsonDocument::fromJson(testing::runJs(*view.page(), pageFacts, 600000).toString().toUtf8())
                .object();
        const double drawMs = double(clock.elapsed());
        const qint64 pid = view.page()->renderProcessPid();
        state.counters["draw_ms"] = drawMs;
        state.counters["script_ms"] = facts["scriptMs"].toDouble();
        state.counters["layout_ms"] = facts["layoutMs"].toDouble();
        state.counters["renderer_MB"] = procKb(pid, "status", "VmRSS") / 1024;
        state.counters["renderer_peak_MB"] = procKb(pid, "status", "VmHWM") / 1024;
        state.counters["renderer_pss_MB"] = procKb(pid, "smaps_rollup", "Pss") / 1024;
        state.counters["js_heap_MB"] = facts["heapMB"].toDouble();
        state.counters["elements"] = facts["elements"].toDouble();
        state.counters["page_height_px"] = facts["height"].toDouble();
    }
}

// The page's own time to redraw the crew view of a report generator's show (100 or 300 sources
// scattered over the plan, names of some and numbers of the others in it), as each edit of the
// project makes it: phone-sized (/0) and wide (/1). The plan's search for room for every name
// and number is most of what grows with the show.
void BM_CrewViewRedraw(benchmark::State& state) {
    const Project p = testing::generatedShow(int(state.range(0)), 1);
    const CrewDoc doc = CrewDoc::build(p, {}, fixtures::testDate(), false);
    const bool wide = state.range(1) == 1;
    CrewWebView view(doc, wide);
    view.resize(wide ? 1180 : 390, 780);
    view.show();
    if (!testing::waitForDrawn(view)) {
        state.SkipWithError("the crew view was not drawn");
        return;
    }
    const QString redraw = "(function () { var t0 = performance.now(); " + crewUpdateScript(doc, wide) +
                           "; return performance.now() - t0; })()";
    for (auto _ : state) {
        const double ms = testing::runJs(*view.page(), redraw, 600000).toDouble();
        state.SetIterationTime(ms / 1000);
    }
}

} // namespace

BENCHMARK(BM_CrewViewRedraw)
    ->ArgsProduct({{100, 300}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_CrewView)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// The document store with a large project (200 sources with 4 pickups, 16 enclosures, DXF
// data and extras each): open, save, autosave, and how long an autosave holds the main thread.
#include "ProjectStore.h"
#include "Recovery.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using rig::Project;
using rig::app::ProjectStore;
using rig::app::Recovery;

const Project& largeProject() {
    static const Project p = rig::fixtures::largeProject(200, 4, 16);
    return p;
}

// The large project with one pickup load changed: an edit as a page makes it.
Project edited(int n) {
    Project p = largeProject();
    p.report.sources.edit()[static_cast<std::size_t>(n % 200)].pickups.edit()[0].load = 100.0 + n;
    return p;
}

std::unique_ptr<ProjectStore> makeStore() {
    auto store = std::make_unique<ProjectStore>();
    // Autosaves are started by hand below.
    store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    return store;
}

void waitForAutosave(QSignalSpy& spy, int count) {
    while (spy.count() < count) {
        if (!spy.wait(30000)) std::abort();
    }
}

void BM_Open(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    const QString file = paths.file("Large.qvrig");
    {
        auto writer = makeStore();
        writer->setProject(largeProject());
        if (!writer->writeProject(file)) std::abort();
    }
    auto store = makeStore();
    for (auto _ : state) store->openProject(file, false);
    if (store->project().report.sources.size() != 200) std::abort();
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    const QString file = paths.file("Large.qvrig");
    auto store = makeStore();
    store->setProject(largeProject());
    for (auto _ : state) {
        if (!store->writeProject(file)) std::abort();
    }
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// The edit's assignment: comparison with the open project and re-arming the autosave.
void BM_EditAssignment(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    auto store = makeStore();
    store->setProject(largeProject());
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Project next = edited(++n);
        state.ResumeTiming();
        store->setProject(std::move(next));
    }
}
BENCHMARK(BM_EditAssignment)->Unit(benchmark::kMicrosecond);

// From the timer firing until the result is back on the main thread (recovery copy, or
// the project's own file).
void BM_Autosave(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    auto store = makeStore();
    if (state.range(0) == 1) {
        store->setProject(largeProject());
        if (!store->writeProject(paths.file("Large.qvrig"))) std::abort();
    }
    QSignalSpy spy(&store->recovery(), &Recovery::autosaveFinished);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store->setProject(edited(++n));
        state.ResumeTiming();
        store->recovery().writeRecovery();
        waitForAutosave(spy, n);
    }
}
BENCHMARK(BM_Autosave)->Arg(0)->Arg(1)->ArgName("intoFile")->Iterations(50)->Unit(benchmark::kMillisecond);

// What the main thread spends per autosave: taking the copy and handing it to the worker,
// then, while the worker writes, whatever the event loop does until the result is applied
// (time awake between blocking waits).
void BM_AutosaveMainThreadBlock(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    auto store = makeStore();
    if (state.range(0) == 1) {
        store->setProject(largeProject());
        if (!store->writeProject(paths.file("Large.qvrig"))) std::abort();
    }
    QSignalSpy spy(&store->recovery(), &Recovery::autosaveFinished);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QElapsedTimer awake;
    qint64 awakeNs = 0;
    bool measuring = false;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] {
        if (measuring) awake.start();
    });
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
        if (measuring && awake.isValid()) awakeNs += awake.nsecsElapsed();
        awake.invalidate();
    });
    int n = 0;
    for (auto _ : state) {
        store->setProject(edited(++n));
        awakeNs = 0;
        QElapsedTimer call;
        call.start();
        store->recovery().writeRecovery();
        const qint64 callNs = call.nsecsElapsed();
        measuring = true;
        waitForAutosave(spy, n);
        measuring = false;
        if (awake.isValid()) awakeNs += awake.nsecsElapsed();
        awake.invalidate();
        state.SetIterationTime(static_cast<double>(callNs + awakeNs) / 1e9);
    }
}
BENCHMARK(BM_AutosaveMainThreadBlock)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("intoFile")
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

} // namespace

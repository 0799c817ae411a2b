// Publishing: the change summary and stale check that the crew-link section and the crew
// preview run on every change of a large show, the crew document a publish or re-send
// builds and writes, the answer decoders, and one publish to an in-process stand-in server
// on 127.0.0.1 (the network part without the internet). BM_ExistingLinksSheet: "Use an
// Existing Link…" on a server that keeps many links, from the sheet's showing until every row
// is built and the event loop is idle, with the longest stretch the loop did not run.
//
// Measured on the 8-core development machine, others building beside it (load 8; wall time,
// longest block, two runs):
//   links sheet   1,000: 474-508 ms (60-71 ms)   5,000: 4,663-5,450 ms (162-227 ms)
//                 2,000, one token of 100,000 characters: 1,368-1,376 ms (162-170 ms)
// The rows come 100 at a time, each block built apart from the sheet and shown as one; the
// link's selectable text keeps its heights for several widths (the layouts ask for its size
// hint's and its own in turn, and each answer laid the whole text out again) and wraps
// anywhere (looking for word ends in a long link went through the rest of it for every line).
// Before, at load 3, all rows were built and shown one by one in one pass: 1,000: 2,272 ms,
// 5,000: 30,390 ms, 2,000 with the long token: 10,000 ms, each all of it one block.
#include "CrewLink.h"
#include "ExistingLinksSheet.h"
#include "ProjectStore.h"
#include "PublishChanges.h"
#include "PublishClient.h"
#include "PublishProtocol.h"
#include "PublishSettings.h"
#include "analysis/CrewDoc.h"
#include "app/BenchWindow.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"

#include "PublishStandIn.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace rig;
using namespace rig::app;

// A published show of `sources` arrays with a fifth of them edited since, one hidden.
Project editedShow(int sources) {
    Project p = fixtures::largeProject(sources);
    p.share =
        ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), publishFingerprints(p), {}, std::nullopt};
    for (std::size_t i = 0; i < p.report.sources.size(); i += 5) {
        p.report.sources.mut(i).enclosures.mut(2).angle = 7.5;
        p.setExtra(p.report.sources[i].id(), p.report.sources[i].pickups[0].role, PointExtra{});
    }
    p.setHidden({p.report.sources[1].id()}, true);
    return p;
}

void BM_ChangeSummary(benchmark::State& state) {
    const Project p = editedShow(int(state.range(0)));
    std::size_t changed = 0;
    for (auto _ : state) {
        const ChangeMap changes = publishChangeSummary(p);
        changed = changes.size();
        benchmark::DoNotOptimize(changed);
    }
    state.counters["changed"] = double(changed);
}
BENCHMARK(BM_ChangeSummary)->Arg(40)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_IsShareStale(benchmark::State& state) {
    const Project p = editedShow(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(isShareStale(p));
}
BENCHMARK(BM_IsShareStale)->Arg(200)->Unit(benchmark::kMicrosecond);

// What a publish does before sending: changes, crew document, body text, fingerprints.
void BM_PublishBody(benchmark::State& state) {
    const Project p = editedShow(int(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const ChangeMap changes = publishChangeSummary(p);
        const CrewDoc doc = CrewDoc::build(p, changes, fixtures::testDate(), false);
        const std::string body = encodePublishBody(doc, std::string("tok"));
        benchmark::DoNotOptimize(publishFingerprints(p).size());
        bytes = body.size();
    }
    state.counters["bodyBytes"] = double(bytes);
}
BENCHMARK(BM_PublishBody)->Arg(40)->Arg(200)->Unit(benchmark::kMillisecond);

// The re-send's published state and its crew document.
void BM_ResendBody(benchmark::State& state) {
    const Project p = editedShow(int(state.range(0)));
    for (auto _ : state) {
        const CrewDoc doc = CrewDoc::build(publishedState(p), p.share->changes, fixtures::testDate(), false);
        benchmark::DoNotOptimize(encodePublishBody(doc, std::string("tok")).size());
    }
}
BENCHMARK(BM_ResendBody)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_DecodeLinkList(benchmark::State& state) {
    std::string body = R"({"links":[)";
    for (int i = 0; i < state.range(0); ++i) {
        if (i) body += ",";
        body +=
            R"({"token":"tok)" + std::to_string(i) + R"(","url":"https://crew.example/c/tok)" +
            std::to_string(i) +
            R"(","name":"Arena show","report":"report.pdf","sources":12,"createdAt":1700000000000,"updatedAt":1700000500000})";
    }
    body += "]}";
    for (auto _ : state) benchmark::DoNotOptimize(decodeServerLinks(body).size());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(body.size()));
}
BENCHMARK(BM_DecodeLinkList)->Arg(1000)->Unit(benchmark::kMicrosecond);

// One publish of a large show to a server in this process: build, send, answer, decode.
void BM_PublishToStandIn(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    testserver::PublishStandIn server(rig::app::testing::standInKey);
    if (!server.start()) {
        state.SkipWithError("the stand-in cannot listen");
        return;
    }
    PublishClient client;
    const Project p = editedShow(int(state.range(0)));
    const CrewDoc doc = CrewDoc::build(p, publishChangeSummary(p), fixtures::testDate(), false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig::app::testing::runTask(
            client.publishCrewDoc(doc, std::nullopt, server.baseUrl(), rig::app::testing::standInKey)));
    }
}
BENCHMARK(BM_PublishToStandIn)->Arg(40)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// The sheet over `links` links of the stand-in (/1: one of them with a 100,000-character token).
void BM_ExistingLinksSheet(benchmark::State& state) {
    rig::app::testing::TempAppPaths paths;
    testserver::PublishStandIn server(rig::app::testing::standInKey);
    if (!server.start()) {
        state.SkipWithError("the stand-in cannot listen");
        return;
    }
    const int links = int(state.range(0));
    for (int i = 0; i < links; ++i) {
        const QString token = state.range(1) == 1 && i == links / 2 ? QString(100'000, u'k') : QString();
        server.addLink(R"({"name":"Arena show )" + QByteArray::number(i) +
                           R"(","report":"Arena report.pdf","sources":[{},{},{}]})",
                       token);
    }
    PublishClient client;
    PublishSettings settings{std::make_unique<MemorySecretStore>()};
    settings.setServer(server.baseUrl());
    settings.setKey(rig::app::testing::standInKey);
    ProjectStore store;
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    store.crewLink().setPublishing(&settings, &client);

    double longestBlockMs = 0;
    for (auto _ : state) {
        QElapsedTimer shown;
        shown.start();
        rig::app::bench::LoopProbe probe;
        ExistingLinksSheet sheet(store);
        sheet.show();
        while (sheet.isLoading() || sheet.rows().size() < qsizetype(sheet.links().size()))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        rig::app::bench::settle();
        state.SetIterationTime(double(shown.nsecsElapsed()) / 1e9);
        longestBlockMs = std::max(longestBlockMs, probe.longestBlockMs());
        if (sheet.links().size() != std::size_t(links)) {
            state.SkipWithError(sheet.error().value_or("the list did not load").toStdString().c_str());
            break;
        }
    }
    state.counters["links"] = double(links);
    state.counters["longest_block_ms"] = longestBlockMs;
}
BENCHMARK(BM_ExistingLinksSheet)
    ->Args({1000, 0})
    ->Args({5000, 0})
    ->Args({2000, 1})
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

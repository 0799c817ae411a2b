// Outputs of a large project: 300 sources with 4 pickups each, K1-DELTA on half of the
// sources, a DXF plan outline for each, a rigging height and an inventory.
#include "analysis/CrewDoc.h"
#include "analysis/Issues.h"
#include "analysis/RigDXF.h"
#include "model/Project.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <string>

using namespace rig;

namespace {

std::string number(int n) {
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, n);
    return std::string(buf, res.ptr);
}

Project largeProject() {
    Project p;
    p.name = "Stadium tour";
    p.author = "Crème Rigging";
    p.reportFile = "stadium.pdf";
    p.riggingHeight = 18;
    p.groupRiggingHeights = TextMap<double>{{"Main", 20.0}};
    Motor motor{Uuid::random(), "D8+ 1t", 52};

    std::vector<Source> sources;
    for (int i = 0; i < 300; ++i) {
        std::string group = i % 3 == 0 ? "Main" : (i % 3 == 1 ? "Side" : "Délai");
        Source s("Array " + number(i), {"ALL", group});
        s.configuration = "flown";
        s.bumper = "K1-BUMP";
        s.motorCount = 2;
        s.azimuth = i % 360;
        s.site = -2;
        double x = (i % 20) * 3.0, y = (i / 20) * 4.0;
        s.position = XYZ(x, y, 12);
        s.totalWeight = 1600;
        std::vector<Pickup> pickups;
        const char* roles[4] = {"Front", "Rear", "Pullback", "Mid"};
        for (int k = 0; k < 4; ++k) {
            Pickup pk;
            pk.role = roles[k];
            pk.hole = number(k + 1);
            pk.position = XYZ(x + 0.1 * k, y - 0.5 * k, 14);
            pk.load = k == 3 ? -10.0 : 400.0 + k;
            pk.fromDXF = k != 2;
            pickups.push_back(pk);
        }
        s.pickups = List<Pickup>(pickups);
        std::vector<Enclosure> encs;
        for (int e = 0; e < 12; ++e) {
            Enclosure en;
            en.index = e + 1;
            en.type = e < 10 ? "K1" : "KARA_II";
            en.angle = 1.0 * e;
            en.site = -2.0 - e;
            en.topZ = 14 - 0.4 * e;
            en.bottomZ = 13.6 - 0.4 * e;
            encs.push_back(en);
        }
        s.enclosures = List<Enclosure>(encs);
        s.warnings = {{ReportWarning::Level::caution, "Check the rear link angle"}};
        sources.push_back(s);

        std::string id = s.id();
        for (int k = 0; k < 4; ++k) {
            p.setExtra(id, roles[k],
                       PointExtra{k % 2 == 0 ? std::optional<Motor>(motor) : std::nullopt, i % 2 == 0});
        }
        TopView top;
        top.cx = x;
        top.cy = y;
        top.hull = {{-0.7, -0.5}, {0.7, -0.5}, {0.8, 0.4}, {0, 0.7}, {-0.8, 0.4}};
        SideView side;
        side.path = "M0 -1400L70 -1400L70 -900Z";
        side.minU = 0;
        side.maxU = 70;
        side.minV = -1400;
        side.maxV = -900;
        side.points = {{0, -1400}, {50, -1400}};
        p.dxf.set(id, DXFInfo{List<XYZ>{}, side, top});
    }
    p.report.sources = List<Source>(sources);
    p.inventory = {InventoryItem{"Enclosure", 3000, "K1", "K1", "", 4},
                   InventoryItem{"Enclosure", 600, "Kara II", "KARA II", "", 3},
                   InventoryItem{"Rigging", 300, "K1", "K1-BUMP", "no product information", {}}};
    p.setHidden({"ALL/Side/Array 1"}, true);
    return p;
}

const Project& project() {
    static const Project p = largeProject();
    return p;
}

void BM_CrewDocBuildAndEncode(benchmark::State& state) {
    const Project& p = project();
    TextMap<List<std::string>> changes;
    changes.set("ALL/Main/Array 0", List<std::string>{"Site -1 → -2"});
    Date date = Date(std::chrono::seconds(1741944413));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = CrewDoc::build(p, changes, date, false).encode();
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CrewDocBuildAndEncode)->Unit(benchmark::kMillisecond);

void BM_CrewDocBuild(benchmark::State& state) {
    const Project& p = project();
    Date date = Date(std::chrono::seconds(1741944413));
    for (auto _ : state) benchmark::DoNotOptimize(CrewDoc::build(p, {}, date, true));
}
BENCHMARK(BM_CrewDocBuild)->Unit(benchmark::kMillisecond);

void BM_Issues(benchmark::State& state) {
    const Project& p = project();
    std::size_t count = 0;
    for (auto _ : state) {
        auto issues = p.issues();
        count = issues.size();
        benchmark::DoNotOptimize(issues);
    }
    state.counters["issues"] = static_cast<double>(count);
}
BENCHMARK(BM_Issues)->Unit(benchmark::kMillisecond);

void BM_GroupedIssues(benchmark::State& state) {
    const Project& p = project();
    for (auto _ : state) benchmark::DoNotOptimize(p.groupedIssues());
}
BENCHMARK(BM_GroupedIssues)->Unit(benchmark::kMillisecond);

void BM_RigDXF(benchmark::State& state) {
    const Project& p = project();
    RigDXF::Options options;
    options.drops = true;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = RigDXF::make(p, options);
        bytes = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RigDXF)->Unit(benchmark::kMillisecond);

} // namespace

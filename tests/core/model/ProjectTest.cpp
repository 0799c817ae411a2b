#include "model/Project.h"

#include "support/JsonTesting.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace rig {
namespace {

TEST(ProjectFile, EmptyProjectWritesExactlyTheRequiredKeys) {
    Project p;
    EXPECT_EQ(parseJsonText(p.fileText()), Json::parse(R"({
        "delta": {"name": "K1-DELTA", "spacing": 0.8}, "dxf": {}, "dxfFile": "", "extras": {},
        "formatVersion": 1, "history": [], "inventory": [], "inventoryFile": "", "name": "",
        "report": {"info": {"version": "", "date": "", "fileName": "", "distanceUnit": "m",
                            "weightUnit": "kg"}, "sources": []},
        "reportFile": ""})"));
    EXPECT_EQ(Project::fromText(p.fileText()), Project());
    EXPECT_EQ(Project::fromText(p.recoveryText()), Project());
}

TEST(ProjectFile, FullProjectRoundTripsThroughBothTexts) {
    Project p = fixtures::fullProject();
    Project fromFile = Project::fromText(p.fileText());
    Project fromRecovery = Project::fromText(p.recoveryText());
    EXPECT_EQ(fromFile, p);
    EXPECT_EQ(fromRecovery, p);
    // Written again, the text does not drift.
    EXPECT_EQ(fromFile.fileText(), p.fileText());
    EXPECT_EQ(fromRecovery.recoveryText(), p.recoveryText());

    // Pretty against compact; dates to the second; keys sorted inside nested records.
    std::string file = p.fileText(), recovery = p.recoveryText();
    EXPECT_NE(file.find('\n'), std::string::npos);
    EXPECT_EQ(recovery.find('\n'), std::string::npos);
    EXPECT_NE(file.find("\"reportImportedAt\": \"2025-03-14T11:26:53Z\""), std::string::npos);
    EXPECT_LT(recovery.find("\"fingerprints\""), recovery.find("\"hidden\""));
    EXPECT_LT(recovery.find("\"hidden\""), recovery.find("\"publishedAt\""));
}

TEST(ProjectFile, RequiredAndOptionalKeys) {
    test::expectKeyRules(
        fixtures::fullProject(),
        {"formatVersion", "name", "report", "reportFile", "inventory", "inventoryFile", "dxfFile", "dxf",
         "extras", "delta", "history"},
        {"author", "reportImportedAt", "share", "hiddenSources", "riggingHeight", "groupRiggingHeights"});
}

TEST(ProjectFile, FormatVersionIsKept) {
    Json j = parseJsonText(Project().fileText());
    j["formatVersion"] = 2;
    Project p = Project::fromText(dumpJsonPretty(j));
    EXPECT_EQ(p.formatVersion, 2);
    EXPECT_EQ(parseJsonText(p.fileText())["formatVersion"], 2);
    EXPECT_NE(p, Project());

    j["formatVersion"] = -7;
    EXPECT_EQ(Project::fromText(dumpJsonPretty(j)).formatVersion, -7);
    j["formatVersion"] = 1.5;
    EXPECT_THROW(Project::fromText(dumpJsonPretty(j)), JsonDecodeError);
    j["formatVersion"] = "1";
    EXPECT_THROW(Project::fromText(dumpJsonPretty(j)), JsonDecodeError);
}

TEST(ProjectFile, HiddenSourcesEmptyIsNotNoneAndOrderDoesNotCount) {
    Json j = parseJsonText(Project().fileText());
    j["hiddenSources"] = Json::array();
    Project empty = Project::fromText(dumpJsonCompact(j));
    ASSERT_TRUE(empty.hiddenSources);
    EXPECT_TRUE(empty.hiddenSources->empty());
    EXPECT_NE(empty, Project());
    EXPECT_EQ(Project::fromText(empty.fileText()), empty);

    j["hiddenSources"] = Json::parse(R"(["ALL/B", "ALL/A", "ALL/C"])");
    Project a = Project::fromText(dumpJsonCompact(j));
    j["hiddenSources"] = Json::parse(R"(["ALL/C", "ALL/B", "ALL/A"])");
    EXPECT_EQ(Project::fromText(dumpJsonCompact(j)), a);
}

// A file of a newer version: what this one does not know comes back unchanged at every
// level, and takes no part in equality (it is the same show to this version).
TEST(ProjectFile, UnknownKeysAreWrittenBackAtEveryLevel) {
    Project p = fixtures::fullProject();
    Json j = parseJsonText(p.fileText());
    j["formatVersion"] = 3;
    j["futureField"] = {{"a", 1}, {"b", Json::array({1.5, "x", nullptr})}};
    j["report"]["newSection"] = "r";
    j["report"]["info"]["units"] = "si";
    Json& source = j["report"]["sources"][0];
    source["newColumn"] = "x";
    source["pickups"][0]["rating"] = 2000;
    source["enclosures"][1]["serial"] = "K2-0042";
    j["report"]["sources"][2]["warnings"][0]["code"] = 7;
    j["inventory"][0]["barcode"] = "123";
    Json& dxf = j["dxf"].begin().value();
    dxf["layer"] = "L";
    dxf["side"]["scale"] = 2;
    dxf["top"]["scale"] = 3;
    Json& extra = j["extras"].begin().value();
    extra["note"] = "check shackles";
    extra["points"]["Front"]["chain"] = 12.5;
    extra["points"]["Front"]["motor"]["speed"] = 4;
    j["delta"]["colour"] = "red";
    j["share"]["expires"] = "2026-01-01T00:00:00Z";
    Json& fingerprint = j["share"]["fingerprints"].begin().value();
    fingerprint["seen"] = true;
    fingerprint["source"]["newColumn"] = "y";
    j["history"][0]["user"] = "ana";

    const std::string newer = dumpJsonPretty(j);
    Project read = Project::fromText(newer);
    EXPECT_EQ(read.formatVersion, 3);
    read.formatVersion = p.formatVersion;
    EXPECT_EQ(read, p);
    read.formatVersion = 3;
    EXPECT_EQ(read.fileText(), newer);
    EXPECT_EQ(parseJsonText(read.recoveryText()), j);
    EXPECT_EQ(Project::fromText(read.recoveryText()).fileText(), newer);

    // Edits of known fields keep the unknown ones beside them; a known optional field taken
    // out stays out, even where the record has unknown members.
    const std::string main = read.report.sources[0].id();
    read.name = "Renamed";
    read.report.sources.mut(0).pickups.mut(0).load = 321.5;
    read.extras.edit(main).points.edit("Front").delta ^= true;
    read.share->hidden.reset();
    read.author.reset();
    Json expected = j;
    expected["name"] = "Renamed";
    expected["report"]["sources"][0]["pickups"][0]["load"] = 321.5;
    expected["extras"][main]["points"]["Front"]["delta"] = read.extra(main, "Front").delta;
    expected["share"].erase("hidden");
    expected.erase("author");
    EXPECT_EQ(parseJsonText(read.fileText()), expected);
}

TEST(ProjectFile, ErrorsSayWhatAndWhere) {
    Json j = parseJsonText(fixtures::fullProject().fileText());
    j["report"]["sources"][1].erase("configuration");
    try {
        Project::fromText(dumpJsonPretty(j));
        FAIL() << "read a source without configuration";
    } catch (const JsonDecodeError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("configuration"), std::string::npos) << what;
        EXPECT_NE(what.find("sources"), std::string::npos) << what;
    }

    for (const char* text :
         {"", "{", "[]", "null", "{\"formatVersion\":1,}", "\xFF\xFE", "{\"formatVersion\":1e999}"}) {
        EXPECT_THROW(Project::fromText(text), JsonDecodeError) << text;
    }
}

TEST(ProjectFile, NotANumberSavesReopensAndEqualsItsCopy) {
    Project p = fixtures::fullProject();
    Source s = fixtures::flownArray("Broken", {"ALL"}, 2);
    s.pickups.mut(0).position = XYZ(std::nan(""), 1, 2);
    s.pickups.mut(1).load = std::nan("");
    p.report.sources.push_back(s);
    p.dxf.set(s.id(), DXFInfo{List<XYZ>{XYZ(0, std::nan(""), 0)}, std::nullopt, std::nullopt});
    p.share->fingerprints.set(s.id(), SourceFingerprint{s, std::nullopt});

    Project copy = p;
    EXPECT_EQ(copy, p);

    Project reopened;
    ASSERT_NO_THROW(reopened = Project::fromText(p.fileText()));
    ASSERT_EQ(reopened.report.sources.size(), p.report.sources.size());
    const Source& back = reopened.report.sources.back();
    EXPECT_TRUE(std::isnan(back.pickups[0].position.x));
    EXPECT_TRUE(std::isnan(*back.pickups[1].load));
    EXPECT_TRUE(std::isnan(reopened.dxf.get(s.id())->pickups[0].y));
    Project reopenedCopy = reopened;
    EXPECT_EQ(reopenedCopy, reopened);
    // Nothing was lost: the reopened project writes the same text.
    EXPECT_EQ(reopened.fileText(), p.fileText());
    EXPECT_EQ(Project::fromText(p.recoveryText()).recoveryText(), p.recoveryText());
}

TEST(ProjectEquality, EveryFieldCounts) {
    const Project base = fixtures::fullProject();
    const std::string main = base.report.sources[0].id();
    auto differs = [&](auto change) {
        Project p = base;
        change(p);
        return !(p == base);
    };
    auto dxf = [](Project& p) -> DXFInfo& { return p.dxf.edit(p.dxf.begin()->first); }; // the main array
    EXPECT_TRUE(differs([](Project& p) { p.formatVersion = 2; }));
    EXPECT_TRUE(differs([](Project& p) { p.name += "!"; }));
    EXPECT_TRUE(differs([](Project& p) { p.author.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.report.info.weightUnit = "lb"; }));
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(0).pickups.mut(0).fromDXF = true; }));
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(0).enclosures.mut(1).angle = 2.5; }));
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(2).warnings.mut(0).text += "!"; }));
    // The last field of each record counts too.
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(0).gain = 123.25; }));
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(0).enclosures.mut(1).panflex = "0"; }));
    EXPECT_TRUE(differs([](Project& p) { p.inventory.mut(0).ampChannels = 123; }));
    EXPECT_TRUE(differs([&](Project& p) { p.extras.edit(main).points.edit("Front").delta ^= true; }));
    EXPECT_TRUE(differs([](Project& p) { p.reportFile = "x.pdf"; }));
    EXPECT_TRUE(differs([](Project& p) { p.reportImportedAt.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.inventory.mut(0).quantity = 17; }));
    EXPECT_TRUE(differs([](Project& p) { p.inventoryFile = "x.csv"; }));
    EXPECT_TRUE(differs([](Project& p) { p.dxfFile = "x.dxf"; }));
    EXPECT_TRUE(differs([](Project& p) { p.dxf.erase(p.dxf.begin()->first); }));
    EXPECT_TRUE(differs([&](Project& p) { dxf(p).side->maxV += 1; }));
    EXPECT_TRUE(differs([&](Project& p) {
        dxf(p).side->points = List<std::vector<std::int64_t>>{{25, -10}};
    }));
    EXPECT_TRUE(differs([&](Project& p) {
        auto& hull = dxf(p).top->hull.edit(); // same corners, another starting corner
        std::rotate(hull.begin(), hull.begin() + 1, hull.end());
    }));
    EXPECT_TRUE(differs([](Project& p) { p.extras.clear(); }));
    EXPECT_TRUE(differs([](Project& p) { p.delta.weight.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.share->url += "/"; }));
    EXPECT_TRUE(differs([](Project& p) { p.share->publishedAt = fixtures::testDate(1); }));
    EXPECT_TRUE(differs([&](Project& p) { p.share->changes.set(main, List<std::string>{}); }));
    EXPECT_TRUE(
        differs([&](Project& p) { p.share->fingerprints.edit(main).source.pickups.mut(0).load = 1.0; }));
    EXPECT_TRUE(differs([](Project& p) { p.share.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.history.mut(0).changes.push_back("x"); }));
    EXPECT_TRUE(differs([](Project& p) { p.history.mut(0).date = fixtures::testDate(1); }));
    EXPECT_TRUE(differs([](Project& p) { p.hiddenSources = TextSet{}; }));
    EXPECT_TRUE(differs([](Project& p) { p.riggingHeight = 18.75; }));
    EXPECT_TRUE(differs([](Project& p) { p.groupRiggingHeights->set("Outfill", 16.5); }));
    EXPECT_FALSE(differs([](Project& p) { p.name = std::string(p.name); }));
    EXPECT_FALSE(differs([](Project& p) { p.share->hidden = TextSet{"ALL/Subs/Subs"}; }));
}

// Imports and the autosave read a copy on a worker thread while the main thread keeps
// editing. Each worker checks that its copy never changes. In odd rounds the main thread
// edits while the copies are held (it must detach); in even rounds it waits until the
// workers dropped them and then edits the very storage they read, in place: under
// ThreadSanitizer that is ordered after their reads by the storage's own count alone (the
// workers' "done" count is relaxed on purpose).
TEST(ProjectCopies, WorkersReadTheirCopiesWhileTheMainThreadEdits) {
    Project p = fixtures::largeProject(6, 4, 4);
    p.hiddenSources = TextSet{"ALL/Main/Main 1"};
    const std::size_t sources = p.report.sources.size();
    for (int round = 0; round < 12; ++round) {
        const std::string expected = p.recoveryText();
        constexpr int workerCount = 3;
        std::atomic<int> done{0};
        std::atomic<int> changed{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < workerCount; ++w) {
            workers.emplace_back([copy = p, &expected, &done, &changed]() mutable {
                {
                    const Project mine = std::move(copy);
                    if (mine.recoveryText() != expected) changed.fetch_add(1, std::memory_order_relaxed);
                }
                done.fetch_add(1, std::memory_order_relaxed);
            });
        }
        if (round % 2 == 0) {
            while (done.load(std::memory_order_relaxed) < workerCount) std::this_thread::yield();
        }
        for (int k = 0; done.load(std::memory_order_relaxed) < workerCount || k < 50; ++k) {
            const std::size_t i = static_cast<std::size_t>(k) % sources;
            p.report.sources.mut(i).pickups.mut(0).load = round * 1000.0 + k;
            p.extras.set(p.report.sources[i].id() + "/x", SourceExtra{});
            p.hiddenSources->insert(std::to_string(k));
        }
        for (std::thread& t : workers) t.join();
        EXPECT_EQ(changed.load(), 0) << round;
    }
}

} // namespace
} // namespace rig

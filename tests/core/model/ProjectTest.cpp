#include "model/Project.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace rig {
namespace {

Json keysOf(const Json& obj) {
    Json keys = Json::array();
    for (auto it = obj.begin(); it != obj.end(); ++it) keys.push_back(it.key());
    return keys;
}

TEST(ProjectFile, EmptyProjectWritesExactlyTheRequiredKeys) {
    Project p;
    Json j = parseJsonText(p.fileText());
    EXPECT_EQ(keysOf(j), Json::parse(R"(["delta","dxf","dxfFile","extras","formatVersion","history",
                                          "inventory","inventoryFile","name","report","reportFile"])"));
    EXPECT_EQ(j["formatVersion"], 1);
    EXPECT_EQ(j["name"], "");
    EXPECT_EQ(j["reportFile"], "");
    EXPECT_EQ(j["inventoryFile"], "");
    EXPECT_EQ(j["dxfFile"], "");
    EXPECT_EQ(j["dxf"], Json::object());
    EXPECT_EQ(j["extras"], Json::object());
    EXPECT_EQ(j["history"], Json::array());
    EXPECT_EQ(j["inventory"], Json::array());
    EXPECT_EQ(j["delta"], Json::parse(R"({"name":"K1-DELTA","spacing":0.8})"));
    EXPECT_EQ(j["report"], Json::parse(R"({"info":{"version":"","date":"","fileName":"","distanceUnit":"m",
                                                  "weightUnit":"kg"},"sources":[]})"));

    EXPECT_EQ(Project::fromText(p.fileText()), Project());
    EXPECT_EQ(Project::fromText(p.recoveryText()), Project());
}

TEST(ProjectFile, FullProjectRoundTripsThroughBothTexts) {
    Project p = fixtures::fullProject();
    Json j = parseJsonText(p.fileText());
    EXPECT_EQ(keysOf(j), Json::parse(R"(["author","delta","dxf","dxfFile","extras","formatVersion",
        "groupRiggingHeights","hiddenSources","history","inventory","inventoryFile","name","report",
        "reportFile","reportImportedAt","riggingHeight","share"])"));

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

TEST(ProjectFile, EachRequiredKeyIsRequired) {
    Json full = parseJsonText(fixtures::fullProject().fileText());
    for (const char* key : {"formatVersion", "name", "report", "reportFile", "inventory", "inventoryFile",
                            "dxfFile", "dxf", "extras", "delta", "history"}) {
        Json missing = full;
        missing.erase(key);
        EXPECT_THROW(Project::fromText(dumpJsonCompact(missing)), JsonDecodeError) << key;
        Json null = full;
        null[key] = nullptr;
        EXPECT_THROW(Project::fromText(dumpJsonCompact(null)), JsonDecodeError) << key;
    }
}

TEST(ProjectFile, EachOptionalKeyMayBeMissingOrNull) {
    Json full = parseJsonText(fixtures::fullProject().fileText());
    for (const char* key :
         {"author", "reportImportedAt", "share", "hiddenSources", "riggingHeight", "groupRiggingHeights"}) {
        Json missing = full;
        missing.erase(key);
        Json null = full;
        null[key] = nullptr;
        Project a = Project::fromText(dumpJsonCompact(missing));
        Project b = Project::fromText(dumpJsonCompact(null));
        EXPECT_EQ(a, b) << key;
        EXPECT_NE(a, Project::fromText(dumpJsonCompact(full))) << key;
    }
    Json old = full;
    old.erase("riggingHeight");
    old.erase("groupRiggingHeights");
    old.erase("hiddenSources");
    Project p = Project::fromText(dumpJsonCompact(old));
    EXPECT_FALSE(p.riggingHeight);
    EXPECT_FALSE(p.groupRiggingHeights);
    EXPECT_FALSE(p.hiddenSources);
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

TEST(ProjectFile, HiddenSources) {
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
    Project b = Project::fromText(dumpJsonCompact(j));
    EXPECT_EQ(a, b);
}

TEST(ProjectFile, DatesMustBeISO) {
    Json j = parseJsonText(Project().fileText());
    j["reportImportedAt"] = "2025-03-14T09:26:53Z";
    EXPECT_EQ(Project::fromText(dumpJsonCompact(j)).reportImportedAt, fixtures::testDate());
    j["reportImportedAt"] = "14.03.2025 09:26";
    EXPECT_THROW(Project::fromText(dumpJsonCompact(j)), JsonDecodeError);
    j["reportImportedAt"] = 763637213;
    EXPECT_THROW(Project::fromText(dumpJsonCompact(j)), JsonDecodeError);
}

TEST(ProjectFile, UnknownKeysAreIgnoredAtEveryLevel) {
    Project p = fixtures::fullProject();
    Json j = parseJsonText(p.fileText());
    j["futureField"] = {{"a", 1}};
    j["report"]["sources"][0]["newColumn"] = "x";
    j["delta"]["colour"] = "red";
    j["share"]["fingerprints"].begin().value()["seen"] = true;
    EXPECT_EQ(Project::fromText(dumpJsonPretty(j)), p);
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
    auto differs = [&](auto change) {
        Project p = base;
        change(p);
        return !(p == base);
    };
    EXPECT_TRUE(differs([](Project& p) { p.formatVersion = 2; }));
    EXPECT_TRUE(differs([](Project& p) { p.name += "!"; }));
    EXPECT_TRUE(differs([](Project& p) { p.author.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.report.info.weightUnit = "lb"; }));
    EXPECT_TRUE(differs([](Project& p) { p.report.sources.mut(0).pickups.mut(0).fromDXF = true; }));
    EXPECT_TRUE(differs([](Project& p) { p.reportFile = "x.pdf"; }));
    EXPECT_TRUE(differs([](Project& p) { p.reportImportedAt.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.inventory.mut(0).quantity = 17; }));
    EXPECT_TRUE(differs([](Project& p) { p.inventoryFile = "x.csv"; }));
    EXPECT_TRUE(differs([](Project& p) { p.dxfFile = "x.dxf"; }));
    EXPECT_TRUE(differs([](Project& p) { p.dxf.erase(p.dxf.begin()->first); }));
    EXPECT_TRUE(differs([](Project& p) { p.extras.clear(); }));
    EXPECT_TRUE(differs([](Project& p) { p.delta.weight.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.share->url += "/"; }));
    EXPECT_TRUE(differs([](Project& p) { p.share.reset(); }));
    EXPECT_TRUE(differs([](Project& p) { p.history.mut(0).changes.push_back("x"); }));
    EXPECT_TRUE(differs([](Project& p) { p.hiddenSources = TextSet{}; }));
    EXPECT_TRUE(differs([](Project& p) { p.riggingHeight = 18.75; }));
    EXPECT_TRUE(differs([](Project& p) { p.groupRiggingHeights->set("Outfill", 16.5); }));
    EXPECT_FALSE(differs([](Project& p) { p.name = std::string(p.name); }));
}

} // namespace
} // namespace rig

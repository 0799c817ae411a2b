#include "model/Drawing.h"
#include "model/Extras.h"
#include "model/Report.h"
#include "model/RigError.h"
#include "model/Share.h"

#include "support/JsonTesting.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <unordered_set>

namespace rig {
namespace {

using test::reads;
using test::roundTrip;

const std::string composed = "Mot\u00E9ur";    // é as one code point
const std::string decomposed = "Mote\u0301ur"; // e + combining acute

TEST(Source, IdentifierAndFlownFlag) {
    EXPECT_EQ(Source("L1", {"ALL", "Main"}).id(), "ALL/Main/L1");
    EXPECT_EQ(Source("Sub", {}).id(), "Sub");
    EXPECT_EQ(Source("a/b", {"", "G"}).id(), "/G/a/b");
    const std::pair<const char*, bool> flown[] = {{"K2 flown", true}, {"unflownish", true},
                                                  {"Flown", false},   {"FLOWN", false},
                                                  {"", false},        {"stacked", false}};
    Source s("x", {});
    for (auto [configuration, isFlown] : flown) {
        s.configuration = configuration;
        EXPECT_EQ(s.isFlown(), isFlown) << configuration;
    }
}

// Which keys each record writes, which it requires (even those with a default) and
// which it reads as absent when missing or null.
TEST(RecordJson, RequiredAndOptionalKeys) {
    const Project p = fixtures::fullProject();
    const Source& s = p.report.sources[0];
    const std::string id = s.id();
    test::expectKeyRules(
        s, {"name", "groups", "configuration", "pickups", "enclosures", "hasAngles", "warnings"},
        {"bumper", "motorCount", "position", "site", "azimuth", "dimensions", "bottomElevation", "topSite",
         "bottomSite", "totalWeight", "enclosureWeight", "delay", "gain"});
    test::expectKeyRules(s.pickups[0], {"role", "hole", "position", "fromDXF"}, {"load"});
    test::expectKeyRules(s.enclosures[1], {"index", "type"}, {"angle", "site", "topZ", "bottomZ", "panflex"});
    test::expectKeyRules(XYZ(1, 2, 3), {"x", "y", "z"});
    test::expectKeyRules(p.report.sources[2].warnings[0], {"level", "text"});
    test::expectKeyRules(p.report.info, {"version", "date", "fileName", "distanceUnit", "weightUnit"});
    test::expectKeyRules(p.report, {"info", "sources"});
    test::expectKeyRules(p.inventory[0], {"category", "quantity", "family", "product", "description"},
                         {"ampChannels"});
    test::expectKeyRules(fixtures::testMotor(), {"id", "name", "weight"});
    test::expectKeyRules(p.delta, {"name"}, {"spacing", "weight"});
    test::expectKeyRules(p.extra(id, "Front"), {"delta"}, {"motor"});
    test::expectKeyRules(*p.extras.get(id), {"points"});
    const DXFInfo& dxf = *p.dxf.get(id);
    test::expectKeyRules(*dxf.side, {"path", "minU", "maxU", "minV", "maxV", "points"});
    test::expectKeyRules(*dxf.top, {"cx", "cy", "hull"});
    test::expectKeyRules(dxf, {"pickups"}, {"side", "top"});
    test::expectKeyRules(p.history[0], {"date", "file", "changes"});
    test::expectKeyRules(*p.share->fingerprints.get(id), {"source"}, {"extra"});
    test::expectKeyRules(*p.share, {"token", "url", "publishedAt", "fingerprints", "changes"}, {"hidden"});
}

TEST(RecordJson, LeastValuesWriteExactly) {
    const std::pair<Json, const char*> cases[] = {
        {Source("L1", {"ALL"}).toJson(), R"({"configuration":"","enclosures":[],"groups":["ALL"],
            "hasAngles":false,"name":"L1","pickups":[],"warnings":[]})"},
        {Enclosure{2, "K2", {}, {}, {}, {}, {}}.toJson(), R"({"index":2,"type":"K2"})"},
        {InventoryItem{"E", 1, "", "", "", {}}.toJson(),
         R"({"category":"E","quantity":1,"family":"","product":"","description":""})"},
        {DeltaSpec{}.toJson(), R"({"name":"K1-DELTA","spacing":0.8})"},
        {PointExtra{}.toJson(), R"({"delta":false})"},
        {SourceExtra{}.toJson(), R"({"points":{}})"},
        {DXFInfo{List<XYZ>{XYZ(1, 2, 3)}, {}, {}}.toJson(), R"({"pickups":[{"x":1.0,"y":2.0,"z":3.0}]})"},
        {ImportRecord{fixtures::testDate(), "Show.pdf", {}}.toJson(),
         R"({"changes":[],"date":"2025-03-14T09:26:53Z","file":"Show.pdf"})"},
        {ShareInfo{"t", "u", fixtures::testDate(), {}, {}, {}}.toJson(),
         R"({"changes":{},"fingerprints":{},"publishedAt":"2025-03-14T09:26:53Z","token":"t","url":"u"})"},
    };
    for (const auto& [written, expected] : cases) EXPECT_EQ(written, Json::parse(expected));
}

TEST(RecordJson, ValueTypesAreExact) {
    const std::pair<bool, bool> cases[] = {
        {reads<ReportWarning>(R"({"level":"caution","text":"x"})"), true},
        {reads<ReportWarning>(R"({"level":"Caution","text":"x"})"), false},
        {reads<ReportWarning>(R"({"level":"info","text":"x"})"), false},
        {reads<InventoryItem>(R"({"category":"E","quantity":1.5,"family":"","product":"","description":""})"),
         false},
        {reads<SideView>(R"({"path":"","minU":1.5,"maxU":0,"minV":0,"maxV":0,"points":[]})"), false},
        {reads<SideView>(R"({"path":"","minU":0,"maxU":0,"minV":0,"maxV":0,"points":[[1,"x"]]})"), false},
        // Whole-number decimals may be written without a fraction; nothing checks shapes.
        {reads<TopView>(R"({"cx":4,"cy":-2,"hull":[[1,0],[3]]})"), true},
        {reads<DXFInfo>(R"({"pickups":[]})"), true},
        {reads<Pickup>(R"({"role":"","hole":"","position":{"x":0,"y":0},"fromDXF":false})"), false},
        {reads<Motor>(R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"M","weight":58})"), true},
        {reads<Motor>(R"({"id":"not-a-uuid","name":"M","weight":58})"), false},
        {reads<Motor>(R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"M","weight":"58"})"), false},
        {reads<DeltaSpec>(R"({"name":"P","spacing":"0.8"})"), false},
        {reads<SourceExtra>(R"({"points":[]})"), false},
        {reads<ImportRecord>(R"({"date":"14/03/2025","file":"","changes":[]})"), false},
        {reads<ImportRecord>(R"({"date":763637213,"file":"","changes":[]})"), false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST(ReportWarning, LevelTextIsExact) {
    EXPECT_EQ(ReportWarning::levelText(ReportWarning::Level::error), "error");
    EXPECT_EQ(ReportWarning::levelText(ReportWarning::Level::caution), "caution");
    EXPECT_EQ(ReportWarning::levelFromText("warning"), ReportWarning::Level::warning);
    EXPECT_FALSE(ReportWarning::levelFromText("WARNING"));
}

TEST(RecordEquality, CanonicalTextSignedZeroAndHashAgree) {
    ReportWarning a{ReportWarning::Level::error, composed}, b{ReportWarning::Level::error, decomposed};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ReportWarning>{}(a), std::hash<ReportWarning>{}(b));
    b.level = ReportWarning::Level::caution;
    EXPECT_NE(a, b);

    Motor c = fixtures::testMotor(composed, 0.0), d = fixtures::testMotor(decomposed, -0.0);
    EXPECT_EQ(c, d);
    EXPECT_EQ(std::hash<Motor>()(c), std::hash<Motor>()(d));
    EXPECT_NE(c, fixtures::testMotor(composed, 0.0, 2)); // another identifier
    EXPECT_NE(c, fixtures::testMotor(composed + " ", 0.0));

    EXPECT_EQ(XYZ(0.0, 0, 0), XYZ(-0.0, 0, 0));
    std::unordered_set<XYZ> set{XYZ(0.0, 2, 3), XYZ(-0.0, 2, 3), XYZ(3, 2, 0)};
    EXPECT_EQ(set.size(), 2u);
    XYZ n(std::nan(""), 0, 0);
    EXPECT_NE(n, n);
    EXPECT_EQ(XYZ(0, 0, 0).distance(XYZ(1, 2, 2)), 3.0);
}

TEST(RecordEquality, NotANumberEqualsOnlyAnUnchangedCopyAndRoundTrips) {
    Source s("L1", {});
    s.pickups = {Pickup{"Front", "", XYZ(std::nan(""), 0, 0), {}, false}};
    Source copy = s;
    EXPECT_EQ(s, copy);
    Source rebuilt("L1", {});
    rebuilt.pickups = {Pickup{"Front", "", XYZ(std::nan(""), 0, 0), {}, false}};
    EXPECT_NE(s, rebuilt);

    // Written and read back, the not-a-number survives as a value.
    EXPECT_EQ(s.pickups[0].toJson()["position"]["x"], "NaN");
    EXPECT_TRUE(std::isnan(roundTrip(s).pickups[0].position.x));
}

TEST(DeltaSpec, DefaultsOnlyInTheInitialiser) {
    DeltaSpec d;
    EXPECT_EQ(d.spacingValue(), 0.8);
    d.spacing = 1.2;
    d.weight = 12;
    EXPECT_EQ(d.spacingValue(), 1.2);
    EXPECT_EQ(d.weightValue(), 9.5); // the product weight, whatever is stored

    // Read from only a name there is no spacing, and written again there still is none.
    DeltaSpec named = test::read<DeltaSpec>(Json::parse(R"({"name":"Plate"})"));
    EXPECT_FALSE(named.spacing);
    EXPECT_FALSE(named.weight);
    EXPECT_EQ(named.spacingValue(), 0.8);
    DeltaSpec initialised;
    initialised.name = "Plate";
    EXPECT_NE(named, initialised);
    EXPECT_EQ(named.toJson(), Json::parse(R"({"name":"Plate"})"));
}

TEST(ShareInfo, EmptyHiddenSetIsNotNone) {
    ShareInfo none{"tok", "https://x", fixtures::testDate(), {}, {}, {}};
    ShareInfo empty = none;
    empty.hidden = TextSet{};
    EXPECT_FALSE(none.toJson().contains("hidden"));
    EXPECT_EQ(empty.toJson()["hidden"], Json::array());
    EXPECT_NE(none, empty);
    ShareInfo back = roundTrip(empty);
    ASSERT_TRUE(back.hidden);
    EXPECT_TRUE(back.hidden->empty());
}

TEST(RigError, MessagesNameTheFileUnchanged) {
    EXPECT_STREQ(RigError::unreadable("plan.pdf").what(), "Cannot read plan.pdf.");
    EXPECT_STREQ(RigError::notSoundvision("Plan de feu é.pdf").what(),
                 "Plan de feu é.pdf does not look like a Soundvision report.");
    EXPECT_EQ(RigError::notSoundvision("a").kind(), RigError::Kind::notSoundvision);
    EXPECT_STREQ(Cancelled().what(), "Cancelled.");
    std::stop_source stop;
    EXPECT_NO_THROW(throwIfCancelled(stop.get_token()));
    stop.request_stop();
    EXPECT_THROW(throwIfCancelled(stop.get_token()), Cancelled);
}

} // namespace
} // namespace rig

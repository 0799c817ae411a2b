#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "model/Project.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <limits>

using namespace rig;
using namespace rig::fixtures;

namespace {

// Main L (flown, Delta on Front, motor on Rear, DXF with side and top view), Sub (hidden,
// position only), Front fill (no position at all).
Project realisticProject() {
    Source main = testSource(
        "Main L", {"ALL", "Main"},
        {testPickup("Front", XYZ(1.234, 5.678, 9), 522, "3"), testPickup("Rear", XYZ(1.234, 3.678, 9), -12)});
    main.configuration = "flown";
    main.azimuth = -10;
    main.enclosures = {Enclosure{1, "K1", 0.0, {}, {}, 8.7, "110"},
                       Enclosure{2, "KARA", {}, -2.25, {}, {}, {}}};
    main.warnings = {{ReportWarning::Level::caution, "Check the rear link"}};
    Source sub = testSource("Sub", {"ALL"});
    sub.position = XYZ(0, 0, 0);

    Project p = projectOf({main, sub, testSource("Front fill", {})});
    p.name = "CS Arena";
    p.author = "Crème";
    p.reportFile = "arena.pdf";
    p.report.info.version = "3.7.1";
    p.setExtra("ALL/Main/Main L", "Front", PointExtra{std::nullopt, true});
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{testMotor("D8+ 1t", 52), false});
    p.setHidden({"ALL/Sub"}, true);
    p.riggingHeight = 12;
    p.dxf.set("ALL/Main/Main L",
              DXFInfo{{},
                      SideView{"M0 -900L50 -900L50 -800Z", -20, 50, -910, -800, {{0, -900}, {-20, -910}}},
                      TopView{1.2, 4.6, {{-0.5, -1}, {0.5, -1}, {0.5, 1}}}});
    p.inventory = {InventoryItem{"Enclosure", 12, "K1", "K1", "", 3}};
    return p;
}

} // namespace

TEST(CrewDocBuild, RealisticProject) {
    Project p = realisticProject();
    TextMap<List<std::string>> changes;
    changes.set("ALL/Main/Main L", List<std::string>{"Site -1 → -1.5"});
    changes.set("ALL/Sub", List<std::string>{});

    std::string text = CrewDoc::build(p, changes, testDate(), false).encode();
    EXPECT_EQ(text.rfind(R"({"v":1,"name":"CS Arena","author":"Crème","updated":"2025-03-14T09:26:53Z",)"
                         R"("report":"arena.pdf","svVersion":"3.7.1","distUnit":"m","weightUnit":"kg",)",
                         0),
              0u);
    Json j = parseJsonText(text);
    ASSERT_EQ(j["sources"].size(), 2u); // the hidden Sub is left out
    // Delta hang points across the axis from the rear to the front pickup.
    EXPECT_EQ(j["sources"][0],
              parseJsonText(R"({"id":"ALL/Main/Main L","name":"Main L","group":["ALL","Main"],
        "config":"flown","az":-10,"botFace":[-2.25,-7.3],"points":[
        {"role":"Front","hole":"3","xyz":[1.234,5.678,9],"load":522,"delta":true,"dm":[[0.83,5.68,9],[1.63,5.68,9]]},
        {"role":"Rear","hole":"","xyz":[1.234,3.678,9],"load":-12,"delta":false,"motor":"D8+ 1t","motorKg":52}],
        "hasAngles":false,"enc":[{"n":1,"t":"K1","a":0,"bot":8.7,"pf":"110"},{"n":2,"t":"KARA","s":-2.25}],
        "warn":[{"l":"caution","t":"Check the rear link"},{"l":"error","t":"Rear load is negative (-12 kg)."}],
        "side":{"p":"M0 -900L50 -900L50 -800Z","box":[-20,-910,70,110],"pts":[[0,-900],[-20,-910]]},
        "plan":{"c":[1.2,4.6],"hull":[[-0.5,-1],[0.5,-1],[0.5,1]],"dir":[0,1]},"rigH":12,
        "changed":["Site -1 → -1.5"],"no":1})"));
    // A source keeps its number when the crew does not see the one before it.
    EXPECT_EQ(j["sources"][1], parseJsonText(R"({"id":"Front fill","name":"Front fill","group":[],"config":"",
        "points":[],"hasAngles":false,"enc":[],"warn":[],"rigH":12,"no":3})"));
    EXPECT_EQ(j["inventory"], parseJsonText(R"([{"cat":"Enclosure","q":12,"n":"K1","ch":3}])"));
    EXPECT_EQ(j["delta"], parseJsonText(R"({"name":"K1-DELTA","spacing":0.8,"weight":9.5})"));
    ASSERT_NO_THROW(CrewDoc::decode(text));

    // On request the hidden Sub comes too, with an empty change list; other sources have
    // none unless listed. Position only: the 0.6 by 0.4 rectangle along the axis (0, 1).
    changes.erase("ALL/Main/Main L");
    j = parseJsonText(CrewDoc::build(p, changes, testDate(), true).encode());
    ASSERT_EQ(j["sources"].size(), 3u);
    EXPECT_FALSE(j["sources"][0].contains("changed"));
    EXPECT_EQ(j["sources"][1]["id"], "ALL/Sub");
    EXPECT_EQ(j["sources"][1]["changed"], Json::array());
    EXPECT_EQ(
        j["sources"][1]["plan"],
        parseJsonText(R"({"c":[0,0],"hull":[[-0.3,-0.2],[0.3,-0.2],[0.3,0.2],[-0.3,0.2]],"dir":[0,1]})"));
}

TEST(CrewDocBuild, FootprintPlanDeltaDefaultsAndAbsurdSideBounds) {
    Project p = projectOf({testSource("S", {},
                                      {testPickup("Front", XYZ(0, 0, 5), 0.0),
                                       testPickup("Rear", XYZ(notANumber, notANumber, notANumber))})});
    p.setExtra("S", "Rear", PointExtra{std::nullopt, true});
    p.delta.spacing.reset();
    p.delta.weight = 12;
    SideView side;
    side.minU = std::numeric_limits<std::int64_t>::min();
    side.maxU = std::numeric_limits<std::int64_t>::max();
    p.dxf.set("S", DXFInfo{{}, side, std::nullopt});

    CrewDoc doc = CrewDoc::build(p, {}, testDate(), false);
    const CrewDoc::Src& src = doc.sources[0];
    EXPECT_TRUE(src.warn.empty()) << "a load of 0 is not negative";
    EXPECT_EQ(src.side, std::nullopt) << "bounds whose size overflows";
    ASSERT_TRUE(src.plan);
    EXPECT_NEAR(src.plan->c[1], 0.15, 1e-12); // pickup footprint
    EXPECT_EQ(src.plan->hull.size(), 4u);
    EXPECT_TRUE(src.points[1].delta);
    EXPECT_EQ(src.points[1].xyz, std::nullopt);
    EXPECT_EQ(src.points[1].dm, std::nullopt);
    EXPECT_EQ(doc.delta.spacing, 0.8);
    EXPECT_EQ(doc.delta.weight, 9.5);
}

TEST(CrewDocBuild, NotANumberValuesAreLeftOutSoTheDocumentEncodes) {
    const double nan = notANumber;
    Project p = realisticProject();
    Source& s = p.report.sources.mut(0);
    s.azimuth = s.site = s.bottomElevation = s.totalWeight = nan;
    s.position = XYZ(1, nan, 2);
    s.enclosureWeight = std::numeric_limits<double>::infinity();
    s.pickups = {testPickup("Front", XYZ(1, nan, 9), nan, "3"), testPickup("Rear", XYZ(1, 2, nan), -1)};
    s.enclosures = {Enclosure{1, "K1", nan, 1.0, nan, 8.7, {}}, Enclosure{2, "KARA", {}, nan, {}, {}, {}}};
    p.riggingHeight = nan;
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{testMotor("M", nan), true});
    p.dxf.set("ALL/Main/Main L", DXFInfo{{}, std::nullopt, TopView{nan, 1, {{0, 0}}}});

    std::string text;
    ASSERT_NO_THROW(text = CrewDoc::build(p, {}, testDate(), true).encode());
    Json src = parseJsonText(text)["sources"][0];
    for (const char* key :
         {"site", "az", "pos", "bottom", "botFace", "weight", "encWeight", "plan", "rigH"}) {
        EXPECT_FALSE(src.contains(key)) << key;
    }
    // A load that is not a number is marked, so that the page tells it from an absent one.
    EXPECT_EQ(src["points"], parseJsonText(R"([{"role":"Front","hole":"3","loadInvalid":true,"delta":true},
        {"role":"Rear","hole":"","load":-1,"delta":true,"motor":"M"}])"));
    EXPECT_EQ(src["enc"], parseJsonText(R"([{"n":1,"t":"K1","s":1,"bot":8.7},{"n":2,"t":"KARA"}])"));
    EXPECT_EQ(src["warn"][src["warn"].size() - 2]["t"], "Rear load is negative (-1 kg).");
    EXPECT_EQ(src["warn"].back(),
              parseJsonText(
                  R"({"l":"warning","t":"Unreadable load on Front – totals that need it are left empty."})"));

    // Roles with a direction override stay isolated, without it, in the warnings that name them.
    s.pickups = {testPickup("\u202EFront", XYZ(1, 2, 9), nan), testPickup("\u202ERear", XYZ(1, 2, 9), -1)};
    const Json warnings =
        parseJsonText(CrewDoc::build(p, {}, testDate(), true).encode())["sources"][0]["warn"];
    ASSERT_GE(warnings.size(), 2u);
    for (const Json& warn : warnings)
        EXPECT_TRUE(shownWithoutOverride(warn["t"].get<std::string>())) << warn["t"];

    // A NaN spacing stored in the project leaves out the spacing and every Delta point.
    p.delta.spacing = nan;
    s.pickups = {testPickup("Rear", XYZ(1, 2, 3), 1)};
    Json j = parseJsonText(CrewDoc::build(p, {}, testDate(), true).encode());
    EXPECT_FALSE(j["delta"].contains("spacing"));
    EXPECT_EQ(j["sources"][0]["points"][0], parseJsonText(R"({"role":"Rear","hole":"","xyz":[1,2,3],)"
                                                          R"("load":1,"delta":true,"motor":"M"})"));
}

TEST(CrewDocBuild, MisshapenOutlinesFromAHandEditedFileAreNotPassedOn) {
    Project p = projectOf({testSource("S", {}, {testPickup("Front", XYZ(0, 0, 5), 1.0)})});
    SideView side;
    side.maxU = side.maxV = 10;
    side.points = {{1, 2}, {3}, {4, 5, 6}};
    p.dxf.set("S", DXFInfo{{}, side, TopView{0, 0, {{0, 0}, {1, 0, 2}, {1, 1}}}});

    const CrewDoc::Src src = CrewDoc::build(p, {}, testDate(), false).sources[0];
    ASSERT_TRUE(src.side);
    EXPECT_EQ(src.side->pts, (std::vector<std::vector<std::int64_t>>{{1, 2}}));
    EXPECT_EQ(src.plan, std::nullopt);
}

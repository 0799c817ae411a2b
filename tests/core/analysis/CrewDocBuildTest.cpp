#include "analysis/CrewDoc.h"
#include "model/Project.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

using namespace rig;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const Date kDate = Date(std::chrono::seconds(1741944413)); // 2025-03-14T09:26:53Z

Pickup pickup(const char* role, const char* hole, XYZ at, std::optional<double> load) {
    Pickup p;
    p.role = role;
    p.hole = hole;
    p.position = at;
    p.load = load;
    return p;
}

Motor motor() {
    return Motor{Uuid::random(), "D8+ 1t", 52};
}

// Main L (flown, Delta on Front, motor on Rear, DXF with side and top view), Sub (hidden,
// position only), Front fill (no position at all).
Project realisticProject() {
    Project p;
    p.name = "CS Arena";
    p.author = "Crème";
    p.reportFile = "arena.pdf";
    p.report.info.version = "3.7.1";

    Source main("Main L", {"ALL", "Main"});
    main.configuration = "flown";
    main.bumper = "K1-BUMP";
    main.motorCount = 2;
    main.azimuth = -10;
    main.site = -1.5;
    main.position = XYZ(-6, 2, 9);
    main.totalWeight = 1100;
    main.pickups = {pickup("Front", "3", XYZ(1.234, 5.678, 9), 522),
                    pickup("Rear", "", XYZ(1.234, 3.678, 9), -12)};
    Enclosure top;
    top.index = 1;
    top.type = "K1";
    top.angle = 0.0;
    top.site = -1.5;
    top.topZ = 9.1;
    top.bottomZ = 8.7;
    top.panflex = "110";
    Enclosure last;
    last.index = 2;
    last.type = "KARA";
    last.site = -2.25;
    main.enclosures = {top, last};
    main.hasAngles = true;
    main.warnings = {{ReportWarning::Level::caution, "Check the rear link"}};

    Source sub("Sub", {"ALL"});
    sub.configuration = "ground stacked";
    sub.position = XYZ(0, 0, 0);
    Source fill("Front fill", {});

    p.report.sources = {main, sub, fill};
    p.setExtra("ALL/Main/Main L", "Front", PointExtra{std::nullopt, true});
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{motor(), false});
    p.setHidden({"ALL/Sub"}, true);
    p.riggingHeight = 12;

    SideView side;
    side.path = "M0 -900L50 -900L50 -800Z";
    side.minU = -20;
    side.maxU = 50;
    side.minV = -910;
    side.maxV = -800;
    side.points = {{0, -900}, {-20, -910}};
    TopView plan;
    plan.cx = 1.2;
    plan.cy = 4.6;
    plan.hull = {{-0.5, -1}, {0.5, -1}, {0.5, 1}};
    p.dxf.set("ALL/Main/Main L", DXFInfo{{}, side, plan});

    p.inventory = {InventoryItem{"Enclosure", 12, "K1", "K1", "", 3},
                   InventoryItem{"Rigging", 2, "K", "BUMP", "", {}}};
    return p;
}

} // namespace

TEST(CrewDocBuild, RealisticProjectDecodesWithExpectedKeys) {
    Project p = realisticProject();
    TextMap<List<std::string>> changes;
    changes.set("ALL/Main/Main L", List<std::string>{"Site -1 → -1.5"});
    changes.set("ALL/Sub", List<std::string>{});

    CrewDoc doc = CrewDoc::decode(CrewDoc::build(p, changes, kDate, false).encode());
    EXPECT_EQ(doc.v, 1);
    EXPECT_EQ(doc.name, "CS Arena");
    EXPECT_EQ(doc.author, "Crème");
    EXPECT_EQ(doc.updated, "2025-03-14T09:26:53Z");
    EXPECT_EQ(doc.report, "arena.pdf");
    EXPECT_EQ(doc.svVersion, "3.7.1");
    EXPECT_EQ(doc.distUnit, "m");
    EXPECT_EQ(doc.weightUnit, "kg");
    EXPECT_EQ(doc.link, std::nullopt);
    EXPECT_EQ(doc.qr, std::nullopt);
    ASSERT_EQ(doc.sources.size(), 2u); // the hidden Sub is left out
    EXPECT_EQ(doc.sources[1].id, "Front fill");

    const CrewDoc::Src& s = doc.sources[0];
    EXPECT_EQ(s.id, "ALL/Main/Main L");
    EXPECT_EQ(s.group, (std::vector<std::string>{"ALL", "Main"}));
    EXPECT_EQ(s.bumper, "K1-BUMP");
    EXPECT_EQ(s.motors, 2);
    EXPECT_EQ(s.az, -10);
    EXPECT_EQ(s.pos, (std::vector<double>{-6, 2, 9}));
    EXPECT_EQ(s.botFace, (std::vector<double>{-2.25, -7.3}));
    EXPECT_EQ(s.weight, 1100);
    EXPECT_EQ(s.encWeight, std::nullopt);
    EXPECT_EQ(s.rigH, 12);
    EXPECT_EQ(s.changed, (std::vector<std::string>{"Site -1 → -1.5"}));
    EXPECT_TRUE(s.hasAngles);

    ASSERT_EQ(s.points.size(), 2u);
    const CrewDoc::Point& front = s.points[0];
    EXPECT_TRUE(front.delta);
    EXPECT_EQ(front.motor, std::nullopt);
    EXPECT_EQ(front.xyz, (std::vector<double>{1.234, 5.678, 9}));
    ASSERT_TRUE(front.dm);
    auto dp = p.deltaPoints(p.report.sources[0], p.report.sources[0].pickups[0]);
    ASSERT_TRUE(dp);
    EXPECT_EQ((*front.dm)[0], (std::vector<double>{dp->left.x, dp->left.y, 9}));
    EXPECT_EQ((*front.dm)[1], (std::vector<double>{dp->right.x, dp->right.y, 9}));
    const CrewDoc::Point& rear = s.points[1];
    EXPECT_FALSE(rear.delta);
    EXPECT_EQ(rear.motor, "D8+ 1t");
    EXPECT_EQ(rear.motorKg, 52);
    EXPECT_EQ(rear.dm, std::nullopt);

    ASSERT_EQ(s.enc.size(), 2u);
    EXPECT_EQ(s.enc[0].pf, "110");
    EXPECT_EQ(s.enc[0].a, 0.0);
    EXPECT_EQ(s.enc[1].a, std::nullopt);
    EXPECT_EQ(s.enc[1].top, std::nullopt);

    ASSERT_EQ(s.warn.size(), 2u);
    EXPECT_EQ(s.warn[0].l, "caution");
    EXPECT_EQ(s.warn[1].l, "error");
    EXPECT_EQ(s.warn[1].t, "Rear load is negative (-12 kg).");

    ASSERT_TRUE(s.side);
    EXPECT_EQ(s.side->box, (std::vector<std::int64_t>{-20, -910, 70, 110}));
    EXPECT_EQ(s.side->pts, (std::vector<std::vector<std::int64_t>>{{0, -900}, {-20, -910}}));
    ASSERT_TRUE(s.plan);
    EXPECT_EQ(s.plan->c, (std::vector<double>{1.2, 4.6}));
    EXPECT_EQ(s.plan->hull.size(), 3u);
    EXPECT_NEAR(s.plan->dir[0], 0, 1e-12); // from the rear to the front pickup
    EXPECT_NEAR(s.plan->dir[1], 1, 1e-12);

    const CrewDoc::Src& fill = doc.sources[1];
    EXPECT_EQ(fill.plan, std::nullopt);
    EXPECT_EQ(fill.side, std::nullopt);
    EXPECT_EQ(fill.changed, std::nullopt);
    EXPECT_EQ(fill.botFace, std::nullopt);
    EXPECT_EQ(fill.rigH, 12);

    ASSERT_EQ(doc.inventory.size(), 2u);
    EXPECT_EQ(doc.inventory[0].n, "K1");
    EXPECT_EQ(doc.inventory[0].ch, 3);
    EXPECT_EQ(doc.inventory[1].ch, std::nullopt);
    EXPECT_EQ(doc.delta.name, "K1-DELTA");
    EXPECT_EQ(doc.delta.spacing, 0.8);
    EXPECT_EQ(doc.delta.weight, 9.5);
}

TEST(CrewDocBuild, HiddenSourcesOnRequestAndChangedOnlyWhenListed) {
    Project p = realisticProject();
    TextMap<List<std::string>> changes;
    changes.set("ALL/Sub", List<std::string>{});
    CrewDoc doc = CrewDoc::build(p, changes, kDate, true);
    ASSERT_EQ(doc.sources.size(), 3u);
    EXPECT_EQ(doc.sources[1].id, "ALL/Sub");
    EXPECT_EQ(doc.sources[1].changed, std::vector<std::string>{});
    EXPECT_EQ(doc.sources[0].changed, std::nullopt);
    EXPECT_NE(doc.encode().find("\"changed\":[]"), std::string::npos);

    // Position only: the 0.6 by 0.4 rectangle along the axis (azimuth none: (0, 1)).
    const auto& plan = doc.sources[1].plan;
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->c, (std::vector<double>{0, 0}));
    EXPECT_EQ(plan->hull,
              (std::vector<std::vector<double>>{{-0.3, -0.2}, {0.3, -0.2}, {0.3, 0.2}, {-0.3, 0.2}}));
    EXPECT_EQ(plan->dir, (std::vector<double>{0, 1}));
}

TEST(CrewDocBuild, EmptyProjectAndDeltaDefaults) {
    Project p;
    p.name = "Empty";
    p.delta.spacing.reset();
    p.delta.weight = 12;
    p.inventory = {InventoryItem{"Enclosure", 1, "", "K2", "", {}}};
    CrewDoc doc = CrewDoc::build(p, {}, kDate, false);
    EXPECT_TRUE(doc.sources.empty());
    EXPECT_EQ(doc.inventory.size(), 1u);
    EXPECT_EQ(doc.delta.spacing, 0.8);
    EXPECT_EQ(doc.delta.weight, 9.5);
    EXPECT_EQ(doc.author, std::nullopt);
    Json j = parseJsonText(doc.encode());
    EXPECT_EQ(j["sources"], Json::array());
    EXPECT_FALSE(j.contains("author"));
}

TEST(CrewDocBuild, FootprintPlanAndDeltaWithoutPosition) {
    Project p;
    Source s("S", {});
    s.pickups = {pickup("Front", "", XYZ(0, 0, 5), 0.0),
                 pickup("Rear", "", XYZ(kNaN, kNaN, kNaN), std::nullopt)};
    p.report.sources = {s};
    p.setExtra("S", "Rear", PointExtra{std::nullopt, true});

    CrewDoc doc = CrewDoc::build(p, {}, kDate, false);
    const CrewDoc::Src& src = doc.sources[0];
    EXPECT_TRUE(src.warn.empty()) << "a load of 0 is not negative";
    ASSERT_TRUE(src.plan);
    EXPECT_NEAR(src.plan->c[1], 0.15, 1e-12); // pickup footprint
    EXPECT_EQ(src.plan->hull.size(), 4u);
    EXPECT_TRUE(src.points[1].delta);
    EXPECT_EQ(src.points[1].xyz, std::nullopt);
    EXPECT_EQ(src.points[1].dm, std::nullopt);
}

TEST(CrewDocBuild, NotANumberValuesAreLeftOutSoTheDocumentEncodes) {
    Project p = realisticProject();
    Source& s = p.report.sources.mut(0);
    s.azimuth = kNaN;
    s.site = kNaN;
    s.position = XYZ(1, kNaN, 2);
    s.bottomElevation = kNaN;
    s.totalWeight = kNaN;
    s.enclosureWeight = std::numeric_limits<double>::infinity();
    s.pickups = {pickup("Front", "3", XYZ(1, kNaN, 9), kNaN), pickup("Rear", "", XYZ(1, 2, kNaN), -1)};
    s.enclosures.mut(1).site = kNaN;
    s.enclosures.mut(0).topZ = kNaN;
    s.enclosures.mut(0).angle = kNaN;
    p.riggingHeight = kNaN;
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{Motor{Uuid::random(), "M", kNaN}, true});
    p.dxf.set("ALL/Main/Main L", DXFInfo{{}, std::nullopt, TopView{kNaN, 1, {{0, 0}}}});

    std::string text;
    ASSERT_NO_THROW(text = CrewDoc::build(p, {}, kDate, true).encode());
    Json j = parseJsonText(text);
    const Json& src = j["sources"][0];
    for (const char* key :
         {"site", "az", "pos", "bottom", "botFace", "weight", "encWeight", "plan", "rigH"}) {
        EXPECT_FALSE(src.contains(key)) << key;
    }
    for (const auto& point : src["points"]) {
        EXPECT_FALSE(point.contains("xyz"));
        EXPECT_FALSE(point.contains("dm"));
        EXPECT_FALSE(point.contains("motorKg"));
    }
    EXPECT_FALSE(src["points"][0].contains("load"));
    EXPECT_EQ(src["points"][1]["load"], -1);
    EXPECT_EQ(src["points"][1]["motor"], "M");
    EXPECT_FALSE(src["enc"][0].contains("a"));
    EXPECT_FALSE(src["enc"][0].contains("top"));
    EXPECT_TRUE(src["enc"][0].contains("bot"));
    EXPECT_FALSE(src["enc"][1].contains("s"));
    EXPECT_EQ(src["warn"].back()["t"], "Rear load is negative (-1 kg).");

    // A NaN spacing stored in the project leaves out the spacing and every Delta point.
    p.delta.spacing = kNaN;
    s.pickups = {pickup("Rear", "", XYZ(1, 2, 3), 1)};
    j = parseJsonText(CrewDoc::build(p, {}, kDate, true).encode());
    EXPECT_FALSE(j["delta"].contains("spacing"));
    EXPECT_TRUE(j["sources"][0]["points"][0]["delta"]);
    EXPECT_FALSE(j["sources"][0]["points"][0].contains("dm"));
}

TEST(CrewDocBuild, AbsurdSideBoundsDoNotOverflow) {
    Project p;
    p.report.sources = {Source("S", {})};
    SideView side;
    side.minU = std::numeric_limits<std::int64_t>::min();
    side.maxU = std::numeric_limits<std::int64_t>::max();
    p.dxf.set("S", DXFInfo{{}, side, std::nullopt});
    EXPECT_EQ(CrewDoc::build(p, {}, kDate, false).sources[0].side, std::nullopt);
}

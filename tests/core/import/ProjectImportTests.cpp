#include "import/DXFReader.h"
#include "model/Project.h"
#include "model/RigError.h"

#include "support/ProjectFixtures.h"
#include "support/TestDXF.h"

#include <gtest/gtest.h>

#include <stop_token>

using namespace rig;
using fixtures::projectOf;

namespace {

// A DXF source whose single pickup tells where it came from.
DXFSource dxfSource(std::int64_t index, std::string name, double tag) {
    DXFSource d;
    d.index = index;
    d.name = std::move(name);
    d.insert = XYZ(tag, 0, 0);
    d.pickups = {XYZ(tag, 0, 0)};
    return d;
}

Source reportSource(std::string name, std::string group, double pickupX = 0) {
    return fixtures::testSource(std::move(name), {"ALL", std::move(group)},
                                {fixtures::testPickup("Front", XYZ(pickupX, 0, 0))});
}

// The tag of the DXF source paired with `s`, or -1.
double pairedTag(const Project& p, const Source& s) {
    const DXFInfo* info = p.dxf.get(s.id());
    return info ? info->pickups.at(0).x : -1;
}

} // namespace

TEST(ImportDXF, Pairing) {
    struct Case {
        const char* what;
        std::vector<Source> report;
        std::vector<DXFSource> dxf;
        std::vector<double> tags; // per report source
    };
    const Source l = reportSource("Main L", "Main"), r = reportSource("Main R", "Main");
    const Source subA = reportSource("Sub", "Left"), subB = reportSource("Sub", "Right");
    const std::vector<Case> cases = {
        {"by position and name",
         {l, r},
         {dxfSource(0, "Main R", 10), dxfSource(0, "Main L", 20), dxfSource(1, "Main R", 30),
          dxfSource(1, "Main L", 40)},
         {20, 30}},
        {"the same position wins over an earlier source of the name",
         {l, r},
         {dxfSource(1, "Main L", 10), dxfSource(0, "Main L", 20), dxfSource(1, "Main R", 30)},
         {20, 30}},
        {"report order differs from the numbering",
         {r, l},
         {dxfSource(0, "Main L", 20), dxfSource(1, "Main R", 30)},
         {30, 20}},
        {"underscores read as blanks, canonical but case-sensitive names",
         {reportSource("Main_L", "Main"), reportSource("main L", "Main"),
          reportSource("Bu\u0308hne", "Main")},
         {dxfSource(5, "Main L", 1), dxfSource(6, "B\u00FChne", 2)},
         {1, -1, 2}},
        {"each index taken once", {subA, subB}, {dxfSource(3, "Sub", 1)}, {1, -1}},
        {"one each with different indexes",
         {subA, subB},
         {dxfSource(0, "Sub", 1), dxfSource(1, "Sub", 2)},
         {1, 2}},
        {"one block inserted twice has one index",
         {subA, subB},
         {dxfSource(4, "Sub", 1), dxfSource(4, "Sub", 2)},
         {1, -1}},
    };
    for (const Case& c : cases) {
        Project p = projectOf(c.report);
        p.importDXF(c.dxf, "arrays.dxf");
        EXPECT_EQ(p.dxfFile, "arrays.dxf");
        std::vector<double> tags;
        for (const Source& s : c.report) tags.push_back(pairedTag(p, s));
        EXPECT_EQ(tags, c.tags) << c.what;
    }
}

TEST(ImportDXF, ReplacesEarlierDataAndMatchesPickups) {
    const Source l = reportSource("Main L", "Main", 1.07);
    const Source r = reportSource("Main R", "Main", 5);
    Project p = projectOf({l, r});
    p.importDXF({dxfSource(0, "Main L", 1), dxfSource(1, "Main R", 5)}, "first.dxf");
    EXPECT_FALSE(p.report.sources[0].pickups[0].fromDXF); // 7 cm off
    EXPECT_TRUE(p.report.sources[1].pickups[0].fromDXF);

    // A second DXF without Main R drops its data; its pickup keeps the flag.
    p.importDXF({dxfSource(0, "Main L", 1.03)}, "second.dxf"); // 4 cm off
    EXPECT_EQ(p.dxfFile, "second.dxf");
    EXPECT_EQ(p.dxf.size(), 1u);
    EXPECT_TRUE(p.report.sources[0].pickups[0].fromDXF);
    EXPECT_TRUE(p.report.sources[1].pickups[0].fromDXF);

    // A stopped import leaves the project as it was.
    std::stop_source stop;
    stop.request_stop();
    const Project before = p;
    EXPECT_THROW(p.importDXF({dxfSource(0, "Main L", 1)}, "third.dxf", stop.get_token()), Cancelled);
    EXPECT_EQ(p, before);

    Project none;
    none.importDXF({dxfSource(0, "Main L", 1)}, "lonely.dxf");
    EXPECT_EQ(none.dxfFile, "lonely.dxf");
    EXPECT_TRUE(none.dxf.empty());
}

TEST(ImportDXF, StoresOutlinesFromTheDrawing) {
    test::DXFWriter w;
    w.beginSection("BLOCKS").beginBlock("0_Main_L");
    test::box(w, XYZ(-0.5, -0.3, -1), XYZ(0.5, 0.3, 0));
    test::pickupMarker(w, XYZ(0, 0, 0.05));
    w.endBlock().beginBlock("1_Main_R");
    test::pickupMarker(w, XYZ(0, 0, 0.05));
    w.endBlock().endSection();
    w.insert("0_Main_L", XYZ(0, 0, 10)).insert("1_Main_R", XYZ(4, 0, 10));

    Source l = reportSource("Main L", "Main");
    l.pickups.mut(0).position = XYZ(0, 0, 10.05);
    const Source r = reportSource("Main R", "Main", 4);
    Project p = projectOf({l, r});
    p.importDXF(DXFReader::parseText(w.finish()), "a.dxf");
    const DXFInfo* info = p.dxf.get(l.id());
    ASSERT_TRUE(info);
    ASSERT_TRUE(info->side);
    EXPECT_EQ(info->side->path, "M-30 -1000L30 -1000L30 -900L-30 -900Z");
    ASSERT_TRUE(info->top);
    EXPECT_EQ(info->top->hull.size(), 4u);
    EXPECT_TRUE(p.report.sources[0].pickups[0].fromDXF);
    // Only pickup markers: no outlines, the pickups still count.
    info = p.dxf.get(r.id());
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->side);
    EXPECT_FALSE(info->top);
    EXPECT_FALSE(p.report.sources[1].pickups[0].fromDXF); // 10.05 m above its report point
}

#include "import/DXFReader.h"
#include "model/Project.h"

#include "support/TestDXF.h"

#include <gtest/gtest.h>

using namespace rig;

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
    Source s(std::move(name), {"ALL", std::move(group)});
    Pickup p;
    p.role = "Front";
    p.position = XYZ(pickupX, 0, 0);
    s.pickups = {p};
    return s;
}

Project projectWith(std::vector<Source> sources) {
    Project p;
    p.report.sources = List<Source>(std::move(sources));
    return p;
}

// The tag of the DXF source paired with `s`, or -1.
double pairedTag(const Project& p, const Source& s) {
    const DXFInfo* info = p.dxf.get(s.id());
    return info ? info->pickups.at(0).x : -1;
}

} // namespace

TEST(ImportDXF, PairsByPositionAndName) {
    const Source l = reportSource("Main L", "Main");
    const Source r = reportSource("Main R", "Main");
    Project p = projectWith({l, r});
    p.importDXF({dxfSource(0, "Main R", 10), dxfSource(0, "Main L", 20), dxfSource(1, "Main R", 30),
                 dxfSource(1, "Main L", 40)},
                "arrays.dxf");
    EXPECT_EQ(p.dxfFile, "arrays.dxf");
    EXPECT_EQ(pairedTag(p, l), 20);
    EXPECT_EQ(pairedTag(p, r), 30);

    // Report order differs from the DXF numbering: both pair by name.
    p = projectWith({r, l});
    p.importDXF({dxfSource(0, "Main L", 20), dxfSource(1, "Main R", 30)}, "arrays.dxf");
    EXPECT_EQ(pairedTag(p, l), 20);
    EXPECT_EQ(pairedTag(p, r), 30);
}

TEST(ImportDXF, NamesUnderscoresAndCase) {
    const Source underscore = reportSource("Main_L", "Main");
    const Source lower = reportSource("main L", "Main");
    const Source decomposed = reportSource("Bu\u0308hne", "Main");
    Project p = projectWith({underscore, lower, decomposed});
    p.importDXF({dxfSource(5, "Main L", 1), dxfSource(6, "B\u00FChne", 2)}, "a.dxf");
    EXPECT_EQ(pairedTag(p, underscore), 1);
    EXPECT_EQ(pairedTag(p, lower), -1);
    EXPECT_EQ(pairedTag(p, decomposed), 2);
}

TEST(ImportDXF, EachIndexTakenOnce) {
    const Source subA = reportSource("Sub", "Left");
    const Source subB = reportSource("Sub", "Right");
    Project p = projectWith({subA, subB});
    p.importDXF({dxfSource(3, "Sub", 1)}, "a.dxf");
    EXPECT_EQ(pairedTag(p, subA), 1);
    EXPECT_EQ(pairedTag(p, subB), -1);

    // Enough sources of that name with different indexes: one each.
    p.importDXF({dxfSource(0, "Sub", 1), dxfSource(1, "Sub", 2)}, "a.dxf");
    EXPECT_EQ(pairedTag(p, subA), 1);
    EXPECT_EQ(pairedTag(p, subB), 2);

    // The same block inserted twice has one index: only one of them is taken.
    p.importDXF({dxfSource(4, "Sub", 1), dxfSource(4, "Sub", 2)}, "a.dxf");
    EXPECT_EQ(pairedTag(p, subA), 1);
    EXPECT_EQ(pairedTag(p, subB), -1);
}

TEST(ImportDXF, ReplacesEarlierDataAndMatchesPickups) {
    const Source l = reportSource("Main L", "Main", 1.07);
    const Source r = reportSource("Main R", "Main", 5);
    Project p = projectWith({l, r});
    p.importDXF({dxfSource(0, "Main L", 1), dxfSource(1, "Main R", 5)}, "first.dxf");
    EXPECT_FALSE(p.report.sources[0].pickups[0].fromDXF); // 7 cm off
    EXPECT_TRUE(p.report.sources[1].pickups[0].fromDXF);

    // A second DXF without Main R drops its data; its pickup keeps the flag.
    p.importDXF({dxfSource(0, "Main L", 1.03)}, "second.dxf"); // 4 cm off
    EXPECT_EQ(p.dxfFile, "second.dxf");
    EXPECT_EQ(p.dxf.size(), 1u);
    EXPECT_TRUE(p.report.sources[0].pickups[0].fromDXF);
    EXPECT_TRUE(p.report.sources[1].pickups[0].fromDXF);

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
    const auto sources = DXFReader::parse(w.finish());

    Source l = reportSource("Main L", "Main");
    l.pickups.mut(0).position = XYZ(0, 0, 10.05);
    const Source r = reportSource("Main R", "Main", 4);
    Project p = projectWith({l, r});
    p.importDXF(sources, "a.dxf");
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

TEST(ImportInventory, ReplacesRowsAndFile) {
    Project p;
    InventoryItem row;
    row.category = "Enclosure";
    row.quantity = 12;
    p.importInventory({row}, "inv.csv");
    EXPECT_EQ(p.inventory, List<InventoryItem>{row});
    EXPECT_EQ(p.inventoryFile, "inv.csv");
    p.dxfFile = "keep.dxf";
    p.importInventory({}, "empty.csv");
    EXPECT_TRUE(p.inventory.empty());
    EXPECT_EQ(p.inventoryFile, "empty.csv");
    EXPECT_EQ(p.dxfFile, "keep.dxf");
}

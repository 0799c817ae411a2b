// The sample show's three exports read back through the library as the program reads them:
// the report gives exactly the listed sources, and report, inventory and DXF agree, so the
// checks find nothing to complain about.
#include "analysis/Issues.h"
#include "base/Date.h"
#include "import/DXFReader.h"
#include "import/InventoryCSV.h"
#include "import/ReportParser.h"
#include "model/Project.h"
#include "support/SampleShow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>

using namespace rig;

TEST(SampleShow, ItsThreeExportsAgree) {
    const test::SampleShow show = test::sampleShow();
    test::TempDir dir;
    const Report report = ReportParser::parse(dir.write("show.pdf", show.reportPdf));
    EXPECT_EQ(report, show.expected);

    std::set<std::string> ids;
    for (const Source& s : report.sources) ids.insert(s.id());
    // The snapshot mode's default steps select real sources.
    for (const char* id : {"ALL/MAIN/L2 L", "B-LAVA/KARA/KARA 3", "ALL/GR SUB/CS 1"})
        EXPECT_TRUE(ids.count(id)) << id;
    for (const Source& s : report.sources) {
        const bool sub = s.groups.size() == 2 && s.groups[1] == "GR SUB";
        EXPECT_EQ(s.isFlown(), !sub) << s.id();
        EXPECT_EQ(s.pickups.size(), sub ? 0u : 2u) << s.id();
        EXPECT_EQ(s.name.starts_with("CS "), sub) << s.id();
        double previous = 1e9;
        for (const Enclosure& e : s.enclosures) {
            EXPECT_LT(*e.bottomZ, *e.topZ) << s.id();
            EXPECT_LE(*e.topZ, previous) << s.id();
            previous = *e.bottomZ;
        }
    }

    Project project;
    project.importReport(report, "show.pdf", Date{});
    project.importInventory(InventoryCSV::parseText(show.inventoryCsv), "show.csv");
    project.importDXF(DXFReader::parseText(show.loudspeakerDxf), "show.dxf");
    EXPECT_EQ(project.dxf.size(), report.sources.size());
    for (const Source& s : project.report.sources) {
        for (const Pickup& p : s.pickups) EXPECT_TRUE(p.fromDXF) << s.id() << " " << p.role;
    }
    for (const Issue& issue : project.issues()) {
        ADD_FAILURE() << issue.sourceID.value_or("-") << ": " << issue.text;
    }
}

TEST(SampleShow, WritesItsFilesIntoANewFolder) {
    test::TempDir dir;
    const auto paths = test::writeSampleShow(dir.path() / "nested" / "sample");
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0].filename(), "sample-show-report.pdf");
    EXPECT_EQ(ReportParser::parse(paths[0]).sources.size(), 7u);
    EXPECT_EQ(InventoryCSV::parse(paths[1]).size(), 6u);
    EXPECT_EQ(DXFReader::parse(paths[2]).size(), 7u);
}

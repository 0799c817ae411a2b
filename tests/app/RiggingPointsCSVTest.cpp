#include "RiggingPointsCSV.h"
#include "support/LocaleTesting.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

using namespace rig::fixtures;

const std::string header = "Group;Source;Point;Hole;X (m);Y (m);Hook Z (m);Rigging height (m);Drop (m);"
                           "Speaker load (kg);Delta;Motor;Motor weight (kg);Total (kg)\n";
const double inf = std::numeric_limits<double>::infinity();

// One source "S" in group Main with the given pickups.
Project oneSource(std::vector<Pickup> pickups) {
    return projectOf({testSource("S", {"ALL", "Main"}, std::move(pickups))});
}

Project withExtra(Project p, const std::string& role, PointExtra extra) {
    p.setExtra(p.report.sources[0].id(), role, extra);
    return p;
}

TEST(RiggingPointsCSV, ProjectsGiveTheirExactTextInAnyLocale) {
    const Motor d8 = testMotor("D8", 55);
    const std::pair<Project, std::string> cases[] = {
        // a project, the text after the header
        // groups without ALL, hidden sources listed, sources without pickups
        {[] {
             Project p =
                 projectOf({testSource("L", {"ALL", "Main", "Left"}, {testPickup("Front", {1, 2, 3})}),
                            testSource("Sub", {"ALL"}, {testPickup("P", {1, 2, 3})}),
                            testSource("A", {"ALL"}), testSource("Lone", {}, {testPickup("P", {1, 2, 3})})});
             p.setHidden({"Lone"}, true);
             return p;
         }(),
         "Main / Left;L;Front;;1.00;2.00;3.00;;;;;;;0.0\n"
         ";Sub;P;;1.00;2.00;3.00;;;;;;;0.0\n"
         ";Lone;P;;1.00;2.00;3.00;;;;;;;0.0\n"},
        // rigging height, drop, no coordinates
        {[] {
             Project p = oneSource({testPickup("Front", {0, 0, 7.5})});
             p.riggingHeight = 12;
             p.report.sources.edit().push_back(testSource(
                 "T", {},
                 {testPickup("Front", {0, 0, 7.5}), testPickup("Back", {notANumber, 1, 7.5}, 300, "4")}));
             p.groupRiggingHeights = TextMap<double>();
             p.groupRiggingHeights->set("Main", 14.25);
             return p;
         }(),
         "Main;S;Front;;0.00;0.00;7.50;14.25;6.75;;;;;0.0\n"
         ";T;Front;;0.00;0.00;7.50;12.00;4.50;;;;;0.0\n"
         ";T;Back;4;;;;12.00;;300.0;;;;300.0\n"},
        // load and motor, plate without motor or load, rounding as C printf
        {[&] {
             Project p =
                 oneSource({testPickup("Front", {1, 2, 3}, 400), testPickup("Plate", {1, 2, 3}),
                            testPickup("P", {-0.001, 0.125, 1.005}, 4.25), testPickup("Q", {0, 0, 0}, 4.75)});
             p.delta.name = "PLATE";
             return withExtra(withExtra(std::move(p), "Front", PointExtra{d8, false}), "Plate",
                              PointExtra{{}, true});
         }(),
         "Main;S;Front;;1.00;2.00;3.00;;;400.0;;D8;55.0;455.0\n"
         "Main;S;Plate;;1.00;2.00;3.00;;;;PLATE (see L/R);;;\n"
         "Main;S;Plate · PLATE left;;0.60;2.00;3.00;;;0.0;PLATE; + ½ plate;4.8;4.8\n"
         "Main;S;Plate · PLATE right;;1.40;2.00;3.00;;;0.0;PLATE; + ½ plate;4.8;4.8\n"
         "Main;S;P;;-0.00;0.12;1.00;;;4.2;;;;4.2\n"
         "Main;S;Q;;0.00;0.00;0.00;;;4.8;;;;4.8\n"},
        // quoting
        {[] {
             return projectOf(
                 {testSource("A;B", {"G;1"}, {testPickup("Say \"hi\"", {0, 0, 0}, {}, "a\"b;c")}),
                  testSource("\"Q\"", {}, {testPickup("two\nlines", {0, 0, 0}, {}, "cr\rhere")})});
         }(),
         "\"G;1\";\"A;B\";Say \"hi\";\"a\"\"b;c\";0.00;0.00;0.00;;;;;;;0.0\n"
         ";\"\"\"Q\"\"\";\"two\nlines\";\"cr\rhere\";0.00;0.00;0.00;;;;;;;0.0\n"},
        // names a spreadsheet would run as formulas are text; numbers keep their minus
        {[] {
             Project p = projectOf({testSource("=HYPERLINK(\"http://x\";\"y\")", {"ALL", "+Main"},
                                               {testPickup("-Front", {-1.5, 2, 3}, -20, "@A1"),
                                                testPickup("\tTab", {0, 0, 0}, {}, "\rCR")})});
             p.delta.name = "=PLATE";
             return withExtra(std::move(p), "-Front", PointExtra{testMotor("=M", 10), true});
         }(),
         "'+Main;\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\";'-Front;'@A1;-1.50;2.00;3.00;;;-20.0;'=PLATE "
         "(see "
         "L/R);;;\n"
         "'+Main;\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\";'-Front · =PLATE "
         "left;'@A1;-1.90;2.00;3.00;;;-10.0;'="
         "PLATE;'=M + ½ plate;14.8;4.8\n"
         "'+Main;\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\";'-Front · =PLATE "
         "right;'@A1;-1.10;2.00;3.00;;;-10.0;'="
         "PLATE;'=M + ½ plate;14.8;4.8\n"
         "'+Main;\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\";'\tTab;\"'\rCR\";0.00;0.00;0.00;;;;;;;0.0\n"},
        // numbers far beyond any rig in their bounded form, never hundreds of digits
        {[&] {
             Project p = withExtra(oneSource({testPickup("Front", {1.7e308, -1e20, 3}, 1.7e308)}), "Front",
                                   PointExtra{testMotor("D8", 1e19), false});
             p.riggingHeight = 1e308;
             return p;
         }(),
         "Main;S;Front;;1.7e+308;-1e+20;3.00;1e+308;1e+308;1.7e+308;;D8;1e+19;1.7e+308\n"},
        // values that are not finite are empty, and so is every total that needs one; an
        // absent load or motor still counts as 0
        {[&] {
             Project p = oneSource({testPickup("A", {1, notANumber, inf}, notANumber),
                                    testPickup("B", {1, 2, 3}, -inf), testPickup("C", {1, 2, 3}, 10),
                                    testPickup("D", {1, 2, 3}, notANumber), testPickup("E", {1, 2, 3}, 8)});
             p.riggingHeight = notANumber;
             Motor broken = testMotor("Odd", notANumber);
             p = withExtra(std::move(p), "B", PointExtra{d8, false});
             p = withExtra(std::move(p), "C", PointExtra{broken, true});
             p = withExtra(std::move(p), "D", PointExtra{{}, true});
             p = withExtra(std::move(p), "E", PointExtra{broken, false});
             return p;
         }(),
         "Main;S;A;;1.00;;;;;;;;;\n"
         "Main;S;B;;1.00;2.00;3.00;;;;;D8;55.0;\n"
         "Main;S;C;;1.00;2.00;3.00;;;10.0;K1-DELTA (see L/R);;;\n"
         "Main;S;C · K1-DELTA left;;0.60;2.00;3.00;;;5.0;K1-DELTA;Odd + ½ plate;;\n"
         "Main;S;C · K1-DELTA right;;1.40;2.00;3.00;;;5.0;K1-DELTA;Odd + ½ plate;;\n"
         "Main;S;D;;1.00;2.00;3.00;;;;K1-DELTA (see L/R);;;\n"
         "Main;S;D · K1-DELTA left;;0.60;2.00;3.00;;;;K1-DELTA; + ½ plate;4.8;\n"
         "Main;S;D · K1-DELTA right;;1.40;2.00;3.00;;;;K1-DELTA; + ½ plate;4.8;\n"
         "Main;S;E;;1.00;2.00;3.00;;;8.0;;Odd;;\n"},
    };
    auto check = [&] {
        for (const auto& [project, body] : cases) EXPECT_EQ(riggingPointsCSV(project), header + body);
    };
    check();
    testing::DecimalCommaLocale locale; // numbers never follow the user's locale
    if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma is available";
    check();
}

} // namespace
} // namespace rig::app

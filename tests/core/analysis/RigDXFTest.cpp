#include "analysis/RigDXF.h"
#include "import/ReportParser.h"
#include "model/Project.h"
#include "support/JsonTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/TempDir.h"

#include <dl_creationadapter.h>
#include <dl_dxf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

using namespace rig;
using namespace rig::fixtures;
using Footprints = RigDXF::Options::Footprints;

namespace {

// What an independent DXF library sees in a file: each entity with its layer.
struct Seen {
    std::string dxf;
    std::vector<std::pair<std::string, int>> layers; // in the order of the layer table
    std::vector<std::pair<std::string, DL_LineData>> lines;
    std::vector<std::pair<std::string, DL_CircleData>> circles;
    std::vector<std::pair<std::string, DL_TextData>> texts;

    std::vector<DL_LineData> linesOn(const std::string& layer) const {
        std::vector<DL_LineData> out;
        for (const auto& [l, line] : lines) {
            if (l == layer) out.push_back(line);
        }
        return out;
    }
    // "NAME colour" per layer, in the order of the layer table.
    std::string layerTable() const {
        std::string out;
        for (const auto& [name, colour] : layers)
            out += (out.empty() ? "" : ", ") + name + " " + testing::PrintToString(colour);
        return out;
    }
    std::vector<std::string> textsOn(const std::string& layer) const {
        std::vector<std::string> out;
        for (const auto& [l, text] : texts) {
            if (l == layer) out.push_back(text.text);
        }
        return out;
    }
};

// The library's adapter owns raw pointers and must not be copied: it only fills a Seen.
class Collector : public DL_CreationAdapter {
public:
    explicit Collector(Seen& seen) : seen_(seen) {}
    void addLayer(const DL_LayerData& d) override {
        seen_.layers.emplace_back(d.name, getAttributes().getColor());
    }
    void addLine(const DL_LineData& d) override { seen_.lines.emplace_back(getAttributes().getLayer(), d); }
    void addCircle(const DL_CircleData& d) override {
        seen_.circles.emplace_back(getAttributes().getLayer(), d);
    }
    void addText(const DL_TextData& d) override { seen_.texts.emplace_back(getAttributes().getLayer(), d); }

private:
    Seen& seen_;
};

// Every line is a group code followed by a value, ending in EOF.
void checkPairs(const std::string& dxf) {
    ASSERT_FALSE(dxf.empty());
    EXPECT_EQ(dxf.back(), '\n');
    EXPECT_EQ(dxf.find('\r'), std::string::npos);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < dxf.size(); start = end + 1) {
        end = dxf.find('\n', start);
        lines.push_back(dxf.substr(start, end - start));
    }
    EXPECT_EQ(lines.size() % 2, 0u);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        EXPECT_TRUE(!lines[i].empty() && std::all_of(lines[i].begin(), lines[i].end(), ::isdigit))
            << "line " << i << ": " << lines[i];
    }
    EXPECT_EQ(lines.back(), "EOF");
}

// Writes the file and reads it back with the independent library; every file the writer
// makes must pass, and none may hold a "nan" value.
Seen draw(const Project& p, const RigDXF::Options& o) {
    Seen seen;
    seen.dxf = RigDXF::make(p, o);
    checkPairs(seen.dxf);
    EXPECT_EQ(seen.dxf.find("nan\n"), std::string::npos);
    Collector collector(seen);
    std::istringstream in(seen.dxf);
    DL_Dxf reader;
    EXPECT_TRUE(reader.in(in, &collector));
    return seen;
}

Source mainL(std::vector<Pickup> pickups) {
    return testSource("Main L", {"ALL", "Main"}, std::move(pickups));
}

const RigDXF::Options kAllOff{false, false, false, Footprints::off};

const char* const kWorkedExample =
    "999\n"
    "Quorvane Rig - rigging points (m, Soundvision origin) - prepared by Creme\n"
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n2\n"
    "0\nLAYER\n2\nRIG_LABELS\n70\n0\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n2\nRIG_MAIN\n70\n0\n62\n5\n6\nCONTINUOUS\n"
    "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
    "0\nLINE\n8\nRIG_MAIN\n10\n0.8500\n20\n2.0000\n30\n8.0000\n"
    "11\n1.1500\n21\n2.0000\n31\n8.0000\n"
    "0\nLINE\n8\nRIG_MAIN\n10\n1.0000\n20\n1.8500\n30\n8.0000\n"
    "11\n1.0000\n21\n2.1500\n31\n8.0000\n"
    "0\nLINE\n8\nRIG_MAIN\n10\n1.0000\n20\n2.0000\n30\n7.8500\n"
    "11\n1.0000\n21\n2.0000\n31\n8.1500\n"
    "0\nCIRCLE\n8\nRIG_MAIN\n10\n1.0000\n20\n2.0000\n30\n8.0000\n40\n0.1000\n"
    "0\nTEXT\n8\nRIG_LABELS\n10\n1.1500\n20\n2.1500\n30\n8.0000\n40\n0.1200\n"
    "1\nS1 Front 100 kg\n"
    "0\nENDSEC\n0\nEOF\n";

} // namespace

TEST(RigDXF, WorkedExampleByteForByte) {
    Project p = projectOf({testSource("S1", {"ALL", "Main"}, {testPickup("Front", XYZ(1, 2, 8), 100)})});
    p.author = "Crème";
    RigDXF::Options o = kAllOff;
    o.labels = true;

    Seen seen = draw(p, o);
    EXPECT_EQ(seen.dxf, kWorkedExample);
    EXPECT_EQ(seen.layerTable(), "RIG_LABELS 7, RIG_MAIN 5");
    EXPECT_EQ(seen.lines.size(), 3u);
    EXPECT_EQ(seen.circles.size(), 1u);
    EXPECT_EQ(seen.textsOn("RIG_LABELS"), std::vector<std::string>{"S1 Front 100 kg"});
}

TEST(RigDXF, NoDrawnPointGivesFixedLayersAndEmptyEntities) {
    const double nan = notANumber;
    Project p =
        projectOf({mainL({testPickup("Front", XYZ(nan, 0, 0), 1), testPickup("Rear", XYZ(0, nan, 0), 1),
                          testPickup("Mid", XYZ(0, 0, nan), 1)})});
    p.author = "日本";

    Seen seen = draw(p, RigDXF::Options());
    EXPECT_EQ(seen.dxf.rfind("999\nQuorvane Rig - rigging points (m, Soundvision origin)\n0\n", 0), 0u);
    EXPECT_NE(seen.dxf.find("2\nENTITIES\n0\nENDSEC\n0\nEOF\n"), std::string::npos);
    EXPECT_EQ(seen.layerTable(), "RIG_DELTA 3, RIG_LABELS 7, RIG_SPEAKERS 8");
    EXPECT_TRUE(seen.lines.empty());

    p.report.sources = {};
    EXPECT_NE(draw(p, kAllOff).dxf.find("2\nLAYER\n70\n0\n0\nENDTAB\n"), std::string::npos);
}

TEST(RigDXF, GroupLayersAndPalette) {
    const std::vector<Pickup> one = {testPickup("Front", XYZ(0, 0, 5), 1)};
    Project p =
        projectOf({testSource("A", {"ALL", "Main"}, one), testSource("B", {"Main"}, one),
                   testSource("C", {}, one), testSource("D", {"ALL"}, one), testSource("E", {"Delta"}, one),
                   testSource("F", {"ALL", "Scène", "L-R"}, one), testSource("G", {"Other"}, one)});

    Seen seen = draw(p, RigDXF::Options());
    // Three fixed layers, then the groups in the order met: palette positions 3, 4, ...
    // The table is sorted by code point: a non-ASCII letter after all ASCII names.
    EXPECT_EQ(seen.layerTable(), "RIG_DELTA 3, RIG_LABELS 7, RIG_MAIN 6, RIG_OTHER 140, RIG_POINTS 2, "
                                 "RIG_SCÈNE_L_R 30, RIG_SPEAKERS 8");
    EXPECT_EQ(seen.circles.size(), 7u);
    EXPECT_EQ(seen.circles[4].first, "RIG_DELTA");

    EXPECT_EQ(draw(p, kAllOff).layerTable(),
              "RIG_DELTA 4, RIG_MAIN 1, RIG_OTHER 2, RIG_POINTS 5, RIG_SCÈNE_L_R 6");
}

// Canonically equivalent group paths are one group and so one layer, named in composed form:
// decomposed accents, KELVIN SIGN and OHM SIGN, and a name that begins with a combining mark
// (which has no letter to stay with, so it becomes "_").
TEST(RigDXF, OneLayerForEveryShapeOfAGroupName) {
    const std::vector<Pickup> one = {testPickup("Front", XYZ(0, 0, 5), 1)};
    Project p = projectOf({testSource("A", {"ALL", "Sc\u00E8ne"}, one), testSource("B", {"Sce\u0300ne"}, one),
                           testSource("C", {"\u212Aara"}, one), testSource("D", {"Kara"}, one),
                           testSource("E", {"\u0301\u00E9"}, one), testSource("F", {"\u0301e\u0301"}, one),
                           testSource("G", {"\u2126"}, one), testSource("H", {"\u03C9"}, one)});
    const Seen seen = draw(p, kAllOff);
    EXPECT_EQ(seen.layerTable(), "RIG_KARA 5, RIG_SCÈNE 1, RIG__É 4, RIG_Ω 6");
    std::vector<std::string> used;
    for (const auto& [layer, circle] : seen.circles) used.push_back(layer);
    EXPECT_EQ(used, (std::vector<std::string>{"RIG_SCÈNE", "RIG_SCÈNE", "RIG_KARA", "RIG_KARA", "RIG__É",
                                              "RIG__É", "RIG_Ω", "RIG_Ω"}));
}

TEST(RigDXF, RiggingHeightDropsAndLabels) {
    Project p = projectOf({mainL({testPickup("Front", XYZ(1, 2, 8.2), 412.5, "3"),
                                  testPickup("Rear", XYZ(1, 1, 8.2), std::nullopt)})});
    p.riggingHeight = 12.0;
    const RigDXF::Options o{true, true, true, Footprints::off};

    Seen seen = draw(p, o);
    EXPECT_EQ(seen.textsOn("RIG_LABELS"), (std::vector<std::string>{"Main L Front #3 412.5 kg (hook Z 8.20)",
                                                                    "Main L Rear (hook Z 8.20)"}));
    EXPECT_EQ(seen.textsOn("RIG_DROPS"), (std::vector<std::string>{"Drop 3.80 m", "Drop 3.80 m"}));
    EXPECT_EQ(seen.linesOn("RIG_DROPS").size(), 6u);
    EXPECT_EQ(seen.linesOn("RIG_MAIN").size(), 6u);
    for (const auto& [layer, circle] : seen.circles) EXPECT_EQ(circle.cz, 12.0);
    EXPECT_EQ(seen.lines[3].first, "RIG_DROPS");
    EXPECT_EQ(seen.lines[3].second.z1, 12.0);
    EXPECT_EQ(seen.lines[3].second.z2, 8.2);
    EXPECT_EQ(seen.texts[0].second.ipz, 10.1); // the drop text halfway down

    // Without a rigging height (or one that is not a number): no hook note, marker at the
    // hook, no drop even with drops on.
    for (std::optional<double> none : {std::optional<double>(), std::optional<double>(notANumber)}) {
        p.riggingHeight = none;
        seen = draw(p, o);
        EXPECT_EQ(seen.textsOn("RIG_LABELS"),
                  (std::vector<std::string>{"Main L Front #3 412.5 kg", "Main L Rear"}));
        EXPECT_TRUE(seen.textsOn("RIG_DROPS").empty());
        EXPECT_EQ(seen.circles[0].second.cz, 8.2);
    }
}

// The holes as the report prints them ("#5", "#17"), through the report parser and the import.
TEST(RigDXF, AHoleThatBeginsWithItsHashKeepsOne) {
    test::ReportGeneratorOptions o;
    test::SourcePlan plan;
    plan.groups = {"ALL", "Main"};
    plan.name = "L2 L";
    plan.configuration = "flown";
    plan.enclosureType = "L2";
    o.sourceList = {plan};
    test::TempDir dir;
    Project p;
    p.importReport(ReportParser::parse(dir.write("show.pdf", test::generateReport(o).pdf)), "show.pdf",
                   testDate());
    ASSERT_EQ(p.report.sources.at(0).pickups.at(0).hole, "#5");
    p.report.sources.mut(0).pickups.edit().push_back(testPickup("Extra", XYZ(0, 0, 9), std::nullopt, "B3"));

    const std::vector<std::string> labels = draw(p, RigDXF::Options()).textsOn("RIG_LABELS");
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_TRUE(labels[0].starts_with("L2 L Front #5 ")) << labels[0];
    EXPECT_TRUE(labels[1].starts_with("L2 L Rear #17 ")) << labels[1];
    EXPECT_EQ(labels[2], "L2 L Extra #B3");
}

TEST(RigDXF, UnreadableLoadsAreLeftOutOfLabels) {
    Project p = projectOf({mainL(
        {testPickup("Front", XYZ(1, 2, 8), notANumber), testPickup("Rear", XYZ(1, 1, 8), notANumber)})});
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{testMotor("D8", 50), true});
    Seen seen = draw(p, RigDXF::Options{true, true, false, Footprints::off});
    EXPECT_EQ(seen.textsOn("RIG_LABELS"),
              (std::vector<std::string>{"Main L Front", "Main L Rear K1-DELTA L", "Main L Rear K1-DELTA R"}));
}

TEST(RigDXF, DeltaPointsWithMotorsAndPlate) {
    Project p = projectOf({mainL({testPickup("Front", XYZ(1.234, 5.678, 9), 522),
                                  testPickup("Rear", XYZ(1.234, 3.678, 9), std::nullopt)})});
    p.setExtra("ALL/Main/Main L", "Front", PointExtra{std::nullopt, true});
    p.setExtra("ALL/Main/Main L", "Rear", PointExtra{testMotor("D8", 50), true});
    RigDXF::Options o{true, true, false, Footprints::off};

    Seen seen = draw(p, o);
    EXPECT_EQ(seen.textsOn("RIG_LABELS"),
              (std::vector<std::string>{"Main L Front K1-DELTA L 265.75 kg (no motor)",
                                        "Main L Front K1-DELTA R 265.75 kg (no motor)",
                                        "Main L Rear K1-DELTA L", "Main L Rear K1-DELTA R"}));
    ASSERT_EQ(seen.circles.size(), 4u);
    // Axis (0, 1) from rear to front: left is -x; the plate joins the two motors.
    EXPECT_DOUBLE_EQ(seen.circles[0].second.cx, 0.83);
    EXPECT_DOUBLE_EQ(seen.circles[1].second.cx, 1.63);
    EXPECT_DOUBLE_EQ(seen.circles[0].second.cy, 5.68);
    ASSERT_EQ(seen.lines[6].first, "RIG_DELTA");
    EXPECT_EQ(seen.linesOn("RIG_DELTA").size(), 2u);
    const DL_LineData& plate = seen.lines[6].second;
    EXPECT_EQ((std::vector<double>{plate.x1, plate.y1, plate.z1, plate.x2, plate.y2, plate.z2}),
              (std::vector<double>{0.83, 5.68, 9, 1.63, 5.68, 9}));

    // The motor's weight joins the side load; the plate sits at the rigging height, or at
    // the hook when drops are drawn.
    p.report.sources.mut(0).pickups.mut(1).load = 100;
    p.riggingHeight = 14;
    seen = draw(p, o);
    EXPECT_EQ(seen.textsOn("RIG_LABELS")[2], "Main L Rear K1-DELTA L 104.75 kg (hook Z 9.00)");
    EXPECT_EQ(seen.lines[6].second.z1, 14.0);
    o.drops = true;
    seen = draw(p, o);
    auto plates = seen.linesOn("RIG_DELTA");
    ASSERT_EQ(plates.size(), 2u);
    for (const auto& l : plates) EXPECT_EQ(l.z1, 9.0);

    // With Delta drawing off, each pickup is one ordinary point.
    o.delta = false;
    seen = draw(p, o);
    EXPECT_EQ(seen.circles.size(), 2u);
    EXPECT_EQ(seen.textsOn("RIG_LABELS")[0], "Main L Front 522 kg (hook Z 9.00)");
    EXPECT_EQ(seen.layerTable().find("RIG_DELTA"), std::string::npos);
}

TEST(RigDXF, FootprintHeights) {
    Project p =
        projectOf({mainL({testPickup("Front", XYZ(0, 1, 8), 1), testPickup("Rear", XYZ(0, 0, 7.5), 1)})});
    auto outline = [&](Footprints f, double height = 0) {
        return draw(p, {false, false, false, f, height}).linesOn("RIG_SPEAKERS");
    };
    auto heights = [&](Footprints f, double height = 0) {
        std::vector<double> zs;
        for (const auto& l : outline(f, height)) zs.push_back(l.z1);
        return zs;
    };
    // The pickup footprint: four corners, a closed outline.
    EXPECT_EQ(heights(Footprints::hook), std::vector<double>(4, 8.0));
    EXPECT_EQ(heights(Footprints::floor), std::vector<double>(4, 0.0));
    EXPECT_EQ(heights(Footprints::height, 2.5), std::vector<double>(4, 2.5));
    EXPECT_EQ(heights(Footprints::rigging), std::vector<double>(4, 8.0));
    p.groupRiggingHeights = TextMap<double>{{"Main", 11.0}};
    EXPECT_EQ(heights(Footprints::rigging), std::vector<double>(4, 11.0));
    EXPECT_TRUE(heights(Footprints::off).empty());

    // The DXF plan outline wins over the pickup footprint; short entries are skipped.
    p.dxf.set("ALL/Main/Main L",
              DXFInfo{{}, std::nullopt, TopView{10, 5, {{-1, -0.5}, {1, -0.5}, {1}, {1, 0.5}, {-1, 0.5}}}});
    std::vector<DL_LineData> lines = outline(Footprints::floor);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].x1, 9);
    EXPECT_EQ(lines[0].y1, 4.5);
    EXPECT_EQ(lines[3].x2, 9);
    EXPECT_EQ(lines[3].y2, 4.5);

    // An outline that cannot be placed is left out.
    EXPECT_TRUE(outline(Footprints::height, notANumber).empty());
}

TEST(RigDXF, TextsAreSanitisedToSafeASCII) {
    Project p = projectOf({mainL({testPickup("Façade\nL", XYZ(0, 0, 5), 1, "2\r\n0"),
                                  testPickup("Straße", XYZ(1, 0, 5), std::nullopt)})});
    p.report.sources.mut(0).name = "Scène";
    p.author = "Zoë\n0\nEOF";
    p.delta.name = "K1\nDELTA";

    Seen seen = draw(p, RigDXF::Options());
    EXPECT_EQ(seen.dxf.rfind(
                  "999\nQuorvane Rig - rigging points (m, Soundvision origin) - prepared by Zoe0EOF\n", 0),
              0u);
    EXPECT_EQ(seen.textsOn("RIG_LABELS"),
              (std::vector<std::string>{"Scene Facade?L #2??0 1 kg", "Scene Stra?e"}));

    p.setExtra("ALL/Main/Scène", "Straße", PointExtra{std::nullopt, true});
    EXPECT_EQ(draw(p, RigDXF::Options()).textsOn("RIG_LABELS")[1], "Scene Stra?e K1?DELTA L");
}

// A name of thousands of characters and numbers far beyond any rig: every line stays one a
// common reader keeps, so it reads every point of the source; a label keeps its point's role
// and load.
TEST(RigDXF, LongTextsAreCutToLinesReadersKeep) {
    Project p = projectOf({testSource(
        std::string(10000, 'N'), {"ALL", std::string(10000, 'g')},
        {testPickup("Front", XYZ(0, 0, 5), 100), testPickup("Rear", XYZ(-1.7e308, 0, 5), 1.7e308)})});
    p.author = std::string(10000, 'a');
    p.riggingHeight = 1e308;
    // Read from a file: the library's stream reader can hang on a line it cannot hold.
    Seen seen;
    seen.dxf = RigDXF::make(p, RigDXF::Options());
    test::TempDir dir;
    Collector collector(seen);
    ASSERT_TRUE(DL_Dxf().in(dir.write("long.dxf", seen.dxf).string(), &collector));
    for (std::size_t start = 0, end; start < seen.dxf.size(); start = end + 1) {
        end = seen.dxf.find('\n', start);
        EXPECT_LE(end - start, 255u) << "at byte " << start;
    }
    EXPECT_EQ(seen.textsOn("RIG_LABELS"),
              (std::vector<std::string>{std::string(225, 'N') + "... Front 100 kg (hook Z 5.00)",
                                        std::string(221, 'N') + "... Rear 1.7e+308 kg (hook Z 5.00)"}));
    EXPECT_EQ(seen.circles[1].second.cx, -1.7e308);
}

TEST(RigDXFOptions, JsonFormWithAllFiveKeys) {
    EXPECT_EQ(RigDXF::Options().toJson(), Json::parse(R"({"labels":true,"delta":true,"drops":false,)"
                                                      R"("footprints":"hook","footprintHeight":0})"));
    RigDXF::Options o{true, true, true, Footprints::height, 2.5};
    test::expectKeyRules(o, {"labels", "delta", "drops", "footprints", "footprintHeight"});
    for (Footprints f : RigDXF::Options::allFootprints) {
        EXPECT_EQ(RigDXF::Options::footprintsFromRaw(RigDXF::Options::rawValue(f)), f);
    }
    for (const char* bad : {R"("footprints":"Hook")", R"("footprintHeight":"NaN")", R"("labels":1)"}) {
        Json j = o.toJson();
        j.update(Json::parse("{" + std::string(bad) + "}"));
        EXPECT_THROW(test::read<RigDXF::Options>(j), JsonDecodeError) << bad;
    }
    // A stored mode is named by its start.
    Json longMode = o.toJson();
    longMode["footprints"] = std::string(100'000, 'x');
    try {
        (void)test::read<RigDXF::Options>(longMode);
        ADD_FAILURE();
    } catch (const JsonDecodeError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "footprints: unknown footprint mode \"" + std::string(60, 'x') + "…\"");
    }
    o.footprintHeight = notANumber;
    EXPECT_THROW((void)o.toJson(), JsonEncodeError);
}

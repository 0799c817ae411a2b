#include "pages/SourceTexts.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

namespace rig::app {
namespace {

namespace text = sourcetext;
using fixtures::notANumber;

TEST(SourceTexts, ValueTexts) {
    ReportInfo info;
    ReportInfo imperial;
    imperial.distanceUnit = "ft";
    imperial.weightUnit = "lbs";
    struct Case {
        QString got;
        QString expected;
    };
    const std::vector<Case> cases = {
        {text::angle(std::nullopt), "\u2013"},
        {text::angle(-3.5), "-3.5\u00B0"},
        {text::angle(0.0), "0\u00B0"},
        {text::angle(notANumber), "\u2013"},
        {text::signedAngle(2), "+2\u00B0"},
        {text::signedAngle(0), "0\u00B0"},
        {text::signedAngle(-7.25), "-7.25\u00B0"},
        {text::length(11.2, info), "11.2 m"},
        {text::length(std::nullopt, info), "\u2013"},
        {text::length(3.0, imperial), "3 ft"},
        {text::weight(18.25, info), "18.25 kg"},
        {text::weight(730, imperial), "730 lbs"},
        {text::plainNumber(std::nullopt), "\u2013"},
        {text::plainNumber(10.0 / 3), "3.33"},
        {text::plainNumber(-0.001), "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(SourceTexts, Header) {
    struct Case {
        std::vector<std::string> groups;
        std::string configuration;
        std::optional<std::int64_t> motors;
        QString path;
        QString line;
    };
    const std::vector<Case> cases = {
        {{"ALL"}, "flown", 1, "", "flown \u00B7 1 motor in Soundvision"},
        {{"ALL", "Main", "Left"}, "flown", 0, "Main \u203A Left", "flown \u00B7 0 motors in Soundvision"},
        {{"Main", "ALL", "all"}, "flown", std::nullopt, "Main \u203A all", "flown"},
        {{}, "Ground stacked", 4, "", "Ground stacked \u00B7 4 motors in Soundvision"},
    };
    for (const Case& c : cases) {
        Source s = fixtures::testSource("Main L", c.groups);
        s.configuration = c.configuration;
        s.motorCount = c.motors;
        EXPECT_EQ(text::groupPath(s), c.path);
        EXPECT_EQ(text::configurationLine(s), c.line);
    }
}

TEST(SourceTexts, Facts) {
    using Row = text::FactRow;
    ReportInfo info;
    info.weightUnit = "lbs";

    Source flown = fixtures::testSource("Main L", {"ALL", "Main"});
    flown.configuration = "flown";
    flown.bottomElevation = 6.5;
    flown.totalWeight = std::nullopt;
    flown.enclosureWeight = 1234;
    flown.site = -3.5;
    Enclosure kara;
    kara.index = 1;
    kara.type = "KARA";
    kara.site = 2;
    flown.enclosures.push_back(kara);
    EXPECT_EQ(text::facts(flown, info),
              (std::vector<Row>{{"Site", "-3.5\u00B0", "Azimuth", "\u2013", false},
                                {"Trim", "\u2013", "Bottom", "6.5 m", false},
                                {"Bottom box", "+2\u00B0", "Inclinometer", "-3\u00B0  bottom face", false},
                                {"Weight", "\u2013  (speakers 1234 kg)", {}, {}, true}}));

    // A site of 0 has no sign; bumper and position rows appear with their values.
    flown.enclosures.mut(0).type = "K1";
    flown.enclosures.mut(0).site = 0.0;
    flown.bumper = "K1-BUMP";
    flown.position = XYZ(4.5, -2, 11.25);
    flown.totalWeight = 730;
    flown.enclosureWeight.reset();
    EXPECT_EQ(text::facts(flown, info),
              (std::vector<Row>{{"Bumper", "K1-BUMP", {}, {}, true},
                                {"Site", "-3.5\u00B0", "Azimuth", "\u2013", false},
                                {"Trim", "11.25 m", "Bottom", "6.5 m", false},
                                {"Bottom box", "0\u00B0", "Inclinometer", "0\u00B0  bottom face", false},
                                {"Weight", "730 lbs", {}, {}, true},
                                {"Position", "X 4.5  Y -2  Z 11.25", {}, {}, true}}));

    // Not flown ("Flown" is not "flown"): one height row and no bottom box; a last enclosure
    // without site gives no bottom box either.
    Source stacked = flown;
    stacked.configuration = "Flown";
    EXPECT_EQ(text::facts(stacked, info)[2], (Row{"Height", "6.5 m", {}, {}, false}));
    EXPECT_EQ(text::facts(stacked, info).size(), 5u);
    flown.enclosures.mut(0).site.reset();
    EXPECT_EQ(text::facts(flown, info).size(), 5u);
    flown.enclosures.mut(0).site = notANumber;
    EXPECT_EQ(text::facts(flown, info).size(), 5u);
}

TEST(SourceTexts, PickupPoints) {
    using fixtures::testMotor;
    using fixtures::testPickup;
    Pickup front = testPickup("Front", XYZ(4.75, -2, 11.3), 365.5, "A3");
    Pickup bare = testPickup("Rear", XYZ(notANumber, 1, 2));
    Pickup partly = testPickup("Rear", XYZ(1, notANumber, 2));
    front.fromDXF = true;
    struct Case {
        QString got;
        QString expected;
    };
    const Motor lodestar = testMotor("CM Lodestar 1t", 62);
    const std::vector<Case> cases = {
        {text::pointTitle(front), "Front \u00B7 hole A3"},
        {text::pointTitle(bare), "Rear"},
        {text::coordinatesLine(front), "4.75 / -2.00 / 11.30"},
        {text::coordinatesLine(bare), "\u2013"},
        {text::coordinatesLine(partly), "1.00 / \u2013 / 2.00"},
        {text::deltaLine({XYZ(0.83, 5.68, 9), XYZ(1.63, 5.68, 9)}), "\u0394 L 0.83 / 5.68   R 1.63 / 5.68"},
        {text::coordinatesTooltip(front), "Report coordinates, confirmed by the DXF"},
        {text::coordinatesTooltip(bare), "Report coordinates"},
        {text::motorLabel(PointExtra{}), "\u2014"},
        {text::motorLabel(PointExtra{std::nullopt, true}), "\u2014"},
        {text::motorLabel(PointExtra{lodestar, false}), "CM Lodestar 1t (62 kg)"},
        {text::motorLabel(PointExtra{lodestar, true}), "2 \u00D7 CM Lodestar 1t (62 kg)"},
        {text::motorMenuItem(testMotor("D8+ 1000 kg", 58.5)), "D8+ 1000 kg \u2013 58.5 kg"},
        {text::noMotorItem(), "None"},
        {text::newMotorItem(), "New Motor\u2026"},
        {text::sameMotorItem(fixtures::testSource("Main L", {})), "Same motor on all points of Main L"},
        {text::deltaTooltip(DeltaSpec{}), "K1-DELTA: this point hangs from two motors"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
    DeltaSpec plate;
    plate.name = "Plate <b>";
    EXPECT_EQ(text::pickupColumnTitles(plate),
              (QStringList{"Point", "Speaker load", "X / Y / Z", "Motor", "Plate <b>"}));
}

TEST(SourceTexts, Enclosures) {
    Source s = fixtures::groundStack("Subs", {"ALL"}, 2);
    EXPECT_EQ(text::enclosuresTitle(s), "Enclosures (2)");
    EXPECT_EQ(text::enclosureColumnTitles(s), (QStringList{"#", "Type", "Site", "Top Z", "Bottom Z"}));
    EXPECT_EQ(text::enclosureCells(s, s.enclosures[0]),
              (QStringList{"1", "KS28", "\u2013", "\u2013", "\u2013"}));
    EXPECT_TRUE(text::showsAngleNote(s));

    s.enclosures.mut(1).panflex = "110";
    s.hasAngles = true;
    Enclosure& e = s.enclosures.mut(0);
    e.angle = 2.5;
    e.site = -1;
    e.topZ = 3.456;
    e.bottomZ = 3.1;
    EXPECT_EQ(text::enclosureColumnTitles(s),
              (QStringList{"#", "Type", "Angle", "Site", "Top Z", "Bottom Z", "Panflex"}));
    EXPECT_EQ(text::enclosureCells(s, s.enclosures[0]),
              (QStringList{"1", "KS28", "2.5\u00B0", "-1\u00B0", "3.46", "3.1"}));
    EXPECT_FALSE(text::showsAngleNote(s));

    Source one = fixtures::groundStack("Sub", {}, 1);
    Source none = fixtures::groundStack("Sub", {}, 0);
    EXPECT_FALSE(text::showsAngleNote(one));
    EXPECT_FALSE(text::showsAngleNote(none));
    EXPECT_EQ(text::enclosuresTitle(none), "Enclosures (0)");
    EXPECT_EQ(
        text::angleNote(),
        "This report has no angle column for this series \u2013 the crew sees the site of each enclosure.");
}

} // namespace
} // namespace rig::app

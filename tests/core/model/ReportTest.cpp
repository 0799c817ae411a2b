#include "model/Report.h"
#include "model/RigError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

using namespace rig;

namespace {
template <class T>
T roundTrip(const T& v) {
    return decodeJsonText<T>(dumpJsonCompact(v.toJson()));
}
template <class T>
bool reads(std::string_view text) {
    try {
        decodeJsonText<T>(text);
        return true;
    } catch (const JsonDecodeError&) {
        return false;
    }
}
std::string minimalSource(std::string_view drop = "") {
    Json j = Source("S", {"ALL"}).toJson();
    if (!drop.empty()) j.erase(std::string(drop));
    return j.dump();
}
} // namespace

TEST(Source, IdentifierAndFlownFlag) {
    EXPECT_EQ(Source("L1", {"ALL", "Main"}).id(), "ALL/Main/L1");
    EXPECT_EQ(Source("Sub", {}).id(), "Sub");
    EXPECT_EQ(Source("Sub", {"ALL"}).id(), "ALL/Sub");
    EXPECT_EQ(Source("a/b", {"", "G"}).id(), "/G/a/b");
    Source s("x", {});
    for (auto [conf, flown] : std::vector<std::pair<std::string, bool>>{{"K2 flown", true},
                                                                        {"unflownish", true},
                                                                        {"Flown", false},
                                                                        {"FLOWN", false},
                                                                        {"", false},
                                                                        {"stacked", false}}) {
        s.configuration = conf;
        EXPECT_EQ(s.isFlown(), flown) << conf;
    }
}

TEST(Source, DefaultSourceWritesOnlyTheRequiredKeysAndReadsBack) {
    Source s("L1", {"ALL", "Main"});
    Json j = s.toJson();
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"configuration", "enclosures", "groups", "hasAngles", "name",
                                              "pickups", "warnings"}));
    EXPECT_EQ(j["configuration"], "");
    EXPECT_EQ(j["hasAngles"], false);
    EXPECT_EQ(roundTrip(s), s);
}

TEST(Source, RequiredKeysWithDefaultsStillRequired) {
    EXPECT_TRUE(reads<Source>(minimalSource()));
    for (const char* key :
         {"configuration", "hasAngles", "pickups", "enclosures", "warnings", "name", "groups"}) {
        EXPECT_FALSE(reads<Source>(minimalSource(key))) << key;
    }
    Json j = parseJsonText(minimalSource());
    j["bumper"] = nullptr;
    EXPECT_FALSE(decodeJsonText<Source>(j.dump()).bumper);
    j["configuration"] = nullptr;
    EXPECT_FALSE(reads<Source>(j.dump()));
}

TEST(Source, FullRoundTripAndFieldSensitiveEquality) {
    Source s("L1", {"ALL", "Main"});
    s.configuration = "K2 flown";
    s.bumper = "K2-BUMP";
    s.motorCount = 2;
    s.pickups = {Pickup{"Front", "3", XYZ(1, 2, 12.5), 812.5, true},
                 Pickup{"Rear", "", XYZ(1, 1.5, 12.5), {}, false}};
    s.position = XYZ(1, 2, 3);
    s.site = -3.5;
    s.azimuth = 12;
    s.dimensions = XYZ(1.3, 0.6, 5.2);
    s.bottomElevation = 6.1;
    s.topSite = 1;
    s.bottomSite = -20;
    s.totalWeight = 1234.5;
    s.enclosureWeight = 1100;
    s.enclosures = {Enclosure{1, "K2", 0.0, -1.0, 12.0, 11.6, std::string("Panflex 70")},
                    Enclosure{2, "K2", {}, {}, {}, {}, {}}};
    s.hasAngles = true;
    s.warnings = {ReportWarning{ReportWarning::Level::caution, "Check the bumper"}};
    s.delay = 2.4;
    s.gain = -3;
    EXPECT_EQ(roundTrip(s), s);

    Source t = s;
    t.warnings = {ReportWarning{ReportWarning::Level::caution, "Check the bumper!"}};
    EXPECT_NE(s, t);
    Source u = s;
    u.pickups.mut(1).fromDXF = true;
    EXPECT_NE(s, u);
    EXPECT_EQ(s.enclosures[1].toJson().size(), 2u); // only index and type
}

TEST(Source, NotANumberInsideAListEqualsAnUnchangedCopy) {
    Source s("L1", {});
    s.pickups = {Pickup{"Front", "", XYZ(std::nan(""), 0, 0), {}, false}};
    Source copy = s;
    EXPECT_EQ(s, copy);
    Source rebuilt("L1", {});
    rebuilt.pickups = {Pickup{"Front", "", XYZ(std::nan(""), 0, 0), {}, false}};
    EXPECT_NE(s, rebuilt);
    // Written and read back, the not-a-number survives as a value.
    Source back = roundTrip(s);
    EXPECT_TRUE(std::isnan(back.pickups[0].position.x));
    EXPECT_EQ(s.pickups[0].toJson()["position"]["x"], "NaN");
}

TEST(Pickup, RequiredFlagAndNullLoad) {
    EXPECT_FALSE(reads<Pickup>(R"({"role":"Front","hole":"","position":{"x":0,"y":0,"z":0}})"));
    auto p = decodeJsonText<Pickup>(
        R"({"role":"Front","hole":"","position":{"x":0,"y":0,"z":0},"load":null,"fromDXF":false})");
    EXPECT_FALSE(p.load);
    EXPECT_FALSE(reads<Pickup>(R"({"role":"Front","hole":"","position":{"x":0,"y":0},"fromDXF":false})"));
}

TEST(ReportInfo, UnitsRequiredAlthoughDefaulted) {
    ReportInfo info;
    EXPECT_EQ(info.distanceUnit, "m");
    EXPECT_EQ(info.weightUnit, "kg");
    Json j = info.toJson();
    EXPECT_EQ(roundTrip(info), info);
    j.erase("distanceUnit");
    EXPECT_FALSE(reads<ReportInfo>(j.dump()));
    EXPECT_TRUE(reads<Report>(
        R"({"info":{"version":"","date":"","fileName":"","distanceUnit":"m","weightUnit":"kg"},"sources":[]})"));
    EXPECT_FALSE(reads<Report>(
        R"({"info":{"version":"","date":"","fileName":"","distanceUnit":"m","weightUnit":"kg"}})"));
}

TEST(ReportWarning, LevelTextIsExact) {
    EXPECT_TRUE(reads<ReportWarning>(R"({"level":"caution","text":"x"})"));
    EXPECT_FALSE(reads<ReportWarning>(R"({"level":"Caution","text":"x"})"));
    EXPECT_FALSE(reads<ReportWarning>(R"({"level":"info","text":"x"})"));
    EXPECT_EQ(ReportWarning::levelText(ReportWarning::Level::error), "error");
    EXPECT_EQ(ReportWarning::levelFromText("warning"), ReportWarning::Level::warning);
    EXPECT_FALSE(ReportWarning::levelFromText("WARNING"));
    ReportWarning a{ReportWarning::Level::error, "\xC3\xA9"}, b{ReportWarning::Level::error, "e\xCC\x81"};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ReportWarning>{}(a), std::hash<ReportWarning>{}(b));
}

TEST(XYZ, DistanceEqualityAndHash) {
    EXPECT_EQ(XYZ(0, 0, 0).distance(XYZ(1, 2, 2)), 3.0);
    EXPECT_EQ(XYZ(1, 2, 2).distance(XYZ(0, 0, 0)), 3.0);
    EXPECT_EQ(XYZ(0.0, 0, 0), XYZ(-0.0, 0, 0));
    EXPECT_EQ(std::hash<XYZ>{}(XYZ(0.0, 0, 0)), std::hash<XYZ>{}(XYZ(-0.0, 0, 0)));
    XYZ n(std::nan(""), 0, 0);
    EXPECT_NE(n, n);
    std::unordered_set<XYZ> set{XYZ(1, 2, 3), XYZ(1, 2, 3), XYZ(3, 2, 1)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(InventoryItem, OptionalChannelsAndIntegerQuantity) {
    InventoryItem i{"Enclosure", 12, "K2", "K2", "", 3};
    EXPECT_EQ(roundTrip(i), i);
    i.ampChannels.reset();
    EXPECT_FALSE(i.toJson().contains("ampChannels"));
    EXPECT_FALSE(
        reads<InventoryItem>(R"({"category":"E","quantity":1.5,"family":"","product":"","description":""})"));
}

TEST(RigError, MessagesNameTheFileUnchanged) {
    EXPECT_STREQ(RigError::unreadable("plan.pdf").what(), "Cannot read plan.pdf.");
    EXPECT_STREQ(RigError::notSoundvision("Plan de feu é.pdf").what(),
                 "Plan de feu é.pdf does not look like a Soundvision report.");
    EXPECT_EQ(RigError::notSoundvision("a").kind(), RigError::Kind::notSoundvision);
}

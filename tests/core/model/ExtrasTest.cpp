#include "model/Extras.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace rig {
namespace {

template <class T>
T read(const Json& j) {
    return readJson<T>(j, JsonPath());
}

template <class T>
T roundTrip(const T& v) {
    return read<T>(parseJsonText(dumpJsonCompact(v.toJson())));
}

TEST(Motor, JsonRequiresAllThreeKeys) {
    Motor m = fixtures::testMotor("D8+ 1000 kg", 58);
    Json j = m.toJson();
    EXPECT_EQ(j.size(), 3u);
    EXPECT_EQ(j["name"], "D8+ 1000 kg");
    EXPECT_EQ(j["weight"], 58.0);
    EXPECT_EQ(j["id"], m.id.str());
    EXPECT_EQ(roundTrip(m), m);

    for (const char* key : {"id", "name", "weight"}) {
        Json missing = j;
        missing.erase(key);
        EXPECT_THROW(read<Motor>(missing), JsonDecodeError) << key;
    }
    Json badId = j;
    badId["id"] = "not-a-uuid";
    EXPECT_THROW(read<Motor>(badId), JsonDecodeError);
    Json wrongType = j;
    wrongType["weight"] = "58";
    EXPECT_THROW(read<Motor>(wrongType), JsonDecodeError);
}

TEST(Motor, IdentifierIsWrittenUpperCaseAndReadInEitherCase) {
    Motor m = fixtures::testMotor();
    std::string upper = m.id.str();
    std::string lower;
    for (char c : upper) lower += (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    ASSERT_NE(upper, lower);
    Json j = m.toJson();
    j["id"] = lower;
    EXPECT_EQ(read<Motor>(j), m);
}

TEST(Motor, EqualityAndHashCoverEveryField) {
    Motor a = fixtures::testMotor("D8", 250);
    Motor b = a;
    b.weight = 500;
    EXPECT_NE(a, b);
    b = a;
    b.name = "D8 ";
    EXPECT_NE(a, b);
    b = a;
    b.id = fixtures::testMotor("D8", 250, 2).id;
    EXPECT_NE(a, b);

    // Canonically equal names and signed zeros are the same motor, and hash alike.
    Motor c = fixtures::testMotor("Mot\u00E9ur", 0.0);
    Motor d = fixtures::testMotor("Mote\u0301ur", -0.0);
    EXPECT_EQ(c, d);
    EXPECT_EQ(std::hash<Motor>()(c), std::hash<Motor>()(d));

    Motor nan = fixtures::testMotor("X", std::nan(""));
    EXPECT_NE(nan, nan);
}

TEST(DeltaSpec, DefaultsAndDerivedValues) {
    DeltaSpec d;
    EXPECT_EQ(d.name, "K1-DELTA");
    ASSERT_TRUE(d.spacing);
    EXPECT_EQ(*d.spacing, 0.8);
    EXPECT_FALSE(d.weight);
    Json j = d.toJson();
    EXPECT_EQ(j, Json::parse(R"({"name":"K1-DELTA","spacing":0.8})"));

    d.spacing = 1.2;
    d.weight = 12;
    EXPECT_EQ(d.spacingValue(), 1.2);
    EXPECT_EQ(d.weightValue(), 9.5);
    EXPECT_EQ(DeltaSpec::plateWeight, 9.5);
    EXPECT_EQ(roundTrip(d), d);
}

TEST(DeltaSpec, ReaderDoesNotApplyTheInitialiserDefault) {
    DeltaSpec d = read<DeltaSpec>(Json::parse(R"({"name":"Plate"})"));
    EXPECT_EQ(d.name, "Plate");
    EXPECT_FALSE(d.spacing);
    EXPECT_FALSE(d.weight);
    EXPECT_EQ(d.spacingValue(), 0.8);
    EXPECT_EQ(d.weightValue(), 9.5);
    DeltaSpec initialised;
    initialised.name = "Plate";
    EXPECT_NE(d, initialised);
    // Written again it still has no spacing.
    EXPECT_FALSE(d.toJson().contains("spacing"));

    EXPECT_EQ(read<DeltaSpec>(Json::parse(R"({"name":"P","spacing":null,"weight":null})")),
              read<DeltaSpec>(Json::parse(R"({"name":"P"})")));
    EXPECT_THROW(read<DeltaSpec>(Json::parse(R"({"spacing":0.8})")), JsonDecodeError);
    EXPECT_THROW(read<DeltaSpec>(Json::parse(R"({"name":null})")), JsonDecodeError);
    EXPECT_THROW(read<DeltaSpec>(Json::parse(R"({"name":"P","spacing":"0.8"})")), JsonDecodeError);
}

TEST(PointExtra, EmptinessAndJson) {
    EXPECT_TRUE(PointExtra{}.isEmpty());
    EXPECT_FALSE((PointExtra{std::nullopt, true}.isEmpty()));
    EXPECT_FALSE((PointExtra{fixtures::testMotor(), false}.isEmpty()));

    EXPECT_EQ(read<PointExtra>(Json::parse(R"({"delta":false})")), PointExtra{});
    EXPECT_THROW(read<PointExtra>(Json::parse(R"({})")), JsonDecodeError);
    EXPECT_THROW(read<PointExtra>(Json::parse(R"({"motor":null})")), JsonDecodeError);

    EXPECT_EQ(PointExtra{}.toJson(), Json::parse(R"({"delta":false})"));
    PointExtra withMotor{fixtures::testMotor("M", 40), true};
    Json j = withMotor.toJson();
    ASSERT_TRUE(j.contains("motor"));
    EXPECT_EQ(j["motor"].size(), 3u);
    EXPECT_EQ(j["motor"]["weight"], 40.0);
    EXPECT_EQ(roundTrip(withMotor), withMotor);

    // A broken nested motor fails the whole extra.
    j["motor"].erase("weight");
    EXPECT_THROW(read<PointExtra>(j), JsonDecodeError);
}

TEST(SourceExtra, PointsAreRequiredButMayBeEmpty) {
    SourceExtra e = read<SourceExtra>(Json::parse(R"({"points":{}})"));
    EXPECT_TRUE(e.points.empty());
    EXPECT_EQ(e, SourceExtra{});
    EXPECT_THROW(read<SourceExtra>(Json::parse(R"({})")), JsonDecodeError);
    EXPECT_THROW(read<SourceExtra>(Json::parse(R"({"points":[]})")), JsonDecodeError);
    EXPECT_EQ(SourceExtra{}.toJson(), Json::parse(R"({"points":{}})"));
}

TEST(SourceExtra, EqualityIsByUnorderedTable) {
    Motor m = fixtures::testMotor();
    SourceExtra a, b;
    a.points.set("Front", PointExtra{m, false});
    a.points.set("Rear", PointExtra{std::nullopt, true});
    b.points.set("Rear", PointExtra{std::nullopt, true});
    b.points.set("Front", PointExtra{m, false});
    EXPECT_EQ(a, b);
    EXPECT_EQ(roundTrip(a), a);
    b.points.set("Rear", PointExtra{std::nullopt, false});
    EXPECT_NE(a, b);

    // An unchanged copy equals its original even when a motor weight is not a number.
    SourceExtra n;
    n.points.set("Front", PointExtra{fixtures::testMotor("X", std::nan("")), false});
    SourceExtra copy = n;
    EXPECT_EQ(copy, n);
}

} // namespace
} // namespace rig

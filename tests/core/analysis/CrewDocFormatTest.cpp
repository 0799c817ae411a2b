#include "analysis/CrewDoc.h"

#include <gtest/gtest.h>

#include <limits>

using namespace rig;

namespace {

CrewDoc sampleDoc() {
    CrewDoc d;
    d.name = "CS Arena";
    d.updated = "2025-03-14T09:26:53Z";
    d.report = "arena.pdf";
    d.svVersion = "3.7";
    d.distUnit = "m";
    d.weightUnit = "kg";
    d.delta = {"K1-DELTA", 0.8, 9.5};

    CrewDoc::Src s;
    s.id = "ALL/Main/Main L";
    s.name = "Main L";
    s.group = {"ALL", "Main"};
    s.config = "flown";
    s.az = -12.5;
    s.pos = std::vector<double>{1, 2, 3};
    s.botFace = std::vector<double>{-2.25, -7.3};

    CrewDoc::Point full;
    full.role = "Front";
    full.hole = "3";
    full.xyz = std::vector<double>{1.5, 2, 9};
    full.load = 412.5;
    full.delta = true;
    full.motor = "D8+ 1t";
    full.motorKg = 52;
    full.dm = std::vector<std::vector<double>>{{1.1, 2, 9}, {1.9, 2, 9}};
    CrewDoc::Point bare;
    bare.role = "Rear";
    s.points = {full, bare};
    s.enc = {{1, "K1", 0.0, -1.5, 9.1, 8.7, std::nullopt}};
    s.warn = {{"caution", "Check the rear link"}};
    s.side = CrewDoc::Side{"M0 0L10 0L10 10Z", {0, 0, 10, 10}, {{0, -5}}};
    s.plan = CrewDoc::Plan{{1, 2}, {{-0.3, -0.2}, {0.3, -0.2}, {0.3, 0.2}}, {0, 1}};
    s.rigH = 12;
    s.changed = std::vector<std::string>{"Site -1 → -2"};
    d.sources = {s};
    d.inventory = {{"Enclosure", 12, "K1", 3}, {"Rigging", 2, "K1-BUMP", std::nullopt}};
    return d;
}

Json parsed(const CrewDoc& d) {
    return parseJsonText(d.encode());
}

} // namespace

TEST(CrewDocFormat, OptionalKeysLeftOutEmptyListsWritten) {
    CrewDoc d = sampleDoc();
    d.sources[0].enc.clear();
    d.sources[0].warn.clear();
    Json j = parsed(d);

    for (const char* key : {"author", "link", "qr"}) EXPECT_FALSE(j.contains(key)) << key;
    for (const char* key : {"v", "name", "updated", "report", "svVersion", "distUnit", "weightUnit",
                            "sources", "inventory", "delta"}) {
        EXPECT_TRUE(j.contains(key)) << key;
    }
    EXPECT_EQ(j["v"], 1);

    const Json& src = j["sources"][0];
    EXPECT_EQ(src["enc"], Json::array());
    EXPECT_EQ(src["warn"], Json::array());
    EXPECT_FALSE(src.contains("bumper"));
    EXPECT_FALSE(src.contains("weight"));

    Json bare = src["points"][1];
    std::vector<std::string> keys;
    for (auto it = bare.begin(); it != bare.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"delta", "hole", "role"}));
    EXPECT_FALSE(j["inventory"][1].contains("ch"));
}

TEST(CrewDocFormat, CompactTextInFieldOrder) {
    std::string text = sampleDoc().encode();
    EXPECT_EQ(text.find(": "), std::string::npos);
    EXPECT_EQ(text.find(", "), std::string::npos);
    EXPECT_NE(text.find("\"name\":\"CS "), std::string::npos);
    EXPECT_EQ(text.rfind("{\"v\":1,\"name\":\"CS Arena\",\"updated\":", 0), 0u);
    EXPECT_NE(text.find("{\"role\":\"Rear\",\"hole\":\"\",\"delta\":false}"), std::string::npos);
    EXPECT_NE(text.find("\"box\":[0,0,10,10]"), std::string::npos);
    EXPECT_NE(text.find("\"changed\":[\"Site -1 → -2\"]"), std::string::npos);
    EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(CrewDocFormat, NonFiniteNumberFailsWithItsPlace) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CrewDoc d = sampleDoc();
    d.sources[0].points[0].load = nan;
    try {
        (void)d.encode();
        FAIL() << "encoded a NaN";
    } catch (const JsonEncodeError& e) {
        EXPECT_NE(std::string(e.what()).find("sources[0].points[0].load"), std::string::npos) << e.what();
    }

    d = sampleDoc();
    d.sources[0].plan->hull[1][0] = std::numeric_limits<double>::infinity();
    EXPECT_THROW((void)d.encode(), JsonEncodeError);
    d = sampleDoc();
    d.sources[0].points[0].dm->at(1)[2] = -std::numeric_limits<double>::infinity();
    EXPECT_THROW((void)d.encode(), JsonEncodeError);
    d = sampleDoc();
    d.delta.spacing = nan;
    EXPECT_THROW((void)d.encode(), JsonEncodeError);
}

TEST(CrewDocFormat, RoundTripKeepsEveryValue) {
    CrewDoc d = sampleDoc();
    d.author = "Crème";
    d.link = "https://crew.example/x";
    d.qr = "data:image/png;base64,AAAA";
    CrewDoc r = CrewDoc::decode(d.encode());

    EXPECT_EQ(r.encode(), d.encode());
    EXPECT_EQ(r.author, "Crème");
    ASSERT_EQ(r.sources.size(), 1u);
    const CrewDoc::Src& s = r.sources[0];
    EXPECT_EQ(s.points[0].dm, d.sources[0].points[0].dm);
    EXPECT_EQ(s.points[1].xyz, std::nullopt);
    EXPECT_EQ(s.side->box, (std::vector<std::int64_t>{0, 0, 10, 10}));
    EXPECT_EQ(s.plan->dir, (std::vector<double>{0, 1}));
    EXPECT_EQ(s.enc[0].a, 0.0);
    EXPECT_EQ(s.enc[0].pf, std::nullopt);
    EXPECT_EQ(r.inventory[0].ch, 3);
    EXPECT_EQ(r.delta.weight, 9.5);
}

TEST(CrewDocFormat, DecoderIsStrict) {
    Json j = parsed(sampleDoc());

    Json noV = j;
    noV.erase("v");
    EXPECT_THROW(CrewDoc::decode(noV.dump()), JsonDecodeError);

    Json nullName = j;
    nullName["name"] = nullptr;
    EXPECT_THROW(CrewDoc::decode(nullName.dump()), JsonDecodeError);

    Json fractionalQ = j;
    fractionalQ["inventory"][0]["q"] = 1.5;
    EXPECT_THROW(CrewDoc::decode(fractionalQ.dump()), JsonDecodeError);

    Json stringLoad = j;
    stringLoad["sources"][0]["points"][0]["load"] = "NaN";
    EXPECT_THROW(CrewDoc::decode(stringLoad.dump()), JsonDecodeError);

    Json noDelta = j;
    noDelta["sources"][0]["points"][1].erase("delta");
    EXPECT_THROW(CrewDoc::decode(noDelta.dump()), JsonDecodeError);

    Json noWarn = j;
    noWarn["sources"][0].erase("warn");
    EXPECT_THROW(CrewDoc::decode(noWarn.dump()), JsonDecodeError);

    Json badSide = j;
    badSide["sources"][0]["side"]["box"][0] = 0.5;
    EXPECT_THROW(CrewDoc::decode(badSide.dump()), JsonDecodeError);

    EXPECT_THROW(CrewDoc::decode("[]"), JsonDecodeError);
    EXPECT_THROW(CrewDoc::decode("{\"v\":4e444}"), JsonDecodeError); // beyond a double
    EXPECT_THROW(CrewDoc::decode("{\"v\":1,"), JsonDecodeError);
}

TEST(CrewDocFormat, DecoderIgnoresUnknownKeysAndNullOptionals) {
    Json j = parsed(sampleDoc());
    j["extra"] = 1;
    j["sources"][0]["future"] = {1, 2};
    j["sources"][0]["points"][0]["x"] = "y";
    j["delta"]["z"] = false;
    j["author"] = nullptr;
    j["sources"][0]["rigH"] = nullptr;
    j["inventory"][0]["ch"] = nullptr;
    j["distUnit"] = "ft";

    CrewDoc r = CrewDoc::decode(j.dump());
    EXPECT_EQ(r.author, std::nullopt);
    EXPECT_EQ(r.sources[0].rigH, std::nullopt);
    EXPECT_EQ(r.inventory[0].ch, std::nullopt);
    EXPECT_EQ(r.distUnit, "ft");
    EXPECT_EQ(r.sources[0].points[0].load, 412.5);

    // A whole number reads as a decimal too.
    j["sources"][0]["site"] = 3;
    EXPECT_EQ(CrewDoc::decode(j.dump()).sources[0].site, 3.0);
}

TEST(CrewDocFormat, TextsAreEscapedAndNumbersReadBack) {
    CrewDoc d = sampleDoc();
    d.name = "Quote \" back\\slash\nline\ttab\x01 bell\x7f é →";
    d.author = std::string("bad \xff byte");
    d.sources[0].az = 0.1 + 0.2;
    d.sources[0].site = -0.0;
    d.sources[0].weight = 1e21;
    d.sources[0].rigH = 5e-324;
    std::string text = d.encode();
    EXPECT_NE(text.find("\\u0001"), std::string::npos);

    CrewDoc r = CrewDoc::decode(text);
    EXPECT_EQ(r.name, d.name);
    EXPECT_EQ(r.author, "bad \xEF\xBF\xBD byte"); // U+FFFD
    EXPECT_EQ(r.sources[0].az, 0.1 + 0.2);
    EXPECT_EQ(r.sources[0].site, 0.0);
    EXPECT_EQ(r.sources[0].weight, 1e21);
    EXPECT_EQ(r.sources[0].rigH, 5e-324);
}

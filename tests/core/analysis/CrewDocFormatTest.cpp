#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace rig;
using fixtures::notANumber;

namespace {

// A source with every field, then one with none of its optional fields: compact text, keys in
// table order, absent optionals left out, empty lists written as [].
const char* const kSampleText =
    R"({"v":1,"name":"CS Arena","updated":"2025-03-14T09:26:53Z","report":"arena.pdf","svVersion":"3.7",)"
    R"("distUnit":"m","weightUnit":"kg","sources":[{"id":"ALL/Main/Main L","name":"Main L",)"
    R"("group":["ALL","Main"],"config":"flown","az":-12.5,"pos":[1,2,3],"botFace":[-2.25,-7.3],)"
    R"("points":[{"role":"Front","hole":"3","xyz":[1.5,2,9],"load":412.5,"delta":true,"motor":"D8+ 1t",)"
    R"("motorKg":52,"dm":[[1.1,2,9],[1.9,2,9]]},{"role":"Rear","hole":"","delta":false}],"hasAngles":false,)"
    R"("enc":[{"n":1,"t":"K1","a":0,"s":-1.5,"top":9.1,"bot":8.7}],"warn":[{"l":"caution",)"
    R"("t":"Check the rear link"}],"side":{"p":"M0 0L10 0L10 10Z","box":[0,0,10,10],"pts":[[0,-5]]},)"
    R"("plan":{"c":[1,2],"hull":[[-0.3,-0.2],[0.3,-0.2],[0.3,0.2]],"dir":[0,1]},"rigH":12,)"
    R"("changed":["Site -1 → -2"],"no":7},{"id":"Fill","name":"Fill","group":[],"config":"","points":[],)"
    R"("hasAngles":false,"enc":[],"warn":[]}],"inventory":[{"cat":"Enclosure","q":12,"n":"K1","ch":3},)"
    R"({"cat":"Rigging","q":2,"n":"K1-BUMP"}],"delta":{"name":"K1-DELTA","spacing":0.8,"weight":9.5}})";

CrewDoc sampleDoc() {
    return CrewDoc::decode(kSampleText);
}

} // namespace

TEST(CrewDocFormat, EncodesCompactTextInTableOrder) {
    EXPECT_EQ(sampleDoc().encode(), kSampleText);
    EXPECT_EQ(CrewDoc().encode(), R"({"v":1,"name":"","updated":"","report":"","svVersion":"","distUnit":"",)"
                                  R"("weightUnit":"","sources":[],"inventory":[],"delta":{"name":""}})");
}

TEST(CrewDocFormat, NonFiniteNumberFailsNamingItsPlace) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, std::function<void(CrewDoc&)>> cases[] = {
        {"sources[0].points[0].load", [](CrewDoc& d) { d.sources[0].points[0].load = notANumber; }},
        {"sources[0].plan.hull[1][0]", [&](CrewDoc& d) { d.sources[0].plan->hull[1][0] = inf; }},
        {"sources[0].points[0].dm[1][2]", [&](CrewDoc& d) { d.sources[0].points[0].dm->at(1)[2] = -inf; }},
        {"sources[1].rigH", [](CrewDoc& d) { d.sources[1].rigH = notANumber; }},
        {"delta.spacing", [](CrewDoc& d) { d.delta.spacing = notANumber; }},
    };
    for (const auto& [place, spoil] : cases) {
        CrewDoc d = sampleDoc();
        spoil(d);
        try {
            (void)d.encode();
            ADD_FAILURE() << "encoded a non-finite " << place;
        } catch (const JsonEncodeError& e) {
            EXPECT_NE(std::string(e.what()).find(place), std::string::npos) << e.what();
        }
    }
}

TEST(CrewDocFormat, RoundTripKeepsEveryValueAndText) {
    CrewDoc d = sampleDoc();
    d.name = "Quote \" back\\slash\nline\ttab\x01 bell\x7f é →";
    d.author = "Crème";
    d.link = "https://crew.example/x";
    d.qr = "data:image/png;base64,AAAA";
    d.sources[0].site = -0.0;
    d.sources[0].weight = 0.1 + 0.2;
    d.sources[0].encWeight = 1e21;
    d.sources[0].bottom = 5e-324;
    d.sources[0].points[1].loadInvalid = true; // a load that is not a number, marked only then
    std::string text = d.encode();
    EXPECT_NE(text.find("\\u0001"), std::string::npos);
    EXPECT_NE(text.find(R"({"role":"Rear","hole":"","loadInvalid":true,"delta":false})"), std::string::npos);

    CrewDoc r = CrewDoc::decode(text);
    EXPECT_EQ(r.encode(), text);
    EXPECT_EQ(r.name, d.name);
    EXPECT_TRUE(std::signbit(*r.sources[0].site));
    EXPECT_EQ(r.sources[0].weight, 0.1 + 0.2);
    EXPECT_EQ(r.sources[0].encWeight, 1e21);
    EXPECT_EQ(r.sources[0].bottom, 5e-324);
    EXPECT_TRUE(r.sources[0].points[1].loadInvalid && !r.sources[0].points[0].loadInvalid);

    d.author = std::string("bad \xff byte");
    EXPECT_EQ(CrewDoc::decode(d.encode()).author, "bad \xEF\xBF\xBD byte"); // U+FFFD
}

TEST(CrewDocFormat, DecoderIsStrict) {
    const Json good = parseJsonText(kSampleText);
    const std::function<void(Json&)> spoils[] = {
        [](Json& j) { j.erase("v"); },
        [](Json& j) { j["name"] = nullptr; },
        [](Json& j) { j["inventory"][0]["q"] = 1.5; },
        [](Json& j) { j["sources"][0]["points"][0]["load"] = "NaN"; },
        [](Json& j) { j["sources"][0]["points"][1].erase("delta"); },
        [](Json& j) { j["sources"][1].erase("warn"); },
        [](Json& j) { j["sources"][0]["side"]["box"][0] = 0.5; },
    };
    for (std::size_t i = 0; i < std::size(spoils); ++i) {
        Json j = good;
        spoils[i](j);
        EXPECT_THROW(CrewDoc::decode(j.dump()), JsonDecodeError) << "case " << i;
    }
    for (const char* text : {"[]", "{\"v\":4e444}", "{\"v\":1,"}) {
        EXPECT_THROW(CrewDoc::decode(text), JsonDecodeError) << text;
    }
}

TEST(CrewDocFormat, DecoderIgnoresUnknownKeysAndNullOptionals) {
    Json j = parseJsonText(kSampleText);
    j["extra"] = 1;
    j["sources"][0]["future"] = {1, 2};
    j["sources"][0]["points"][0]["x"] = "y";
    j["delta"]["z"] = false;
    j["author"] = nullptr;
    j["sources"][0]["rigH"] = nullptr;
    j["inventory"][0]["ch"] = nullptr;
    j["sources"][0]["site"] = 3; // a whole number reads as a decimal too

    CrewDoc r = CrewDoc::decode(j.dump());
    EXPECT_EQ(r.author, std::nullopt);
    EXPECT_EQ(r.sources[0].rigH, std::nullopt);
    EXPECT_EQ(r.inventory[0].ch, std::nullopt);
    EXPECT_EQ(r.sources[0].site, 3.0);
    EXPECT_EQ(r.sources[0].points[0].load, 412.5);
}

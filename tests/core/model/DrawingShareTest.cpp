#include "model/Drawing.h"
#include "model/Share.h"

#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

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

template <class T>
void expectEachKeyRequired(const Json& full, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        Json missing = full;
        missing.erase(key);
        EXPECT_THROW(read<T>(missing), JsonDecodeError) << "without " << key;
        Json null = full;
        null[key] = nullptr;
        EXPECT_THROW(read<T>(null), JsonDecodeError) << key << " null";
    }
}

template <class T>
void expectEachKeyOptional(const Json& full, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        Json missing = full;
        missing.erase(key);
        Json null = full;
        null[key] = nullptr;
        EXPECT_EQ(read<T>(missing), read<T>(null)) << key;
        EXPECT_NE(read<T>(missing), read<T>(full)) << key;
    }
}

SideView sampleSide() {
    SideView s;
    s.path = "M0 0 L134 0 L134 420 L0 420 Z";
    s.minU = -10;
    s.maxU = 134;
    s.minV = -12;
    s.maxV = 420;
    s.points = List<std::vector<std::int64_t>>{{25, -12}, {-10, -12}};
    return s;
}

TopView sampleTop() {
    TopView t;
    t.cx = 4.5;
    t.cy = -2.0;
    t.hull = List<std::vector<double>>{{-0.67, -0.28}, {0.67, -0.28}, {0.67, 0.28}, {-0.67, 0.28}};
    return t;
}

TEST(DXFInfo, OptionalOutlines) {
    DXFInfo bare{List<XYZ>{XYZ(1, 2, 3)}, std::nullopt, std::nullopt};
    Json j = bare.toJson();
    EXPECT_EQ(j, Json::parse(R"({"pickups":[{"x":1.0,"y":2.0,"z":3.0}]})"));
    EXPECT_EQ(roundTrip(bare), bare);

    DXFInfo full{List<XYZ>{XYZ(1, 2, 3)}, sampleSide(), sampleTop()};
    Json fj = full.toJson();
    EXPECT_EQ(roundTrip(full), full);
    expectEachKeyRequired<DXFInfo>(fj, {"pickups"});
    expectEachKeyOptional<DXFInfo>(fj, {"side", "top"});

    // Nothing validates content: empty pickups and a two-corner hull read as they stand.
    DXFInfo odd{List<XYZ>{}, std::nullopt, TopView{0, 0, List<std::vector<double>>{{1, 2}, {3}}}};
    EXPECT_EQ(roundTrip(odd), odd);
}

TEST(SideView, KeysTypesAndEquality) {
    SideView s = sampleSide();
    Json j = s.toJson();
    EXPECT_EQ(roundTrip(s), s);
    expectEachKeyRequired<SideView>(j, {"path", "minU", "maxU", "minV", "maxV", "points"});

    Json fractional = j;
    fractional["minU"] = 1.5;
    EXPECT_THROW(read<SideView>(fractional), JsonDecodeError);
    Json badPoint = j;
    badPoint["points"][0][1] = "x";
    EXPECT_THROW(read<SideView>(badPoint), JsonDecodeError);

    SideView t = s;
    t.points = List<std::vector<std::int64_t>>{{25, -12}, {-10, -11}};
    EXPECT_NE(s, t);
    t = s;
    t.maxV = 421;
    EXPECT_NE(s, t);
}

TEST(TopView, KeysAndCornerOrder) {
    TopView t = sampleTop();
    Json j = t.toJson();
    EXPECT_EQ(roundTrip(t), t);
    expectEachKeyRequired<TopView>(j, {"cx", "cy", "hull"});

    TopView rotated = t;
    rotated.hull = List<std::vector<double>>{{0.67, -0.28}, {0.67, 0.28}, {-0.67, 0.28}, {-0.67, -0.28}};
    EXPECT_NE(t, rotated);

    // Whole-number decimals may be written without a fraction.
    TopView whole = read<TopView>(Json::parse(R"({"cx":4,"cy":-2,"hull":[[1,0],[0,1],[-1,0]]})"));
    EXPECT_EQ(whole.cx, 4.0);
    EXPECT_EQ(whole.hull[1][1], 1.0);
}

TEST(ImportRecord, ChangesAlwaysWritten) {
    ImportRecord r{fixtures::testDate(), "Show.pdf", {}};
    Json j = r.toJson();
    ASSERT_TRUE(j.contains("changes"));
    EXPECT_TRUE(j["changes"].is_array());
    EXPECT_TRUE(j["changes"].empty());
    EXPECT_EQ(j["date"], "2025-03-14T09:26:53Z");
    EXPECT_EQ(roundTrip(r), r);
    expectEachKeyRequired<ImportRecord>(j, {"date", "file", "changes"});

    Json badDate = j;
    badDate["date"] = "14/03/2025";
    EXPECT_THROW(read<ImportRecord>(badDate), JsonDecodeError);

    ImportRecord later = r;
    later.date = fixtures::testDate(1);
    EXPECT_NE(r, later);
}

ShareInfo sampleShare() {
    Source s = fixtures::flownArray("Main L", {"ALL", "Main"}, 4);
    ShareInfo share;
    share.token = "tok";
    share.url = "https://crew.example.net/v/tok";
    share.publishedAt = fixtures::testDate();
    SourceExtra extra;
    extra.points.set("Front", PointExtra{fixtures::testMotor(), true});
    share.fingerprints.set(s.id(), SourceFingerprint{s, extra});
    share.changes.set(s.id(), List<std::string>{"Front: load 380 → 402 kg"});
    return share;
}

TEST(ShareInfo, RequiredAndOptionalKeys) {
    ShareInfo share = sampleShare();
    share.hidden = TextSet{"ALL/Subs"};
    Json j = share.toJson();
    EXPECT_EQ(roundTrip(share), share);
    expectEachKeyRequired<ShareInfo>(j, {"token", "url", "publishedAt", "fingerprints", "changes"});
    expectEachKeyOptional<ShareInfo>(j, {"hidden"});

    // Empty tables are still written, and still required.
    ShareInfo attached{"tok", "https://x", fixtures::testDate(), {}, {}, std::nullopt};
    Json aj = attached.toJson();
    EXPECT_EQ(aj["fingerprints"], Json::object());
    EXPECT_EQ(aj["changes"], Json::object());
    EXPECT_EQ(roundTrip(attached), attached);
}

TEST(ShareInfo, EmptyHiddenSetIsNotNone) {
    ShareInfo none = sampleShare();
    ShareInfo empty = none;
    empty.hidden = TextSet{};
    EXPECT_FALSE(none.toJson().contains("hidden"));
    EXPECT_EQ(empty.toJson()["hidden"], Json::array());
    EXPECT_NE(none, empty);
    ShareInfo back = roundTrip(empty);
    ASSERT_TRUE(back.hidden);
    EXPECT_TRUE(back.hidden->empty());
    EXPECT_EQ(back, empty);
}

TEST(ShareInfo, EveryFieldCounts) {
    ShareInfo a = sampleShare();
    ShareInfo b = a;
    b.publishedAt = fixtures::testDate(1);
    EXPECT_NE(a, b);
    b = a;
    b.changes.set("ALL/Main/Main L", List<std::string>{});
    EXPECT_NE(a, b);
    b = a;
    b.token = "tok2";
    EXPECT_NE(a, b);
    // Hidden sets compare as sets.
    a.hidden = TextSet{"b", "a"};
    b = a;
    b.hidden = TextSet{"a", "b"};
    EXPECT_EQ(a, b);
}

TEST(SourceFingerprint, SourceAndExtra) {
    Source s = fixtures::flownArray("L", {"ALL"}, 3);
    SourceFingerprint f{s, std::nullopt};
    Json j = f.toJson();
    EXPECT_FALSE(j.contains("extra"));
    EXPECT_EQ(roundTrip(f), f);
    expectEachKeyRequired<SourceFingerprint>(j, {"source"});

    SourceFingerprint withExtra{s, SourceExtra{}};
    EXPECT_NE(f, withExtra);
    EXPECT_EQ(roundTrip(withExtra), withExtra);

    // Any change in the source makes another fingerprint.
    Source angled = s;
    angled.enclosures.mut(1).angle = 2.5;
    EXPECT_NE(f, (SourceFingerprint{angled, std::nullopt}));
    Source loaded = s;
    loaded.pickups.mut(0).load = 1.0;
    EXPECT_NE(f, (SourceFingerprint{loaded, std::nullopt}));

    // A broken nested source fails the fingerprint.
    j["source"].erase("configuration");
    EXPECT_THROW(read<SourceFingerprint>(j), JsonDecodeError);
}

TEST(ShareInfo, FingerprintsWithNotANumberEqualAnUnchangedCopy) {
    ShareInfo a = sampleShare();
    Source s = fixtures::flownArray("N", {"ALL"}, 2);
    s.pickups.mut(0).position.z = std::nan("");
    s.position = XYZ(std::nan(""), 0, 0);
    a.fingerprints.set(s.id(), SourceFingerprint{s, std::nullopt});
    ShareInfo copy = a;
    EXPECT_EQ(copy, a);
}

} // namespace
} // namespace rig

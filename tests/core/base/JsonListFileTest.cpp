#include "base/File.h"
#include "base/Json.h"
#include "base/List.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <system_error>

using namespace rig;

TEST(List, EqualsAnUnchangedCopyWithoutComparingElements) {
    List<double> a{1.0, std::nan("")};
    List<double> b = a;
    EXPECT_TRUE(a.sharesStorageWith(b));
    EXPECT_EQ(a, b);
    List<double> c{1.0, std::nan("")};
    EXPECT_NE(a, c); // separately built: NaN equals nothing
    b.push_back(3.0);
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(b.size(), 3u);
    EXPECT_FALSE(a.sharesStorageWith(b));
    EXPECT_EQ(List<int>(), List<int>{});
    List<int> empty;
    EXPECT_EQ(empty, List<int>(std::vector<int>{}));
}

TEST(List, MutationDetachesAndTextElementsCompareCanonically) {
    List<int> a{1, 2, 3};
    List<int> b = a;
    b.mut(0) = 9;
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ((List<std::string>{"\xC3\xA9"}), (List<std::string>{"e\xCC\x81"}));
    EXPECT_NE((List<std::string>{"a"}), (List<std::string>{"a", "b"}));
}

namespace {
struct Rec {
    std::string name;
    std::optional<double> load;
    std::int64_t count = 0;
    Json toJson() const {
        return JsonObjectWriter().put("name", name).opt("load", load).put("count", count).take();
    }
    static Rec fromJson(const Json& j, const JsonPath& p) {
        JsonObjectReader o(j, p);
        Rec r;
        r.name = o.req<std::string>("name");
        r.load = o.opt<double>("load");
        r.count = o.req<std::int64_t>("count");
        return r;
    }
};

std::string decodeError(std::string_view text) {
    try {
        decodeJsonText<List<Rec>>(text);
    } catch (const JsonDecodeError& e) {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST(Json, RequiredOptionalAndUnknownKeys) {
    auto l = decodeJsonText<List<Rec>>(
        R"([{"name":"a","count":1,"extra":[1,2]},{"name":"b","load":null,"count":2}])");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_FALSE(l[0].load);
    EXPECT_FALSE(l[1].load);
    EXPECT_EQ(decodeError(R"([{"name":"a","count":1},{"count":2}])"), "Missing value for \"[1].name\".");
    EXPECT_EQ(decodeError(R"([{"name":null,"count":1}])"), "Missing value for \"[0].name\".");
    EXPECT_EQ(decodeError(R"([{"name":1,"count":1}])"), "Expected a text at \"[0].name\".");
    EXPECT_EQ(decodeError(R"({"name":"a"})"), "Expected an array at the document.");
    EXPECT_NE(decodeError(R"([{"name":"a",)").find("not valid JSON"), std::string::npos);
    Json written = Rec{"x", std::nullopt, 3}.toJson();
    EXPECT_FALSE(written.contains("load"));
}

TEST(Json, IntegerFieldsTakeOnlyWholeNumbersWithin64Bits) {
    auto count = [](std::string_view v) {
        return decodeJsonText<List<Rec>>("[{\"name\":\"a\",\"count\":" + std::string(v) + "}]")[0].count;
    };
    EXPECT_EQ(count("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(count("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(count("4.0"), 4);
    EXPECT_EQ(count("1e3"), 1000);
    for (const char* bad : {"9223372036854775808", "18446744073709551615", "1.5", "1e19", "\"3\"", "true"}) {
        EXPECT_THROW(count(bad), JsonDecodeError) << bad;
    }
}

TEST(Json, DecimalsAcceptAnyNumberAndTheNonFiniteStrings) {
    auto read = [](const Json& j) { return readJson<double>(j, JsonPath()); };
    EXPECT_EQ(read(Json(18)), 18.0);
    EXPECT_EQ(read(Json(-0.25)), -0.25);
    EXPECT_TRUE(std::isnan(read(Json("NaN"))));
    EXPECT_EQ(read(Json("Infinity")), std::numeric_limits<double>::infinity());
    EXPECT_EQ(read(Json("-Infinity")), -std::numeric_limits<double>::infinity());
    EXPECT_THROW(read(Json("nan")), JsonDecodeError);
    EXPECT_THROW(read(Json("1.5")), JsonDecodeError);
    EXPECT_THROW(read(Json(nullptr)), JsonDecodeError);
    EXPECT_EQ(writeJson(std::nan("")), Json("NaN"));
    EXPECT_EQ(writeJson(-std::numeric_limits<double>::infinity()), Json("-Infinity"));
    // Round trip through text keeps the exact value.
    double v = 0.1 + 0.2;
    EXPECT_EQ(read(parseJsonText(dumpJsonCompact(writeJson(v)))), v);
}

TEST(Json, PathsNameNestedKeysAndIndices) {
    Json j = parseJsonText(R"({"a":{"list":[{"x":1},{"x":"no"}]}})");
    JsonObjectReader root(j, JsonPath());
    try {
        JsonObjectReader a(j["a"], JsonPath().key("a"));
        JsonPath list = JsonPath().key("a").key("list");
        readJson<double>(j["a"]["list"][1]["x"], list.index(1).key("x"));
        FAIL();
    } catch (const JsonDecodeError& e) {
        EXPECT_STREQ(e.what(), "Expected a number at \"a.list[1].x\".");
    }
}

TEST(Json, TextMapsAndSetsAsObjectsAndArrays) {
    TextMap<double> m{{"b", 2.0}, {"a", 1.0}};
    EXPECT_EQ(dumpJsonCompact(writeJson(m)), R"({"a":1.0,"b":2.0})");
    EXPECT_EQ(readJson<TextMap<double>>(writeJson(m), JsonPath()), m);
    TextSet s{"y", "x"};
    EXPECT_EQ(dumpJsonCompact(writeJson(s)), R"(["x","y"])");
    EXPECT_EQ(readJson<TextSet>(parseJsonText(R"(["y","x","x"])"), JsonPath()), s);
    EXPECT_THROW(readJson<TextSet>(parseJsonText(R"(["y",1])"), JsonPath()), JsonDecodeError);
}

TEST(Json, InvalidUtf8IsReplacedNotThrownWhenWriting) {
    Json j = std::string("a\xFF");
    EXPECT_EQ(dumpJsonCompact(j), "\"a\xEF\xBF\xBD\"");
}

TEST(File, ReadsBytesAndPassesTheSystemReasonThrough) {
    test::TempDir dir;
    auto p = dir.write("data.bin", std::string("a\0b", 3));
    EXPECT_EQ(readFile(p), std::string("a\0b", 3));
    try {
        readFile(dir.path() / "missing.dxf");
        FAIL();
    } catch (const std::system_error& e) {
        EXPECT_STREQ(e.what(), "No such file or directory");
    }
    EXPECT_THROW(readFile(dir.path()), std::system_error);
    writeFileAtomically(dir.path() / "out.txt", "hello");
    EXPECT_EQ(readFile(dir.path() / "out.txt"), "hello");
    EXPECT_THROW(writeFileAtomically(dir.path() / "no" / "out.txt", "x"), std::system_error);
    EXPECT_EQ(fileNameOf("/a/b/Plan de feu é.pdf"), "Plan de feu é.pdf");
}

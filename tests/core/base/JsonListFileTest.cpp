#include "base/File.h"
#include "base/Json.h"
#include "base/List.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <system_error>

using namespace rig;

TEST(List, EqualsAnUnchangedCopyAndDetachesOnChange) {
    List<double> a{1.0, std::nan("")};
    List<double> b = a;
    EXPECT_EQ(a, b);                                 // same storage: elements are not compared
    EXPECT_NE(a, (List<double>{1.0, std::nan("")})); // separately built: NaN equals nothing
    b.push_back(3.0);
    b.mut(0) = 9;
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_FALSE(a.sharesStorageWith(b));
    EXPECT_EQ(List<int>(), List<int>(std::vector<int>{}));
    EXPECT_EQ((List<std::string>{"\u00E9"}), (List<std::string>{"e\u0301"}));
    EXPECT_NE((List<std::string>{"a"}), (List<std::string>{"a", "b"}));
#ifdef RIG_CHECKED_ACCESS
    // The sanitizer build stops at a read outside the list, where it is made.
    EXPECT_DEATH((void)a[2], "element 2 read from a list of 2");
    EXPECT_DEATH((void)List<int>().back(), "list of 0");
#endif
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

template <class T = List<Rec>>
std::string decodeError(std::string_view text) {
    try {
        decodeJsonText<T>(text);
    } catch (const JsonDecodeError& e) {
        return e.what();
    }
    return "";
}
} // namespace

TEST(Json, ErrorsNameTheRuleAndThePath) {
    const std::pair<const char*, const char*> cases[] = {
        {R"([{"name":"a","count":1,"extra":[1,2]},{"name":"b","load":null,"count":2}])", ""},
        {R"([{"name":"a","count":1},{"count":2}])", "Missing value for \"[1].name\"."},
        {R"([{"name":null,"count":1}])", "Missing value for \"[0].name\"."},
        {R"([{"name":1,"count":1}])", "Expected a text at \"[0].name\"."},
        {R"([{"name":"a","count":1,"load":"1"}])", "Expected a number at \"[0].load\"."},
        {R"({"name":"a"})", "Expected an array at the document."},
        {R"([[]])", "Expected an object at \"[0]\"."},
    };
    for (auto [text, error] : cases) EXPECT_EQ(decodeError(text), error) << text;
    EXPECT_EQ(decodeError<TextMap<List<double>>>(R"({"a.b":[1,"x"]})"), "Expected a number at \"a.b[1]\".");
    EXPECT_EQ(decodeError(R"([{"name":"a",)").rfind("The file is not valid JSON: ", 0), 0u);
    EXPECT_FALSE((Rec{"x", std::nullopt, 3}.toJson().contains("load")));
}

// Deeper than 512 levels is refused before parsing; brackets inside strings, however their
// quotes are escaped, do not count.
TEST(Json, NestingDeeperThanTheLimitIsRefusedCountingOutsideStringsOnly) {
    const auto within = [](const std::string& innermost) {
        return std::string(511, '[') + innermost + std::string(511, ']');
    };
    const std::string deep = "The file is nested more than 512 levels deep.";
    const std::pair<std::string, std::string> cases[] = {
        {within("[]"), ""},
        {within("[[]]"), deep},
        {within(R"(["[[{{", {"[": "]"}])"), deep},
        {within(R"(["[[{{", "]]"])"), ""},
        {within(R"(["\"[[", "a\\\"[{"])"), ""},
        {within(R"(["\\", []])"), deep},
        {within(R"(["\\\\", {}])"), deep},
        {within(R"(["\\\\\", {}"])"), ""},
        {within(R"(["unclosed )" + std::string(600, '[')), "The file is not valid JSON: "},
        {std::string(600, ']') + std::string(600, '['), "The file is not valid JSON: "},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text.substr(505, 40));
        try {
            parseJsonText(text);
            EXPECT_EQ(error, "");
        } catch (const JsonDecodeError& e) {
            EXPECT_EQ(std::string(e.what()).substr(0, error.size()), error);
            EXPECT_FALSE(error.empty()) << e.what();
        }
    }
}

TEST(Json, IntegerFieldsTakeOnlyWholeNumbersWithin64Bits) {
    auto count = [](std::string_view v) {
        return decodeJsonText<List<Rec>>("[{\"name\":\"a\",\"count\":" + std::string(v) + "}]")[0].count;
    };
    EXPECT_EQ(count("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(count("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(count("4.0"), 4);
    EXPECT_EQ(count("1e3"), 1000);
    for (const char* bad : {"9223372036854775808", "18446744073709551615", "-9223372036854775809", "1.5",
                            "1e19", "\"3\"", "true"}) {
        EXPECT_THROW(count(bad), JsonDecodeError) << bad;
    }
}

// Any number, and the strings written for values that are not finite (exactly those).
TEST(Json, DecimalsRoundTripIncludingNonFinite) {
    const double inf = std::numeric_limits<double>::infinity();
    auto read = [](const Json& j) { return readJson<double>(j, JsonPath()); };
    EXPECT_EQ(read(Json(18)), 18.0);
    for (double v : {-0.25, 0.1 + 0.2, inf, -inf})
        EXPECT_EQ(read(parseJsonText(dumpJsonCompact(writeJson(v)))), v);
    EXPECT_EQ(writeJson(inf), Json("Infinity"));
    EXPECT_EQ(writeJson(-inf), Json("-Infinity"));
    EXPECT_EQ(writeJson(std::nan("")), Json("NaN"));
    EXPECT_TRUE(std::isnan(read(Json("NaN"))));
    for (const Json& bad : {Json("nan"), Json("inf"), Json("1.5"), Json(nullptr)}) {
        EXPECT_THROW(read(bad), JsonDecodeError) << bad;
    }
}

TEST(Json, TextMapsSetsAndInvalidUtf8AreWritten) {
    TextMap<double> m{{"b", 2.0}, {"a", 1.0}};
    EXPECT_EQ(dumpJsonCompact(writeJson(m)), R"({"a":1.0,"b":2.0})");
    EXPECT_EQ(readJson<TextMap<double>>(writeJson(m), JsonPath()), m);
    TextSet s{"y", "x"};
    EXPECT_EQ(dumpJsonCompact(writeJson(s)), R"(["x","y"])");
    EXPECT_EQ(readJson<TextSet>(parseJsonText(R"(["y","x","x"])"), JsonPath()), s);
    EXPECT_THROW(readJson<TextSet>(parseJsonText(R"(["y",1])"), JsonPath()), JsonDecodeError);
    // Invalid UTF-8 is replaced, not thrown on, when writing.
    EXPECT_EQ(dumpJsonCompact(Json(std::string("a\xFF"))), "\"a\xEF\xBF\xBD\"");
}

TEST(File, ReadsBytesAndNamesTheFileWithTheSystemReason) {
    test::TempDir dir;
    auto p = dir.write("data.bin", std::string("a\0b", 3));
    EXPECT_EQ(readFile(p, 100), std::string("a\0b", 3));
    const std::pair<std::filesystem::path, std::string> failures[] = {
        {dir.path() / "missing é.dxf", "Cannot read missing é.dxf: No such file or directory"},
        {dir.path(), "Cannot read " + fileNameOf(dir.path()) + ": Is a directory"},
    };
    for (const auto& [path, message] : failures) {
        try {
            readFile(path, 100);
            ADD_FAILURE() << path;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.what(), message);
            EXPECT_EQ(e.code().category(), std::generic_category());
        }
    }
    writeFileAtomically(dir.path() / "out.txt", "hello");
    EXPECT_EQ(readFile(dir.path() / "out.txt", 100), "hello");
    EXPECT_THROW(writeFileAtomically(dir.path() / "no" / "out.txt", "x"), std::system_error);
    EXPECT_EQ(fileNameOf("/a/b/Plan de feu é.pdf"), "Plan de feu é.pdf");
    EXPECT_EQ(fileNameOf("/a/b/Show/"), "Show");
}

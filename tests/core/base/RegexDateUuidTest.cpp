#include "base/Date.h"
#include "base/Regex.h"
#include "base/Uuid.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace rig;

// The whole match, then each group, trimmed of tabs and spaces; "" for a group that took
// no part; none for a bad pattern (also when cached) or no match.
TEST(FirstMatch, WholeMatchThenTrimmedGroups) {
    using Groups = std::optional<std::vector<std::string>>;
    const std::tuple<const char*, const char*, Groups> cases[] = {
        {R"(^(-?\s?[\d.]+))", "- 12.5 °", Groups({"- 12.5", "- 12.5"})},
        {R"(\):\s*([-\d.]+);\s*([-\d.]+);\s*([-\d.]+))", "Position (X; Y; Z, m): 1.5; -; 0.25",
         Groups({"): 1.5; -; 0.25", "1.5", "-", "0.25"})},
        {R"(:(\s*\S+\s*))", "Hole:\u00A0 C7\t ;", Groups({":\u00A0 C7", "C7"})},
        {R"(\s+b\s+)", "a \tb  c", Groups({"b"})},
        {"a(b)?(c)", "ac", Groups({"ac", "", "c"})},
        {"([a-", "abc", std::nullopt},
        {"([a-", "abc", std::nullopt},
        {"x+", "abc", std::nullopt},
        {"a.b", "a\nb", std::nullopt},                     // "." does not match a line break
        {"^b$", "a\nb", std::nullopt},                     // "$" anchors at the end of the whole text
        {"(\\d+)", "\U0001F600 42", Groups({"42", "42"})}, // offsets survive characters outside the BMP
    };
    for (const auto& [pattern, text, groups] : cases) EXPECT_EQ(firstMatch(pattern, text), groups) << pattern;
}

TEST(FirstMatch, UsableFromSeveralThreads) {
    std::atomic<int> wrong{0};
    auto work = [&] {
        for (int i = 0; i < 200; ++i) {
            auto m = firstMatch("(\\d+)-(\\d+)", "ab 12-34");
            if (!m || (*m)[2] != "34") ++wrong;
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(wrong, 0);
}

TEST(Date, WritesAndReadsIsoToTheSecond) {
    auto d = parseISODate("2025-03-14T09:26:53Z");
    ASSERT_TRUE(d);
    EXPECT_EQ(formatISODate(*d), "2025-03-14T09:26:53Z");
    EXPECT_EQ(d->time_since_epoch().count(), 1741944413);
    EXPECT_EQ(parseISODate("2025-03-14T10:26:53+01:00"), d);
    EXPECT_EQ(formatISODate(Date{}), "1970-01-01T00:00:00Z");
    for (const char* bad : {"2025-03-14", "2025-03-14T09:26:53", "2025-03-14T09:26:53.5Z",
                            "2025-02-30T00:00:00Z", "2025-03-14 09:26:53Z", "2025-13-01T00:00:00Z",
                            "2025-03-14T24:00:00Z", "x", "2025-03-14T09:26:53z", "+2025-03-14T09:26:53Z"}) {
        EXPECT_FALSE(parseISODate(bad)) << bad;
    }
}

TEST(Uuid, UpperCaseOutAnyCaseIn) {
    auto u = Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->str(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(Uuid::parse(u->str()), u);
    for (const char* bad : {"0f8fad5bd9cb469fa16570867728950e", "0f8fad5b-d9cb-469f-a165-70867728950g",
                            "{0f8fad5b-d9cb-469f-a165-70867728950}"}) {
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
    }
    Uuid r = Uuid::random();
    EXPECT_NE(r, Uuid::random());
    EXPECT_EQ(r.str()[14], '4');
}

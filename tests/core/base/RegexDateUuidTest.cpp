#include "base/Date.h"
#include "base/Regex.h"
#include "base/Uuid.h"

#include <gtest/gtest.h>

#include <thread>

using namespace rig;

TEST(FirstMatch, WholeMatchThenTrimmedGroups) {
    auto m = firstMatch(R"(^(-?\s?[\d.]+))", "- 12.5 °");
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, (std::vector<std::string>{"- 12.5", "- 12.5"}));
    auto t =
        firstMatch(R"(\):\s*([-\d.]+);\s*([-\d.]+);\s*([-\d.]+))", "Position (X; Y; Z, m): 1.5; -; 0.25");
    ASSERT_TRUE(t);
    EXPECT_EQ(*t, (std::vector<std::string>{"): 1.5; -; 0.25", "1.5", "-", "0.25"}));
}

TEST(FirstMatch, AbsentOnBadPatternOrNoMatchAndEmptyForUnusedGroup) {
    EXPECT_FALSE(firstMatch("([a-", "abc"));
    EXPECT_FALSE(firstMatch("([a-", "abc")); // cached failure stays a failure
    EXPECT_FALSE(firstMatch("x+", "abc"));
    auto m = firstMatch("a(b)?(c)", "ac");
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, (std::vector<std::string>{"ac", "", "c"}));
    // "." does not match a line break; "$" anchors at the end of the whole text.
    EXPECT_FALSE(firstMatch("a.b", "a\nb"));
    EXPECT_FALSE(firstMatch("^b$", "a\nb"));
    // Offsets survive characters outside the BMP.
    auto u = firstMatch("(\\d+)", "\xF0\x9F\x98\x80 42");
    ASSERT_TRUE(u);
    EXPECT_EQ((*u)[1], "42");
}

TEST(FirstMatch, UsableFromSeveralThreads) {
    auto work = [] {
        for (int i = 0; i < 200; ++i) {
            auto m = firstMatch("(\\d+)-(\\d+)", "ab 12-34");
            if (!m || (*m)[2] != "34") return false;
        }
        return true;
    };
    bool a = false, b = false;
    std::thread t1([&] { a = work(); });
    std::thread t2([&] { b = work(); });
    t1.join();
    t2.join();
    EXPECT_TRUE(a && b);
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
    EXPECT_FALSE(Uuid::parse("0f8fad5bd9cb469fa16570867728950e"));
    EXPECT_FALSE(Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950g"));
    EXPECT_FALSE(Uuid::parse("{0f8fad5b-d9cb-469f-a165-70867728950}"));
    Uuid r = Uuid::random();
    EXPECT_NE(r, Uuid::random());
    EXPECT_EQ(r.str()[14], '4');
}

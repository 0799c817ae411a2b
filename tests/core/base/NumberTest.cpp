#include "base/Number.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <tuple>
#include <utility>

using namespace rig;

// What strtod reads whole (overflow as infinity), and nothing else: no blanks, no
// decimal comma, no units, no embedded NUL.
TEST(Number, DecimalConversion) {
    using namespace std::literals;
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<std::string_view, double> accepted[] = {
        {"-0.5", -0.5},
        {".5", 0.5},
        {"5.", 5.0},
        {"+2", 2.0},
        {"1e3", 1000},
        {"0x10", 16.0},
        {"inf", inf},
        {"-Infinity", -inf},
        {"1e400", inf},
        // Rounding corners, subnormals and underflow come out as strtod gives them.
        {"0.1000000000000000055511151231257827", 0.1},
        {"9007199254740993", 9007199254740992.0},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"4.9e-324", 4.9e-324},
        {"1e-400", 0.0},
        {"-1.7976931348623158e308", -1.7976931348623158e308},
        {"1.7976931348623159e308", inf},
    };
    for (auto [text, value] : accepted) EXPECT_EQ(parseDecimal(text), value) << text;
    EXPECT_TRUE(std::isnan(*parseDecimal("nan")));
    const std::string_view refused[] = {
        "",  " 5", "5 ",    "5,0", "1,5", "12 kg",    "\t1",  "\n1",
        "-", ".",  "1.2.3", "abc", "e5",  "1\0002"sv, "\0"sv,
    };
    for (std::string_view bad : refused) EXPECT_FALSE(parseDecimal(bad).has_value()) << '"' << bad << '"';
}

TEST(Number, IntegerConversion) {
    EXPECT_EQ(parseInteger("12"), 12);
    EXPECT_EQ(parseInteger("+3"), 3);
    EXPECT_EQ(parseInteger("-1"), -1);
    EXPECT_EQ(parseInteger("007"), 7);
    EXPECT_EQ(parseInteger("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parseInteger("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    for (const char* bad : {"", "+", "-", "1.0", "3 ", " 3", "1e3", "0x10", "9223372036854775808",
                            "-9223372036854775809", "99999999999999999999", "١٢"}) {
        EXPECT_FALSE(parseInteger(bad).has_value()) << '"' << bad << '"';
    }
}

// 0.125 is an exact tie (to even); 1.005 is stored just below 1.005.
TEST(Number, FixedFormattingFollowsCPrintf) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::tuple<double, int, const char*> cases[] = {
        {0.125, 2, "0.12"},       {0.375, 2, "0.38"},
        {1.005, 2, "1.00"},       {2.5, 0, "2"},
        {-0.0, 2, "-0.00"},       {12.3456, 4, "12.3456"},
        {inf, 2, "inf"},          {-inf, 2, "-inf"},
        {std::nan(""), 2, "nan"}, {-0x1p63, 2, "-9223372036854775808.00"},
        {1e20, 2, "1e+20"},       {-1e19, 4, "-1e+19"},
    };
    for (auto [value, digits, text] : cases) EXPECT_EQ(formatFixed(value, digits), text) << text;
    // Beyond the 64-bit range: one bounded form, whatever the digits.
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::max(), 2), "1.7976931348623157e+308");
    EXPECT_EQ(formatShortest(0.1), "0.1");
}

TEST(Number, ConversionsIgnoreADecimalCommaLocale) {
    // Whatever happens below, the process gets its locale back.
    struct Restore {
        std::string old = std::setlocale(LC_ALL, nullptr);
        ~Restore() {
            std::setlocale(LC_ALL, old.c_str());
            ::unsetenv("LOCPATH");
        }
    } restore;
    bool found = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (!found) found = std::setlocale(LC_ALL, name) != nullptr;
    }
    // Build one from the system's locale sources when none is installed.
    test::TempDir dir;
    const std::string build =
        "localedef -i de_DE -f UTF-8 " + (dir.path() / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
    if (!found && std::system(build.c_str()) == 0) {
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        found = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    if (!found) GTEST_SKIP() << "no locale with a decimal comma is available";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(parseDecimal("1.5"), 1.5);
    EXPECT_FALSE(parseDecimal("1,5").has_value());
    EXPECT_EQ(formatFixed(1.5, 2), "1.50");
    EXPECT_EQ(formatShortest(2.25), "2.25");
}

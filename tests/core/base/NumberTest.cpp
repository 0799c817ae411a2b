#include "base/Number.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

using namespace rig;

TEST(Number, DecimalConversionAcceptsWhatStrtodReadsWhole) {
    EXPECT_EQ(parseDecimal("-0.5"), -0.5);
    EXPECT_EQ(parseDecimal(".5"), 0.5);
    EXPECT_EQ(parseDecimal("5."), 5.0);
    EXPECT_EQ(parseDecimal("+2"), 2.0);
    EXPECT_EQ(parseDecimal("1e3"), 1000.0);
    EXPECT_EQ(parseDecimal("0x10"), 16.0);
    EXPECT_TRUE(std::isinf(*parseDecimal("inf")));
    EXPECT_TRUE(std::isinf(*parseDecimal("-Infinity")));
    EXPECT_TRUE(std::isnan(*parseDecimal("nan")));
    EXPECT_TRUE(std::isinf(*parseDecimal("1e400"))); // overflow reads as infinity, like strtod
}

TEST(Number, DecimalConversionRefusesEverythingElse) {
    for (const char* bad :
         {"", " 5", "5 ", "5,0", "1,5", "12 kg", "\t1", "\n1", "-", ".", "1.2.3", "abc", "e5"}) {
        EXPECT_FALSE(parseDecimal(bad).has_value()) << '"' << bad << '"';
    }
    EXPECT_FALSE(parseDecimal(std::string_view("1\0"
                                               "2",
                                               3))
                     .has_value());
    EXPECT_FALSE(parseDecimal(std::string_view("\0", 1)).has_value());
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

TEST(Number, FixedFormattingFollowsCPrintf) {
    EXPECT_EQ(formatFixed(0.125, 2), "0.12"); // exact binary value is a tie: to even
    EXPECT_EQ(formatFixed(0.375, 2), "0.38");
    EXPECT_EQ(formatFixed(1.005, 2), "1.00"); // stored just below 1.005
    EXPECT_EQ(formatFixed(2.5, 0), "2");
    EXPECT_EQ(formatFixed(-0.0, 2), "-0.00");
    EXPECT_EQ(formatFixed(12.3456, 4), "12.3456");
    EXPECT_EQ(formatFixed(1e20, 2), "100000000000000000000.00");
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::infinity(), 2), "inf");
    EXPECT_EQ(formatFixed(-std::numeric_limits<double>::infinity(), 2), "-inf");
    EXPECT_EQ(formatFixed(std::nan(""), 2), "nan");
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::max(), 2).size(), 309u + 3u);
    EXPECT_EQ(formatShortest(0.1), "0.1");
}

TEST(Number, ConversionsIgnoreADecimalCommaLocale) {
    const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"};
    std::string old = std::setlocale(LC_ALL, nullptr);
    const char* found = nullptr;
    for (const char* c : candidates) {
        if (std::setlocale(LC_ALL, c) != nullptr) {
            found = c;
            break;
        }
    }
    // Build one from the system's locale sources when none is installed.
    test::TempDir dir;
    if (found == nullptr && std::system(("localedef -i de_DE -f UTF-8 " +
                                         (dir.path() / "de_DE.UTF-8").string() + " >/dev/null 2>&1")
                                            .c_str()) == 0) {
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) found = "de_DE.UTF-8";
    }
    if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma is available";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(parseDecimal("1.5"), 1.5);
    EXPECT_FALSE(parseDecimal("1,5").has_value());
    EXPECT_EQ(formatFixed(1.5, 2), "1.50");
    EXPECT_EQ(formatShortest(2.25), "2.25");
    std::setlocale(LC_ALL, old.c_str());
    ::unsetenv("LOCPATH");
}

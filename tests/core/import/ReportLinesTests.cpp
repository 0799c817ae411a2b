#include "import/ReportParser.h"
#include "import/detail/ReportParserDetail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace rig;
using Texts = std::vector<std::string>;

namespace {

PDFTextItem at(std::int64_t page, double x, double y, std::string text) {
    return PDFTextItem{page, x, y, std::move(text), std::nullopt};
}

Texts texts(const std::vector<ReportParser::detail::Line>& lines) {
    Texts out;
    for (const auto& l : lines) out.push_back(l.text());
    return out;
}

} // namespace

TEST(ReportLines, Grouping) {
    struct Case {
        const char* what;
        std::vector<PDFTextItem> items;
        Texts expected;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, {}},
        {"empty strings go, blanks stay",
         {at(1, 10, 100, ""), at(1, 0, 100, "  "), at(1, 20, 100, "a ")},
         {"  a "}},
        {"only an empty string", {at(1, 0, 0, "")}, {}},
        {"0.9 apart: one line by x", {at(1, 50, 100, "b"), at(1, 10, 100.9, "a")}, {"ab"}},
        {"exactly 1.0 apart: one line", {at(1, 50, 99, "b"), at(1, 10, 100, "a")}, {"ab"}},
        {"1.1 apart: two lines, higher first",
         {at(1, 10, 100, "low"), at(1, 50, 101.1, "high")},
         {"high", "low"}},
        {"each string within 1.0 of the last one on the line, not of the first",
         {at(1, 20, 100, "c"), at(1, 10, 100.8, "b"), at(1, 0, 101.6, "a")},
         {"abc"}},
        {"equal positions keep stream order",
         {at(1, 10, 100, "1"), at(1, 10, 100, "2"), at(1, 10, 100, "3")},
         {"123"}},
        {"pages first, top down",
         {at(2, 10, 700, "p2 top"), at(1, 10, 100, "p1 bottom"), at(1, 10, 700, "p1 top"),
          at(2, 20, 100, "p2")},
         {"p1 top", "p1 bottom", "p2 top", "p2"}},
        {"pages never share a line", {at(1, 10, 100, "a"), at(2, 20, 100, "b")}, {"a", "b"}},
        {"page footers are dropped",
         {at(1, 10, 700, "Page 2 of 7"), at(1, 10, 680, "Page 2"), at(1, 10, 660, "page 2 of 7"),
          at(1, 10, 640, "Page layout of the rig"), at(1, 10, 620, "Page 3"),
          at(1, 40, 620, " of 9"), // a footer shown as two strings
          at(1, 10, 600, " Page 1 of 2"), at(1, 10, 580, "Page 1 of")},
         {"Page 2", "page 2 of 7", " Page 1 of 2", "Page 1 of"}},
    };
    for (const Case& c : cases) EXPECT_EQ(texts(ReportParser::detail::lines(c.items)), c.expected) << c.what;
    // The empty string is gone from the line's items too.
    EXPECT_EQ(ReportParser::detail::lines({at(1, 10, 100, ""), at(1, 0, 100, "  ")}).at(0).items.size(), 1u);
}

TEST(ReportLines, ChainedAndUnorderedPositionsSortSafely) {
    // y values that chain across the tolerance make the comparison inconsistent, and NaN
    // compares false with everything; the sort must still keep every item exactly once and
    // order separate lines top to bottom.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<PDFTextItem> items = {at(1, 0, 900, "top"), at(1, 0, 10, "bottom"), at(2, 0, nan, "n1"),
                                      at(2, nan, nan, "n2")};
    for (int i = 0; i < 5000; ++i) {
        const double y = 500 + (i * 7919 % 97) * 0.37; // dense, overlapping bands
        items.push_back(at(1 + i % 3, (i * 31) % 113, y, std::to_string(i) + ","));
    }
    const auto lines = ReportParser::detail::lines(items);
    Texts seen, expected;
    for (const auto& l : lines) {
        for (const auto& item : l.items) seen.push_back(item.text);
    }
    for (const auto& i : items) expected.push_back(i.text);
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(lines.front().text(), "top");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(lines[i - 1].items.front().page, lines[i].items.front().page);
}

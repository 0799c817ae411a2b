#include "import/ReportParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace rig;

namespace {

PDFTextItem at(std::int64_t page, double x, double y, std::string text) {
    return PDFTextItem{page, x, y, std::move(text), std::nullopt};
}

std::vector<std::string> texts(const std::vector<ReportParser::Line>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text());
    return out;
}

} // namespace

TEST(ReportLines, EmptyStringsGoBlanksStay) {
    auto lines = ReportParser::lines({at(1, 10, 100, ""), at(1, 0, 100, "  "), at(1, 20, 100, "a ")});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text(), "  a ");
    EXPECT_EQ(lines[0].items.size(), 2u);
    EXPECT_TRUE(ReportParser::lines({}).empty());
    EXPECT_TRUE(ReportParser::lines({at(1, 0, 0, "")}).empty());
}

TEST(ReportLines, ToleranceOfOneUnitInY) {
    // 0.9 apart: one line by x; 1.1 apart: two lines, the higher first; exactly 1.0: one line.
    EXPECT_EQ(texts(ReportParser::lines({at(1, 50, 100, "b"), at(1, 10, 100.9, "a")})),
              std::vector<std::string>{"ab"});
    EXPECT_EQ(texts(ReportParser::lines({at(1, 10, 100, "low"), at(1, 50, 101.1, "high")})),
              (std::vector<std::string>{"high", "low"}));
    EXPECT_EQ(texts(ReportParser::lines({at(1, 50, 99, "b"), at(1, 10, 100, "a")})),
              std::vector<std::string>{"ab"});
}

TEST(ReportLines, PagesComeFirstAndNeverShareALine) {
    auto lines = ReportParser::lines({at(2, 10, 700, "p2 top"), at(1, 10, 100, "p1 bottom"),
                                      at(1, 10, 700, "p1 top"), at(2, 20, 100, "p2")});
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"p1 top", "p1 bottom", "p2 top", "p2"}));
    // Same y on consecutive pages: still two lines.
    EXPECT_EQ(ReportParser::lines({at(1, 10, 100, "a"), at(2, 20, 100, "b")}).size(), 2u);
}

TEST(ReportLines, EqualPositionsKeepStreamOrder) {
    EXPECT_EQ(texts(ReportParser::lines({at(1, 10, 100, "1"), at(1, 10, 100, "2"), at(1, 10, 100, "3")})),
              std::vector<std::string>{"123"});
}

TEST(ReportLines, LinesDriftWithTheirLastItem) {
    // Each string is within 1.0 of the one before it on the line, not of the first.
    auto lines = ReportParser::lines({at(1, 20, 100, "c"), at(1, 10, 100.8, "b"), at(1, 0, 101.6, "a")});
    EXPECT_EQ(texts(lines), std::vector<std::string>{"abc"});
}

TEST(ReportLines, ChainedPositionsSortSafely) {
    // y values that chain across the tolerance make the comparison inconsistent; the sort must
    // still keep every item exactly once and order separate lines top to bottom.
    std::vector<PDFTextItem> items;
    for (int i = 0; i < 5000; ++i) {
        const double y = 500 + (i * 7919 % 97) * 0.37; // dense, overlapping bands
        items.push_back(at(1 + i % 3, (i * 31) % 113, y, std::to_string(i) + ","));
    }
    items.push_back(at(1, 0, 10, "bottom"));
    items.push_back(at(1, 0, 900, "top"));
    auto lines = ReportParser::lines(items);
    std::vector<std::string> seen;
    for (const auto& l : lines) {
        for (const auto& item : l.items) seen.push_back(item.text);
    }
    ASSERT_EQ(seen.size(), items.size());
    std::vector<std::string> expected;
    for (const auto& i : items) expected.push_back(i.text);
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(lines.front().text(), "top");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_LE(lines[i - 1].items.front().page, lines[i].items.front().page);
    }
}

TEST(ReportLines, NotANumberPositionsNeverJoin) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto lines = ReportParser::lines({at(1, 0, nan, "a"), at(1, nan, nan, "b"), at(1, 0, 100, "c")});
    std::size_t count = 0;
    for (const auto& l : lines) count += l.items.size();
    EXPECT_EQ(count, 3u);
}

TEST(ReportLines, PageFootersAreDropped) {
    auto lines = ReportParser::lines({
        at(1, 10, 700, "Page 2 of 7"),
        at(1, 10, 680, "Page 2"),
        at(1, 10, 660, "page 2 of 7"),
        at(1, 10, 640, "Page layout of the rig"),
        at(1, 10, 620, "Page 3"),
        at(1, 40, 620, " of 9"), // a footer shown as two strings
        at(1, 10, 600, " Page 1 of 2"),
        at(1, 10, 580, "Page 1 of"),
    });
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"Page 2", "page 2 of 7", " Page 1 of 2", "Page 1 of"}));
}

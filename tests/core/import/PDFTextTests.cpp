#include "import/PDFText.h"
#include "import/detail/PDFPages.h"
#include "import/detail/PDFTextDetail.h"
#include "model/RigError.h"

#include "support/ImportTesting.h"
#include "support/PDFTokenTesting.h"
#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <random>
#include <stop_token>

using namespace rig;
using namespace std::string_literals;
using rig::test::Content;
using rig::test::TestPDF;
using rig::test::TestStream;
using Kind = RigError::Kind;

namespace {

std::vector<PDFTextItem> read(const TestPDF& pdf) {
    return PDFText::itemsFromMemory(pdf.bytes(), "test.pdf");
}

std::vector<PDFTextItem> readPages(const std::vector<std::string>& pages) {
    TestPDF pdf;
    for (const auto& ops : pages) pdf.addPage(Content().raw(ops));
    return read(pdf);
}

struct Shown {
    std::int64_t page;
    double x;
    double y;
    std::string text;
    friend bool operator==(const Shown&, const Shown&) = default;
    friend std::ostream& operator<<(std::ostream& o, const Shown& s) {
        return o << "{p" << s.page << " " << s.x << "," << s.y << " '" << s.text << "'}";
    }
};

std::vector<Shown> shown(const std::vector<PDFTextItem>& items) {
    std::vector<Shown> out;
    for (const PDFTextItem& i : items) out.push_back({i.page, i.x, i.y, i.text});
    return out;
}

Content oneString(std::string_view text) {
    Content c;
    c.bt().td(1, 2).tj(text).et();
    return c;
}

} // namespace

TEST(PDFText, OperatorsPlaceTheStrings) {
    struct Case {
        const char* what;
        std::vector<std::string> pages;
        std::vector<Shown> expected;
    };
    const std::vector<Case> cases = {
        {"strings after one position share it",
         {"BT 72 700 Td (a) Tj (b) Tj [(c)] TJ ET"},
         {{1, 72, 700, "a"}, {1, 72, 700, "b"}, {1, 72, 700, "c"}}},
        {"leading survives BT but not the page",
         {"BT 0 -12 TD (a) Tj ET BT T* (b) Tj (c) ' ET", "BT T* (d) Tj (e) ' 100 200 Td 7 TL T* (f) Tj ET"},
         {{1, 0, -12, "a"},
          {1, 0, -12, "b"},
          {1, 0, -24, "c"},
          {2, 0, 0, "d"},
          {2, 0, 0, "e"},
          {2, 100, 193, "f"}}},
        {"Tm sets the origin without scaling later offsets",
         {"BT 10 0 0 10 100 700 Tm 5 -2 Td (a) Tj 0.5 0 0 0.5 -3.25 .5 Tm (b) Tj ET"},
         {{1, 105, 698, "a"}, {1, -3.25, 0.5, "b"}}},
        // Tm and re count a missing or non-number operand as 0; Td, TD and TL then change nothing.
        {"missing or wrong operands",
         {"BT 5 Tm (a) Tj (x) 3 Tm (b) Tj 10 20 Td (n) 4 Td (c) Tj (n) 4 TD T* (d) Tj (n) TL T* (e) Tj ET"},
         {{1, 0, 5, "a"}, {1, 0, 3, "b"}, {1, 10, 23, "c"}, {1, 10, 23, "d"}, {1, 10, 23, "e"}}},
        {"the topmost operands count", {"1 2 3 4 5 6 7 8 9 10 11 12 Tm (a) Tj"}, {{1, 11, 12, "a"}}},
        // "'" still moves down; the double-quote operator is not read at all.
        {"show operators without a string",
         {"BT 14 TL 0 100 Td 5 Tj 6 ' [1 2] Tj (x) TJ 1 2 (q) \" (a) Tj ET"},
         {{1, 0, 86, "a"}}},
        {"operands belong to the next operator only",
         {"(stale) BT Tj 50 60 q Q Td (a) Tj 1 0 0 1 300 300 cm (b) Tj"},
         {{1, 0, 0, "a"}, {1, 0, 0, "b"}}},
        {"TJ joins its strings and skips everything else",
         {"BT [(Sou) -250 (rce) 12 /Name [(in)] (!)] TJ [-120 33.5] TJ [] TJ ET"},
         {{1, 0, 0, "Source!"}, {1, 0, 0, ""}, {1, 0, 0, ""}}},
        {"inline images and unknown operators are skipped",
         {"q BI /W 2 /H 1 /BPC 8 /CS /G ID \x01\x02 EI Q BT 1 2 Td (after) Tj ET 0 0 m 5 5 l S"},
         {{1, 1, 2, "after"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(shown(readPages(c.pages)), c.expected) << c.what;
}

TEST(PDFText, ContentTokensAreQpdfTokens) {
    // Every byte in the places where words and numbers begin, go on and end.
    std::vector<std::string> contents;
    for (int b = 0; b < 256; ++b) {
        const std::string c(1, static_cast<char>(b));
        for (const char* before : {"", "a", "1", "+", "-", ".", "1.", "12.5", "true", "ID"})
            contents.push_back(before + c + "b 7");
    }
    // Sequences of tokens of every kind, damaged ones included.
    const std::vector<std::string> parts = {
        "q",     "Q",         "Tj",    "T*",    "'",        "\"",    "BT",    "ID",
        "EI",    "BI",        "true",  "false", "null",     "nul",   "truex", "0",
        "007",   "-12",       "+3",    "1.",    ".5",       "-.5",   "+.",    ".",
        "+",     "-",         "..",    "1.2.3", "1e5",      "+-1",   "1-",    "99999999999999999999999",
        "(a b)", "(a(b)c\\)", "(open", ")",     "<4142>",   "<41 4", "<<",    ">>",
        ">",     "<",         "[",     "]",     "{",        "}",     "/F1",   "/a#20b",
        "/a#zz", "/",         "%c\n",  "%",     "\x80\xFF", "\x01"s, "\0"s,   " ",
        "\n",    "\r\n",      "\t",    "\v",    "\f"};
    std::mt19937 random(7);
    for (int n = 0; n < 4000; ++n) {
        std::string c;
        for (int k = random() % 30; k > 0; --k) {
            c += parts[random() % parts.size()];
            if (random() % 3 != 0) c += random() % 5 == 0 ? "\n" : " ";
        }
        contents.push_back(c);
    }
    for (const std::string& c : contents) ASSERT_EQ(test::scannerTokens(c), test::qpdfTokens(c)) << c;
}

TEST(PDFText, PagesOfMillionsOfOperators) {
    // A few kilobytes of compressed content that decode to millions of operators: the
    // strings after them are still read.
    std::string bare;
    while (bare.size() < (4u << 20)) bare += "q Q ";
    TestPDF pdf;
    pdf.compress(true);
    pdf.addPage(std::vector<TestStream>{{bare + "BT 1 2 Td (first) Tj ET", {}}});
    pdf.addPage(std::vector<TestStream>{{bare, {}}, {"BT 3 4 Td (second) Tj ET " + bare, {}}});
    const std::string bytes = pdf.bytes();
    EXPECT_LT(bytes.size(), 64u << 10);
    EXPECT_EQ(shown(PDFText::itemsFromMemory(bytes, "bare.pdf")),
              (std::vector<Shown>{{1, 1, 2, "first"}, {2, 3, 4, "second"}}));
}

TEST(PDFText, StringDecoding) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // UTF-16 when the length is even and byte 0 or byte 2 is zero.
        {"\0A\0B"s, "AB"},
        {"A\0B\0"s, "A\0B\0"s},
        {"\0A\0"s, "\0A\0"s},
        {"\0"s, "\0"s},
        {"\x4E\x2D\0\x41"s, "\u4E2D"
                            "A"},
        {"\x4E\x2D"s, "N-"},
        {"", ""},
        // No byte-order mark is removed on the UTF-16 road; with byte 2 set the mark is read.
        {"\xFE\xFF\0\x41"s, "\uFEFF"
                            "A"},
        {"\xFE\xFF\x4E\x2D"s, "\u4E2D"},
        // Surrogates: a pair joins, unpaired ones become replacement characters.
        {"\0A\xD8\x3D\xDE\0"s, "A\U0001F600"},
        {"\0A\xD8\x3D\0B"s, "A\uFFFD"
                            "B"},
        {"\0A\xDC\0"s, "A\uFFFD"},
        {"\0A\xD8\x3D"s, "A\uFFFD"},
        // PDFDocEncoding otherwise, undefined bytes replaced.
        {"\x80\x84\x85\xA0\xE9\x18\x9E", "•—–€é˘ž"},
        {"a\x7F"
         "b\x9F"
         "c\xAD",
         "a\uFFFD"
         "b\uFFFD"
         "c\uFFFD"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(PDFText::decodeString(bytes), text) << bytes;
}

TEST(PDFText, CellChoice) {
    struct Case {
        double x, y; // the probe point is (x + 1, y + 3)
        std::vector<PDFRect> rects;
        std::optional<PDFRect> expected;
    };
    const PDFRect r{10, 20, 10, 10}, outer{0, 0, 100, 20}, inner{0, 0, 40, 20};
    const PDFRect tall{0, 0, 20, 29}, wide{0, 0, 58, 10}; // equal areas
    const std::vector<Case> cases = {
        {9, 17, {r}, r},   // corner on both inner edges
        {19, 17, {r}, {}}, // right edge
        {9, 27, {r}, {}},  // top edge
        {18.99, 26.99, {r}, r},
        {8.99, 20, {r}, {}},
        // Size limits are strict.
        {0, 0, {PDFRect{0, 0, 50, 30}}, {}},
        {0, 0, {PDFRect{0, 0, 300, 10}}, {}},
        {0, 0, {PDFRect{0, 0, 299.9, 29.9}}, PDFRect{0, 0, 299.9, 29.9}},
        // The smallest area wins, the first drawn on ties.
        {5, 2, {outer, inner}, inner},
        {5, 2, {inner, outer}, inner},
        {5, 2, {tall, wide}, tall},
        {5, 2, {wide, tall}, wide},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(PDFText::detail::cellFor(cases[i].x, cases[i].y, cases[i].rects), cases[i].expected)
            << "case " << i;
        EXPECT_EQ(PDFText::detail::cellsFor({{cases[i].x, cases[i].y, ""}}, cases[i].rects),
                  std::vector<std::optional<PDFRect>>{cases[i].expected})
            << "case " << i;
    }

    // The index gives the plain rule's answer on pages with many rectangles: nested and
    // repeated ones, shared edges, equal areas, empty and oversized ones, probes on edges.
    std::mt19937 random(17);
    auto coordinate = [&](int range) { return (random() % (4 * range)) / 4.0; };
    for (int page = 0; page < 20; ++page) {
        std::vector<PDFRect> rects;
        for (int i = 0; i < 400; ++i) {
            const int kind = random() % 10;
            if (kind == 0 && !rects.empty()) {
                rects.push_back(rects[random() % rects.size()]);
            } else {
                const double w = kind == 1 ? 300 : coordinate(kind == 2 ? 2 : 40);
                const double h = kind == 3 ? 30 : coordinate(kind == 4 ? 1 : 12);
                rects.push_back(
                    PDFRect::standardized(coordinate(200), coordinate(100), kind == 5 ? -w : w, h));
            }
        }
        std::vector<PDFText::detail::State::Shown> shown;
        for (int i = 0; i < 400; ++i) {
            const PDFRect& r = rects[random() % rects.size()];
            shown.push_back(random() % 3 == 0
                                ? PDFText::detail::State::Shown{r.maxX() - 1, r.maxY() - 3, ""}
                                : PDFText::detail::State::Shown{coordinate(200), coordinate(100), ""});
        }
        shown.push_back({std::nan(""), 1, ""});
        const auto cells = PDFText::detail::cellsFor(shown, rects);
        for (std::size_t i = 0; i < shown.size(); ++i)
            ASSERT_EQ(cells[i], PDFText::detail::cellFor(shown[i].x, shown[i].y, rects)) << page << " " << i;
    }
}

TEST(PDFText, CellsAssignedAfterThePageWithStandardisedRectangles) {
    Content c;
    c.re(20, 20, 555, 802).stroke(); // page frame: never a cell
    c.bt().td(43, 700).tj("#1").td(100, 0).tj("K2").td(100, 0).tj("free").et();
    c.re(73, 716, -33, -16).stroke(); // drawn after the text, negative size
    c.re(140, 696, 80, 16).stroke();
    Content page2;
    page2.bt().td(43, 700).tj("#2").et();
    const auto items = read(TestPDF().addPage(c).addPage(page2));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].cell, (PDFRect{40, 700, 33, 16}));
    EXPECT_EQ(items[1].cell, (PDFRect{140, 696, 80, 16}));
    EXPECT_EQ(items[2].cell, std::nullopt);
    EXPECT_EQ(items[3].cell, std::nullopt); // rectangles of page 1 do not reach page 2
    EXPECT_EQ(items[0].x, 43);              // the item keeps the origin, not the probe
}

TEST(PDFText, SeveralStreamsReadAsOneInOrder) {
    // The text object and even the operands of Td span the streams.
    const auto items = read(TestPDF().addPage(
        std::vector<TestStream>{{"BT 10 20 Td (a) Tj 5", {}}, {"5 Td (b) Tj", {}}, {"(c) Tj ET", {}}}));
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 10, 20, "a"}, {1, 15, 25, "b"}, {1, 15, 25, "c"}}));
}

TEST(PDFText, FilesAndDocumentsThatDoNotOpen) {
    rig::test::TempDir dir;
    test::expectRigError(
        [&] { PDFText::items(dir.write("notes on the rig.txt", "Version: 3\n1. Source: L1\n")); },
        Kind::unreadable, "Cannot read notes on the rig.txt.");
    test::expectRigError([&] { PDFText::items(dir.path() / "Plan été.pdf"); }, Kind::unreadable,
                         "Cannot read Plan été.pdf.");
    test::expectRigError([&] { PDFText::items(dir.path() / ""); }, Kind::unreadable,
                         "Cannot read " + dir.path().filename().string() + ".");
    test::expectRigError([&] { PDFText::items(dir.write("empty.pdf", "")); }, Kind::unreadable);
    test::expectRigError([&] { read(TestPDF().encrypt("pw").addPage(oneString("secret"))); },
                         Kind::unreadable);

    // Without a user password an encrypted document opens as usual; no pages give no items.
    EXPECT_EQ(shown(read(TestPDF().encrypt("").addPage(oneString("secret")))),
              (std::vector<Shown>{{1, 1, 2, "secret"}}));
    EXPECT_TRUE(read(TestPDF()).empty());
}

TEST(PDFText, DamagedPagesAreSkippedAndTheOthersKept) {
    // Filter chains decode up to a reasonable length: two hex layers are read, nine are not.
    auto hexLayers = [](std::string data, int times) {
        std::string filter = "[";
        for (int i = 0; i < times; ++i) {
            std::string hex;
            for (unsigned char c : data) {
                hex.push_back("0123456789ABCDEF"[c >> 4]);
                hex.push_back("0123456789ABCDEF"[c & 15]);
            }
            data = hex + ">";
            filter += " /ASCIIHexDecode";
        }
        return TestStream{data, filter + " ]"};
    };
    TestPDF pdf;
    pdf.addPage(oneString("ok"));
    pdf.addPage(std::vector<TestStream>{{"x\x9c garbage that does not inflate", "/FlateDecode"}});
    pdf.addPageWithContentsObject("42");
    pdf.addPageWithContentsObject("null");
    pdf.addPage(std::vector<TestStream>{{"BT (lost) Tj ET", {}}, {"not deflate", "/FlateDecode"}});
    pdf.addPage(std::vector<TestStream>{hexLayers("BT (two) Tj ET", 2)});
    pdf.addPage(std::vector<TestStream>{hexLayers("BT (nine) Tj ET", 9)});
    pdf.addPage(oneString("ok"));
    EXPECT_EQ(shown(read(pdf)), (std::vector<Shown>{{1, 1, 2, "ok"}, {6, 0, 0, "two"}, {8, 1, 2, "ok"}}));
    // Each page lost is told with why; compressed content that ends early is lost too, and
    // content that fails its checksum is read but told.
    const auto losses = [](const PDFText::Document& d) {
        std::string out;
        for (const PDFText::PageLoss& l : d.losses)
            out += std::to_string(l.page) + (l.skipped ? " skipped: " : " damaged: ") + l.reason + "; ";
        return out;
    };
    EXPECT_EQ(losses(PDFText::readFromMemory(pdf.bytes(), "d.pdf")),
              "2 skipped: its content does not decode; 3 skipped: its content is missing; 4 skipped: its "
              "content is missing; 5 skipped: its content does not decode; 7 skipped: its content does not "
              "decode; ");
    std::string flate(64, '\0');
    uLongf size = flate.size();
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(flate.data()), &size,
                       reinterpret_cast<const Bytef*>("BT (sum) Tj ET"), 14),
              Z_OK);
    flate.resize(size);
    std::string wrongSum = flate;
    wrongSum.back() ^= 1;
    const PDFText::Document flated = PDFText::readFromMemory(
        TestPDF()
            .addPage(std::vector<TestStream>{{flate.substr(0, flate.size() - 6), "/FlateDecode"}})
            .addPage(std::vector<TestStream>{{wrongSum, "/FlateDecode"}})
            .bytes(),
        "f.pdf");
    EXPECT_EQ(shown(flated.items), (std::vector<Shown>{{2, 0, 0, "sum"}}));
    EXPECT_EQ(losses(flated),
              "1 skipped: its content is cut short; 2 damaged: its content fails its checksum; ");

    // Content too large once inflated.
    std::string huge = "BT (big) Tj ET\n";
    huge.append(PDFText::maxPageContentBytes, ' ');
    EXPECT_EQ(
        shown(read(
            TestPDF().compress(true).addPage(std::vector<TestStream>{{huge, {}}}).addPage(oneString("ok")))),
        (std::vector<Shown>{{2, 1, 2, "ok"}}));
}

TEST(PDFText, DocumentBudgetAndStopRequests) {
    TestPDF pdf;
    for (int i = 0; i < 5; ++i) pdf.addPage(Content().raw("BT (page" + std::string(i + 1, '!') + ") Tj ET"));
    const std::string bytes = pdf.bytes();
    // A budget one byte short of four pages takes three; the fourth is refused and spends
    // the rest, so the fifth is not even decoded.
    std::vector<std::size_t> sizes;
    auto sizesOf = [&](std::int64_t, std::string_view content) { sizes.push_back(content.size()); };
    ASSERT_TRUE(PDFText::detail::readPages(
        nullptr, bytes, "b.pdf", {1000, 1000}, [] {}, sizesOf));
    ASSERT_EQ(sizes.size(), 5u);
    std::vector<std::int64_t> pages;
    const PDFText::detail::PageLimits limits{1000, sizes[0] + sizes[1] + sizes[2] + sizes[3] - 1};
    int checkpoints = 0;
    EXPECT_TRUE(PDFText::detail::readPages(
        nullptr, bytes, "b.pdf", limits, [&] { ++checkpoints; },
        [&](std::int64_t page, std::string_view) { pages.push_back(page); }));
    EXPECT_EQ(checkpoints, 4);
    EXPECT_EQ(pages, (std::vector<std::int64_t>{1, 2, 3}));

    std::stop_source stop;
    EXPECT_EQ(PDFText::itemsFromMemory(bytes, "b.pdf", stop.get_token()).size(), 5u);
    stop.request_stop();
    EXPECT_THROW(PDFText::itemsFromMemory(bytes, "b.pdf", stop.get_token()), Cancelled);
}

TEST(PDFText, AbsurdOperandsNeverBreakTheScan) {
    const std::string huge = "1" + std::string(320, '0') + ".5";
    // Reals beyond the double range read as infinite, as strtod reads them.
    const std::string reals = "BT " + huge + " -" + huge + " Td (far) Tj -" + huge + " TL T* (nan) Tj ET " +
                              huge + " 1 -" + huge + " 5 re";
    const std::string nested = "BT " + std::string(20000, '[') + " TJ (after) Tj ET";
    // An integer beyond 64 bits stops qpdf's parser: that page is lost.
    const std::string overflow = "BT (before) Tj 99999999999999999999999999 0 Td (after) Tj ET";
    const auto items = readPages({reals, nested, overflow, "BT (good) Tj ET"});
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0].text, "far");
    EXPECT_TRUE(std::isinf(items[0].x) && items[0].x > 0);
    EXPECT_EQ(items[0].cell, std::nullopt);
    EXPECT_EQ(items[1].text, "nan");
    EXPECT_TRUE(std::isnan(items[1].y)); // -inf minus -inf
    EXPECT_EQ(items.back().text, "good");
    EXPECT_EQ(items.back().page, 4);
}

TEST(PDFText, AbsurdlyDeepPageTreesHaveNoPages) {
    EXPECT_EQ(PDFText::itemsFromMemory(test::nestedPageTreePDF(40), "n.pdf").size(), 1u);
    // Deep enough to overflow a recursive walk, had the depth not been checked first.
    EXPECT_TRUE(PDFText::itemsFromMemory(test::nestedPageTreePDF(100000), "n.pdf").empty());
}

TEST(PDFText, TruncatedFilesFailCleanlyOrGiveWhatSurvives) {
    const std::string whole =
        TestPDF().addPage(oneString("a")).addPage(oneString("b")).addPage(oneString("c")).bytes();
    for (std::size_t cut = 0; cut < whole.size(); cut += 23) {
        try {
            EXPECT_LE(PDFText::itemsFromMemory(std::string_view(whole).substr(0, cut), "cut.pdf").size(), 3u);
        } catch (const RigError& e) {
            EXPECT_EQ(e.kind(), Kind::unreadable);
        }
    }
}

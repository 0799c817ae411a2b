#include "import/PDFText.h"

#include "model/RigError.h"
#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rig;
using rig::test::Content;
using rig::test::Enc;
using rig::test::TestPDF;
using rig::test::TestStream;

namespace {

std::vector<PDFTextItem> read(const TestPDF& pdf) {
    return PDFText::itemsFromMemory(pdf.bytes(), "test.pdf");
}

std::vector<PDFTextItem> readPage(std::string_view ops) {
    Content c;
    c.raw(ops);
    return read(TestPDF().addPage(c));
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

RigError::Kind errorKind(const std::function<void()>& f, std::string* message = nullptr) {
    try {
        f();
    } catch (const RigError& e) {
        if (message) *message = e.what();
        return e.kind();
    }
    ADD_FAILURE() << "no RigError thrown";
    return RigError::Kind::notSoundvision;
}

} // namespace

// --- Operators -------------------------------------------------------------------------

TEST(PDFTextOperators, StringsShownAfterOnePositionShareIt) {
    auto items = readPage("BT 72 700 Td (a) Tj (b) Tj [(c)] TJ ET");
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 72, 700, "a"}, {1, 72, 700, "b"}, {1, 72, 700, "c"}}));
}

TEST(PDFTextOperators, LeadingSurvivesBTButNotThePage) {
    Content p1;
    p1.raw("BT 0 -12 TD (a) Tj ET BT T* (b) Tj (c) ' ET");
    Content p2;
    p2.raw("BT T* (d) Tj (e) ' 100 200 Td 7 TL T* (f) Tj ET");
    auto items = read(TestPDF().addPage(p1).addPage(p2));
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 0, -12, "a"},
                                                {1, 0, -12, "b"},
                                                {1, 0, -24, "c"},
                                                {2, 0, 0, "d"},
                                                {2, 0, 0, "e"},
                                                {2, 100, 193, "f"}}));
}

TEST(PDFTextOperators, MatrixSetsTheOriginWithoutScalingOffsets) {
    auto items = readPage("BT 10 0 0 10 100 700 Tm 5 -2 Td (a) Tj 0.5 0 0 0.5 -3.25 .5 Tm (b) Tj ET");
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 105, 698, "a"}, {1, -3.25, 0.5, "b"}}));
}

TEST(PDFTextOperators, MissingOrWrongOperandsFollowTheTable) {
    // Tm and re count what is missing or not a number as 0; Td, TD and TL change nothing.
    auto items = readPage("BT 5 Tm (a) Tj (x) 3 Tm (b) Tj 10 20 Td (n) 4 Td (c) Tj (n) 4 TD T* (d) Tj "
                          "(n) TL T* (e) Tj ET");
    EXPECT_EQ(shown(items),
              (std::vector<Shown>{
                  {1, 0, 5, "a"}, {1, 0, 3, "b"}, {1, 10, 23, "c"}, {1, 10, 23, "d"}, {1, 10, 23, "e"}}));
    // The topmost operands count when there are more than needed.
    EXPECT_EQ(shown(readPage("1 2 3 4 5 6 7 8 9 10 11 12 Tm (a) Tj")),
              (std::vector<Shown>{{1, 11, 12, "a"}}));
}

TEST(PDFTextOperators, ShowOperatorsWithoutAStringAddNothing) {
    // "'" still moves down; the double-quote operator is not read at all.
    auto items = readPage("BT 14 TL 0 100 Td 5 Tj 6 ' [1 2] Tj (x) TJ 1 2 (q) \" (a) Tj ET");
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 0, 86, "a"}}));
}

TEST(PDFTextOperators, OperandsBelongToTheNextOperatorOnly) {
    auto items = readPage("(stale) BT Tj 50 60 q Q Td (a) Tj 1 0 0 1 300 300 cm (b) Tj");
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 0, 0, "a"}, {1, 0, 0, "b"}}));
}

TEST(PDFTextOperators, TJJoinsStringsAndSkipsEverythingElse) {
    auto items = readPage("BT [(Sou) -250 (rce) 12 /Name [(in)] (!)] TJ [-120 33.5] TJ [] TJ ET");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, "Source!");
    EXPECT_EQ(items[1].text, "");
    EXPECT_EQ(items[2].text, "");
}

TEST(PDFTextOperators, InlineImagesAndUnknownOperatorsAreSkipped) {
    auto items =
        readPage("q BI /W 2 /H 1 /BPC 8 /CS /G ID \x01\x02 EI Q BT 1 2 Td (after) Tj ET 0 0 m 5 5 l S");
    EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 1, 2, "after"}}));
}

// --- Strings ---------------------------------------------------------------------------

TEST(PDFTextStrings, UTF16IsDecidedByBytesZeroAndTwo) {
    using namespace std::string_literals;
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\x00"
                                    "B"s),
              "AB");
    EXPECT_EQ(PDFText::decodeString("A\x00"
                                    "B\x00"s),
              "A\x00"
              "B\x00"s); // not UTF-16
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\x00"s),
              "\x00"
              "A\x00"s);                                // odd length
    EXPECT_EQ(PDFText::decodeString("\x00"s), "\x00"s); // one byte
    EXPECT_EQ(PDFText::decodeString("\x4E\x2D\x00\x41"s), "\u4E2D"
                                                          "A"); // byte 2 is zero
    EXPECT_EQ(PDFText::decodeString("\x4E\x2D"s), "N-");        // two bytes, byte 0 set
    EXPECT_EQ(PDFText::decodeString(""), "");
}

TEST(PDFTextStrings, NoByteOrderMarkIsRemovedOnTheUTF16Road) {
    using namespace std::string_literals;
    EXPECT_EQ(PDFText::decodeString("\xFE\xFF\x00\x41"s), "\uFEFF"
                                                          "A");
    // With byte 2 not zero the text-string rules read the mark.
    EXPECT_EQ(PDFText::decodeString("\xFE\xFF\x4E\x2D"s), "\u4E2D");
}

TEST(PDFTextStrings, UnpairedSurrogatesBecomeReplacementCharacters) {
    using namespace std::string_literals;
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\xD8\x3D\xDE\x00"s),
              "A\U0001F600");
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\xD8\x3D\x00"
                                    "B"s),
              "A\uFFFD"
              "B");
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\xDC\x00"s),
              "A\uFFFD");
    EXPECT_EQ(PDFText::decodeString("\x00"
                                    "A\xD8\x3D"s),
              "A\uFFFD");
}

TEST(PDFTextStrings, PDFDocEncodingOtherwise) {
    EXPECT_EQ(PDFText::decodeString("\x80\x84\x85\xA0\xE9\x18\x9E"), "•—–€é˘ž");
    EXPECT_EQ(PDFText::decodeString("a\x7F"
                                    "b\x9F"
                                    "c\xAD"),
              "a\uFFFD"
              "b\uFFFD"
              "c\uFFFD");
}

TEST(PDFTextStrings, BothEncodingsThroughAFile) {
    Content c;
    c.bt().td(10, 20).tj("Côté – 3 °", Enc::pdfDoc).tj("Délai ↔ 2", Enc::utf16).tj("(a\\b)").et();
    auto items = read(TestPDF().addPage(c));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text, "Côté – 3 °");
    EXPECT_EQ(items[1].text, "Délai ↔ 2");
    EXPECT_EQ(items[2].text, "(a\\b)");
}

// --- Cells -----------------------------------------------------------------------------

TEST(PDFTextCells, ProbeIsInsideOnlyLeftAndBottomEdges) {
    const std::vector<PDFRect> r = {PDFRect{10, 20, 10, 10}};
    // The probe point is (x + 1, y + 3).
    EXPECT_TRUE(PDFText::cellFor(9, 17, r));   // (10, 20): corner on both inner edges
    EXPECT_FALSE(PDFText::cellFor(19, 17, r)); // (20, 20): right edge
    EXPECT_FALSE(PDFText::cellFor(9, 27, r));  // (10, 30): top edge
    EXPECT_TRUE(PDFText::cellFor(18.99, 26.99, r));
    EXPECT_FALSE(PDFText::cellFor(8.99, 20, r));
}

TEST(PDFTextCells, SizeLimitsAreStrict) {
    EXPECT_FALSE(PDFText::cellFor(0, 0, {PDFRect{0, 0, 50, 30}}));
    EXPECT_FALSE(PDFText::cellFor(0, 0, {PDFRect{0, 0, 300, 10}}));
    EXPECT_EQ(PDFText::cellFor(0, 0, {PDFRect{0, 0, 299.9, 29.9}}), (PDFRect{0, 0, 299.9, 29.9}));
}

TEST(PDFTextCells, SmallestAreaWinsAndTheFirstDrawnOnTies) {
    const PDFRect outer{0, 0, 100, 20}, inner{0, 0, 40, 20}, tall{0, 0, 20, 29}, wide{0, 0, 58, 10};
    EXPECT_EQ(PDFText::cellFor(5, 2, {outer, inner}), inner);
    EXPECT_EQ(PDFText::cellFor(5, 2, {inner, outer}), inner);
    // 20 x 29 = 580 = 58 x 10.
    EXPECT_EQ(PDFText::cellFor(5, 2, {tall, wide}), tall);
    EXPECT_EQ(PDFText::cellFor(5, 2, {wide, tall}), wide);
}

TEST(PDFTextCells, AssignedAfterThePageWithStandardisedRectangles) {
    Content c;
    c.re(20, 20, 555, 802).stroke(); // page frame: never a cell
    c.bt().td(43, 700).tj("#1").td(100, 0).tj("K2").td(100, 0).tj("free").et();
    c.re(73, 716, -33, -16).stroke(); // drawn after the text, negative size
    c.re(140, 696, 80, 16).stroke();
    Content page2;
    page2.bt().td(43, 700).tj("#2").et();
    auto items = read(TestPDF().addPage(c).addPage(page2));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].cell, (PDFRect{40, 700, 33, 16}));
    EXPECT_EQ(items[1].cell, (PDFRect{140, 696, 80, 16}));
    EXPECT_EQ(items[2].cell, std::nullopt);
    EXPECT_EQ(items[3].cell, std::nullopt); // rectangles of page 1 do not reach page 2
    EXPECT_EQ(items[0].x, 43);              // the item keeps the origin, not the probe
}

// --- Streams and documents -------------------------------------------------------------

TEST(PDFTextDocument, SeveralStreamsReadAsOneInOrderCompressedOrNot) {
    // The text object and even the operands of Td span the streams.
    std::vector<TestStream> streams = {{"BT 10 20 Td (a) Tj 5", {}}, {"5 Td (b) Tj", {}}, {"(c) Tj ET", {}}};
    for (bool compress : {false, true}) {
        auto items = read(TestPDF().compress(compress).addPage(streams));
        EXPECT_EQ(shown(items), (std::vector<Shown>{{1, 10, 20, "a"}, {1, 15, 25, "b"}, {1, 15, 25, "c"}}))
            << compress;
    }
}

TEST(PDFTextDocument, FilesThatAreNoPDFAreUnreadable) {
    rig::test::TempDir dir;
    std::string message;
    auto text = dir.write("notes on the rig.txt", "Version: 3\n1. Source: L1\n");
    EXPECT_EQ(errorKind([&] { PDFText::items(text); }, &message), RigError::Kind::unreadable);
    EXPECT_EQ(message, "Cannot read notes on the rig.txt.");
    EXPECT_EQ(errorKind([&] { PDFText::items(dir.path() / "Plan été.pdf"); }, &message),
              RigError::Kind::unreadable);
    EXPECT_EQ(message, "Cannot read Plan été.pdf.");
    EXPECT_EQ(errorKind([&] { PDFText::items(dir.path()); }), RigError::Kind::unreadable);
    EXPECT_EQ(errorKind([&] { PDFText::items(dir.write("empty.pdf", "")); }), RigError::Kind::unreadable);
}

TEST(PDFTextDocument, ReadsFromAFileLikeFromMemory) {
    rig::test::TempDir dir;
    Content c;
    c.bt().td(1, 2).tj("x").et();
    auto path = dir.write("r.pdf", TestPDF().addPage(c).bytes());
    EXPECT_EQ(shown(PDFText::items(path)), (std::vector<Shown>{{1, 1, 2, "x"}}));
}

TEST(PDFTextDocument, NoPagesGiveNoItems) {
    EXPECT_TRUE(read(TestPDF()).empty());
}

TEST(PDFTextDocument, EncryptionWithAPasswordIsUnreadable) {
    Content c;
    c.bt().td(1, 2).tj("secret").et();
    EXPECT_EQ(errorKind([&] { read(TestPDF().encrypt("pw").addPage(c)); }), RigError::Kind::unreadable);
    // Without a user password the document opens as usual.
    EXPECT_EQ(shown(read(TestPDF().encrypt("").addPage(c))), (std::vector<Shown>{{1, 1, 2, "secret"}}));
}

TEST(PDFTextDocument, DamagedPagesAreSkippedAndTheOthersKept) {
    Content good;
    good.bt().td(1, 2).tj("ok").et();
    TestPDF pdf;
    pdf.addPage(good);
    pdf.addPage(std::vector<TestStream>{{"x\x9c garbage that does not inflate", "/FlateDecode"}});
    pdf.addPageWithContentsObject("42");
    pdf.addPageWithContentsObject("null");
    pdf.addPage(std::vector<TestStream>{{"BT (lost) Tj ET", {}}, {"not deflate", "/FlateDecode"}});
    pdf.addPage(good);
    auto items = read(pdf);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].page, 1);
    EXPECT_EQ(items[1].page, 6);
}

TEST(PDFTextDocument, FilterChainsDecodeUpToAReasonableLength) {
    auto hexEncoded = [](std::string data, int times, std::string& filter) {
        filter = "[";
        for (int i = 0; i < times; ++i) {
            std::string hex;
            for (unsigned char c : data) {
                hex.push_back("0123456789ABCDEF"[c >> 4]);
                hex.push_back("0123456789ABCDEF"[c & 15]);
            }
            data = hex + ">";
            filter += " /ASCIIHexDecode";
        }
        filter += " ]";
        return data;
    };
    std::string two, nine;
    std::string data2 = hexEncoded("BT (two) Tj ET", 2, two);
    std::string data9 = hexEncoded("BT (nine) Tj ET", 9, nine);
    auto items = read(TestPDF()
                          .addPage(std::vector<TestStream>{{data2, two}})
                          .addPage(std::vector<TestStream>{{data9, nine}}));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "two");
}

TEST(PDFTextDocument, AbsurdOperandsNeverBreakTheScan) {
    const std::string huge = "1" + std::string(320, '0') + ".5";
    Content reals;
    // Reals beyond the double range read as infinite, as strtod reads them.
    reals.raw("BT " + huge + " -" + huge + " Td (far) Tj -" + huge + " TL T* (nan) Tj ET " + huge + " 1 -" +
              huge + " 5 re");
    Content nested;
    nested.raw("BT " + std::string(20000, '[') + " TJ (after) Tj ET");
    Content overflow; // an integer beyond 64 bits stops qpdf's parser: that page is lost
    overflow.raw("BT (before) Tj 99999999999999999999999999 0 Td (after) Tj ET");
    Content good;
    good.bt().tj("good").et();
    auto items = read(TestPDF().addPage(reals).addPage(nested).addPage(overflow).addPage(good));
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0].text, "far");
    EXPECT_TRUE(std::isinf(items[0].x) && items[0].x > 0);
    EXPECT_EQ(items[1].text, "nan");
    EXPECT_TRUE(std::isnan(items[1].y)); // -inf minus -inf
    EXPECT_EQ(items[0].cell, std::nullopt);
    EXPECT_EQ(items.back().text, "good");
    EXPECT_EQ(items.back().page, 4);
}

// A page under `depth` nested page-tree nodes, written by hand with its cross-reference table.
std::string nestedPageTree(int depth) {
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto obj = [&](const std::string& body) {
        offsets.push_back(out.size());
        out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    obj("<< /Type /Catalog /Pages 2 0 R >>");
    for (int i = 0; i < depth; ++i)
        obj("<< /Type /Pages /Kids [" + std::to_string(offsets.size() + 2) + " 0 R] /Count 1 >>");
    const std::size_t page = offsets.size() + 1;
    obj("<< /Type /Page /MediaBox [0 0 10 10] /Contents " + std::to_string(page + 1) + " 0 R >>");
    obj("<< /Length 15 >>\nstream\nBT (deep) Tj ET\nendstream");
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        std::string n = std::to_string(o);
        out += std::string(10 - n.size(), '0') + n + " 00000 n \n";
    }
    out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

TEST(PDFTextDocument, AbsurdlyDeepPageTreesHaveNoPages) {
    EXPECT_EQ(PDFText::itemsFromMemory(nestedPageTree(40), "n.pdf").size(), 1u);
    // Deep enough to overflow a recursive walk, had the depth not been checked first.
    EXPECT_TRUE(PDFText::itemsFromMemory(nestedPageTree(100000), "n.pdf").empty());
}

TEST(PDFTextDocument, TruncatedFilesFailCleanlyOrGiveWhatSurvives) {
    Content c;
    c.bt().td(1, 2).tj("first").et();
    const std::string whole = TestPDF().addPage(c).addPage(c).addPage(c).bytes();
    for (std::size_t cut = 0; cut < whole.size(); cut += 23) {
        try {
            auto items = PDFText::itemsFromMemory(std::string_view(whole).substr(0, cut), "cut.pdf");
            EXPECT_LE(items.size(), 3u);
        } catch (const RigError& e) {
            EXPECT_EQ(e.kind(), RigError::Kind::unreadable);
        }
    }
}

TEST(PDFTextDocument, OversizedPageContentIsSkipped) {
    std::string huge = "BT (big) Tj ET\n";
    huge.append(PDFText::maxPageContentBytes, ' ');
    Content good;
    good.bt().tj("small").et();
    auto items = read(TestPDF().compress(true).addPage(std::vector<TestStream>{{huge, {}}}).addPage(good));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "small");
}

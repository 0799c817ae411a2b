#include "import/DXFReader.h"
#include "import/SideViewBuilder.h"

#include "base/File.h"
#include "base/Text.h"
#include "import/ImportNotes.h"
#include "model/RigError.h"

#include "support/ImportTesting.h"
#include "support/ProjectFixtures.h"
#include "support/TempDir.h"
#include "support/TestDXF.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stop_token>
#include <system_error>

using namespace rig;
using test::DXFWriter;
using test::expectNear;

namespace {

// Two arrays as Soundvision writes them: a box with two pickup markers, turned by 90°, and
// a triangle of plain lines inserted from inside the system block. `sub` names the second.
std::string twoSources(const std::string& eol, const std::string& sub = "Sub") {
    DXFWriter w(eol);
    w.beginSection("HEADER").pair(9, "$ACADVER").pair(1, "AC1009").endSection();
    w.beginSection("BLOCKS").beginBlock("1_Main_L");
    test::box(w, XYZ(-0.5, -0.3, -1), XYZ(0.5, 0.3, 0));
    test::pickupMarker(w, XYZ(0, 0.2, 0.05), "Main_PickupPoints");
    test::pickupMarker(w, XYZ(0, -0.2, 0.05), "Main_PickupPoints");
    w.endBlock().beginBlock("2_" + sub);
    w.line(XYZ(0, 0, 0), XYZ(1, 0, 0)).line(XYZ(1, 0, 0), XYZ(0, 0, 1)).line(XYZ(0, 0, 1), XYZ(0, 0, 0));
    w.endBlock().beginBlock("L_Acoustics_FullSystem").insert("2_" + sub, XYZ(-4, 0, 1)).endBlock();
    w.endSection().beginSection("ENTITIES");
    w.insert("1_Main_L", XYZ(10, 5, 8), 90.0).insert("L_Acoustics_FullSystem", XYZ(0, 0, 0));
    w.line(XYZ(0, 0, 0), XYZ(1, 1, 1), "Main_PickupPoints");
    w.endSection();
    return w.finish();
}

void expectTwoSources(const std::vector<DXFSource>& r, const std::string& sub = "Sub") {
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].index, 1);
    EXPECT_EQ(r[0].name, "Main L");
    expectNear(r[0].insert, XYZ(10, 5, 8));
    EXPECT_EQ(r[0].rotation, 90);
    ASSERT_EQ(r[0].pickups.size(), 2u);
    expectNear(r[0].pickups[0], XYZ(9.8, 5, 8.05));
    expectNear(r[0].pickups[1], XYZ(10.2, 5, 8.05));
    EXPECT_EQ(r[0].segments.size(), 24u);
    EXPECT_EQ(r[1].index, 2);
    EXPECT_EQ(r[1].name, sub);
    expectNear(r[1].insert, XYZ(-4, 0, 1));
    EXPECT_TRUE(r[1].pickups.empty());
    ASSERT_EQ(r[1].segments.size(), 3u);
    expectNear(r[1].segments[1].first, XYZ(-3, 0, 1));
    expectNear(r[1].segments[1].second, XYZ(-4, 0, 2));
}

// A block with one LINE inserted at the origin, written pair by pair.
std::vector<DXFSource> oneLine(std::string_view blockName, std::string_view insertName) {
    return DXFReader::parseText("0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\n" + std::string(blockName) +
                                "\n0\nLINE\n10\n1\n11\n2\n0\nENDBLK\n0\nENDSEC\n0\nINSERT\n2\n" +
                                std::string(insertName) + "\n0\nEOF\n");
}

} // namespace

TEST(DXFReader, EveryLineEndAndLatin1) {
    test::TempDir dir;
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        const std::string text = twoSources(eol);
        ImportNotes notes;
        expectTwoSources(DXFReader::parseText(text, {}, &notes));
        EXPECT_TRUE(notes.empty()) << testing::PrintToString(notes.lines());
        expectTwoSources(DXFReader::parse(dir.write("arrays.dxf", text)));
    }
    expectTwoSources(DXFReader::parse(dir.write("latin1.dxf", twoSources("\r\n", "Sub_B\xFChne"))),
                     "Sub B\u00FChne");
    // Files larger than the reader's pieces: every line end, and a Latin-1 byte at the end
    // that makes the whole file Latin-1 (where an LS is no line break any more).
    for (const std::string eol : {"\r\n", "\n", "\r", "\u2028"}) {
        const std::string big = test::arrayExport(30, 120, eol);
        ASSERT_GT(big.size(), 2u << 18); // more than two pieces
        EXPECT_EQ(DXFReader::parse(dir.write("big.dxf", big)).size(), 30u);
        const auto fromFile = DXFReader::parse(dir.write("big.dxf", big + "\xB5"));
        const auto fromText = DXFReader::parseText(decodeLatin1(big + "\xB5"));
        EXPECT_EQ(fromFile.size(), eol.size() == 3 ? 0u : 30u);
        ASSERT_EQ(fromFile.size(), fromText.size());
        for (std::size_t i = 0; i < fromFile.size(); ++i) {
            EXPECT_EQ(fromFile[i].segments, fromText[i].segments);
            EXPECT_EQ(fromFile[i].pickups, fromText[i].pickups);
        }
    }
    // A path held as text is still a path; a failed read names the file and keeps the reason.
    expectTwoSources(DXFReader::parse((dir.path() / "arrays.dxf").string()));
    for (const auto& [path, reason] : std::vector<std::pair<std::filesystem::path, std::errc>>{
             {dir.path() / "missing.dxf", std::errc::no_such_file_or_directory},
             {dir.path(), std::errc::is_a_directory}}) {
        try {
            DXFReader::parse(path.string());
            ADD_FAILURE() << path;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), reason);
            EXPECT_EQ(e.what(), "Cannot read " + fileNameOf(path) + ": " + e.code().message());
        }
    }
}

TEST(DXFReader, AStopRequestCancelsTheRead) {
    test::TempDir dir;
    const auto path = dir.write("arrays.dxf", twoSources("\n"));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(DXFReader::parse(path, stop.get_token()), Cancelled);
    EXPECT_THROW(DXFReader::parseText(twoSources("\n"), stop.get_token()), Cancelled);
    EXPECT_EQ(DXFReader::parse(path, std::stop_source().get_token()).size(), 2u);
}

TEST(DXFReader, PairsAndLines) {
    EXPECT_TRUE(DXFReader::parseText("").empty());
    EXPECT_TRUE(DXFReader::parseText("just some text\nwith lines").empty());
    // Blanks around codes and values, an empty value that keeps the pairs in step, and the
    // other line breaks (LS, NEL).
    const auto r =
        DXFReader::parseText("0\nSECTION\n  2\nBLOCKS\t\n0\nBLOCK\n2\n 5_A \n0\nLINE\n8\n\n10\u00A0\n 1.5\n"
                             "21\n2\u2028"
                             "0\nENDBLK\u0085"
                             "0\nINSERT\n2\n5_A\n");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].name, "A");
    ASSERT_EQ(r[0].segments.size(), 1u);
    expectNear(r[0].segments[0].first, XYZ(1.5, 0, 0));
    expectNear(r[0].segments[0].second, XYZ(0, 2, 0));
    // An odd line count: the last code gets an empty value (rotation absent counts as 0).
    const auto odd = DXFReader::parseText("0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\n3_B\n0\nLINE\n10\n1\n"
                                          "0\nENDBLK\n0\nINSERT\n2\n3_B\n50");
    ASSERT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd[0].rotation, 0);

    // The first pair of a code counts; what is not a number is 0.
    const auto pairs =
        DXFReader::parseText("0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\n1_P\n0\nLINE\n10\n1.5\n10\n2\n"
                             "20\nx\n30\n1e3\n11\n 1\n21\n-0x1p1\n31\nnan\n0\nENDBLK\n"
                             "0\nINSERT\n2\n1_P\n0\nEOF\n");
    ASSERT_EQ(pairs.size(), 1u);
    ASSERT_EQ(pairs[0].segments.size(), 1u);
    EXPECT_EQ(pairs[0].segments[0].first, XYZ(1.5, 0, 1000));
    EXPECT_EQ(pairs[0].segments[0].second.x, 1);
    EXPECT_EQ(pairs[0].segments[0].second.y, -2);
    EXPECT_TRUE(std::isnan(pairs[0].segments[0].second.z));
}

TEST(DXFReader, BlockNames) {
    struct Case {
        const char* block;
        const char* insert;
        std::optional<std::pair<std::int64_t, std::string>> expected;
    };
    const std::vector<Case> cases = {
        {"12_Main_L", "12_Main_L", {{12, "Main L"}}},
        {"007_Sub", "007_Sub", {{7, "Sub"}}},
        {"Main_1", "Main_1", {}},
        {"12Main", "12Main", {}},
        {"_Main", "_Main", {}},
        {"12_", "12_", {}},
        {"L_Acoustics_FullSystem", "L_Acoustics_FullSystem", {}},
        {"1_A", "1_B", {}}, // a block that was never defined
        // An index too large for 64 bits, or in other digits, becomes the count so far.
        {"99999999999999999999_Big", "99999999999999999999_Big", {{0, "Big"}}},
        {"\u0663_Arabic", "\u0663_Arabic", {{0, "Arabic"}}},
    };
    for (const Case& c : cases) {
        const auto r = oneLine(c.block, c.insert);
        ASSERT_EQ(r.size(), c.expected ? 1u : 0u) << c.block;
        if (c.expected) {
            EXPECT_EQ(r[0].index, c.expected->first) << c.block;
            EXPECT_EQ(r[0].name, c.expected->second) << c.block;
        }
    }
}

TEST(DXFReader, InsertsBlocksPickupsAndFaces) {
    DXFWriter w;
    w.beginSection("BLOCKS");
    w.beginBlock("3_C").line(XYZ(1, 0, 0), XYZ(2, 0, 0)).endBlock();
    w.line(XYZ(5, 5, 5), XYZ(6, 6, 6)); // between blocks: dropped
    w.beginBlock("1_A").pair(0, "CIRCLE").pair(10, 1.0).endBlock();
    w.beginBlock("2_Empty").endBlock();
    w.beginBlock("").line(XYZ(0, 0, 0), XYZ(1, 0, 0)).endBlock();
    w.pair(0, "BLOCK").pair(8, "0").line(XYZ(0, 0, 0), XYZ(1, 0, 0)).endBlock(); // no name
    w.beginBlock("Whole").insert("3_C", XYZ(0, 0, 7), 90.0).endBlock();
    w.beginBlock("4_P");
    test::pickupMarker(w, XYZ(0, 0, 0), "PickupPoints");
    test::pickupMarker(w, XYZ(0.001, 0, 0), "X_PickupPoints");  // 1 mm: dropped
    test::pickupMarker(w, XYZ(0.003, 0, 0), "X_PickupPoints");  // 3 mm: kept
    test::pickupMarker(w, XYZ(0.0045, 0, 0), "X_PickupPoints"); // 1.5 mm from the last
    test::pickupMarker(w, XYZ(1, 0, 0), "pickuppoints");        // not a pickup layer
    // 1.9 mm apart across a line of the 4 mm search grid, on each axis: dropped.
    for (const XYZ& step : {XYZ(1, 0, 0), XYZ(0, 1, 0), XYZ(0, 0, 1)}) {
        const XYZ base(2 + step.y, 2 + step.z, 2 + step.x);
        for (double along : {0.0039, 0.0058})
            test::pickupMarker(
                w, XYZ(base.x + step.x * along, base.y + step.y * along, base.z + step.z * along));
    }
    const XYZ a(0, 0, 0), b(1, 0, 0), c(1, 1, 0);
    w.face(a, a, a, a).face(a, b, c, c).endBlock();
    w.endSection().beginSection("ENTITIES");
    w.insert("4_P", XYZ(0, 0, 0)).insert("3_C", XYZ(10, 0, 0)).insert("2_Empty", XYZ(0, 0, 0));
    w.insert("1_A", XYZ(0, 0, 0)).insert("3_C", XYZ(20, 0, 0)).insert("_0", XYZ(0, 0, 0));
    w.pair(0, "INSERT").pair(10, 1.0);
    w.endSection();
    const auto r = DXFReader::parseText(w.finish());
    // Sorted by index; equal indexes keep their insert order (the one inside the block first).
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(std::vector<std::int64_t>({r[0].index, r[1].index, r[2].index, r[3].index, r[4].index}),
              std::vector<std::int64_t>({1, 3, 3, 3, 4}));
    EXPECT_TRUE(r[0].segments.empty());
    EXPECT_TRUE(r[0].pickups.empty());
    ASSERT_EQ(r[1].segments.size(), 1u);
    // Rotation 90 turns the block's (1, 0, 0) to (0, 1, 0), around the insert's own point.
    expectNear(r[1].segments[0].first, XYZ(0, 1, 7));
    expectNear(r[2].segments[0].first, XYZ(11, 0, 0));
    expectNear(r[3].segments[0].second, XYZ(22, 0, 0));
    ASSERT_EQ(r[4].pickups.size(), 5u);
    expectNear(r[4].pickups[1], XYZ(0.003, 0, 0));
    ASSERT_EQ(r[4].segments.size(), 4u); // the odd line, then the triangle's three edges
    expectNear(r[4].segments[3].first, c);
    expectNear(r[4].segments[3].second, a);

    // A dense grid: along x every other marker is within 2 mm of a kept one.
    DXFWriter g;
    g.beginSection("BLOCKS").beginBlock("1_Grid");
    for (int i = 0; i < 200; ++i) {
        for (int j = 0; j < 100; ++j) test::pickupMarker(g, XYZ(i * 0.0015, j * 0.0025, 0), "PickupPoints");
    }
    g.endBlock().endSection().insert("1_Grid", XYZ(0, 0, 0));
    const auto grid = DXFReader::parseText(g.finish());
    ASSERT_EQ(grid.size(), 1u);
    EXPECT_EQ(grid[0].pickups.size(), 100u * 100u);
}

TEST(DXFReader, DamagedInputIsReadLeniently) {
    const Source source =
        fixtures::testSource("Main L", {}, {fixtures::testPickup("Front", XYZ(10.2, 5, 8.05))});
    const std::string full = twoSources("\n");
    // Truncated anywhere: never more than the whole file gives, never a crash.
    for (std::size_t n = 0; n < full.size(); n += 7) {
        const auto r = DXFReader::parseText(std::string_view(full).substr(0, n));
        EXPECT_LE(r.size(), 2u);
        for (const auto& s : r) {
            SideViewBuilder::sideView(source, s);
            SideViewBuilder::topView(s);
        }
    }
    // Codes that are no numbers, absurd coordinates and invalid UTF-8.
    const auto r = DXFReader::parseText(
        "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\n1_\xFF\nx\ny\n"
        "0\nLINE\n10\nnan\n20\n1e308\n30\n-inf\n11\n1e400\n"
        "0\n3DFACE\n10\n1e308\n11\n-1e308\n12\n1e300\n13\n0x1p1023\n99999999999999999999\n1\n"
        "0\nENDBLK\n0\nINSERT\n2\n1_\xFF\n10\n1e308\n50\n1e308\n");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].name, "\uFFFD");
    EXPECT_FALSE(SideViewBuilder::sideView(source, r[0]));
    EXPECT_FALSE(SideViewBuilder::topView(r[0]));

    // A whole file followed by empty lines or by text after its EOF has nothing to say.
    ImportNotes none;
    expectTwoSources(DXFReader::parseText(full + "\n\n  \nsaved by hand\n", {}, &none));
    EXPECT_TRUE(none.empty()) << testing::PrintToString(none.lines());
}

TEST(DXFReader, ALineBreakInsideANameSkipsThatSourceAlone) {
    // U+2028 and U+2029 split lines, also inside names: the sources whose names they cut are
    // skipped and named, and everything after them is still read in step.
    test::TempDir dir;
    for (const std::string eol : {"\n", "\r\n"}) {
        DXFWriter w(eol);
        w.beginSection("BLOCKS");
        w.beginBlock("1_Main\u2028L");
        test::box(w, XYZ(0, 0, 0), XYZ(1, 1, 1));
        w.endBlock().beginBlock("2_Sub").line(XYZ(0, 0, 0), XYZ(1, 0, 0)).endBlock();
        // The rest is a number here, so it reads as a group code at first.
        w.beginBlock("3_Out\u202912").line(XYZ(0, 0, 0), XYZ(1, 0, 0)).endBlock();
        w.beginBlock("4_Front");
        test::pickupMarker(w, XYZ(0, 0, 0), "Front_\u2029PickupPoints");
        w.endBlock().beginBlock("5_Last").line(XYZ(0, 0, 0), XYZ(0, 0, 1)).endBlock();
        // A lone CR, as an editor leaves it, in a file of LF or CR LF lines.
        w.beginBlock("6_Side\rL").line(XYZ(0, 0, 0), XYZ(1, 0, 0)).endBlock();
        w.endSection().beginSection("ENTITIES");
        for (const char* name : {"1_Main\u2028L", "2_Sub", "3_Out\u202912", "4_Front", "5_Last", "6_Side\rL"})
            w.insert(name, XYZ(2.5, 0.5, 1.5), 12.5);
        const std::string text = w.finish();
        for (bool fromFile : {false, true}) {
            ImportNotes notes;
            const auto r = fromFile ? DXFReader::parse(dir.write("arrays.dxf", text), {}, &notes)
                                    : DXFReader::parseText(text, {}, &notes);
            ASSERT_EQ(r.size(), 3u);
            EXPECT_EQ(r[0].name, "Sub");
            expectNear(r[0].insert, XYZ(2.5, 0.5, 1.5));
            EXPECT_EQ(r[0].rotation, 12.5);
            EXPECT_EQ(r[0].segments.size(), 1u);
            // The cut layer name no longer ends in PickupPoints: the marker is outline.
            EXPECT_EQ(r[1].name, "Front");
            EXPECT_TRUE(r[1].pickups.empty());
            EXPECT_EQ(r[1].segments.size(), 1u);
            EXPECT_EQ(r[2].name, "Last");
            expectNear(r[2].segments.at(0).second, XYZ(2.5, 0.5, 2.5), 1e-9);
            EXPECT_EQ(notes.lines(),
                      (std::vector<std::string>{
                          "skipped the block \"1_Main\": a line break (U+2028) cuts its name there.",
                          "skipped the block \"3_Out\": a line break (U+2029) cuts its name there.",
                          "skipped the rest of the line after \"Front_\": a line break (U+2029) "
                          "cuts it there.",
                          "skipped the block \"6_Side\": a line break (U+000D) cuts its name there.",
                      }));
        }
    }
}

TEST(DXFReader, OneHugeBlockInsertedOftenStaysBounded) {
    // 10,000 segments and 500 pickups per insert; 250 inserts would give 2.5 million segments
    // and 125,000 pickups.
    DXFWriter w;
    w.beginSection("BLOCKS").beginBlock("7_Huge");
    for (int i = 0; i < 2500; ++i) w.face(XYZ(i, 0, 0), XYZ(i, 1, 0), XYZ(i, 1, 1), XYZ(i, 0, 1));
    for (int i = 0; i < 500; ++i) test::pickupMarker(w, XYZ(i * 0.01, 0, 0));
    w.endBlock().endSection();
    for (int i = 0; i < 250; ++i) w.insert("7_Huge", XYZ(i, 0, 0));
    const auto r = DXFReader::parseText(w.finish());
    ASSERT_EQ(r.size(), 250u);
    std::size_t segments = 0, pickups = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        EXPECT_EQ(r[i].name, "Huge");
        EXPECT_EQ(r[i].insert, XYZ(double(i), 0, 0));
        segments += r[i].segments.size();
        pickups += r[i].pickups.size();
    }
    EXPECT_EQ(segments, DXFReader::maxSegments);
    EXPECT_EQ(pickups, DXFReader::maxPickups);
    // Earlier sources keep all their geometry; the cap only cuts what comes after.
    EXPECT_EQ(r[199].segments.size(), 10000u);
    EXPECT_TRUE(r[200].segments.empty());
    EXPECT_EQ(r[199].pickups.size(), 500u);
    EXPECT_TRUE(r[200].pickups.empty());
}

// Joining the parts a printer hands over, read back with poppler: every page with its own paper,
// font and text; a damaged part fails the whole with a message that names it.
#include "base/PdfJoin.h"

#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

using namespace rig;
using rig::test::Content;
using rig::test::TestPDF;

namespace {

// What a poppler tool prints for the file (empty when it fails).
std::string poppler(const std::string& command, const std::string& path, const char* after = "") {
    std::string out;
    if (FILE* pipe = popen((command + " '" + path + "'" + after + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        if (pclose(pipe) != 0) out.clear();
    }
    return out;
}

Content sheet(const std::string& text) {
    return Content().bt().font(14).td(40, 60).tj(text).et();
}

// Part A: two A4 pages in Helvetica; part B: a landscape page in Courier, its streams
// compressed; part C: a US Letter page in Times.
std::vector<std::string> threeParts() {
    return {TestPDF().addPage(sheet("Alpha sheet one")).addPage(sheet("Alpha sheet two")).bytes(),
            TestPDF()
                .pageSize(842, 595)
                .baseFont("Courier")
                .compress(true)
                .addPage(sheet("Bravo landscape"))
                .bytes(),
            TestPDF().pageSize(612, 792).baseFont("Times-Roman").addPage(sheet("Charlie letter")).bytes()};
}

std::vector<std::string_view> views(const std::vector<std::string>& parts) {
    return {parts.begin(), parts.end()};
}

} // namespace

TEST(PdfJoin, PartsWithTheirOwnFontsAndPaperAndADamagedPartFailsTheWhole) {
    const std::vector<std::string> parts = threeParts();
    std::string error = "left from before";
    const std::optional<std::string> joined = joinPdfs(views(parts), &error);
    ASSERT_TRUE(joined);
    const test::TempDir dir;
    const std::string path = dir.write("joined.pdf", *joined).string();

    const std::string info = poppler("pdfinfo -f 1 -l 10", path);
    EXPECT_NE(info.find("Pages:           4"), std::string::npos) << info;
    const struct {
        const char* size;
        const char* text;
        const char* font;
    } pages[] = {{"595 x 842", "Alpha sheet one", "Helvetica"},
                 {"595 x 842", "Alpha sheet two", "Helvetica"},
                 {"842 x 595", "Bravo landscape", "Courier"},
                 {"612 x 792", "Charlie letter", "Times-Roman"}};
    for (int k = 1; k <= 4; ++k) {
        const auto& page = pages[k - 1];
        SCOPED_TRACE(page.text);
        const std::regex size("Page +" + std::to_string(k) + " size: +" + page.size + " pts");
        EXPECT_TRUE(std::regex_search(info, size)) << info;
        const std::string range = " -f " + std::to_string(k) + " -l " + std::to_string(k);
        // Each page alone holds its text: none comes from another part.
        const std::string text = poppler("pdftotext" + range, path, " -");
        EXPECT_EQ(text, std::string(page.text) + "\n\n\f") << text;
        // Every part names its font /F1: each page keeps its own.
        std::string fonts = poppler("pdffonts" + range, path);
        fonts = fonts.substr(std::min(fonts.find('\n', fonts.find("---")), fonts.size()));
        EXPECT_NE(fonts.find(std::string("\n") + page.font + " "), std::string::npos) << fonts;
        EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2) << "one font:" << fonts;
    }

    // Damaged parts: nothing comes out, and the message says which part and that it is damaged.
    // The first page's text, read only as the joined document is written.
    std::string middle = parts[0];
    const std::size_t object = middle.find("\n5 0 obj\n");
    ASSERT_NE(object, std::string::npos);
    middle.replace(object, 8, "\n5 0 jbo");
    const std::string noPages = TestPDF().bytes();
    const struct {
        const char* what;
        std::vector<std::string> parts;
        const char* named;
    } damaged[] = {
        {"a part cut short",
         {parts[0], parts[1].substr(0, parts[1].size() * 6 / 10), parts[2]},
         "part 2 of 3"},
        {"an object in the middle overwritten", {parts[1], middle}, "part 2 of 2"},
        {"a part that is no PDF", {parts[0], parts[1], "%PDF-1.7\nnot a document"}, "part 3 of 3"},
        {"an empty part", {"", parts[0]}, "part 1 of 2"},
        {"a part without pages", {parts[0], noPages}, "part 2 of 2"},
        {"no part at all", {}, "there is none"},
    };
    for (const auto& c : damaged) {
        SCOPED_TRACE(c.what);
        error.clear();
        EXPECT_FALSE(joinPdfs(views(c.parts), &error));
        EXPECT_TRUE(error.starts_with("Could not join the PDF's parts: ")) << error;
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_LT(error.size(), 300u) << error;
    }
    // Without a place for the message, the same.
    EXPECT_FALSE(joinPdfs({parts[0], "junk"}));
}

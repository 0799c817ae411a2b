// Joining the parts a printer hands over, read back with poppler: every page with its own paper,
// font and text; a damaged part fails the whole with a message that names it.
#include "base/PdfJoin.h"

#include "support/TempDir.h"
#include "support/TestPDF.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace rig;
using rig::test::TestPDF;

namespace {

// What a poppler tool prints for the file.
std::string poppler(const std::string& command, const std::string& path, const char* after = "") {
    std::string out;
    if (FILE* pipe = popen((command + " '" + path + "'" + after + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

test::Content sheet(const std::string& text) {
    return test::Content().bt().font(14).td(40, 60).tj(text).et();
}

} // namespace

TEST(PdfJoin, PartsWithTheirOwnFontsAndPaperAndADamagedPartFailsTheWhole) {
    // Every part names its font /F1; one has its streams compressed.
    const std::vector<std::string> parts = {
        TestPDF().addPage(sheet("Alpha sheet one")).addPage(sheet("Alpha sheet two")).bytes(),
        TestPDF().paper(842, 595, "Courier").compress(true).addPage(sheet("Bravo landscape")).bytes(),
        TestPDF().paper(612, 792, "Times-Roman").addPage(sheet("Charlie letter")).bytes()};
    const std::optional<std::string> joined = joinPdfs({parts.begin(), parts.end()});
    ASSERT_TRUE(joined);
    const test::TempDir dir;
    const std::string path = dir.write("joined.pdf", *joined).string();
    // Each page holds its own text on its own paper. Every part's font comes along: a page that
    // took another part's /F1 would leave its own font out of the file.
    EXPECT_EQ(poppler("pdftotext", path, " -"),
              "Alpha sheet one\n\n\fAlpha sheet two\n\n\fBravo landscape\n\n\fCharlie letter\n\n\f");
    const std::string info = poppler("pdfinfo -f 1 -l 4", path), fonts = poppler("pdffonts", path);
    for (const char* size :
         {"1 size:  595 x 842", "2 size:  595 x 842", "3 size:  842 x 595", "4 size:  612 x 792"})
        EXPECT_NE(info.find(std::string("Page    ") + size + " pts"), std::string::npos) << info;
    for (const char* font : {"\nHelvetica ", "\nCourier ", "\nTimes-Roman "})
        EXPECT_NE(fonts.find(font), std::string::npos) << fonts;

    // Nothing comes out of damaged parts, and the message names the part. An object overwritten
    // in the middle is read only as the joined document is written.
    std::string overwritten = parts[0];
    overwritten.replace(overwritten.find("\n5 0 obj\n"), 8, "\n5 0 jbo");
    const struct {
        std::vector<std::string> parts;
        const char* named;
    } damaged[] = {
        {{parts[0], parts[1].substr(0, parts[1].size() * 6 / 10), parts[2]}, "part 2 of 3 is damaged"},
        {{parts[1], overwritten}, "part 2 of 2 is damaged"},
        {{"", parts[0]}, "part 1 of 2 is damaged"},
        {{parts[0], TestPDF().bytes()}, "part 2 of 2 has no pages"},
        {{}, "there is none"},
    };
    for (const auto& c : damaged) {
        std::string error;
        EXPECT_FALSE(joinPdfs({c.parts.begin(), c.parts.end()}, &error)) << c.named;
        EXPECT_TRUE(error.starts_with("Could not join the PDF's parts: ") &&
                    error.find(c.named) != std::string::npos && error.size() < 300)
            << error;
    }
}

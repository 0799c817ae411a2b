// Printing to A4 PDF files; every file is read back with poppler.
#include "PdfPrinter.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "PageScheme.h"
#include "ProjectStore.h"
#include "Reveal.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

struct RecordingReveal : Reveal {
    QStringList files;
    void reveal(const QString& file) override { files << QFileInfo(file).fileName(); }
};

struct Printing : ::testing::Test {
    TempAppPaths paths;
    FakePrompts prompts;
    ProjectStore store;
    RecordingReveal reveal;
    PdfPrinter printer;
    QTemporaryDir dir;
    int served = servedPageCount();

    QString file(const QString& name) const { return dir.filePath(name); }
    // Starts a job with a callback; the result is set once it has ended.
    std::shared_ptr<std::optional<bool>> start(const QString& body, const QString& name) {
        auto result = std::make_shared<std::optional<bool>>();
        printer.make("<!DOCTYPE html><html><body>" + body + "</body></html>", file(name), false,
                     [result](bool ok) { *result = ok; });
        return result;
    }
    void TearDown() override { EXPECT_TRUE(printer.jobCount() == 0 && servedPageCount() == served); }
};

TEST_F(Printing, BothExportsAtOnceEachWithItsOwnSourcesLinkAndRows) {
    DXFSettings dxf;
    ExportCommands commands{store, dxf, printer, reveal};
    Project p = showProject();
    p.report.sources.mut(1).name = "</script>Main R"; // printed as text in both documents
    p.share =
        ShareInfo{"tok-5f2a9c", "https://crew.example.net/v/tok-5f2a9c", nowSeconds(), {}, {}, std::nullopt};
    QSignalSpy finished(&printer, &PdfPrinter::jobFinished);
    prompts.answerExportSave(file("rig.pdf"));
    commands.exportPDF(p, false);
    prompts.answerExportSave(file("crew.pdf"));
    commands.exportPDF(p, true);
    EXPECT_EQ(printer.jobCount(), 2);
    ASSERT_TRUE(waitFor([&] { return finished.count() == 2; }, 180000));
    EXPECT_EQ(QSet<QString>(reveal.files.begin(), reveal.files.end()),
              QSet<QString>({"rig.pdf", "crew.pdf"}));
    EXPECT_FALSE(store.errorMessage().has_value());

    const PdfFacts rig = readPdf(file("rig.pdf"));
    EXPECT_NEAR(rig.width, 841.92, 0.5);            // landscape A4
    EXPECT_TRUE(rig.text.contains("Sub Ground C")); // hidden from the crew, not from the rigger
    EXPECT_TRUE(rig.text.contains("</script>Main R"));
    EXPECT_TRUE(rig.text.contains("https://crew.example.net/v/tok-5f2a9c"));
    // A plate's hang point with every column of the CSV.
    EXPECT_TRUE(rig.text.contains(QRegularExpression(QString::fromUtf8(
        R"(Out L\s+Rear · K1-DELTA\s+left\s+C7\s+-13\.1\s+3\.48\s+9\.6\s+18\.5\s+8\.9\s+84\.33\s+K1-DELTA.*42\.75\s+127\.08)"))))
        << rig.text.toStdString();

    const PdfFacts sheets = readPdf(file("crew.pdf"));
    EXPECT_NEAR(sheets.width, 594.96, 0.5);                          // portrait A4
    EXPECT_EQ(sheets.pages, int(showCrewDoc(false).sources.size())); // one sheet per source
    EXPECT_TRUE(sheets.text.contains("KARA «centre» 5") && sheets.text.contains("</script>Main R"));
    EXPECT_FALSE(sheets.text.contains("Sub Ground C") || sheets.text.contains("crew.example.net"));

    // A folder that is gone: the window hears of it and nothing is written.
    prompts.answerExportSave(file("gone/x.pdf"));
    commands.exportPDF(p, true);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(store.errorMessage(), "PDF export failed.");
    EXPECT_FALSE(QFileInfo::exists(file("gone/x.pdf")));
    EXPECT_EQ(reveal.files.size(), 2);
}

TEST_F(Printing, LateLargeReplacedAndSlowJobsEachEndOnce) {
    // A page is printed once drawn, or when the readiness checks run out.
    QSignalSpy printing(&printer, &PdfPrinter::printStarted);
    auto late =
        start("<script>\n'use strict';\nsetTimeout(function () { var d = document.createElement('div'); "
              "d.className = 'card'; d.textContent = 'drawn late'; document.body.appendChild(d); }, 500);\n"
              "</script>",
              "late.pdf");
    ASSERT_TRUE(waitFor([&] { return late->has_value(); }));
    EXPECT_TRUE(**late && printing.at(0).at(1).toInt() >= 2);
    EXPECT_TRUE(readPdf(file("late.pdf")).text.contains("drawn late"));
    printer.setTiming({50, 3, 100, 60000, 60000});
    EXPECT_TRUE(QCoro::waitFor(printer.makeAsync("<p>never a card</p>", file("never.pdf"), true)));
    EXPECT_EQ(printing.at(1).at(1).toInt(), 4);
    EXPECT_NEAR(readPdf(file("never.pdf")).width, 841.92, 0.5);
    printer.setTiming({});

    QString filler;
    while (filler.size() < 2'600'000) filler += "<span>padding text </span>";
    auto big = start("<div class=rig>Big page marker</div><div hidden>" + filler + "</div>", "big.pdf");
    auto first = start("<div class=rig>first</div>", "same.pdf");
    auto second = start("<div class=rig>second</div>", "same.pdf");
    EXPECT_EQ(printer.jobCount(), 2); // a later job for the same file replaces the earlier one
    ASSERT_TRUE(
        waitFor([&] { return big->has_value() && first->has_value() && second->has_value(); }, 120000));
    EXPECT_TRUE(**big && !**first && **second);
    EXPECT_TRUE(readPdf(file("big.pdf")).text.contains("Big page marker"));
    const PdfFacts same = readPdf(file("same.pdf"));
    EXPECT_TRUE(same.text.contains("second") && !same.text.contains("first"));

    printer.setTiming({50, 100000, 300, 1500, 60000});
    auto slow = start("<p>no card</p>", "slow.pdf");
    ASSERT_TRUE(waitFor([&] { return slow->has_value(); }, 60000));
    EXPECT_FALSE(**slow);
    EXPECT_FALSE(QFileInfo::exists(file("slow.pdf")));

    // Waiting callers hear the outcome themselves: nothing revealed or reported.
    EXPECT_FALSE(QCoro::waitFor(printer.makeAsync("<div class=card>x</div>", file("no/such/dir.pdf"), true)));
    EXPECT_TRUE(reveal.files.isEmpty());
    EXPECT_FALSE(store.errorMessage().has_value());
}

} // namespace
} // namespace rig::app

// Printing to A4 PDF files, from the export commands down to the printer's jobs; every file is
// read back with poppler (and its QR code with zbar).
#include "export/PdfPrinter.h"
#include "export/DXFSettings.h"
#include "export/ExportCommands.h"
#include "export/PageScheme.h"
#include "export/Reveal.h"
#include "shell/AppPaths.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

const QString crewLink = "https://crew.example.net/v/tok-5f2a9c";

struct RecordingReveal : Reveal {
    QStringList files;
    void reveal(const QString& file) override { files << QFileInfo(file).fileName(); }
};

struct Printing : ::testing::Test {
    TempAppPaths paths;
    FakePrompts prompts;
    ProjectStore store;
    RecordingReveal reveal;
    PdfPrinter printer{store, reveal};
    QTemporaryDir dir;
    int served = servedPageCount();

    QString file(const QString& name) const { return dir.filePath(name); }
    // Starts a job with a callback; the result is set once it has ended.
    std::shared_ptr<std::optional<bool>> start(const QString& body, const QString& name, bool landscape) {
        auto result = std::make_shared<std::optional<bool>>();
        printer.make("<!DOCTYPE html><html><body>" + body + "</body></html>", file(name), landscape,
                     [result](bool ok) { *result = ok; });
        return result;
    }
    void TearDown() override {
        EXPECT_EQ(printer.jobCount(), 0);
        EXPECT_EQ(servedPageCount(), served);
    }
};

bool done(const std::shared_ptr<std::optional<bool>>& r) {
    return r->has_value();
}

void expectA4(const PdfFacts& pdf, bool landscape) {
    EXPECT_TRUE(pdf.readable);
    EXPECT_NEAR(pdf.width, landscape ? 841.92 : 594.96, 0.5);
    EXPECT_NEAR(pdf.height, landscape ? 594.96 : 841.92, 0.5);
}

// The texts zbar reads from the images of a PDF.
QStringList qrCodesIn(const QString& pdf) {
    QTemporaryDir images;
    QProcess extract;
    extract.start("pdfimages", {"-png", pdf, images.filePath("img")});
    if (!extract.waitForFinished(60000) || extract.exitCode() != 0) return {"<pdfimages failed>"};
    QStringList codes;
    for (const QString& png : QDir(images.path()).entryList({"*.png"})) {
        QProcess zbar;
        zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", images.filePath(png)});
        if (zbar.waitForFinished(30000) && zbar.exitCode() == 0)
            codes << QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
    }
    return codes;
}

bool matches(const QString& text, const char* pattern) {
    return QRegularExpression(QString::fromUtf8(pattern)).match(text).hasMatch();
}

TEST_F(Printing, BothExportsAtOnceEachWithItsOwnSourcesLinkAndRows) {
    DXFSettings dxf;
    ExportCommands commands{store, dxf, printer};
    Project p = showProject();
    p.share = ShareInfo{"tok-5f2a9c", toStd(crewLink), nowSeconds(), {}, {}, std::nullopt};
    QSignalSpy finished(&printer, &PdfPrinter::jobFinished);
    prompts.answerExportSave(file("rig.pdf"));
    commands.exportPDF(p, false);
    prompts.answerExportSave(file("crew.pdf"));
    commands.exportPDF(p, true);
    EXPECT_EQ(printer.jobCount(), 2);
    ASSERT_TRUE(waitFor([&] { return finished.count() == 2; }, 180000));
    EXPECT_EQ(prompts.exportSaves().at(1).fileName, "Arena – Show 2026 – crew sheets.pdf");
    EXPECT_EQ(settings().value(lastExportDirectoryKey).toString(), dir.path());
    EXPECT_EQ(QSet<QString>(reveal.files.begin(), reveal.files.end()),
              QSet<QString>({"rig.pdf", "crew.pdf"}));
    EXPECT_FALSE(store.errorMessage().has_value());

    const PdfFacts rig = readPdf(file("rig.pdf"));
    expectA4(rig, true);
    EXPECT_GE(rig.pages, 2);                        // the plan page, then the table
    EXPECT_TRUE(rig.text.contains("Sub Ground C")); // hidden from the crew, not from the rigger
    EXPECT_TRUE(rig.text.contains("Crew link") && rig.text.contains(crewLink));
    EXPECT_EQ(qrCodesIn(file("rig.pdf")), QStringList{crewLink});
    // Point rows with every column of the CSV, a plate's hang point among them.
    EXPECT_TRUE(matches(rig.text, R"(Main / Left\s+Main L\s+Front\s+A3\s+-7\.52\s+0\.75\s+11\.3\s+19\.25\s+)"
                                  R"(7\.95\s+365\s+D8\+ 1000 kg\s+58\s+423)"))
        << rig.text.toStdString();
    EXPECT_TRUE(matches(rig.text,
                        R"(Outfill\s+Out L\s+Rear · K1-DELTA\s+left\s+C7\s+-13\.1\s+3\.48\s+9\.6\s+)"
                        R"(18\.5\s+8\.9\s+84\.33\s+K1-DELTA\s+D8\+ 500 kg \+ ½\s+plate\s+42\.75\s+127\.08)"));

    const PdfFacts sheets = readPdf(file("crew.pdf"));
    expectA4(sheets, false);
    EXPECT_EQ(sheets.pages, int(showCrewDoc(false).sources.size())); // one sheet per source, none split
    EXPECT_TRUE(sheets.text.contains("Arena – Show 2026") && sheets.text.contains("KARA «centre» 5"));
    EXPECT_TRUE(matches(sheets.text, R"(Front\s+A3\s+-7\.52\s+0\.75\s+11\.3\s+365\s+D8\+ 1000 kg)"));
    EXPECT_FALSE(sheets.text.contains("Sub Ground C") || sheets.text.contains("crew.example.net"));
    EXPECT_TRUE(qrCodesIn(file("crew.pdf")).isEmpty());

    // A folder that is gone: the window hears of it, nothing is written, the folder is remembered.
    prompts.answerExportSave(file("gone/x.pdf"));
    commands.exportPDF(p, true);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(store.errorMessage(), "PDF export failed.");
    EXPECT_FALSE(QFileInfo::exists(file("gone/x.pdf")));
    EXPECT_EQ(settings().value(lastExportDirectoryKey).toString(), file("gone"));
    EXPECT_EQ(reveal.files.size(), 2);
}

TEST_F(Printing, APageIsPrintedOnceDrawnOrWhenTheChecksRunOut) {
    QSignalSpy loaded(&printer, &PdfPrinter::pageLoaded);
    QSignalSpy printing(&printer, &PdfPrinter::printStarted);
    QElapsedTimer clock;
    qint64 loadedAt = -1, printedAt = -1;
    QObject::connect(&printer, &PdfPrinter::pageLoaded, [&] { loadedAt = clock.elapsed(); });
    QObject::connect(&printer, &PdfPrinter::printStarted, [&] { printedAt = clock.elapsed(); });
    clock.start();
    auto r = start("<div class=rig>ready at once</div>", "ready.pdf", false);
    ASSERT_TRUE(waitFor([&] { return done(r); }));
    ASSERT_TRUE(**r);
    ASSERT_EQ(printing.count(), 1);
    EXPECT_EQ(printing.at(0).at(1).toInt(), 1);
    EXPECT_GE(printedAt - loadedAt, 300); // a short wait after the one check
    EXPECT_TRUE(readPdf(file("ready.pdf")).text.contains("ready at once"));

    auto l =
        start("<script>\n'use strict';\nsetTimeout(function () { var d = document.createElement('div'); "
              "d.className = 'card'; d.textContent = 'drawn late'; document.body.appendChild(d); }, 500);\n"
              "</script>",
              "late.pdf", false);
    ASSERT_TRUE(waitFor([&] { return done(l); }));
    EXPECT_TRUE(**l);
    EXPECT_GE(printing.at(1).at(1).toInt(), 2);
    EXPECT_TRUE(readPdf(file("late.pdf")).text.contains("drawn late"));

    printer.setTiming({50, 3, 100, 60000, 60000});
    const QString never = "<!DOCTYPE html><html><body><p>never a card</p></body></html>";
    EXPECT_TRUE(QCoro::waitFor(printer.makeAsync(never, file("never.pdf"), true)));
    EXPECT_EQ(printing.at(2).at(1).toInt(), 4);
    const PdfFacts pdf = readPdf(file("never.pdf"));
    expectA4(pdf, true);
    EXPECT_TRUE(pdf.text.contains("never a card"));
    EXPECT_EQ(loaded.count(), 3);
}

TEST_F(Printing, LargeReplacedStoppedAndSlowJobsEachEndOnce) {
    QString filler;
    while (filler.size() < 2'600'000) filler += "<span>padding text </span>";
    auto big =
        start("<div class=rig>Big page marker</div><div hidden>" + filler + "</div>", "big.pdf", false);
    auto first = start("<div class=rig>first</div>", "same.pdf", false);
    auto second = start("<div class=rig>second</div>", "same.pdf", false);
    EXPECT_EQ(printer.jobCount(), 2); // a later job for the same file replaces the earlier one
    ASSERT_TRUE(waitFor([&] { return done(big) && done(first) && done(second); }, 120000));
    EXPECT_TRUE(**big);
    EXPECT_TRUE(readPdf(file("big.pdf")).text.contains("Big page marker"));
    EXPECT_FALSE(**first);
    EXPECT_TRUE(**second);
    const PdfFacts same = readPdf(file("same.pdf"));
    EXPECT_TRUE(same.text.contains("second") && !same.text.contains("first"));

    auto stopped = start("<script>\n'use strict';\nwindow.stop();\n</script><div class=rig>x</div>",
                         "stopped.pdf", false);
    printer.setTiming({50, 100000, 300, 1500, 60000});
    auto slow = start("<p>no card</p>", "slow.pdf", false);
    ASSERT_TRUE(waitFor([&] { return done(stopped) && done(slow); }, 60000));
    EXPECT_FALSE(**slow);
    EXPECT_FALSE(QFileInfo::exists(file("slow.pdf")));
    EXPECT_TRUE(!**stopped || readPdf(file("stopped.pdf")).readable); // up to WebEngine; it ends either way

    // Waiting callers hear the outcome themselves: nothing revealed or reported.
    EXPECT_FALSE(QCoro::waitFor(printer.makeAsync("<div class=card>x</div>", file("no/such/dir.pdf"), true)));
    EXPECT_TRUE(reveal.files.isEmpty());
    EXPECT_FALSE(store.errorMessage().has_value());
}

} // namespace
} // namespace rig::app

// Printing pages to A4 PDF files, every file read back with poppler.
#include "export/PdfPrinter.h"
#include "export/CrewPage.h"
#include "export/PageScheme.h"
#include "export/QRCode.h"
#include "export/Reveal.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/CrewTesting.h"

#include <QElapsedTimer>
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
    void reveal(const QString& file) override { files << file; }
};

struct Printing : ::testing::Test {
    ProjectStore store;
    RecordingReveal reveal;
    PdfPrinter printer{store, reveal};
    QTemporaryDir dir;
    int served = servedPageCount();

    QString file(const QString& name) const { return dir.filePath(name); }

    // Starts a job with a callback; the flag pair tells when and how it ended.
    std::shared_ptr<std::optional<bool>> start(const QString& html, const QString& target, bool landscape) {
        auto result = std::make_shared<std::optional<bool>>();
        printer.make(html, target, landscape, [result](bool ok) { *result = ok; });
        return result;
    }
    static bool finished(const std::shared_ptr<std::optional<bool>>& r) { return r->has_value(); }

    void TearDown() override {
        EXPECT_EQ(printer.jobCount(), 0);
        EXPECT_EQ(servedPageCount(), served);
    }
};

QString page(const QString& body) {
    return "<!DOCTYPE html><html><body>" + body + "</body></html>";
}

void expectA4(const PdfFacts& pdf, bool landscape) {
    EXPECT_TRUE(pdf.readable);
    EXPECT_NEAR(pdf.width, landscape ? 841.92 : 594.96, 0.5);
    EXPECT_NEAR(pdf.height, landscape ? 594.96 : 841.92, 0.5);
}

TEST_F(Printing, BothCrewPdfsAtOnceEachWithItsOwnPagesAndText) {
    CrewDoc rigging = showCrewDoc(true);
    rigging.link = "https://crew.example.net/v/tok-5f2a9c";
    rigging.qr = toStd(*makeQRDataUrl(toQ(*rigging.link)));
    const CrewDoc crew = showCrewDoc(false);

    auto a = start(crewPage(rigging, PageMode::rigger, false), file("rigging points.pdf"), true);
    auto b = start(crewPage(crew, PageMode::printCrew, false), file("crew sheets.pdf"), false);
    EXPECT_EQ(printer.jobCount(), 2);
    ASSERT_TRUE(waitFor([&] { return finished(a) && finished(b); }, 120000));
    EXPECT_TRUE(**a);
    EXPECT_TRUE(**b);

    const PdfFacts rig = readPdf(file("rigging points.pdf"));
    expectA4(rig, true);
    EXPECT_GE(rig.pages, 2); // the plan page, then the table
    const PdfFacts sheets = readPdf(file("crew sheets.pdf"));
    expectA4(sheets, false);
    EXPECT_EQ(sheets.pages, int(crew.sources.size())); // one sheet per source, none split

    for (const PdfFacts* pdf : {&rig, &sheets}) {
        EXPECT_TRUE(pdf->text.contains(QString::fromUtf8("Arena – Show 2026")));
        EXPECT_TRUE(pdf->text.contains(QString::fromUtf8("KARA «centre» 5")));
    }
    for (const CrewDoc::Src& s : rigging.sources) EXPECT_TRUE(rig.text.contains(toQ(s.name))) << s.name;
    for (const CrewDoc::Src& s : crew.sources) EXPECT_TRUE(sheets.text.contains(toQ(s.name))) << s.name;
    // A point row of each: the rigger's has every column of the CSV.
    EXPECT_TRUE(
        QRegularExpression(
            R"(Main / Left\s+Main L\s+Front\s+A3\s+-7\.52\s+0\.75\s+11\.3\s+19\.25\s+7\.95\s+365\s+D8\+ 1000 kg\s+58\s+423)")
            .match(rig.text)
            .hasMatch())
        << rig.text.toStdString();
    EXPECT_TRUE(
        QRegularExpression(
            R"(Outfill\s+Out L\s+Rear · K1-DELTA\s+left\s+C7\s+-13\.1\s+3\.48\s+9\.6\s+18\.5\s+8\.9\s+84\.33\s+K1-DELTA\s+D8\+ 500 kg \+ ½\s+plate\s+42\.75\s+127\.08)")
            .match(rig.text)
            .hasMatch());
    EXPECT_TRUE(rig.text.contains("https://crew.example.net/v/tok-5f2a9c"));
    EXPECT_TRUE(QRegularExpression(R"(Front\s+A3\s+-7\.52\s+0\.75\s+11\.3\s+365\s+D8\+ 1000 kg)")
                    .match(sheets.text)
                    .hasMatch());
    EXPECT_FALSE(sheets.text.contains("crew.example.net"));
    EXPECT_FALSE(sheets.text.contains("Sub Ground C"));
    // Nothing revealed or reported for waiting callers.
    EXPECT_TRUE(reveal.files.isEmpty());
    EXPECT_FALSE(store.errorMessage().has_value());
}

TEST_F(Printing, ADrawnPageIsPrintedAfterOneCheckAndAShortWait) {
    QSignalSpy loaded(&printer, &PdfPrinter::pageLoaded);
    QSignalSpy printing(&printer, &PdfPrinter::printStarted);
    QElapsedTimer clock;
    qint64 loadedAt = -1, printedAt = -1;
    QObject::connect(&printer, &PdfPrinter::pageLoaded, [&] { loadedAt = clock.elapsed(); });
    QObject::connect(&printer, &PdfPrinter::printStarted, [&] { printedAt = clock.elapsed(); });
    clock.start();
    auto r = start(page("<div class=rig>ready at once</div>"), file("ready.pdf"), false);
    ASSERT_TRUE(waitFor([&] { return finished(r); }));
    EXPECT_TRUE(**r);
    ASSERT_EQ(printing.count(), 1);
    EXPECT_EQ(printing.at(0).at(1).toInt(), 1);
    EXPECT_GE(printedAt - loadedAt, 300);
    EXPECT_LT(printedAt - loadedAt, 2000);
    EXPECT_TRUE(readPdf(file("ready.pdf")).text.contains("ready at once"));

    // A page that draws late is checked again until it has; one that never does is printed
    // once the checks run out.
    const QString late =
        page("<script>\n'use strict';\nsetTimeout(function () { var d = "
             "document.createElement('div'); d.className = 'card'; d.textContent = 'drawn late'; "
             "document.body.appendChild(d); }, 500);\n</script>");
    auto l = start(late, file("late.pdf"), false);
    ASSERT_TRUE(waitFor([&] { return finished(l); }));
    EXPECT_TRUE(**l);
    EXPECT_GE(printing.at(1).at(1).toInt(), 2);
    EXPECT_LE(printing.at(1).at(1).toInt(), 26);
    EXPECT_TRUE(readPdf(file("late.pdf")).text.contains("drawn late"));

    printer.setTiming({50, 3, 100, 60000, 60000});
    auto n = start(page("<p>never a card</p>"), file("never.pdf"), true);
    ASSERT_TRUE(waitFor([&] { return finished(n); }));
    EXPECT_TRUE(**n);
    EXPECT_EQ(printing.at(2).at(1).toInt(), 4);
    const PdfFacts never = readPdf(file("never.pdf"));
    expectA4(never, true);
    EXPECT_TRUE(never.text.contains("never a card"));
}

TEST_F(Printing, FireAndForgetRevealsTheFileOrReportsTheFailure) {
    QSignalSpy finishedSpy(&printer, &PdfPrinter::jobFinished);
    printer.make(page("<div class=rig>ok</div>"), file("shown.pdf"), false);
    ASSERT_TRUE(finishedSpy.wait(60000));
    EXPECT_EQ(reveal.files, QStringList{QFileInfo(file("shown.pdf")).absoluteFilePath()});
    EXPECT_FALSE(store.errorMessage().has_value());
    EXPECT_EQ(readPdf(file("shown.pdf")).pages, 1);

    // A folder that does not exist: nothing is written, the window hears of it.
    printer.make(page("<div class=rig>lost</div>"), file("missing/folder/x.pdf"), false);
    ASSERT_TRUE(finishedSpy.wait(60000));
    EXPECT_EQ(finishedSpy.last().at(1), QVariant(false));
    EXPECT_EQ(store.errorMessage(), std::optional<QString>("PDF export failed."));
    EXPECT_EQ(reveal.files.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(file("missing/folder/x.pdf")));

    // A waiting caller gets false and reports itself.
    store.setErrorMessage(std::nullopt);
    auto r = start(page("<div class=rig>lost</div>"), file("missing/folder/y.pdf"), false);
    ASSERT_TRUE(waitFor([&] { return finished(r); }));
    EXPECT_FALSE(**r);
    EXPECT_FALSE(store.errorMessage().has_value());
    EXPECT_EQ(reveal.files.size(), 1);
}

TEST_F(Printing, APageOverTwoMegabytesPrints) {
    QString filler;
    filler.reserve(2'600'000);
    while (filler.size() < 2'600'000) filler += "<span>padding text </span>";
    const QString html = page("<div class=rig>Big page marker</div><div hidden>" + filler + "</div>");
    ASSERT_GT(html.toUtf8().size(), 2'500'000);
    auto r = start(html, file("big.pdf"), false);
    ASSERT_TRUE(waitFor([&] { return finished(r); }, 120000));
    EXPECT_TRUE(**r);
    const PdfFacts pdf = readPdf(file("big.pdf"));
    expectA4(pdf, false);
    EXPECT_TRUE(pdf.text.contains("Big page marker"));
}

TEST_F(Printing, JobsThatCannotFinishEndAsFailed) {
    // A page that stops its own load.
    auto stopped = start(page("<script>\n'use strict';\nwindow.stop();\n</script><div class=rig>x</div>"),
                         file("stopped.pdf"), false);
    // A page that never gets ready within the job's time.
    printer.setTiming({50, 100000, 300, 1500, 60000});
    auto slow = start(page("<p>no card</p>"), file("slow.pdf"), false);
    ASSERT_TRUE(waitFor([&] { return finished(stopped) && finished(slow); }, 60000));
    EXPECT_FALSE(**slow);
    EXPECT_FALSE(QFileInfo::exists(file("slow.pdf")));
    // Whether the stopped load counts as finished is up to WebEngine; either way the job ends.
    if (**stopped) {
        EXPECT_TRUE(readPdf(file("stopped.pdf")).readable);
    }
}

TEST_F(Printing, ALaterJobForTheSameFileReplacesTheEarlierOne) {
    auto first = start(page("<div class=rig>first</div>"), file("same.pdf"), false);
    auto second = start(page("<div class=rig>second</div>"), file("same.pdf"), false);
    EXPECT_EQ(printer.jobCount(), 1);
    ASSERT_TRUE(waitFor([&] { return finished(first) && finished(second); }));
    EXPECT_FALSE(**first);
    EXPECT_TRUE(**second);
    const PdfFacts pdf = readPdf(file("same.pdf"));
    EXPECT_TRUE(pdf.text.contains("second"));
    EXPECT_FALSE(pdf.text.contains("first"));
}

TEST_F(Printing, TheAsynchronousFormReturnsTheOutcome) {
    EXPECT_TRUE(
        QCoro::waitFor(printer.makeAsync(page("<div class=card>async</div>"), file("async.pdf"), true)));
    expectA4(readPdf(file("async.pdf")), true);
    EXPECT_FALSE(
        QCoro::waitFor(printer.makeAsync(page("<div class=card>x</div>"), file("no/such/dir.pdf"), true)));
    EXPECT_TRUE(reveal.files.isEmpty());
    EXPECT_FALSE(store.errorMessage().has_value());
}

} // namespace
} // namespace rig::app

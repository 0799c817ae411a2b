// Both crew PDFs of a 300-source show, and the rigging points of one whose sources are scattered
// over the plan: the page build and the print, with the file size, the page count and whether
// every source made it onto paper (read back with poppler).
#include "CrewPage.h"
#include "PageScheme.h"
#include "PdfPrinter.h"
#include "PrintedPages.h"
#include "QRCode.h"
#include "QtText.h"
#include "support/CrewTesting.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace rig;
using namespace rig::app;

namespace {

constexpr int sourceCount = 300;

CrewDoc largeDoc(bool includeHidden, bool withLink) {
    const Project p = fixtures::largeProject(sourceCount);
    TextMap<List<std::string>> changes;
    changes.set(p.report.sources[0].id(), List<std::string>{"Front: load 380 → 402 kg"});
    CrewDoc doc = CrewDoc::build(p, changes, fixtures::testDate(), includeHidden);
    if (withLink) {
        doc.link = p.share->url;
        doc.qr = toStd(makeQRDataUrl(toQ(*doc.link)).value_or(QString()));
    }
    return doc;
}

void printPdf(benchmark::State& state, const CrewDoc& doc, PageMode mode, bool landscape) {
    PdfPrinter printer;
    QTemporaryDir dir;
    // RIG_BENCH_KEEP keeps the PDF, and the page with its paper set for another browser to print.
    if (getenv("RIG_BENCH_KEEP")) dir.setAutoRemove(false), fprintf(stderr, "%s\n", qPrintable(dir.path()));
    const QString target = dir.filePath("out.pdf");
    qint64 loadToPrint = 0, printToFile = 0, loadedAt = 0, printedAt = 0;
    int checks = 0, parts = 0;
    QElapsedTimer clock;
    QObject::connect(&printer, &PdfPrinter::pageLoaded, [&] { loadedAt = clock.elapsed(); });
    QObject::connect(&printer, &PdfPrinter::printStarted, [&](const QString&, int n) {
        printedAt = clock.elapsed();
        checks = n;
    });
    qint64 pageBytes = 0;
    for (auto _ : state) {
        clock.start();
        const QString html = crewPage(doc, mode, false);
        pageBytes = html.toUtf8().size();
        // As the program prints them: the crew sheets in parts, one per core.
        const QStringList pages =
            mode == PageMode::printCrew
                ? crewSheetParts(doc, crewSheetPartCount(doc.sources.size(), QThread::idealThreadCount()))
                : QStringList(html);
        parts = int(pages.size());
        std::optional<bool> result;
        printer.make(pages, target, landscape, [&](bool ok) { result = ok; });
        if (!testing::waitFor([&] { return result.has_value(); }, 300000) || !*result) {
            state.SkipWithError("the PDF was not written");
            return;
        }
        loadToPrint = printedAt - loadedAt;
        printToFile = clock.elapsed() - printedAt;
        if (dir.autoRemove()) continue;
        // The same page for another browser to print, on the same paper.
        QFile page(dir.filePath("page.html"));
        if (page.open(QIODevice::WriteOnly))
            page.write(QString(html)
                           .replace("</head>", "<style>@page { size: A4 " +
                                                   QString(landscape ? "landscape" : "portrait") +
                                                   "; margin: 28pt }</style></head>")
                           .toUtf8());
    }
    // RIG_BENCH_UNCHECKED leaves out reading the PDF back (poppler, about a second): a whole-process
    // timing against another browser's print then times the same work on both sides.
    if (getenv("RIG_BENCH_UNCHECKED")) return;
    const testing::PdfFacts pdf = testing::readPdf(target);
    int missing = 0;
    for (const CrewDoc::Src& s : doc.sources) missing += pdf.text.contains(toQ(s.name)) ? 0 : 1;
    if (!pdf.readable || missing > 0) {
        state.SkipWithError("poppler does not find every source in the PDF");
        return;
    }
    state.counters["file_kB"] = double(QFileInfo(target).size()) / 1024;
    state.counters["page_kB"] = double(pageBytes) / 1024;
    state.counters["pages"] = pdf.pages;
    state.counters["sources_found"] = double(doc.sources.size() - std::size_t(missing));
    state.counters["ready_checks"] = checks;
    state.counters["parts"] = parts;
    state.counters["load_to_print_ms"] = double(loadToPrint);
    state.counters["print_ms"] = double(printToFile);
    state.counters["a4"] = (mode == PageMode::rigger ? pdf.width > pdf.height : pdf.width < pdf.height) &&
                                   std::abs(std::max(pdf.width, pdf.height) - 841.92) < 1
                               ? 1
                               : 0;
}

void BM_RiggingPointsPdf(benchmark::State& state) {
    printPdf(state, largeDoc(true, true), PageMode::rigger, true);
}
void BM_CrewSheetsPdf(benchmark::State& state) {
    printPdf(state, largeDoc(false, false), PageMode::printCrew, false);
}
// The rigging points of a report generator's 300 sources scattered over the plan: too crowded for
// one drawing, its plan is printed in parts.
void BM_RiggingPointsPdfScattered(benchmark::State& state) {
    const Project p = testing::generatedShow(sourceCount, 1);
    printPdf(state, CrewDoc::build(p, {}, fixtures::testDate(), true), PageMode::rigger, true);
}
// The program quits ("Quit Now") while the crew sheets of a large show print: how long the
// printer holds the quit (drop_ms: it lets go at once, the program ends without the prints),
// and how long waiting for the prints to answer would hold it (wait_ms, the end before).
void BM_QuitWhileCrewSheetsPrint(benchmark::State& state) {
    const Project p = fixtures::largeProject(int(state.range(0)));
    const QStringList pages = exportPdfPages(p, true, fixtures::testDate());
    QTemporaryDir dir;
    qint64 dropMs = 0, waitMs = 0;
    for (auto _ : state) {
        PdfPrinter printer;
        int printing = 0;
        QObject::connect(&printer, &PdfPrinter::printStarted, [&] { ++printing; });
        printer.make(pages, dir.filePath("crew.pdf"), false, [](bool) {});
        if (!testing::waitFor([&] { return printing > 0; }, 300000)) {
            state.SkipWithError("the print did not start");
            return;
        }
        // Well into the print, as a user quits some time after choosing the export.
        testing::waitFor([] { return false; }, 500);
        if (!printer.printsUnderWay()) {
            state.SkipWithError("the print ended before the quit");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        printer.dropAll();
        dropMs = clock.elapsed();
        clock.restart();
        printer.cancelAll();
        waitMs = clock.elapsed();
    }
    state.counters["parts"] = double(pages.size());
    state.counters["drop_ms"] = double(dropMs);
    state.counters["wait_ms"] = double(waitMs);
}

void BM_CrewPageBuild(benchmark::State& state) {
    const CrewDoc doc = largeDoc(true, true);
    for (auto _ : state) benchmark::DoNotOptimize(crewPage(doc, PageMode::rigger, false));
}

} // namespace

BENCHMARK(BM_RiggingPointsPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CrewSheetsPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_RiggingPointsPdfScattered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_QuitWhileCrewSheetsPrint)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_CrewPageBuild)->Unit(benchmark::kMillisecond);

// Printing to A4 PDF files; every file is read back with poppler.
#include "PdfPrinter.h"
#include "CrewPage.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "PageScheme.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "Reveal.h"
#include "base/Number.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <QCoroTask>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <set>
#include <system_error>

namespace rig::app {
namespace {

using namespace testing;

// The text as poppler reads it, without the directional controls it passes on.
QString readable(const PdfFacts& pdf) {
    return QString(pdf.text).remove(QRegularExpression(QString::fromUtf8("[\u202A-\u202E\u2066-\u2069]")));
}

struct RecordingReveal : Reveal {
    QStringList files;
    void reveal(const QString& file) override { files << QFileInfo(file).fileName(); }
};

struct Printing : ::testing::Test {
    TempAppPaths paths;
    FakePrompts prompts;
    testing::HeldStore store;
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
    void SetUp() override { printer.setTiming(patientPrinting); }
    void TearDown() override { EXPECT_TRUE(printer.jobCount() == 0 && servedPageCount() == served); }
};

TEST_F(Printing, BothExportsAtOnceEachWithItsOwnSourcesLinkAndRows) {
    DXFSettings dxf;
    ExportCommands commands{store, dxf, printer, reveal};
    Project p = showProject();
    p.report.sources.mut(1).name = "</script>Main R"; // printed as text in both documents
    // Names that would reverse what follows them on the line, were they not isolated: an
    // override left open, and one behind a stray isolate end of its own.
    p.delta.name = "PLATE\u202E";
    Source& outfill = p.report.sources.mut(4);
    const std::string before = outfill.id();
    outfill.groups.mut(1) = "Outfill L\u2069\u202E";
    outfill.configuration = "flown left\u202E";
    p.extras.set(outfill.id(), *p.extras.get(before));
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
    // A plate's hang point with every column of the CSV, what follows each name in its order.
    EXPECT_TRUE(readable(rig).contains(QRegularExpression(QString::fromUtf8(
        R"(Out L\s+Rear · PLATE\s*left\s+C7\s+-13\.1\s+3\.48\s+9\.6\s+18\.5\s+8\.9\s+84\.33\s+PLATE.*42\.75\s+127\.08)"))))
        << rig.text.toStdString();
    EXPECT_TRUE(readable(rig).contains(QRegularExpression(R"(PLATE\s*\(see L/R\))")));

    const PdfFacts sheets = readPdf(file("crew.pdf"));
    EXPECT_NEAR(sheets.width, 594.96, 0.5);                          // portrait A4
    EXPECT_EQ(sheets.pages, int(showCrewDoc(false).sources.size())); // one sheet per source
    EXPECT_TRUE(sheets.text.contains("KARA «centre» 5") && sheets.text.contains("</script>Main R"));
    EXPECT_TRUE(
        readable(sheets).contains(QRegularExpression(QString::fromUtf8(R"(Outfill L\s*·\s*Updated 20)"))) &&
        readable(sheets).contains(
            QRegularExpression(QString::fromUtf8(R"(flown left\s*·\s*K2-BUMP · 3 motors)"))))
        << sheets.text.toStdString();
    EXPECT_FALSE(sheets.text.contains("Sub Ground C") || sheets.text.contains("crew.example.net"));

    // A folder that is gone: the window hears of it and nothing is written.
    prompts.answerExportSave(file("gone/x.pdf"));
    commands.exportPDF(p, true);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(store.errorMessage(), "Could not save x.pdf: " + toQ(std::generic_category().message(ENOENT)));
    EXPECT_FALSE(QFileInfo::exists(file("gone/x.pdf")));
    EXPECT_EQ(reveal.files.size(), 2);
    // The next panel opens where a PDF was written, not in the folder that took none.
    prompts.answerExportSave(std::nullopt);
    commands.exportPDF(p, false);
    EXPECT_EQ(prompts.exportSaves().back().directory, dir.path());
}

TEST_F(Printing, RiggingPointsListEveryWarningAndKeepNamesOffTheNumbers) {
    const QString longName = QStringLiteral("MainRightHangOverTheStageEdgeWithAnUnbrokenNameOfSixtyLetter");
    const QString link =
        QStringLiteral("https://crew.quorvane.example/rigging/shows/c/Xq3Vb8Nw2Lk5Tz9Rm4Hs7Q");
    ASSERT_EQ(longName.size(), 60);
    auto warning = [](int k) {
        return QStringLiteral("Check the chain bag of hoist %1.").arg(k, 2, 10, QChar('0'));
    };
    for (int count : {1, 20, 21}) {
        Project p = showProject();
        for (std::size_t i = 0; i < p.report.sources.size(); ++i) p.report.sources.mut(i).warnings = {};
        p.report.sources.mut(6).pickups.mut(1).load = 12.5; // no error of the crew document's own
        for (int k = 1; k <= count; ++k)
            p.report.sources.mut(std::size_t(k % 5))
                .warnings.push_back(ReportWarning{ReportWarning::Level::warning, toStd(warning(k))});
        p.report.sources.mut(1).name = toStd(longName);
        // Numbers far beyond any rig in its first row: short, each in its own column.
        Pickup& far = p.report.sources.mut(1).pickups.mut(0);
        far.position = XYZ(1.7e308, -1e20, far.position.z);
        far.load = 1.7e308;
        p.share = ShareInfo{"tok", toStd(link), nowSeconds(), {}, {}, std::nullopt};
        const QString target = file(QStringLiteral("rig-%1.pdf").arg(count));
        ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(exportPdfPage(p, false, nowSeconds()), target, true)));

        const PdfFacts pdf = readPdf(target);
        EXPECT_TRUE(pdf.text.contains(QStringLiteral("%1 warning").arg(count)) &&
                    pdf.text.contains("Warnings"))
            << count;
        for (int k = 1; k <= count; ++k) EXPECT_TRUE(pdf.text.contains(warning(k))) << count << " " << k;
        const std::vector<PdfWord> words = readPdfWords(target);
        std::set<int> written;
        for (const PdfWord& w : words) written.insert(w.page);
        EXPECT_EQ(int(written.size()), pdf.pages) << count; // no empty page
        if (count != 21) continue;

        // The table pages: no word over another; the long-named source's first row keeps its X,
        // Y, hook Z and load, in that order on one line, the far ones too.
        for (std::size_t i = 0; i < words.size(); ++i) {
            for (std::size_t j = i + 1; j < words.size() && words[i].page > 1; ++j) {
                const PdfWord &a = words[i], &b = words[j];
                EXPECT_FALSE(a.page == b.page && a.x0 < b.x1 - 0.5 && b.x0 < a.x1 - 0.5 &&
                             a.y0 < b.y1 - 0.5 && b.y0 < a.y1 - 0.5)
                    << a.text.toStdString() << " over " << b.text.toStdString();
            }
        }
        const CrewDoc doc = exportCrewDoc(p, false, nowSeconds());
        const CrewDoc::Point& first = doc.sources[1].points[0];
        const double values[] = {(*first.xyz)[0], (*first.xyz)[1], (*first.xyz)[2], *first.load};
        const auto row = std::find_if(words.begin(), words.end(), [&](const PdfWord& w) {
            return w.page > 1 && longName.startsWith(w.text) && w.text.size() > 8;
        });
        ASSERT_NE(row, words.end());
        double x = row->x1;
        for (double v : values) {
            // A far one may break before its exponent.
            const QString text = toQ(fmt(v)), shown = isFarNumber(v) ? text.left(text.indexOf('e')) : text;
            const auto cell = std::find_if(words.begin(), words.end(), [&](const PdfWord& w) {
                return w.page == row->page && std::abs(w.y0 - row->y0) < 1 && w.x0 > x &&
                       (w.text == text || w.text == shown);
            });
            ASSERT_NE(cell, words.end()) << fmt(v);
            x = cell->x1;
        }

        // The warnings' list: the long name wraps inside its column and leaves the warnings most
        // of the width, on every page the list takes.
        const auto level =
            std::find_if(words.begin(), words.end(), [](const PdfWord& w) { return w.text == "Level"; });
        ASSERT_NE(level, words.end());
        EXPECT_LT(level->x0, 0.3 * pdf.width);
        int nameLines = 0;
        for (const PdfWord& w : words) {
            if (w.page < level->page || (w.page == level->page && w.y0 < level->y0) || w.text.size() < 4 ||
                !longName.contains(w.text))
                continue;
            ++nameLines;
            EXPECT_LT(w.x1, level->x0) << w.text.toStdString();
        }
        EXPECT_GE(nameLines, 10); // five warnings of that source, each name on two lines at least

        // The crew link beside its QR code breaks only after a "/".
        auto word = [&](const QString& text) {
            return *std::find_if(words.begin(), words.end(),
                                 [&](const PdfWord& w) { return w.text == text; });
        };
        const PdfWord label = word("Crew"), plan = word("Plan"); // the next heading
        QStringList pieces;
        for (const PdfWord& w : words)
            if (w.page == 1 && w.x0 > label.x0 - 1 && w.y0 > label.y0 + 1 && w.y0 < plan.y0) pieces << w.text;
        EXPECT_EQ(pieces.join(""), link);
        for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
            EXPECT_TRUE(pieces[i].endsWith('/')) << pieces.join(" | ").toStdString();
    }
}

// A crew link with a long token is printed whole beside its QR code, broken inside the token
// where it must; the pages keep their full scale (content wider than the page would make the
// printer shrink all of it).
TEST_F(Printing, ALongCrewLinkIsPrintedWholeAtFullScale) {
    struct Printed {
        QString link;
        std::vector<PdfWord> words;
        PdfFacts facts;
    };
    auto print = [&](qsizetype tokenLength) {
        QString token;
        for (qsizetype i = 0; i < tokenLength; ++i) token += QChar("Xq3Vb8Nw2Lk5Tz9Rm4Hs7Q"[i % 22]);
        Project p = showProject();
        const QString link = "https://crew.quorvane.example/rigging/shows/c/" + token;
        p.share = ShareInfo{toStd(token), toStd(link), nowSeconds(), {}, {}, std::nullopt};
        const QString target = file(QStringLiteral("rig-%1.pdf").arg(tokenLength));
        EXPECT_TRUE(QCoro::waitFor(printer.makeAsync(exportPdfPage(p, false, nowSeconds()), target, true)));
        return Printed{link, readPdfWords(target), readPdf(target)};
    };
    auto word = [](const Printed& pdf, const QString& text) {
        const auto at = std::find_if(pdf.words.begin(), pdf.words.end(),
                                     [&](const PdfWord& w) { return w.text == text; });
        return at == pdf.words.end() ? PdfWord{} : *at;
    };
    const Printed shortLink = print(22);
    for (const qsizetype length : {90, 200}) {
        SCOPED_TRACE(length);
        const Printed pdf = print(length);
        EXPECT_NEAR(pdf.facts.width, 841.92, 0.5); // landscape A4
        EXPECT_NEAR(pdf.facts.height, 594.96, 0.5);
        // Below "Crew link", beside the QR code, up to the plan's heading.
        const PdfWord label = word(pdf, "Crew"), plan = word(pdf, "Plan");
        ASSERT_EQ(label.page, 1);
        QString shown;
        for (const PdfWord& w : pdf.words) {
            if (w.page == 1 && w.x0 > label.x0 - 1 && w.y0 > label.y0 + 1 &&
                (plan.page > 1 || w.y0 < plan.y0))
                shown += w.text;
        }
        EXPECT_EQ(shown, pdf.link);
        // Full scale: the page's texts have the size and place they have beside a short link,
        // and the table spans the page between its margins.
        for (const char* text : {"RIGGING", "Group", "Total"}) {
            const PdfWord a = word(pdf, text), b = word(shortLink, text);
            EXPECT_NEAR(a.y1 - a.y0, b.y1 - b.y0, 0.05) << text;
            EXPECT_NEAR(a.x0, b.x0, 0.05) << text;
        }
        EXPECT_NEAR(word(pdf, "Group").x0, 28 + 3, 2);
        double right = 0, tableRight = 0;
        for (const PdfWord& w : pdf.words) {
            right = std::max(right, w.x1);
            if (w.page == word(pdf, "Total").page) tableRight = std::max(tableRight, w.x1);
        }
        EXPECT_NEAR(tableRight, pdf.facts.width - 28 - 3, 2);
        EXPECT_LE(right, pdf.facts.width - 28 + 0.5); // nothing runs into the margin
    }
}

// A print that gives no bytes writes no file and is no success: each export names its file and
// why, a waiting caller (the downloads' upload) hears false. So do parts that do not join, and a
// disk that fills up.
TEST(PrintingNothing, IsAFailure) {
    struct EmptyPrints : PdfPrinter {
        QByteArray bytes;
        rlim_t diskRoom = RLIM_INFINITY; // while the file is written: a longer file fails to write
        void printPage(QWebEnginePage&, const QPageLayout&,
                       std::function<void(const QByteArray&)> done) override {
            QTimer::singleShot(0, this, [this, done, b = bytes] {
                rlimit was{};
                ::getrlimit(RLIMIT_FSIZE, &was);
                const rlimit full{std::min(diskRoom, was.rlim_max), was.rlim_max};
                ::setrlimit(RLIMIT_FSIZE, &full);
                done(b);
                ::setrlimit(RLIMIT_FSIZE, &was);
            });
        }
    };
    std::signal(SIGXFSZ, SIG_IGN); // a write beyond the room fails instead of ending the process
    TempAppPaths paths;
    FakePrompts prompts;
    testing::HeldStore store;
    RecordingReveal reveal;
    EmptyPrints printer;
    DXFSettings dxf;
    ExportCommands commands{store, dxf, printer, reveal};
    QTemporaryDir dir;
    QSignalSpy finished(&printer, &PdfPrinter::jobFinished);
    prompts.answerExportSave(dir.filePath("crew.pdf"));
    commands.exportPDF(showProject(), true);
    prompts.answerExportSave(dir.filePath("points.pdf"));
    commands.exportPDF(showProject(), false);
    ASSERT_TRUE(waitFor([&] { return finished.size() == 2; }, pageDeadlineMs));
    EXPECT_EQ(finished.at(0).at(1), QVariant(false));
    // Both fail before the window shows either: one message names both, in the order they ended.
    QStringList lines = store.errorMessage().value_or(QString()).split('\n');
    lines.sort();
    EXPECT_EQ(lines, QStringList({"Could not save crew.pdf: The page could not be printed.",
                                  "Could not save points.pdf: The page could not be printed."}));
    EXPECT_TRUE(reveal.files.isEmpty());
    std::optional<bool> written;
    printer.make("<div class=rig>x</div>", dir.filePath("waited.pdf"), true, [&](bool ok) { written = ok; });
    ASSERT_TRUE(waitFor([&] { return written.has_value(); }, pageDeadlineMs));
    EXPECT_FALSE(*written);
    printer.bytes = "%PDF-1.4 no more than that";
    EXPECT_FALSE(
        QCoro::waitFor(printer.makeAsync(QStringList{"<div class=card>1</div>", "<div class=card>2</div>"},
                                         dir.filePath("parts.pdf"), false)));
    QString why;
    printer.make(QStringList{"<div class=card>1</div>", "<div class=card>2</div>"}, dir.filePath("parts.pdf"),
                 false, [&](const QString&, bool, const QString& failure) { why = failure; });
    ASSERT_TRUE(waitFor([&] { return !why.isEmpty(); }, pageDeadlineMs));
    EXPECT_TRUE(why.startsWith("Could not join the PDF's parts: part 1 of 2 is damaged")) << qPrintable(why);
    // A full disk: the system's reason, and no file left cut short.
    printer.diskRoom = 8;
    store.setErrorMessage(std::nullopt);
    prompts.answerExportSave(dir.filePath("full.pdf"));
    commands.exportPDF(showProject(), false);
    ASSERT_TRUE(finished.wait(pageDeadlineMs));
    EXPECT_EQ(store.errorMessage(),
              "Could not save full.pdf: " + toQ(std::generic_category().message(EFBIG)));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

// Qt WebEngine answers a print on the page that asked for it even after that page was deleted,
// into freed memory. A job that ends while its page prints (a later job for the same file, the
// printer ended as the program quits) must keep the page until the answer has come.
TEST_F(Printing, APageThatPrintsOutlivesItsJobUntilThePrintAnswers) {
    struct Watch {
        bool answered = false;
        bool gone = false;
        bool goneFirst = false; // deleted with its print under way
    };
    using Watches = std::vector<std::shared_ptr<Watch>>;
    // Prints for real, watching each page; `onPrint` runs once, with the print under way.
    struct WatchedPrints : PdfPrinter {
        explicit WatchedPrints(Watches& w) : watches(w) { setTiming(patientPrinting); }
        Watches& watches;
        std::function<void()> onPrint;
        void printPage(QWebEnginePage& page, const QPageLayout& layout,
                       std::function<void(const QByteArray&)> done) override {
            auto watch = watches.emplace_back(std::make_shared<Watch>());
            QObject::connect(&page, &QObject::destroyed, [watch] {
                watch->gone = true;
                watch->goneFirst = !watch->answered;
            });
            PdfPrinter::printPage(page, layout, [watch, done](const QByteArray& pdf) {
                watch->answered = true;
                done(pdf);
            });
            if (onPrint) std::exchange(onPrint, nullptr)();
        }
    };
    const auto html = [](const QString& text) { return "<div class=rig>" + text + "</div>"; };

    // The same file exported again while the first export prints.
    Watches replacing;
    WatchedPrints printer(replacing);
    std::optional<bool> first, second;
    printer.onPrint = [&] {
        printer.make(html("second"), file("same.pdf"), true, [&](bool ok) { second = ok; });
    };
    printer.make(html("first"), file("same.pdf"), true, [&](bool ok) { first = ok; });
    ASSERT_TRUE(waitFor([&] { return first && second; }, pageDeadlineMs));
    EXPECT_TRUE(!*first && *second);
    ASSERT_EQ(replacing.size(), 2u);
    ASSERT_TRUE(waitFor([&] { return replacing[0]->gone && replacing[1]->gone; }, pageDeadlineMs));
    for (const auto& watch : replacing) EXPECT_FALSE(watch->goneFirst);
    const PdfFacts same = readPdf(file("same.pdf"));
    EXPECT_TRUE(same.text.contains("second") && !same.text.contains("first"));

    // The printer ends (the program quits) while a page prints: it waits for the answer.
    Watches ending;
    auto quitting = std::make_unique<WatchedPrints>(ending);
    std::optional<bool> cut;
    quitting->onPrint = [&] {
        QMetaObject::invokeMethod(
            qApp, [&] { quitting.reset(); }, Qt::QueuedConnection);
    };
    // A document in parts: the parts already printing are waited for.
    quitting->make(QStringList{html("cut"), html("cut too")}, file("cut.pdf"), true,
                   [&](bool ok) { cut = ok; });
    ASSERT_TRUE(waitFor([&] { return !quitting && cut.has_value(); }, pageDeadlineMs));
    ASSERT_GE(ending.size(), 1u);
    for (const auto& watch : ending) EXPECT_TRUE(watch->answered && watch->gone && !watch->goneFirst);
    EXPECT_FALSE(*cut);
    EXPECT_FALSE(QFileInfo::exists(file("cut.pdf")));

    // "Quit Now" waits for nothing: every job ends at once, and a page whose print is under
    // way is left to its answer, never deleted before (the program ends without it).
    Watches dropped;
    WatchedPrints dropping(dropped);
    std::optional<bool> lost;
    bool atOnce = false;
    dropping.onPrint = [&] {
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                dropping.dropAll();
                atOnce = dropping.printsUnderWay() && dropping.jobCount() == 0;
            },
            Qt::QueuedConnection);
    };
    dropping.make(QStringList{html("lost"), html("lost too")}, file("lost.pdf"), true,
                  [&](bool ok) { lost = ok; });
    ASSERT_TRUE(waitFor(
        [&] { return lost && !dropping.printsUnderWay() && std::ranges::all_of(dropped, &Watch::gone); },
        pageDeadlineMs));
    EXPECT_TRUE(atOnce);
    for (const auto& watch : dropped) EXPECT_TRUE(watch->answered && !watch->goneFirst);
    EXPECT_FALSE(*lost || QFileInfo::exists(file("lost.pdf")));

    // Printing goes on, late answers and all.
    EXPECT_TRUE(QCoro::waitFor(this->printer.makeAsync(html("after"), file("after.pdf"), true)));
    EXPECT_TRUE(readPdf(file("after.pdf")).text.contains("after"));
}

TEST_F(Printing, LateLargeReplacedAndSlowJobsEachEndOnce) {
    // A page is printed once drawn, or when the readiness checks run out. This one draws only
    // after the printer's first look found nothing.
    QSignalSpy printing(&printer, &PdfPrinter::printStarted);
    auto late = start(
        "<script>\n'use strict';\nvar query = document.querySelector.bind(document), asked = false;\n"
        "document.querySelector = function (s) { var found = query(s); if (!found && !asked) "
        "setTimeout(function () { var d = document.createElement('div'); d.className = 'card'; "
        "d.textContent = 'drawn late'; document.body.appendChild(d); }, 0); asked = true; return found; };\n"
        "</script>",
        "late.pdf");
    ASSERT_TRUE(waitFor([&] { return late->has_value(); }));
    EXPECT_TRUE(**late && printing.at(0).at(1).toInt() >= 2);
    EXPECT_TRUE(readPdf(file("late.pdf")).text.contains("drawn late"));
    // A page that never draws fails rather than printing blank: the export hears of a file not
    // written, an upload fails.
    printer.setTiming({50, 3, 100, 60000, 60000});
    std::optional<bool> written;
    printer.make("<p>never a card</p>", file("never.pdf"), true, [&](bool ok) { written = ok; });
    ASSERT_TRUE(waitFor([&] { return written.has_value(); }));
    EXPECT_FALSE(*written);
    // So does a page whose script fails while drawing.
    const QString crashing =
        crewPage(exportCrewDoc(showProject(), false, nowSeconds()), PageMode::rigger, false,
                 crewTemplate().replace("function riggerBodies(doc, sources) {",
                                        "function riggerBodies(doc, sources) { null.x;"));
    EXPECT_FALSE(QCoro::waitFor(printer.makeAsync(crashing, file("crashing.pdf"), true)));
    EXPECT_EQ(printing.size(), 1);
    // So does a document one of whose parts never draws.
    EXPECT_FALSE(QCoro::waitFor(printer.makeAsync(QStringList{"<div class=card>drawn</div>", "<p>never</p>"},
                                                  file("parts.pdf"), false)));
    EXPECT_FALSE(QFileInfo::exists(file("never.pdf")) || QFileInfo::exists(file("crashing.pdf")) ||
                 QFileInfo::exists(file("parts.pdf")));
    printer.setTiming(patientPrinting);

    // Parts printed side by side are joined in their order.
    ASSERT_TRUE(
        QCoro::waitFor(printer.makeAsync(QStringList{"<div class=card>Part one</div>",
                                                     "<div class=card>Part two</div><div class=card "
                                                     "style='break-before: page'>Part two, sheet 2</div>",
                                                     "<div class=card>Part three</div>"},
                                         file("parts.pdf"), false)));
    const PdfFacts parts = readPdf(file("parts.pdf"));
    EXPECT_EQ(parts.pages, 4);
    EXPECT_EQ(QString(parts.text).simplified(), "Part one Part two Part two, sheet 2 Part three");

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

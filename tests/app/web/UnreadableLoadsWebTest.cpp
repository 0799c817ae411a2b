// A load that is not a number on the crew page: the rigging-points PDF, its page and the crew
// view give no total that needs it, as the CSV gives none.
#include "CrewPage.h"
#include "CrewWebView.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "PdfPrinter.h"
#include "PrintedPages.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "RiggingPointsCSV.h"
#include "base/Number.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/ShowProjects.h"
#include "support/StoreTesting.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <cmath>

namespace rig::app {
namespace {

using namespace testing;

// The cells of every row that `selector` matches, as drawn.
std::vector<QStringList> cellsOf(QWebEnginePage& page, const QString& selector) {
    const QString json = runJs(page, QStringLiteral(R"((function () {
      return JSON.stringify([].slice.call(document.querySelectorAll('%1')).map(function (tr) {
        return [].slice.call(tr.cells).map(function (td) { return td.innerText.replace(/\s+/g, ' ').trim(); });
      }));
    })())")
                                         .arg(selector))
                             .toString();
    return jsonRows(json);
}

// The same number to the CSV's one decimal, or both empty.
bool sameWeight(const QString& page, const std::string& csv) {
    if (page.isEmpty() || csv.empty()) return page.isEmpty() && csv.empty();
    const auto a = parseDecimal(toStd(page)), b = parseDecimal(csv);
    return a && b && std::abs(*a - *b) <= 0.0501;
}

TEST(UnreadableLoadsWeb, NoPageGivesATotalTheCsvLeavesEmpty) {
    TempAppPaths paths;
    FakePrompts prompts;
    testing::HeldStore store;
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer;
    printer.setTiming(patientPrinting);
    ExportCommands commands{store, dxf, printer, reveal};
    QTemporaryDir dir;

    // Main L's Front reads "Front motor load: -", its Rear has no load line.
    ASSERT_TRUE(writeText(dir.filePath("show.pdf"), QByteArray::fromStdString(unreadableLoadReport())));
    store.importer().handleURLs({QUrl::fromLocalFile(dir.filePath("show.pdf"))});
    ASSERT_TRUE(waitFor([&] { return !store.importer().importing(); }, 60000));
    Project project = store.project();
    ASSERT_EQ(project.report.sources.size(), 2u);
    project.setExtra("Main/Main L", "Front", PointExtra{std::nullopt, true});
    project.setExtra("Main/Main L", "Rear", PointExtra{fixtures::testMotor("D8", 55), false});
    // A motor whose weight a damaged file lost.
    project.setExtra("Main/Main R", "Front",
                     PointExtra{fixtures::testMotor("Odd", fixtures::notANumber, 2), false});
    project.report.sources.mut(1).pickups.mut(1).load = -HUGE_VAL; // from a damaged file
    store.setProject(project);
    const auto csv = readCsv(riggingPointsCSV(project));
    ASSERT_TRUE(csv && csv->size() == 7u);

    // The rigging-points page: every load, motor weight and total as the CSV has it.
    ShownPage rigger(crewPage(exportCrewDoc(project, false, nowSeconds()), PageMode::rigger, false),
                     QSize(1048, 740));
    ASSERT_TRUE(rigger.waitForDrawn());
    const std::vector<QStringList> rows = cellsOf(rigger.page(), ".rig-table tbody tr");
    ASSERT_EQ(rows.size(), csv->size() - 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& line = (*csv)[i + 1];
        ASSERT_EQ(rows[i].size(), 14);
        for (int c : {9, 12, 13})
            EXPECT_TRUE(sameWeight(rows[i][c], line[std::size_t(c)]))
                << rows[i].join(" | ").toStdString() << "  column " << c << " ≠ " << line[std::size_t(c)];
    }
    for (std::size_t side : {1, 2}) // Main L Front's plate
        EXPECT_EQ(rows[side].mid(9),
                  (QStringList{"", "K1-DELTA", QString::fromUtf8("+ ½ plate"), "4.75", ""}));
    EXPECT_EQ(rows[3].mid(12), (QStringList{"55", "55"})); // an absent load adds 0
    EXPECT_EQ(rows[4].mid(11), (QStringList{"Odd", "", ""}));

    // The same in the printed file, read by poppler: the plate's sides end with the plate weight.
    QSignalSpy finished(&printer, &PdfPrinter::jobFinished);
    prompts.answerExportSave(dir.filePath("rig.pdf"));
    commands.exportPDF(project, false);
    ASSERT_TRUE(finished.wait(180000));
    const QString text =
        readPdf(dir.filePath("rig.pdf")).text.remove(QRegularExpression("[\u202A-\u202E\u2066-\u2069]"));
    for (const char* side : {"left", "right"}) {
        const QRegularExpression row(QStringLiteral("Front · K1-DELTA\\s*%1.*\n").arg(side));
        const QString line = row.match(text).captured(0).simplified();
        EXPECT_TRUE(line.endsWith(QString::fromUtf8("K1-DELTA + ½ plate 4.75"))) << line.toStdString();
    }
    EXPECT_TRUE(text.contains(QRegularExpression("Rear\\s+#17.*D8\\s+55\\s+55\\s*\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Front\\s+#5.*Odd\\s*\n"))) << text.toStdString();
    // Each source's warnings name its points whose load is unreadable, with no number.
    for (const char* source :
         {"Main L Warning Unreadable load on Front", "Main R Warning Unreadable load on Rear"})
        EXPECT_TRUE(text.simplified().contains(source)) << text.toStdString();
    EXPECT_FALSE(text.contains(QRegularExpression("\\b(inf|nan)\\b")));

    // The crew sheets give no half of it either.
    prompts.answerExportSave(dir.filePath("crew.pdf"));
    commands.exportPDF(project, true);
    ASSERT_TRUE(finished.wait(180000));
    const QString sheets = readPdf(dir.filePath("crew.pdf")).text;
    EXPECT_TRUE(sheets.contains("Main L") && !sheets.contains(QString::fromUtf8("½")))
        << sheets.toStdString();

    // The crew view: no load and no half of one beside the plate's sides.
    CrewWebView view(exportCrewDoc(project, true, nowSeconds()), true);
    view.resize(1280, 900);
    view.show();
    ASSERT_TRUE(waitForDrawn(view));
    const std::vector<QStringList> points = cellsOf(*view.page(), "table.pts tr.pt");
    ASSERT_EQ(points.size(), 6u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(points[i][5], "") << points[i].join(" | ").toStdString();
    EXPECT_FALSE(points[4][5].isEmpty());
    EXPECT_TRUE(prompts.allAnswered());
}

} // namespace
} // namespace rig::app

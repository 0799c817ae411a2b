// The rigging-points page of a large show: what it holds and lays out for the screen, and that
// its paper, and that of the crew sheets, is the same as that of a page laid out in full.
#include "CrewPage.h"
#include "PageScheme.h"
#include "PdfPrinter.h"
#include "QtText.h"
#include "support/CrewTesting.h"
#include "support/ProjectFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include <QCoroTask>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rig::app {
namespace {

using namespace testing;

// Names that reorder the text beside them unless isolated: right-to-left letters, a right-to-left
// mark alone, Arabic-Indic digits, an override left open and a stray isolate end.
const std::vector<std::string> moving = {"מערך", "Array\u200F", "Hang ٣", "Fill\u202E", "Rear\u2069"};

CrewDoc largeDoc(int warnings) {
    CrewDoc doc = CrewDoc::build(fixtures::largeProject(40), {}, fixtures::testDate(), true);
    doc.sources[1].name = moving[0];
    doc.sources[2].name = moving[1];
    doc.sources[3].group.back() = moving[2];
    doc.sources[4].points[0].motor = moving[3];
    doc.sources[5].points[1].role = moving[4];
    for (int k = 0; k < warnings; ++k)
        doc.sources[std::size_t(k % 7)].warn.push_back(
            CrewDoc::Warn{"warning", "Check the chain bag of hoist " + std::to_string(k)});
    return doc;
}

QString movingJson() {
    QJsonArray list;
    for (const std::string& m : moving) list.append(toQ(m));
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

// The cells of the rigging table and how the names above stand in them: cells without such a
// name hold one text node at most; each such name stands alone in an isolating element.
const char* const isolatesInTable = R"((function (moving) {
      // A name's override is dropped where it is shown.
      moving = moving.map(function (m) { return m.replace(/\u202e/g, ''); });
      function moves(t) { return moving.some(function (m) { return t.indexOf(m) >= 0; }); }
      var out = { cells: 0, movingCells: 0, plainCells: 0, isolated: 0, found: 0, loose: [] };
      var table = document.querySelector('.rig-table');
      moving.forEach(function (m) { if (table.textContent.indexOf(m) >= 0) out.found++; });
      document.querySelectorAll('.rig-table td').forEach(function (td) {
        out.cells++;
        if (moves(td.textContent)) out.movingCells++;
        else if (!td.children.length && td.childNodes.length <= 1) out.plainCells++;
      });
      for (var w = document.createTreeWalker(table, NodeFilter.SHOW_TEXT), n = w.nextNode(); n; n = w.nextNode()) {
        if (!moves(n.textContent)) continue;
        var p = n.parentElement;
        if (p.childNodes.length === 1 && getComputedStyle(p).unicodeBidi === 'isolate') out.isolated++;
        else out.loose.push(p.outerHTML.slice(0, 80));
      }
      return JSON.stringify(out);
    })()";

TEST(RiggingPointsPage, PlainNamesAreTextAndOnlyNamesThatMoveTextAreIsolated) {
    ShownPage shown(crewPage(largeDoc(0), PageMode::rigger, false), QSize(1048, 740));
    ASSERT_TRUE(shown.waitForDrawn());
    const QJsonObject r =
        QJsonDocument::fromJson(shown.js(isolatesInTable + movingJson() + ")").toString().toUtf8()).object();
    EXPECT_GT(r["cells"].toInt(), 4000);
    EXPECT_EQ(r["plainCells"].toInt(), r["cells"].toInt() - r["movingCells"].toInt())
        << QJsonDocument(r).toJson().toStdString();
    EXPECT_GE(r["isolated"].toInt(), r["movingCells"].toInt());
    EXPECT_EQ(r["found"].toInt(), int(moving.size()));
    EXPECT_TRUE(r["loose"].toArray().isEmpty()) << QJsonDocument(r).toJson().toStdString();
}

TEST(RiggingPointsPage, WithoutAViewItsTableAndWarningsAreLaidOutForThePaperOnly) {
    const QString html = crewPage(largeDoc(60), PageMode::rigger, false);
    // Heights of the table and the warnings, and the table's rows.
    const QString sizes = QStringLiteral(R"(JSON.stringify(['.rig-table', '.rig-warn'].map(function (s) {
      return document.querySelector(s).getBoundingClientRect().height;
    }).concat(document.querySelectorAll('.rig-table tr').length)))");
    auto read = [&](QWebEnginePage& page) {
        const QJsonArray a = QJsonDocument::fromJson(runJs(page, sizes).toString().toUtf8()).array();
        return std::vector<double>{a[0].toDouble(), a[1].toDouble(), a[2].toDouble()};
    };

    // As the printer holds it, never on screen: each part keeps a stand-in height.
    PinnedPage unseen(QWebEngineProfile::defaultProfile());
    const QUrl url = servePage(unseen.profile(), html.toUtf8());
    bool loaded = false;
    QObject::connect(&unseen, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    unseen.loadPinned(url);
    ASSERT_TRUE(waitFor([&] { return loaded; }, pageDeadlineMs));
    const std::vector<double> away = read(unseen);
    releasePage(url);
    ASSERT_GT(away[2], 300);
    EXPECT_LT(away[0], 1200);
    EXPECT_LT(away[1], 1200);

    // In a view, even a small one, everything is laid out as before.
    ShownPage shown(html, QSize(1048, 200));
    ASSERT_TRUE(shown.waitForDrawn());
    const std::vector<double> seen = read(shown.page());
    EXPECT_GT(seen[0], away[2] * 12);
    EXPECT_GT(seen[1], 1200);
}

TEST(RiggingPointsPage, PrintsTheSamePaperAsAPageLaidOutInFull) {
    PdfPrinter printer;
    printer.setTiming(patientPrinting);
    QTemporaryDir dir;
    // Warnings that stay in one piece, and more than a page of them.
    for (const int warnings : {20, 60}) {
        const CrewDoc doc = largeDoc(warnings);
        const QString page = crewPage(doc, PageMode::rigger, false);
        QString full = page;
        full.replace(
            "</head>",
            "<style>.rig-table, .rig-warn { content-visibility: visible !important; }</style></head>");
        ASSERT_NE(full, page);
        ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(page, dir.filePath("page.pdf"), true)));
        ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(full, dir.filePath("full.pdf"), true)));
        const PdfFacts a = readPdf(dir.filePath("page.pdf")), b = readPdf(dir.filePath("full.pdf"));
        ASSERT_TRUE(a.readable && b.readable);
        EXPECT_GT(a.pages, 10);
        EXPECT_EQ(a.pages, b.pages) << warnings;
        EXPECT_TRUE(a.text == b.text) << warnings;
        int plain = 0, found = 0;
        for (const CrewDoc::Src& s : doc.sources) {
            if (s.name.rfind("Array ", 0) != 0) continue;
            ++plain;
            found += a.text.contains(toQ(s.name)) ? 1 : 0;
        }
        EXPECT_EQ(found, plain) << warnings;
        EXPECT_TRUE(a.text.contains(QStringLiteral("hoist %1").arg(warnings - 1))) << warnings;
    }

    // The crew sheets too: a sheet per source, each as it reads when laid out in full, and the
    // same when printed in parts side by side and joined.
    const CrewDoc doc = largeDoc(20);
    const QString page = crewPage(doc, PageMode::printCrew, false);
    QString full = page;
    full.replace("</head>", "<style>.card { content-visibility: visible !important; }</style></head>");
    ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(page, dir.filePath("page.pdf"), false)));
    ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(full, dir.filePath("full.pdf"), false)));
    const QStringList parts = crewSheetParts(doc, 3);
    ASSERT_EQ(parts.size(), 3);
    ASSERT_TRUE(QCoro::waitFor(printer.makeAsync(parts, dir.filePath("parts.pdf"), false)));
    const PdfFacts a = readPdf(dir.filePath("page.pdf")), b = readPdf(dir.filePath("full.pdf"));
    const PdfFacts c = readPdf(dir.filePath("parts.pdf"));
    EXPECT_EQ(a.pages, int(doc.sources.size()));
    EXPECT_EQ(a.pages, b.pages);
    EXPECT_EQ(c.pages, a.pages);
    EXPECT_TRUE(a.readable && a.text == b.text);
    EXPECT_TRUE(c.text == a.text);
}

} // namespace
} // namespace rig::app

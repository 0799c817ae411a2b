// The crew page as WebEngine draws it in the window: a real show on a phone, hostile names and bad
// data; loaded once, updated in place, web links go out.
#include "CrewPage.h"
#include "CrewWebView.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "PageScheme.h"
#include "PdfPrinter.h"
#include "PrintedPages.h"
#include "ProjectStore.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "QRCode.h"
#include "QtText.h"
#include "RiggingPointsCSV.h"
#include "SnapshotRun.h"
#include "base/File.h"
#include "base/Number.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/ProjectFixtures.h"
#include "support/SampleShow.h"
#include "support/ShowProjects.h"

#include <QCoroTask>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPalette>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <limits>
#include <map>
#include <thread>
#include <tuple>

namespace rig::app {
namespace {

using namespace testing;

// Smallest font size and contrast of visible text, smallest touch target, and whether it all fits.
const char* const readability = R"((function () {
  function rgb(c) { var p = /rgba?\(([^)]+)\)/.exec(c)[1].split(',').map(Number); return { r: p[0], g: p[1], b: p[2], a: p.length > 3 ? p[3] : 1 }; }
  function lum(c) { function ch(v) { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); } return 0.2126 * ch(c.r) + 0.7152 * ch(c.g) + 0.0722 * ch(c.b); }
  function bg(el) { for (; el; el = el.parentElement) { var c = rgb(getComputedStyle(el).backgroundColor); if (c.a > 0) return c; } return { r: 255, g: 255, b: 255 }; }
  document.querySelectorAll('.card').forEach(function (c) { c.style.contentVisibility = 'visible'; }); // all of it, not only what is on screen
  var out = { font: 999, contrast: 99, target: 999, texts: 0, at: [], fits: document.documentElement.scrollWidth <= document.documentElement.clientWidth };
  for (var w = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), n = w.nextNode(); n; n = w.nextNode()) {
    var el = n.parentElement, range = document.createRange(); range.selectNodeContents(n);
    if (!n.textContent.trim() || el.closest('svg, noscript') || !range.getClientRects().length) continue;
    var cs = getComputedStyle(el), a = lum(rgb(cs.color)), b = lum(bg(el)), size = parseFloat(cs.fontSize), ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    if (size < 16 || ratio < 4.5) out.at.push(n.textContent.trim().slice(0, 40));
    out.texts++; out.font = Math.min(out.font, size); out.contrast = Math.min(out.contrast, ratio);
  }
  document.querySelectorAll('a, summary, button').forEach(function (t) {
    var r = t.getBoundingClientRect(); if (t.closest('svg') || !r.height) return;
    if (r.height < 44) out.at.push(t.textContent.trim().slice(0, 40));
    out.target = Math.min(out.target, r.height);
  });
  return JSON.stringify(out);
})())";

// How each line of the page's meta and count lines begins: the parts that start a line, as drawn
// (generated text included).
const char* const metaLineStarts = R"((function () {
  var out = [];
  document.querySelectorAll('.meta, .summary').forEach(function (p) {
    var left = p.getBoundingClientRect().left;
    p.querySelectorAll('span').forEach(function (s) {
      var r = s.getClientRects()[0], before = getComputedStyle(s, '::before').content;
      if (r && r.left - left < 1) out.push(((/^"/.test(before) ? JSON.parse(before) : '') + s.textContent).trim());
    });
  });
  return out.join('\n');
})())";

TEST(CrewPageWeb, TheViewShowsTheShowReadablyOnAPhoneAndHostileOrBadDataAsText) {
    const std::string hostile = "</script><script>alert(1)</script>";
    CrewDoc doc = showCrewDoc();
    doc.sources[0].name = hostile;
    doc.sources[0].points[0].role = "<img src=x onerror=alert(2)>";
    doc.sources[1].changed = std::vector<std::string>{"<!-- <script>"};
    doc.sources[1].points[0].load = std::numeric_limits<double>::quiet_NaN(); // shown empty
    CrewWebView view(doc, false);                                             // the phone layout
    view.resize(390, 844);
    view.show();
    ASSERT_TRUE(waitForDrawn(view));
    auto js = [&](const QString& script) { return runJs(*view.page(), script); };
    EXPECT_EQ(js("document.scripts.length + ' ' + document.querySelectorAll('img').length"), QVariant("2 0"));
    // Sources away from the screen are not laid out: their text counts, not what is drawn.
    const QString text = js("document.getElementById('app').textContent").toString();
    EXPECT_TRUE(text.contains(toQ(hostile)));
    for (const char* expected :
         {"Front: load 380 → 402 kg", "19.25", "2 × D8+ 500 kg", "Check the rear motor load.",
          "Rear load is negative (-12.5 kg).", "KARA «centre» 5"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_FALSE(text.contains("Sub Ground C")); // hidden from the crew
    // Wrapped meta lines never start with a separator.
    const QStringList lines = js(metaLineStarts).toString().split('\n');
    EXPECT_GT(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_FALSE(line.isEmpty() || line.startsWith(QString::fromUtf8("·")))
            << lines.join(" | ").toStdString();

    js("document.querySelector('.toc').open = true"); // so its links count too
    QPalette palette = view.palette();                // the page follows the window's palette
    palette.setColor(QPalette::Window, QColor(30, 30, 30));
    view.setPalette(palette);
    ASSERT_TRUE(waitFor([&] { return js("document.documentElement.dataset.scheme") == "dark"; }));
    const QJsonObject r = QJsonDocument::fromJson(js(readability).toString().toUtf8()).object();
    ASSERT_GT(r["texts"].toInt(), 200);
    EXPECT_TRUE(r["fits"].toBool() && r["font"].toDouble() >= 16 && r["contrast"].toDouble() >= 4.5 &&
                r["target"].toDouble() >= 44)
        << QJsonDocument(r).toJson().toStdString();

    // A redraw keeps the reader at the source they were reading, though sources away from the
    // screen are only estimated in size.
    const QString top = "Math.round(document.getElementById('s-5').getBoundingClientRect().top)";
    js("document.getElementById('s-5').scrollIntoView(); window.scrollBy(0, 40)");
    const int before = js(top).toInt();
    ASSERT_LT(before, 0);
    view.setDocument(doc, false);
    EXPECT_TRUE(waitFor([&] { return std::abs(js(top).toInt() - before) < 50; }))
        << js(top).toInt() << " " << before;

    // Fields of the wrong type or missing altogether draw without throwing; no data says so.
    js(R"(window.rigUpdate({"name": 7, "sources": [null, 3, {"points": [{"xyz": ["a"]}], "enc": {},
        "side": {"box": [0, 0, -1, 2], "p": "M0 0Z"}, "plan": {"c": [1]}}]}, {split: true}))");
    EXPECT_EQ(js("String(window.RIG_ERROR)"), QVariant("undefined"));
    js("window.rigUpdate(null)");
    EXPECT_TRUE(js("document.body.innerText").toString().contains("No crew data"));
}

TEST(CrewPageWeb, EveryNameStandsInAnIsolateOfItsOwnInEveryMode) {
    // An override left open in every name: shown, it would reverse the name's letters, and
    // outside an isolate what follows too.
    const std::string rlo = "\u202E";
    CrewDoc doc = showCrewDoc(true);
    for (std::string* text : {&doc.name, &doc.report, &doc.svVersion, &doc.delta.name}) *text += rlo;
    doc.author = "Ana" + rlo;
    for (CrewDoc::Src& s : doc.sources) {
        for (std::string* text : {&s.name, &s.config}) *text += rlo;
        for (std::string& g : s.group) g += rlo;
        if (s.bumper) *s.bumper += rlo;
        for (CrewDoc::Warn& w : s.warn) w.t += rlo;
        if (s.changed)
            for (std::string& c : *s.changed) c += rlo;
        for (CrewDoc::Point& p : s.points) {
            for (std::string* text : {&p.role, &p.hole}) *text += rlo;
            if (p.motor) *p.motor += rlo;
        }
        for (CrewDoc::Enc& e : s.enc) {
            e.t += rlo;
            if (e.pf) *e.pf += rlo;
        }
    }
    for (CrewDoc::Inv& i : doc.inventory) i.n += rlo;
    // Outside the drawings (which show a name alone): text standing alone in an isolating
    // element, and text that still holds the override.
    const QString names = R"((function () {
      var out = { isolated: 0, loose: [] };
      for (var w = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), n = w.nextNode(); n; n = w.nextNode()) {
        var p = n.parentElement;
        if (p.closest('svg, script')) continue;
        if (n.textContent.indexOf('\u202E') >= 0) out.loose.push(p.outerHTML.slice(0, 80));
        else if (p.childNodes.length === 1 && getComputedStyle(p).unicodeBidi === 'isolate') out.isolated++;
      }
      return JSON.stringify(out);
    })())";
    auto check = [&](QWebEnginePage& page, int atLeast) {
        const QJsonObject r = QJsonDocument::fromJson(runJs(page, names).toString().toUtf8()).object();
        EXPECT_GE(r["isolated"].toInt(), atLeast);
        EXPECT_TRUE(r["loose"].toArray().isEmpty()) << QJsonDocument(r).toJson().toStdString();
    };
    for (const bool split : {true, false}) {
        SCOPED_TRACE(split ? "wide" : "phone");
        CrewWebView view(doc, split);
        view.resize(split ? 1200 : 390, 844);
        view.show();
        ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
        runJs(*view.page(), "document.querySelector('.toc') && (document.querySelector('.toc').open = true)");
        check(*view.page(), 200);
    }
    for (const PageMode mode : {PageMode::rigger, PageMode::printCrew}) {
        SCOPED_TRACE(pageModeWord(mode).toStdString());
        ShownPage shown(crewPage(doc, mode, false),
                        mode == PageMode::rigger ? QSize(1048, 740) : QSize(718, 1000));
        EXPECT_TRUE(shown.waitForDrawn());
        check(shown.page(), 150);
    }
}

TEST(CrewWebViewWeb, UpdatesBeforeTheLoadArriveOnceWithTheLatestDocumentAndLinksGoOut) {
    const int served = servedPageCount();
    auto named = [](const std::string& name) {
        CrewDoc doc;
        doc.name = name;
        return doc;
    };
    {
        // Records every rigUpdate call instead of drawing.
        CrewWebView view(
            named("A"), false, nullptr,
            "<!DOCTYPE html><html><body><a id=web href=\"https://crew.example.net/v/tok\">web</a>"
            "<div id=out style=\"position:fixed;top:0;left:0\"></div>"
            "<script>\n'use strict';\n"
            "window.calls = [];\nwindow.rigUpdate = function (doc, options) { "
            "window.calls.push([doc.name, options.split]); };\n"
            // Dialogs would hold the window (and this test) in a modal loop.
            "window.answers = [alert('a'), confirm('b'), prompt('c', 'd')].map(String).join(' ');\n"
            "</script></body></html>");
        QList<QUrl> opened;
        view.setLinkOpener([&](const QUrl& url) { opened << url; });
        auto js = [&](const QString& script) { return runJs(*view.page(), script); };
        EXPECT_FALSE(view.view()->acceptDrops());
        view.setDocument(named("B"), true);
        view.setDocument(named("C"), false);
        view.setDocument(named("D"), true);
        ASSERT_TRUE(waitFor([&] { return view.isLoaded() && js("window.calls.length").toInt() > 0; }));
        EXPECT_EQ(js("JSON.stringify(window.calls)"), QVariant(R"([["D",true]])"));
        EXPECT_EQ(js("window.answers"), QVariant("undefined false null"));
        js("window.kept = 7"); // later documents are drawn in place, never by loading the page again
        view.setDocument(named("E"), false);
        ASSERT_TRUE(waitFor([&] { return js("window.calls.length").toInt() == 2; }));
        EXPECT_EQ(js("JSON.stringify(window.calls) + window.kept"), QVariant(R"([["D",true],["E",false]]7)"));
        EXPECT_EQ(servedPageCount(), served + 1);

        EXPECT_EQ(view.page()->url().scheme(), "rig-page");
        js("document.getElementById('web').click()");
        js("window.open('https://example.org/opened')");
        ASSERT_TRUE(waitFor([&] { return opened.size() == 2; }));
        EXPECT_EQ(opened,
                  QList<QUrl>({QUrl("https://crew.example.net/v/tok"), QUrl("https://example.org/opened")}));

        // Links a user clicks, in the page and for a new window: only http and https reach the
        // browser, not schemes that merely begin like them. The last, a web link, arrives after
        // the others were turned away.
        const QStringList links = {"httpx://example.org/1", "https-evil://example.org/2",
                                   "ftp://example.org/3",   "mailto:a@example.org",
                                   "file:///etc/passwd",    "javascript:void(0)"};
        QStringList clicks;
        for (const QString& link : links) clicks << link << "_blank " + link;
        clicks << "_blank http://example.org/blank";
        for (const QString& click : clicks) {
            const bool blank = click.startsWith("_blank ");
            js(QStringLiteral(
                   "(function () { var a = document.createElement('a'); a.href = '%1'; a.target = '%2';"
                   " a.textContent = 'link'; a.style.cssText = 'display:block;height:40px;width:200px';"
                   " document.getElementById('out').append(a); })()")
                   .arg(blank ? click.mid(7) : click, blank ? "_blank" : "_self"));
        }
        view.resize(400, int(clicks.size()) * 40 + 100);
        view.show();
        ASSERT_TRUE(waitFor([&] { return js("window.innerHeight").toInt() == view.height(); })); // laid out
        // Each link has its own place: a click lands on its own link however late it arrives.
        for (int i = 0; i < clicks.size(); ++i)
            QTest::mouseClick(view.view()->focusProxy(), Qt::LeftButton, {}, QPoint(20, 40 * i + 20));
        ASSERT_TRUE(waitFor([&] { return opened.size() >= 3; }));
        QStringList later;
        for (const QUrl& url : opened.mid(2)) later << url.toString();
        EXPECT_EQ(later, QStringList{"http://example.org/blank"});

        // Nothing else leaves the page, not even for another page of the program; its own
        // anchors are fine.
        QSignalSpy refused(view.page(), &PinnedPage::navigationRefused);
        const QUrl other = servePage(view.page()->profile(), "<p>another page</p>");
        js("location.href = '" + other.toString() + "'");
        js("location.href = 'file:///etc/passwd'");
        js("location.hash = '#s-1'");
        ASSERT_TRUE(waitFor([&] { return refused.size() == 2; }));
        EXPECT_EQ(js("window.kept + location.hash"), QVariant("7#s-1"));
        EXPECT_EQ(opened.size(), 3);
        releasePage(other);
    }
    EXPECT_EQ(servedPageCount(), served); // the served page is released with the view
}

// A source of the plan reached with Tab is marked by its own shape. An outline ring is drawn in
// the drawing's units, scaled up with it: it covered the neighbours and half the plan.
TEST(CrewWebViewWeb, AFocusedPlanSourceIsMarkedByItsOwnShape) {
    CrewWebView view(showCrewDoc(), false);
    view.resize(1100, 900);
    view.show();
    ASSERT_TRUE(waitForDrawn(view));
    auto js = [&](const QString& script) { return runJs(*view.page(), script); };
    QWidget* page = view.view()->focusProxy();
    ASSERT_NE(page, nullptr);
    page->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return page->hasFocus(); }));
    const QString inPlan = "!!(document.activeElement && document.activeElement.closest('svg'))";
    for (int i = 0; i < 60 && !js(inPlan).toBool(); ++i) {
        QTest::keyClick(page, Qt::Key_Tab);
        ASSERT_TRUE(waitFor([&] { return js("document.activeElement.tagName").isValid(); }));
    }
    ASSERT_TRUE(js(inPlan).toBool());
    // The ring's width in screen pixels, and the outline stroke of the focused source and of another.
    const QStringList facts =
        js("(function () { var a = document.activeElement, s = getComputedStyle(a);"
           " var scale = a.ownerSVGElement.getScreenCTM().a;"
           " var ring = s.outlineStyle === 'none' ? 0 : parseFloat(s.outlineWidth) * scale;"
           " var mine = a.querySelector('.outline'), other = [].find.call("
           "   a.ownerSVGElement.querySelectorAll('a .outline'), function (o) { return !a.contains(o); });"
           " return [a.matches(':focus-visible'), Math.round(ring), mine && getComputedStyle(mine).stroke,"
           "   other && getComputedStyle(other).stroke].join('|'); })()")
            .toString()
            .split('|');
    ASSERT_EQ(facts.size(), 4);
    EXPECT_EQ(facts[0], "true");
    EXPECT_LE(facts[1].toInt(), 4) << "ring in screen pixels";
    EXPECT_FALSE(facts[2].isEmpty());
    EXPECT_NE(facts[2], facts[3]) << "the focused source stands out";
}

TEST(CrewWebViewWeb, ARendererEndingTwiceWithOneDocumentGivesWayToAMessage) {
    CrewWebView view(showCrewDoc(), true);
    view.resize(900, 700);
    view.show();
    ASSERT_TRUE(waitForDrawn(view));
    QSignalSpy loads(view.page(), &QWebEnginePage::loadStarted);
    auto js = [&](const QString& script) { return runJs(*view.page(), script); };
    auto endRenderer = [&] {
        const qint64 pid = view.page()->renderProcessPid();
        return pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0;
    };
    ASSERT_TRUE(endRenderer());
    ASSERT_TRUE(
        waitFor([&] { return loads.size() == 1 && js("!!document.querySelector('.card')").toBool(); }));
    ASSERT_TRUE(endRenderer());
    ASSERT_TRUE(waitFor([&] { return view.hasFailed(); }));
    const QLabel* message = view.findChild<QLabel*>();
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->isVisible() && !view.view()->isVisible());
    EXPECT_TRUE(message->text().startsWith("The crew view could not be drawn"));

    // The same document built again later stays a message; another one is drawn.
    CrewDoc again = showCrewDoc(), other = showCrewDoc();
    again.updated = "2031-01-01T00:00:00Z";
    view.setDocument(again, true);
    other.name = "Another show";
    view.setDocument(other, true);
    ASSERT_TRUE(waitFor(
        [&] { return view.isLoaded() && js("document.querySelector('h1').textContent") == "Another show"; }));
    EXPECT_EQ(loads.size(), 2);
    EXPECT_TRUE(view.view()->isVisible() && !message->isVisible());
}

// The snapshot mode captures the window's crew view once the page has drawn its latest
// document, however long a large show takes: not at the step's settle time, due at once here.
TEST(CrewWebViewWeb, TheSnapshotCapturesTheViewOnceItHasDrawn) {
    using namespace std::chrono_literals;
    TempAppPaths paths;
    QTemporaryDir folder;
    testing::HeldStore store;
    store.setProject(generatedShow(1000, 7));
    MotorLibrary motors;
    DXFSettings dxf;
    PublishSettings publishing{std::make_unique<MemorySecretStore>()};
    PublishClient client;
    NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports{store, dxf, printer, reveal};
    MainWindow window(store, motors, {{}, {}, {}, &exports});
    window.show();
    const auto steps = [](const QString& name) {
        return name == "RIG_STEPS" ? std::optional<QString>("crew|phone") : std::nullopt;
    };
    bool quit = false;
    const auto captured = [&] { return &window; };
    const auto select = [&](const SnapshotStep& step) { window.devSelect(step); };
    const auto ended = [&](int) { quit = true; };
    const SnapshotTiming atOnce{0ms, 10min, 0ms, 0ms, 1h}; // never captured before it has drawn
    SnapshotRun run(folder.path(),
                    SnapshotRun::Parts{&store, &motors, &dxf, &publishing, &client, &printer, &exports, steps,
                                       captured, nullptr, select, ended, atOnce});
    run.start();
    ASSERT_TRUE(waitFor([&] { return quit; }, 240000));
    const auto* crew = window.findChild<CrewWebView*>();
    ASSERT_NE(crew, nullptr);
    for (const char* shot : {"shot0.png", "shot1.png"}) {
        // The page's text and plan, not one colour where it was still to come.
        const QImage picture =
            QImage(folder.filePath(shot)).copy({crew->mapTo(&window, QPoint()), crew->size()});
        QSet<QRgb> colours;
        for (int i = 0; i < picture.width() * picture.height(); i += 7)
            colours << picture.pixel(i % picture.width(), i / picture.width());
        EXPECT_GT(colours.size(), 50) << shot;
    }
}

// The snapshot mode's exports wait for the files it was given however long they take to read,
// and its run ends only once their PDFs are written; also when its steps end before the
// exports are even due.
TEST(SnapshotRunWeb, ExportsWaitForTheImportAndTheEndForTheirPdfs) {
    using namespace std::chrono_literals;
    struct Row {
        bool heldImport;
        SnapshotTiming timing;
        const char* state;
    };
    for (const Row& row : {Row{true, SnapshotTiming{0ms, 0ms, 10min, 0ms, 1h}, "sources: 7\nerror: -\n"},
                           Row{false, SnapshotTiming{0ms, 100ms, 0ms, 0ms, 1h}, "sources: 0\nerror: -\n"}}) {
        SCOPED_TRACE(row.heldImport ? "held import" : "no steps, exports due after them");
        TempAppPaths paths;
        QTemporaryDir folder, exported;
        HeldStore store;
        std::atomic<bool> reading = true;
        ImportReaders readers = ImportReaders::standard();
        readers.report = [&reading, report = readers.report](const std::filesystem::path& f,
                                                             std::stop_token stop) {
            while (reading && !stop.stop_requested()) std::this_thread::sleep_for(2ms);
            return report(f, stop);
        };
        store.importer().setImportReaders(readers);
        MotorLibrary motors;
        DXFSettings dxf;
        PublishSettings publishing{std::make_unique<MemorySecretStore>()};
        PublishClient client;
        NoReveal reveal;
        PdfPrinter printer;
        printer.setTiming(patientPrinting);
        ExportCommands exports{store, dxf, printer, reveal};
        const QString report = folder.filePath("report.pdf");
        writeFileAtomically(toPath(report), test::sampleShow().reportPdf);
        const auto environment = [&](const QString& name) -> std::optional<QString> {
            if (name == "RIG_FILES" && row.heldImport) return report;
            if (name == "RIG_EXPORT") return exported.path();
            if (name == "RIG_STEPS") return QString("|");
            return std::nullopt;
        };
        std::optional<QStringList> atEnd;
        const auto ended = [&](int) { atEnd = QDir(exported.path()).entryList(QDir::Files); };
        SnapshotRun run(folder.path(),
                        SnapshotRun::Parts{&store, &motors, &dxf, &publishing, &client, &printer, &exports,
                                           environment, nullptr, nullptr, nullptr, ended, row.timing});
        // With the import held, the steps start only when the test starts them: once both PDFs print.
        if (row.heldImport) {
            QObject::connect(&exports, &ExportCommands::pdfsPrintingChanged, &run, [&] {
                if (printer.jobCount() == 2) run.runSnapshotSteps(0, {});
            });
        }
        run.start();
        if (row.heldImport) {
            bool due = false;
            QTimer::singleShot(0ms, [&] { due = true; }); // after the run's own
            ASSERT_TRUE(waitFor([&] { return due; }));
            EXPECT_TRUE(store.importer().importing());
            EXPECT_TRUE(QDir(exported.path()).isEmpty());
        }
        reading = false;
        ASSERT_TRUE(waitFor([&] { return atEnd.has_value(); }, 240000));
        atEnd->sort();
        EXPECT_EQ(*atEnd, (QStringList{"crew.pdf", "points-drops-floor.dxf", "points.csv", "points.dxf",
                                       "rigger.pdf"}));
        if (row.heldImport) {
            EXPECT_TRUE(readPdf(exported.filePath("crew.pdf")).text.contains("KARA 3"));
        }
        EXPECT_EQ(readFile(toPath(folder.filePath("state.txt")), 100), row.state);
    }
}

// ---- The page's own logic in every layout -----------------------------------------------------

std::string join(const std::vector<std::string>& fields, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? separator : "") + fields[i];
    return out;
}

// A text as a script literal.
QString literal(const QString& text) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// What the page draws for `selector`: the text of each matching element that is laid out,
// blanks collapsed, joined by " | "; with `classes` each text follows its element's class.
QString shown(QWebEnginePage& page, const QString& selector, bool classes = false) {
    return runJs(page, QString(R"((function () {
      // Cards away from the screen are not laid out until asked to be.
      document.querySelectorAll('.card').forEach(function (c) { c.style.contentVisibility = 'visible'; });
      return [].slice.call(document.querySelectorAll(%1)).filter(function (e) { return e.getClientRects().length; })
        .map(function (e) { var t = e.innerText.replace(/\s+/g, ' ').trim(); return %2 ? e.className + ': ' + t : t; })
        .join(' | ');
    })())")
                           .arg(literal(selector), classes ? "true" : "false"))
        .toString();
}

// The cells of the rows matching `selector`, as drawn.
std::vector<QStringList> shownRows(QWebEnginePage& page, const QString& selector) {
    const QString json = runJs(page, QString(R"((function () {
      document.querySelectorAll('.card').forEach(function (c) { c.style.contentVisibility = 'visible'; });
      return JSON.stringify([].slice.call(document.querySelectorAll(%1)).map(function (tr) {
        var card = tr.closest('article');
        return [card ? card.querySelector('h3').innerText : ''].concat([].slice.call(tr.cells).map(function (td) {
          return td.innerText.replace(/\s+/g, ' ').trim(); }));
      }));
    })())")
                                         .arg(literal(selector)))
                             .toString();
    return jsonRows(json);
}

void draw(QWebEnginePage& page, const CrewDoc& doc, bool split = false) {
    runJs(page, crewUpdateScript(doc, split));
}

// A page's number and the CSV's: the same value to the CSV's decimals. The page may add "½ "
// before a plate side's load and, on a phone, the unit after it.
bool sameNumber(QString page, const std::string& csv, double tolerance) {
    page.remove(QString::fromUtf8("½ "));
    page = page.section(' ', 0, 0);
    if (page.isEmpty() || csv.empty()) return page.isEmpty() && csv.empty();
    const auto a = parseDecimal(toStd(page)), b = parseDecimal(csv);
    return a && b && std::abs(*a - *b) <= tolerance;
}

// The window's crew view (wide, then on a phone), the rigging-points pages and the crew
// sheets, loaded once for every case here and redrawn for each.
class CrewLayouts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        crew = new CrewWebView(showCrewDoc(), true);
        crew->resize(1280, 900);
        crew->show();
        rigger = new ShownPage(crewPage(showCrewDoc(true), PageMode::rigger, false), QSize(1048, 740));
        sheets = new ShownPage(crewPage(showCrewDoc(), PageMode::printCrew, false), QSize(718, 1000));
    }
    static void TearDownTestSuite() {
        delete crew;
        delete rigger;
        delete sheets;
    }
    void SetUp() override {
        ASSERT_TRUE(waitForDrawn(*crew) && rigger->waitForDrawn() && sheets->waitForDrawn());
    }
    // The crew view at phone width (split false) or wide.
    static QWebEnginePage& crewView(bool phone, const CrewDoc& doc) {
        crew->resize(phone ? QSize(390, 844) : QSize(1280, 900));
        draw(*crew->page(), doc, !phone);
        waitFor([&] { return runJs(*crew->page(), "window.innerWidth").toInt() == (phone ? 390 : 1280); });
        return *crew->page();
    }

    static inline CrewWebView* crew = nullptr;
    static inline ShownPage* rigger = nullptr;
    static inline ShownPage* sheets = nullptr;
};

// Every point, plate side, load, motor and drop the crew reads, as the rigging-points CSV
// (written apart from the page) lists them.
TEST_F(CrewLayouts, PointsAsTheCsvListsThem) {
    const Project project = showProject();
    const auto records = readCsv(riggingPointsCSV(project));
    ASSERT_TRUE(records && records->size() > 20);
    std::map<QString, std::vector<std::vector<std::string>>> bySource;
    for (std::size_t i = 1; i < records->size(); ++i)
        bySource[toQ((*records)[i][1])].push_back((*records)[i]);
    const double point = 0.0001, weight = 0.0501; // the CSV's loads and weights have one decimal

    // The crew view and the sheets: point, hole, X, Y, Z, load, motor, drop.
    const auto checkCards = [&](QWebEnginePage& page, bool phone) {
        const std::vector<QStringList> rows = shownRows(page, "table.pts tr.pt");
        std::map<QString, std::size_t> next;
        for (const QStringList& row : rows) {
            ASSERT_EQ(row.size(), 9) << row.join(" | ").toStdString();
            const auto& csv = bySource[row[0]];
            const std::size_t at = next[row[0]]++;
            ASSERT_LT(at, csv.size()) << row.join(" | ").toStdString();
            const std::vector<std::string>& line = csv[at];
            const bool side = line[10] == project.delta.name;
            const QString why = row.join(" | ") + "  ≠  " + toQ(join(line, ";"));
            if (side) {
                EXPECT_EQ(row[1],
                          QString::fromUtf8("↳ ") + (toQ(line[2]).endsWith(" left") ? "Left" : "Right"))
                    << why.toStdString();
                EXPECT_TRUE(row[6].startsWith(QString::fromUtf8("½ "))) << why.toStdString();
                EXPECT_EQ(row[7], "") << why.toStdString();
            } else {
                EXPECT_TRUE(row[1].startsWith(toQ(line[2]))) << why.toStdString();
                EXPECT_EQ(row[2], toQ(line[3])) << why.toStdString();
                // A plate's two motors, or the point's own.
                const bool plate = at + 1 < csv.size() && csv[at + 1][10] == project.delta.name;
                const QString motor =
                    plate ? QString::fromUtf8("2 × ") + toQ(csv[at + 1][11]).section(" + ", 0, 0)
                          : toQ(line[11]);
                EXPECT_EQ(row[7].section(QString::fromUtf8(" ·"), 0, 0),
                          motor.trimmed() == "2 ×" ? "" : motor)
                    << why.toStdString();
            }
            for (const auto& [cell, column, tolerance] :
                 {std::tuple{3, 4, point}, {4, 5, point}, {5, 6, point}, {6, 9, weight}, {8, 8, point}})
                EXPECT_TRUE(sameNumber(row[cell], line[std::size_t(column)], tolerance))
                    << row[cell].toStdString() << " in " << why.toStdString();
            // Units beside the numbers only on a phone, where the column heads are not shown.
            for (const auto& [cell, unit] : {std::pair{6, " kg"}, {8, " m"}})
                EXPECT_EQ(!row[cell].isEmpty() && row[cell].endsWith(unit), phone && !row[cell].isEmpty())
                    << row[cell].toStdString() << (phone ? " on a phone" : " wide");
        }
        std::size_t count = 0;
        for (const auto& [name, n] : next) count += n;
        EXPECT_GT(count, 15u);
    };
    {
        SCOPED_TRACE("wide");
        checkCards(crewView(false, showCrewDoc()), false);
    }
    {
        SCOPED_TRACE("phone");
        checkCards(crewView(true, showCrewDoc()), true);
    }
    {
        SCOPED_TRACE("crew sheets");
        checkCards(sheets->page(), false);
    }

    // The rigging points: every column of the CSV, hidden sources too.
    const std::vector<QStringList> rows = shownRows(rigger->page(), ".rig-table tbody tr");
    ASSERT_EQ(rows.size(), records->size() - 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string>& line = (*records)[i + 1];
        const QString why = rows[i].mid(1).join(" | ") + "  ≠  " + toQ(join(line, ";"));
        ASSERT_EQ(rows[i].size(), 15) << why.toStdString();
        for (std::size_t c = 0; c < line.size(); ++c) {
            const QString& cell = rows[i][qsizetype(c) + 1];
            if (c >= 4 && c <= 8) {
                EXPECT_TRUE(sameNumber(cell, line[c], point)) << c << ": " << why.toStdString();
            } else if (c == 9 || c >= 12) {
                EXPECT_TRUE(sameNumber(cell, line[c], weight)) << c << ": " << why.toStdString();
            } else {
                EXPECT_EQ(cell, toQ(line[c]).trimmed()) << c << ": " << why.toStdString();
            }
        }
    }
}

// The sample show (main hangs, ground subs between them, three more arrays) with names of 25
// characters, one of them of 60 with `longName`; imported from its report and loudspeaker DXF.
CrewDoc crowdedPlan(bool longName) {
    test::ReportGeneratorOptions options = test::sampleShowOptions();
    for (test::SourcePlan& s : options.sourceList) {
        const std::size_t length = longName && s.name == "CS 1" ? 60 : 25;
        std::string name = s.name + " hung over the stage edge";
        while (name.size() < length) name += ", cardioid stack";
        name.resize(length);
        s.name = name;
    }
    return exportCrewDoc(generatedShow(options), false, nowSeconds());
}

// Every label and numbered mark of the plan drawing `svg` (part `drawing` of a plan), read back as
// drawn: overlaps with another label or mark, an outline or a point (its own ones too), labels
// outside the drawing, sources neither labelled nor named by the key entry of a mark, a label
// that is not its source's whole name, a mark whose key entry does not name the source it is
// drawn with, and one text shown for two sources in any part (`out`, `shownAs`).
const char* const planLabelFaults = R"((function (svg, drawing, out, shownAs) {
  var ctm = svg.getScreenCTM(), named = {};
  function screen(x, y) { var p = svg.createSVGPoint(); p.x = x; p.y = y; p = p.matrixTransform(ctm); return [p.x, p.y]; }
  function boxOf(t) {
    var b = t.getBBox(), a = screen(b.x, b.y), c = screen(b.x + b.width, b.y + b.height);
    return { x0: Math.min(a[0], c[0]), y0: Math.min(a[1], c[1]), x1: Math.max(a[0], c[0]), y1: Math.max(a[1], c[1]) };
  }
  function meet(a, b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }
  function crosses(p, q, r, s) {
    function side(a, b, c) { return Math.sign((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])); }
    return side(p, q, r) * side(p, q, s) < 0 && side(r, s, p) * side(r, s, q) < 0;
  }
  function inside(pt, poly) {
    var c = false;
    for (var i = 0, j = poly.length - 1; i < poly.length; j = i++)
      if ((poly[i][1] > pt[1]) !== (poly[j][1] > pt[1]) &&
          pt[0] < (poly[j][0] - poly[i][0]) * (pt[1] - poly[i][1]) / (poly[j][1] - poly[i][1]) + poly[i][0]) c = !c;
    return c;
  }
  function boxMeetsPolygon(b, poly) {
    var corners = [[b.x0, b.y0], [b.x1, b.y0], [b.x1, b.y1], [b.x0, b.y1]];
    if (poly.some(function (p) { return p[0] > b.x0 && p[0] < b.x1 && p[1] > b.y0 && p[1] < b.y1; })) return true;
    if (corners.some(function (c) { return inside(c, poly); })) return true;
    for (var i = 0; i < poly.length; i++)
      for (var k = 0; k < 4; k++)
        if (crosses(poly[i], poly[(i + 1) % poly.length], corners[k], corners[(k + 1) % 4])) return true;
    return false;
  }
  var key = {};
  document.querySelectorAll('.key-entry').forEach(function (li) {
    var mark = li.querySelector('.mark').textContent, names = li.querySelectorAll('.src-name');
    key[mark] = names.length ? [].map.call(names, function (n) { return n.textContent; }) : [li.textContent.slice(mark.length).trim()];
  });
  var frame = svg.getBoundingClientRect();
  var groups = [].slice.call(svg.children).filter(function (g) { return g.matches('g, a'); });
  var labels = [], outlines = [], points = [];
  groups.forEach(function (g, gi) {
    var name = g.querySelector('title') ? g.querySelector('title').textContent : 'a source of another part';
    g.querySelectorAll('polygon.outline').forEach(function (p) {
      outlines.push({ name: name, pts: [].map.call(p.points, function (q) { return screen(q.x, q.y); }) });
    });
    g.querySelectorAll('circle').forEach(function (c) { points.push({ name: name, box: c.getBoundingClientRect() }); });
    g.querySelectorAll('text.lbl').forEach(function (t) {
      var mark = t.closest('.mark'), text = mark ? '#' + t.textContent : t.textContent, names = mark ? key[t.textContent] || [] : [name];
      labels.push({ name: name, names: names, text: text, mark: !!mark, box: boxOf(mark ? mark.querySelector('rect') : t) });
      (mark ? names : [gi]).forEach(function (n) { named[n] = true; });
      if (mark) {
        out.marks++;
        if (names.indexOf(name) < 0) out.faults.push(text + ' (' + name + '): the key says ' + names);
      } else {
        out.labels++;
        if (text !== name) out.faults.push(text + ' (' + name + '): not the name');
      }
      if (shownAs[text] !== undefined && shownAs[text] !== drawing + '/' + gi) out.faults.push(text + ' shown for two sources');
      shownAs[text] = drawing + '/' + gi;
    });
  });
  labels.forEach(function (l, i) {
    var at = l.text + ' (' + l.name + ')';
    if (l.box.x0 < frame.left || l.box.x1 > frame.right || l.box.y0 < frame.top || l.box.y1 > frame.bottom) out.faults.push(at + ': cut off');
    labels.slice(i + 1).forEach(function (m) { if (meet(l.box, m.box)) out.faults.push(at + ' over ' + m.text); });
    outlines.forEach(function (o) { if (boxMeetsPolygon(l.box, o.pts)) out.faults.push(at + ' over the outline of ' + o.name); });
    points.forEach(function (p) {
      if (meet(l.box, { x0: p.box.left, y0: p.box.top, x1: p.box.right, y1: p.box.bottom })) out.faults.push(at + ' over a point of ' + p.name);
    });
  });
  groups.forEach(function (g, gi) {
    var title = g.querySelector('title');
    if (title && ++out.sources && !named[gi] && !named[title.textContent]) out.unnamed++;
  });
}))";

// The plan faults of the crew view (`page` at phone width or wide) or of the rigging points.
QJsonObject planFaults(QWebEnginePage& page, bool printed) {
    const QString probe =
        QString("(function (out, shownAs) { document.querySelectorAll('%2').forEach(function "
                "(svg, i) { (%1)(svg, i, out, shownAs); }); return JSON.stringify(out); })"
                "({ sources: 0, labels: 0, marks: 0, unnamed: 0, faults: [] }, {})")
            .arg(planLabelFaults,
                 printed ? ".rig-plan svg.draw:not(.plan-index)" : "figure.overview svg.draw");
    return QJsonDocument::fromJson(runJs(page, probe, 120000).toString().toUtf8()).object();
}

// The plan of all sources names each of them beside its outline, never over another name, an
// outline or a point (its own ones neither), and within the drawing: on a phone, in the window
// and in the rigging points. A name with no room beside its source gives way to the source's
// number, explained under the plan; so in crowded shows of 17 to 300 sources. Sources drawn at
// one spot share one mark, its key entry naming them all; sources of one name never read alike.
TEST_F(CrewLayouts, PlanLabelsStayOffOtherLabelsAndOutlines) {
    const CrewDoc dense = exportCrewDoc(generatedShow(test::denseShowOptions(17)), false, nowSeconds());
    CrewDoc sameNames = dense; // four "L" and four "R"
    for (CrewDoc::Src& s : sameNames.sources)
        if (s.name.ends_with(" L") || s.name.ends_with(" R")) s.name = s.name.substr(s.name.size() - 1);
    const std::tuple<const char*, CrewDoc, int> shows[] = {
        {"sample show", crowdedPlan(false), 2},
        {"a name of 60", crowdedPlan(true), 2},
        {"17 crowded sources", dense, 2},
        {"60 crowded sources", exportCrewDoc(generatedShow(test::denseShowOptions(60)), false, nowSeconds()),
         2},
        {"150 sources at one spot", exportCrewDoc(fixtures::largeProject(150, 2, 2), false, nowSeconds()), 0},
        {"four L and four R", sameNames, 2},
        {"100 generated sources", exportCrewDoc(generatedShow(100, 1), false, nowSeconds()), 0},
        {"300 generated sources", exportCrewDoc(generatedShow(300, 1), false, nowSeconds()), 0},
    };
    for (const auto& [show, doc, leastNames] : shows) {
        for (const char* layout : {"phone", "wide", "rigging points"}) {
            SCOPED_TRACE(std::string(layout) + ", " + show);
            const bool printed = QString(layout) == "rigging points", phone = QString(layout) == "phone";
            QWebEnginePage& page = printed ? rigger->page() : crewView(phone, doc);
            if (printed) draw(page, doc);
            const QJsonObject r = planFaults(page, printed);
            const std::string faults = QJsonDocument(r["faults"].toArray()).toJson().toStdString();
            EXPECT_EQ(r["sources"].toInt(), int(doc.sources.size()));
            EXPECT_EQ(r["unnamed"].toInt(), 0) << faults;
            EXPECT_TRUE(r["faults"].toArray().isEmpty()) << faults;
            // Names where they have room: most of the sample show's on paper.
            EXPECT_GE(r["labels"].toInt(), QString(show) == "sample show" && printed ? 5 : leastNames)
                << faults;
            // A plan wider than the screen scrolls by itself; the page keeps its width.
            EXPECT_TRUE(printed ||
                        runJs(page, "document.documentElement.scrollWidth <= innerWidth").toBool());
        }
    }

    // Outlines and points too far away to draw are left out and said under the plan: a source
    // with nothing left to draw as left out, one drawn without them as drawn in part. The rest
    // draws as usual, its points as small as ever. So in the sheets' plan of one source.
    CrewDoc far = crowdedPlan(false);
    far.sources[0].plan->c = {-1e300, 0}; // its points stay
    far.sources[1].plan->c = {1e300, 1e300};
    for (CrewDoc::Point& p : far.sources[1].points)
        if (p.xyz) (*p.xyz)[0] = 1e300, (*p.xyz)[1] = -1e300;
    ASSERT_TRUE(far.sources[4].points.at(0).xyz);
    (*far.sources[4].points[0].xyz)[0] = 1e300; // its outline stays
    for (const bool printed : {false, true}) {
        QWebEnginePage& page = printed ? rigger->page() : crewView(true, far);
        if (printed) draw(page, far);
        const QString plan = printed ? ".rig-plan" : "figure.overview";
        EXPECT_EQ(runJs(page, "String(window.RIG_ERROR)"), QVariant("undefined"));
        EXPECT_EQ(shown(page, plan + " .plan-note"),
                  "Left out of the plan, more than 100000 m from the origin: " + toQ(far.sources[1].name) +
                      ". Drawn without their parts more than 100000 m from the origin: " +
                      toQ(far.sources[0].name) + ", " + toQ(far.sources[4].name) + ".");
        const QJsonObject r = planFaults(page, printed);
        EXPECT_EQ(r["sources"].toInt(), int(far.sources.size()) - 1);
        const QString largest = "Math.max(...[...document.querySelectorAll('" + plan +
                                " circle')].map(c => c.getBoundingClientRect().width))";
        EXPECT_LE(runJs(page, largest).toDouble(), 8);
    }
    draw(sheets->page(), far);
    EXPECT_EQ(shown(sheets->page(), "#s-1 .plan-note"),
              "Parts more than 100000 m from the origin are left out of the plan.");

    // A plan wider than a phone opens where its sources are, its hint above them: the reader
    // arriving at it sees both. Sideways, it stays where the reader took it through a redraw.
    const CrewDoc wide = exportCrewDoc(generatedShow(test::denseShowOptions(300)), false, nowSeconds());
    QWebEnginePage& phone = crewView(true, wide);
    const QStringList first = runJs(phone, R"((function () {
      var f = document.querySelector('figure.overview');
      f.scrollIntoView();
      var s = f.querySelector('.plan-scroll').getBoundingClientRect();
      return [...f.querySelectorAll('svg a .outline')].filter(function (o) { var r = o.getBoundingClientRect();
        return r.right > Math.max(s.left, 0) && r.left < Math.min(s.right, innerWidth) && r.bottom > 0 && r.top < innerHeight; })
        .length + ' ' + (f.querySelector('.plan-note').getBoundingClientRect().bottom <= innerHeight);
    })())")
                                  .toString()
                                  .split(' ');
    EXPECT_GE(first[0].toInt(), 20);
    EXPECT_EQ(first[1], "true");
    runJs(phone, "document.querySelector('.plan-scroll').scrollLeft = 40");
    draw(phone, wide);
    EXPECT_EQ(runJs(phone, "document.querySelector('.plan-scroll').scrollLeft").toInt(), 40);
}

// A source has one number in every document: each number of the crew view's key, which leaves
// the hidden sources out, names the same source in the rigging points' key, which has them. A
// key longer than a page says at the foot of each page, read back with poppler, that it goes
// on, and the page it goes on to carries its heading.
TEST_F(CrewLayouts, PlanNumbersAndKeysOnPaper) {
    Project hiding = generatedShow(test::denseShowOptions(17));
    hiding.setHidden({"ALL/GR SUB/CS 1", "ALL/GR SUB/CS 2", "ALL/GR SUB/CS 3", "ALL/GR SUB/CS 4"}, true);
    const QString keyEntries = "[].map.call(document.querySelectorAll('.key-entry'), function (e) { "
                               "return e.textContent.replace(/\\s+/g, ' ').trim(); }).join('\\n')";
    const CrewDoc crew = CrewDoc::build(hiding, {}, nowSeconds(), false);
    const QStringList phone = runJs(crewView(true, crew), keyEntries).toString().split('\n');
    draw(rigger->page(), exportCrewDoc(hiding, false, nowSeconds()));
    const QStringList paper = rigger->js(keyEntries).toString().split('\n');
    EXPECT_TRUE(paper.contains("7 CS 1")) << paper.join(" | ").toStdString();
    std::map<QString, QString> onPaper; // by number
    for (const QString& entry : paper) onPaper[entry.section(' ', 0, 0)] = entry;
    int both = 0;
    for (const QString& entry : phone) {
        const auto found = onPaper.find(entry.section(' ', 0, 0));
        both += found != onPaper.end();
        EXPECT_TRUE(found == onPaper.end() || found->second == entry) << entry.toStdString();
    }
    EXPECT_GE(both, 5);

    PdfPrinter printer;
    printer.setTiming(patientPrinting);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("large.pdf");
    ASSERT_TRUE(QCoro::waitFor(
        printer.makeAsync(exportPdfPage(generatedShow(300, 1), false, nowSeconds()), pdf, true)));
    const QStringList pages = readPdf(pdf).text.split('\f');
    // Each part of the plan says where its numbers are explained.
    const QStringList parts = pages.filter(QRegularExpression("Plan, part \\d+ of \\d+"));
    ASSERT_GE(parts.size(), 2);
    for (qsizetype i = 0; i < parts.size(); ++i)
        EXPECT_TRUE(parts[i].contains(i + 1 < parts.size()
                                          ? QString("explained after part %1.").arg(parts.size())
                                          : QString("explained on the next page")));
    const QStringList keys = pages.filter("Numbers in the plan");
    ASSERT_GE(keys.size(), 2);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(
            keys[i].trimmed().startsWith(i ? "Numbers in the plan (continued)" : "Numbers in the plan"));
        EXPECT_EQ(keys[i].trimmed().endsWith("Continued on the next page."), i + 1 < keys.size());
    }
}

// Warnings by severity, errors first, in the report's order within a level; the same in the
// card, the navigation, the counts and the rigging points' list.
TEST_F(CrewLayouts, WarningsBySeverity) {
    CrewDoc doc = showCrewDoc(true);
    for (CrewDoc::Src& s : doc.sources) s.warn.clear();
    doc.sources[0].warn = {{"caution", "C1"}, {"warning", "W1"}, {"error", "E1"}, {"note", "N1"},
                           {"warning", "W2"}, {"caution", "C2"}, {"error", "E2"}};
    doc.sources[1].warn = {{"caution", "C3"}, {"warning", "W3"}};
    const QString card = "error: Error E1 | error: Error E2 | warning: Warning W1 | warning: Warning W2 | "
                         "caution: Caution C1 | caution: Caution C2 | caution: Note N1";
    QWebEnginePage& wide = crewView(false, doc);
    EXPECT_EQ(shown(wide, "#s-0 .warnings li", true), card);
    EXPECT_EQ(shown(wide, "#s-1 .warnings li", true), "warning: Warning W3 | caution: Caution C3");
    // Only a source with an error is flagged in the navigation.
    EXPECT_EQ(shown(wide, ".side-nav .nav-link").section(" | ", 0, 1), "Main L Changed Error | Main R");
    EXPECT_TRUE(shown(wide, ".summary").endsWith("9 warnings"));
    draw(sheets->page(), doc);
    EXPECT_EQ(shown(sheets->page(), "#s-0 .warnings li", true), card);
    draw(rigger->page(), doc);
    EXPECT_EQ(
        shown(rigger->page(), ".rig-warn td.c-level", true).section(" | ", 0, 6),
        "c-level error: Error | c-level error: Error | c-level warning: Warning | c-level warning: Warning | "
        "c-level caution: Caution | c-level caution: Caution | c-level caution: Note");
    EXPECT_EQ(
        shown(rigger->page(), ".rig-warn tbody tr"),
        "Main L Error E1 | Main L Error E2 | Main L Warning W1 | Main L Warning W2 | Main L Caution C1 | "
        "Main L Caution C2 | Main L Note N1 | Main R Warning W3 | Main R Caution C3");
}

// Only a web address becomes a link one can click, in the rigging points beside its QR code;
// no other text of the document is ever a link out of the page.
TEST_F(CrewLayouts, OnlyAWebAddressIsALink) {
    const std::string qr = toStd(*makeQRDataUrl("https://crew.example.net/c/tok"));
    const struct {
        std::string link, qr;
        QString shown; // the link as drawn: element, address, text
    } cases[] = {
        {"https://crew.example.net/c/tok", qr,
         "a https://crew.example.net/c/tok https://crew.example.net/c/tok"},
        {"HTTP://127.0.0.1:8080/c/x", "", "a HTTP://127.0.0.1:8080/c/x HTTP://127.0.0.1:8080/c/x"},
        {"javascript:alert(1)", qr, "span - javascript:alert(1)"},
        {"httpx://crew.example.net/c/tok", "", "span - httpx://crew.example.net/c/tok"},
        {"http:crew.example.net/c/tok", "", "span - http:crew.example.net/c/tok"},
        {"ftp://files.example.net/c/tok", "", "span - ftp://files.example.net/c/tok"},
        {"", qr, "none"},
        {"", "data:image/svg+xml;base64,PHN2Zy8+", "no box"},
    };
    const QString probe = R"((function () {
      var box = document.querySelector('.rig-head .qr');
      if (!box) return 'no box';
      var l = box.querySelector('.link');
      return (box.querySelector('img') ? 'QR ' : '') +
        (l ? l.tagName.toLowerCase() + ' ' + (l.getAttribute('href') || '-') + ' ' + l.textContent : 'none');
    })())";
    for (const auto& c : cases) {
        CrewDoc doc = showCrewDoc(true);
        if (!c.link.empty()) doc.link = c.link;
        if (!c.qr.empty()) doc.qr = c.qr;
        draw(rigger->page(), doc);
        const QString expected = (c.qr.starts_with("data:image/png") ? "QR " : "") + c.shown;
        EXPECT_EQ(rigger->js(probe), expected) << c.link;
    }

    // Texts that look like addresses stay text; only the page's own jumps are links.
    CrewDoc doc = showCrewDoc();
    doc.link = "https://crew.example.net/c/tok";
    doc.sources[0].changed = std::vector<std::string>{"see https://example.org/x"};
    doc.sources[1].warn.push_back({"warning", "<a href=\"https://example.org\">x</a>"});
    const QString outward = "document.querySelectorAll('a:not([href^=\"#\"]), [href^=\"http\"]').length";
    for (QWebEnginePage* page : {&crewView(false, doc), &sheets->page()}) {
        draw(*page, doc, page == crew->page());
        EXPECT_EQ(runJs(*page, outward), QVariant(0));
        EXPECT_TRUE(shown(*page, "#s-0 .changes li").contains("see https://example.org/x"));
    }
}

// The document's time in the reader's own time zone, the same in every layout; a text that is
// no such time as it is.
TEST_F(CrewLayouts, TheUpdateTimeInLocalTime) {
    const auto local = [](const char* iso) {
        return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate)
            .toLocalTime()
            .toString("yyyy-MM-dd HH:mm");
    };
    const std::pair<std::string, QString> cases[] = {
        {"2026-08-31T20:39:07Z", local("2026-08-31T20:39:07Z")},
        {"2026-12-31T23:59Z", local("2026-12-31T23:59:00Z")},
        {"2025-03-14T09:26:53Z", local("2025-03-14T09:26:53Z")},
        {"yesterday evening", "yesterday evening"},
        {"", ""},
    };
    for (const auto& [updated, text] : cases) {
        CrewDoc doc = showCrewDoc(true);
        doc.updated = updated;
        const QString part = text.isEmpty() ? QString() : "Updated " + text;
        const QString meta =
            "By Ana Rigger · " + (part.isEmpty() ? "" : part + " · ") + "Report Arena show report v2.pdf";
        EXPECT_TRUE(shown(crewView(false, doc), ".doc-head .meta").startsWith(meta)) << updated;
        draw(rigger->page(), doc);
        EXPECT_TRUE(shown(rigger->page(), ".rig-head .meta").startsWith(meta)) << updated;
        draw(sheets->page(), doc);
        EXPECT_EQ(shown(sheets->page(), "#s-0 .sheet-head span").section(" | ", 0, 1),
                  QString::fromUtf8("Arena – Show 2026 | Main › Left") + (part.isEmpty() ? "" : " · " + part))
            << updated;
    }
}

// Numbers as the library writes them: at most two decimals, an exact half of the last digit to
// the even one, no trailing zeros, no minus before a zero; the same in the card and the table.
TEST_F(CrewLayouts, NumbersRoundAsTheLibrarysDo) {
    const std::pair<double, const char*> cases[] = {{0.125, "0.12"},    {0.375, "0.38"},
                                                    {0.625, "0.62"},    {0.875, "0.88"},
                                                    {-0.125, "-0.12"},  {2.675, "2.67"},
                                                    {1.005, "1"},       {0.005, "0.01"},
                                                    {-0.001, "0"},      {1.5, "1.5"},
                                                    {-3.5, "-3.5"},     {12, "12"},
                                                    {402.25, "402.25"}, {-0x1p63, "-9223372036854775808"},
                                                    {1e21, "1e+21"},    {0x1p63, "9.223372036854776e+18"},
                                                    {12.3456, "12.35"}};
    CrewDoc doc = showCrewDoc(true);
    doc.sources.resize(1);
    CrewDoc::Src& src = doc.sources[0];
    src.points.clear();
    for (const auto& [value, text] : cases) {
        ASSERT_EQ(fmt(value), text) << value;
        CrewDoc::Point p;
        p.role = text;
        p.xyz = std::vector<double>{value, 1, 2};
        src.points.push_back(p);
    }
    src.side.reset();
    src.plan.reset();
    QStringList expected;
    for (const auto& [value, text] : cases) expected << text;
    EXPECT_EQ(shown(crewView(false, doc), "#s-0 td.c-x"), expected.join(" | "));
    draw(rigger->page(), doc);
    QStringList column;
    for (const QStringList& row : shownRows(rigger->page(), ".rig-table tbody tr")) column << row.value(5);
    EXPECT_EQ(column.join(" | "), expected.join(" | "));

    // A plate's load shared between its two motors: half of an odd hundredth is an exact half.
    CrewDoc plate = showCrewDoc(true);
    CrewDoc::Point& rear = plate.sources[4].points[1];
    ASSERT_TRUE(rear.delta && rear.dm);
    rear.load = 402.25;
    EXPECT_EQ(shown(crewView(false, plate), "#s-4 tr.sub td.c-load"),
              QString::fromUtf8("½ 201.12 | ½ 201.12"));
    draw(rigger->page(), plate);
    EXPECT_TRUE(shown(rigger->page(), ".rig-table tbody tr")
                    .contains(QString::fromUtf8("Out L Rear · K1-DELTA left C7 -13.1 3.48 9.6 18.5 8.9 "
                                                "201.12 K1-DELTA D8+ 500 kg + ½ plate 42.75 243.88")));
}

// What each layout shows: beside each other on a wide window, one column with a list of the
// sources to open on a phone, a sheet per source with its group and time for the crew, and
// the rigging points' summary, plan, table and warnings.
TEST_F(CrewLayouts, WhatEachLayoutShows) {
    // One source as the reader sees it, and a second that the project has changed.
    CrewDoc doc = showCrewDoc();
    doc.sources.resize(2);
    CrewDoc::Src& main = doc.sources[0];
    main.points.resize(1);
    main.motors = 1;
    main.rigH = 19.25;
    main.site = -3.5;
    main.az = -4;
    main.bottom = 7;
    main.botFace = std::vector<double>{-3, -7.5};
    main.weight = 730;
    main.encWeight = 672;
    main.pos = std::vector<double>{-7.5, 0.5, 11.2};
    main.enc.resize(2);
    for (CrewDoc::Enc& e : main.enc) e.a.reset();
    main.enc[1].pf = "B";
    main.changed.reset();
    doc.sources[1].points.clear();
    doc.sources[1].changed = std::vector<std::string>{"Rear: load 12 → 14 kg"};
    doc.inventory = {{"Enclosures", 24, "K2", std::nullopt}, {"Amplified controllers", 4, "LA12X", 16}};
    const QString encWide = "# | Type | Site | Top | Bottom | Panflex";
    const QString encPhone = "# | Type | Site | Top | Bot. | PF";
    struct Row {
        const char* selector;
        QString wide, phone;
    };
    const Row rows[] = {
        {".summary", QString::fromUtf8("2 sources · 1 rigging point · 0 warnings"),
         QString::fromUtf8("2 sources · 1 rigging point · 0 warnings")},
        {".banner strong", "1 source changed since the last publish",
         "1 source changed since the last publish"},
        {".side-nav .nav-link", "Main L | Main R Changed", ""},
        {".toc > summary", "", "Sources (2)"},
        {"section.group > h2", QString::fromUtf8("Main › Left | Main › Right"),
         QString::fromUtf8("Main › Left | Main › Right")},
        {"#s-0 .card-head .sub", QString::fromUtf8("flown array · K2-BUMP · 1 motor"),
         QString::fromUtf8("flown array · K2-BUMP · 1 motor")},
        {"#s-0 .facts dd", "", ""}, // filled below
        {"#s-0 .pts th", "Point | Hole | X (m) | Y (m) | Z (m) | Load (kg) | Motor | Drop (m)", ""},
        {"#s-1 .tables p", "No rigging points.", "No rigging points."},
        {"#s-0 .enc th", encWide, encPhone},
        {".inventory th", "Category | Qty | Product | Channels", "Category | Qty | Product | Ch."},
        {".delta-set", "K1-DELTA Motor spacing 0.8 m Plate weight 9.5 kg",
         "K1-DELTA Motor spacing 0.8 m Plate weight 9.5 kg"},
        {"figure.overview figcaption", "Plan of all sources", "Plan of all sources"},
    };
    for (const bool phone : {false, true}) {
        QWebEnginePage& page = crewView(phone, doc);
        EXPECT_EQ(runJs(page, "document.documentElement.className"), phone ? "crew phone" : "crew split");
        for (const Row& row : rows) {
            if (QString(row.selector).contains("facts")) continue;
            EXPECT_EQ(shown(page, row.selector), phone ? row.phone : row.wide)
                << row.selector << (phone ? " on a phone" : " wide");
        }
        EXPECT_EQ(shown(page, "#s-0 .facts div"),
                  QString::fromUtf8(
                      "Rigging height 19.25 m | Site -3.5° | Azimuth -4° | Bottom 7 m | "
                      "Bottom facet -7.5° (site -3°) | Total weight 730 kg | Enclosure weight 672 kg | "
                      "Position X / Y / Z -7.5 / 0.5 / 11.2 m"))
            << (phone ? "phone" : "wide");
    }
    // Wide, the list of sources stands beside them.
    crewView(false, doc);
    EXPECT_EQ(runJs(*crew->page(), "document.querySelector('.side-nav').getBoundingClientRect().right <= "
                                   "document.querySelector('main').getBoundingClientRect().left"),
              QVariant(true));

    // The crew sheets: a sheet per source, each headed with the show, group and time; nothing to
    // open or jump to.
    draw(sheets->page(), doc);
    EXPECT_EQ(
        shown(sheets->page(), ".sheet-head"),
        QString::fromUtf8("Arena – Show 2026 Main › Left · Updated %1 | Arena – Show 2026 Main › Right · "
                          "Updated %1")
            .arg(QDateTime(QDate(2025, 3, 14), QTime(9, 26), Qt::UTC)
                     .toLocalTime()
                     .toString("yyyy-MM-dd HH:mm")));
    EXPECT_EQ(shown(sheets->page(), ".side-nav, .toc, .banner, .summary, .inventory, h1"), "");
    EXPECT_EQ(shown(sheets->page(), "#s-0 .enc th"), encWide);

    // The rigging points: title, counts, plan, every column, warnings.
    draw(rigger->page(), doc);
    EXPECT_EQ(shown(rigger->page(), ".rig-head .kind, .rig-head .meta + .meta, section.rig > h2"),
              QString::fromUtf8(
                  "RIGGING POINTS | 2 sources · 1 rigging point · 0 warnings | Plan | Rigging points | "
                  "Warnings"));
    EXPECT_EQ(shown(rigger->page(), ".rig-warn p"), "No warnings.");

    // Print modes always draw something the printer waits for, even without sources; without
    // data they draw nothing it would print.
    CrewDoc empty = doc;
    empty.sources.clear();
    for (ShownPage* page : {rigger, sheets}) {
        draw(page->page(), empty);
        EXPECT_EQ(page->js("!!document.querySelector('.rig, .card')"), QVariant(true));
        EXPECT_TRUE(shown(page->page(), ".notice").contains("no sources"));
        page->js("window.rigUpdate(null)");
        EXPECT_EQ(page->js("!!document.querySelector('.rig, .card')"), QVariant(false));
        EXPECT_TRUE(shown(page->page(), ".notice").startsWith("No crew data"));
    }
}

} // namespace
} // namespace rig::app

// The crew page as WebEngine draws it in the window: a real show on a phone, hostile names and bad
// data; loaded once, updated in place, web links go out.
#include "CrewPage.h"
#include "CrewWebView.h"
#include "PageScheme.h"
#include "QtText.h"
#include "support/CrewTesting.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <csignal>
#include <limits>

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
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
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
    // An override left open in every name: outside an isolate it would reverse what follows.
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
    // Text holding such a name outside the drawings (which show a name alone) and whether it
    // stands alone in an isolating element.
    const QString names = R"((function () {
      var out = { isolated: 0, loose: [] };
      for (var w = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT), n = w.nextNode(); n; n = w.nextNode()) {
        var p = n.parentElement;
        if (n.textContent.indexOf('\u202E') < 0 || p.closest('svg, script')) continue;
        if (p.childNodes.length === 1 && getComputedStyle(p).unicodeBidi === 'isolate') out.isolated++;
        else out.loose.push(p.outerHTML.slice(0, 80));
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
        QWebEnginePage page;
        const QUrl url = servePage(page.profile(), crewPage(doc, mode, false).toUtf8());
        bool loaded = false;
        QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
        page.load(url);
        EXPECT_TRUE(waitFor([&] { return loaded; }));
        check(page, 150);
        releasePage(url);
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
            "window.calls.push([doc.name, options.split]); };\n</script></body></html>");
        QList<QUrl> opened;
        view.setLinkOpener([&](const QUrl& url) { opened << url; });
        auto js = [&](const QString& script) { return runJs(*view.page(), script); };
        EXPECT_FALSE(view.view()->acceptDrops());
        view.setDocument(named("B"), true);
        view.setDocument(named("C"), false);
        view.setDocument(named("D"), true);
        ASSERT_TRUE(waitFor([&] { return view.isLoaded() && js("window.calls.length").toInt() > 0; }));
        EXPECT_EQ(js("JSON.stringify(window.calls)"), QVariant(R"([["D",true]])"));
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

TEST(CrewWebViewWeb, ARendererEndingTwiceWithOneDocumentGivesWayToAMessage) {
    CrewWebView view(showCrewDoc(), true);
    view.resize(900, 700);
    view.show();
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
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

} // namespace
} // namespace rig::app

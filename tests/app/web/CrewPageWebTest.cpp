// The crew page as WebEngine draws it: the contract with the host and the printer, safety
// with hostile names, and readability on a phone in both colour schemes.
#include "export/CrewPage.h"
#include "export/CrewWebView.h"
#include "export/QRCode.h"
#include "shell/QtText.h"
#include "support/CrewTesting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

const std::string hostile = "</script><script>alert(1)</script>";

CrewDoc hostileDoc() {
    CrewDoc doc = showCrewDoc();
    doc.sources[0].name = hostile;
    doc.sources[0].points[0].role = "<img src=x onerror=alert(2)>";
    doc.sources[1].changed = std::vector<std::string>{"<!-- <script>"};
    return doc;
}

struct LoadedPage {
    QWebEnginePage page{QWebEngineProfile::defaultProfile()};
    bool ok = false;
    LoadedPage(const CrewDoc& doc, PageMode mode, bool split = false) {
        ok = loadHtml(page, crewPage(doc, mode, split));
    }
    QVariant js(const QString& script) { return runJs(page, script); }
};

const PageMode allModes[] = {PageMode::crew, PageMode::rigger, PageMode::printCrew};

TEST(CrewPageWeb, PrintModesAreReadyAtTheFirstCheckWhateverTheData) {
    CrewDoc empty = showCrewDoc();
    empty.sources.clear();
    CrewDoc broken = showCrewDoc();
    broken.sources[0].points[0].load = std::numeric_limits<double>::quiet_NaN(); // RIG_DATA = null
    for (PageMode mode : {PageMode::rigger, PageMode::printCrew}) {
        for (const CrewDoc* doc : {&empty, &broken}) {
            LoadedPage p(*doc, mode);
            ASSERT_TRUE(p.ok);
            EXPECT_EQ(p.js("!!document.querySelector('.rig, .card')"), QVariant(true));
            EXPECT_EQ(p.js("String(window.RIG_ERROR)"), QVariant("undefined"));
        }
        LoadedPage p(showCrewDoc(true), mode);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.js("!!document.querySelector('.rig, .card')"), QVariant(true));
    }
}

TEST(CrewPageWeb, EveryModeHasRigUpdateAndSurvivesBadData) {
    for (PageMode mode : allModes) {
        SCOPED_TRACE(pageModeWord(mode).toStdString());
        CrewDoc broken = showCrewDoc();
        broken.sources[0].enc[0].a = std::numeric_limits<double>::infinity();
        LoadedPage p(broken, mode);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.js("typeof window.rigUpdate"), QVariant("function"));
        EXPECT_EQ(p.js("window.RIG_DATA === null"), QVariant(true));
        EXPECT_TRUE(p.js("document.body.innerText").toString().contains("No crew data"));
        // Fields of the wrong type or missing altogether draw without throwing.
        for (const char* data :
             {"null", "{}", "[]", "{\"sources\": 5}",
              "{\"name\": 7, \"sources\": [null, 3, {\"points\": [{\"xyz\": [\"a\"]}], \"enc\": {}, "
              "\"side\": {\"box\": [0, 0, -1, 2], \"p\": \"M0 0Z\"}, \"plan\": {\"c\": [1]}}]}"}) {
            p.js(QString("window.rigUpdate(%1, {split: true})").arg(data));
            EXPECT_EQ(p.js("String(window.RIG_ERROR)"), QVariant("undefined")) << data;
        }
    }
}

TEST(CrewPageWeb, HostileNamesShowAsText) {
    const CrewDoc doc = hostileDoc();
    for (PageMode mode : allModes) {
        SCOPED_TRACE(pageModeWord(mode).toStdString());
        LoadedPage p(doc, mode);
        ASSERT_TRUE(p.ok);
        // The injected data and the page's own script, nothing more.
        EXPECT_EQ(p.js("document.scripts.length"), QVariant(2));
        EXPECT_EQ(p.js("document.querySelectorAll('img:not([alt^=\"QR\"])').length"), QVariant(0));
        EXPECT_EQ(p.js(QString("[...document.querySelectorAll('h3, td')].some(e => e.textContent === '%1')")
                           .arg(toQ(hostile))),
                  QVariant(true));
        EXPECT_EQ(p.js("String(window.RIG_ERROR)"), QVariant("undefined"));
    }
}

TEST(CrewPageWeb, LinkAndQrOnlyInTheRiggerPageAndOnlyWhenGiven) {
    CrewDoc withLink = showCrewDoc(true);
    withLink.link = "https://crew.example.net/v/tok-5f2a9c";
    withLink.qr = toStd(*makeQRDataUrl(toQ(*withLink.link)));
    struct Case {
        PageMode mode;
        const CrewDoc* doc;
        bool shown;
    };
    const CrewDoc plain = showCrewDoc(true);
    for (const Case& c : {Case{PageMode::rigger, &withLink, true}, Case{PageMode::rigger, &plain, false},
                          Case{PageMode::printCrew, &withLink, false}}) {
        LoadedPage p(*c.doc, c.mode);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.js("document.querySelectorAll('img[src^=\"data:image/png;base64,\"]').length"),
                  QVariant(c.shown ? 1 : 0));
        EXPECT_EQ(p.js("document.body.innerText.includes('crew.example.net')"), QVariant(c.shown));
        if (c.shown) {
            EXPECT_EQ(p.js("document.querySelector('.qr img').naturalWidth > 0"), QVariant(true));
        }
    }
}

TEST(CrewPageWeb, ShowsEveryFieldOfARealisticDocument) {
    const CrewDoc doc = showCrewDoc();
    LoadedPage p(doc, PageMode::crew, true);
    ASSERT_TRUE(p.ok);
    const QString text = p.js("document.body.innerText").toString();
    for (const char* expected : {"Arena – Show 2026",
                                 "Ana Rigger",
                                 "2025-03-14",
                                 "Arena show report v2.pdf",
                                 "Soundvision 3.7.1",
                                 "2 sources changed since the last publish",
                                 "Front: load 380 → 402 kg",
                                 "Main L",
                                 "K2-BUMP",
                                 "Rigging height",
                                 "19.25",
                                 "Bottom facet",
                                 "Enclosure weight",
                                 "D8+ 1000 kg",
                                 "K1-DELTA",
                                 "↳ Left",
                                 "2 × D8+ 500 kg",
                                 "Drop",
                                 "7.95",
                                 "Panflex",
                                 "Caution",
                                 "Check the rear motor load.",
                                 "Error",
                                 "Rear load is negative (-12.5 kg).",
                                 "Inventory",
                                 "KS28",
                                 "Motor spacing",
                                 "0.8 m",
                                 "KARA «centre» 5",
                                 "Main › Left"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
    EXPECT_FALSE(text.contains("Sub Ground C")); // hidden from the crew
    EXPECT_EQ(p.js("document.querySelectorAll('article.card').length"), QVariant(int(doc.sources.size())));
    EXPECT_EQ(p.js("document.querySelectorAll('article.card.changed').length"), QVariant(2));
    EXPECT_GE(p.js("document.querySelectorAll('svg[aria-label^=\"Side view\"] path').length").toInt(), 6);
    EXPECT_GE(p.js("document.querySelectorAll('svg[aria-label^=\"Plan of\"]').length").toInt(), 6);
    // Numbers as the library writes them.
    for (auto [in, out] :
         std::vector<std::pair<const char*, const char*>>{{"0.125", "0.12"},
                                                          {"0.375", "0.38"},
                                                          {"-0.125", "-0.12"},
                                                          {"4.25", "4.25"},
                                                          {"1.005", "1"},
                                                          {"-0.001", "0"},
                                                          {"2.675", "2.67"},
                                                          {"12", "12"},
                                                          {"-3.5", "-3.5"},
                                                          {"1e21", "1000000000000000000000"}}) {
        const QString probe =
            QString("(function(){ var d = %1; d.sources = [{name: 'n', points: [], enc: [], warn: "
                    "[], site: %2}]; window.rigUpdate(d, {split: true}); return "
                    "document.querySelector('.facts dd').textContent; })()")
                .arg(toQ(doc.encode()), in);
        EXPECT_EQ(p.js(probe).toString(), QString(out) + "°") << in;
    }
}

// Font sizes, contrast and touch targets of everything visible outside the drawings.
const char* const readability = R"((function () {
  function rgb(c) { var m = /rgba?\(([^)]+)\)/.exec(c); var p = m[1].split(',').map(Number); return { r: p[0], g: p[1], b: p[2], a: p.length > 3 ? p[3] : 1 }; }
  function lum(c) { function ch(v) { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); } return 0.2126 * ch(c.r) + 0.7152 * ch(c.g) + 0.0722 * ch(c.b); }
  function background(el) { for (; el; el = el.parentElement) { var c = rgb(getComputedStyle(el).backgroundColor); if (c.a > 0) return c; } return { r: 255, g: 255, b: 255, a: 1 }; }
  var out = { font: 999, fontAt: '', contrast: 99, contrastAt: '', target: 999, targetAt: '', texts: 0,
              width: document.documentElement.scrollWidth, client: document.documentElement.clientWidth,
              viewport: window.innerWidth };
  var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (var n = walker.nextNode(); n; n = walker.nextNode()) {
    var el = n.parentElement;
    if (!n.textContent.trim() || el.closest('svg, noscript')) continue;
    var range = document.createRange(); range.selectNodeContents(n);
    if (!range.getClientRects().length) continue;
    out.texts++;
    var cs = getComputedStyle(el), size = parseFloat(cs.fontSize);
    if (size < out.font) { out.font = size; out.fontAt = n.textContent.trim().slice(0, 40); }
    var a = lum(rgb(cs.color)), b = lum(background(el));
    var ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    if (ratio < out.contrast) { out.contrast = ratio; out.contrastAt = n.textContent.trim().slice(0, 40); }
  }
  document.querySelectorAll('a, summary, button').forEach(function (t) {
    if (t.closest('svg')) return;
    var r = t.getBoundingClientRect();
    if (!r.width || !r.height) return;
    if (r.height < out.target) { out.target = r.height; out.targetAt = t.textContent.trim().slice(0, 40); }
  });
  return JSON.stringify(out);
})())";

TEST(CrewPageWeb, PhoneLayoutIsReadableInBadLightInBothSchemes) {
    CrewWebView view(showCrewDoc(), false);
    view.resize(390, 844);
    view.show();
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    // The page draws the document it was built with; open the source list so its links count.
    runJs(*view.page(), "document.querySelector('.toc').open = true");
    for (const char* scheme : {"light", "dark"}) {
        SCOPED_TRACE(scheme);
        runJs(*view.page(), QString("window.rigScheme('%1')").arg(scheme));
        const QJsonObject r =
            QJsonDocument::fromJson(runJs(*view.page(), readability).toString().toUtf8()).object();
        ASSERT_GT(r["texts"].toInt(), 200);
        EXPECT_EQ(r["viewport"].toInt(), 390);
        // Nothing reaches past the visible width (the view's scroll bar takes its own share).
        EXPECT_LE(r["width"].toInt(), r["client"].toInt());
        EXPECT_GE(r["font"].toDouble(), 16) << r["fontAt"].toString().toStdString();
        EXPECT_GE(r["contrast"].toDouble(), 4.5) << r["contrastAt"].toString().toStdString();
        EXPECT_GE(r["target"].toDouble(), 44) << r["targetAt"].toString().toStdString();
        // No table is wider than its card either.
        EXPECT_EQ(runJs(*view.page(),
                        "[...document.querySelectorAll('.tablewrap')].every(w => w.scrollWidth <= "
                        "w.clientWidth)"),
                  QVariant(true));
    }
    EXPECT_EQ(runJs(*view.page(), "getComputedStyle(document.body).backgroundColor"),
              QVariant("rgb(11, 13, 16)"));
}

TEST(CrewPageWeb, WideLayoutPutsTheNavigationBesideTheDetails) {
    CrewWebView view(showCrewDoc(), true);
    view.resize(1280, 900);
    view.show();
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    const QJsonObject r = QJsonDocument::fromJson(runJs(*view.page(), R"((function () {
      var nav = document.querySelector('.side-nav').getBoundingClientRect();
      var main = document.querySelector('main').getBoundingClientRect();
      return JSON.stringify({ navRight: nav.right, mainLeft: main.left, navTop: nav.top, mainTop: main.top,
        links: document.querySelectorAll('.side-nav a').length, toc: !!document.querySelector('.toc'),
        width: document.documentElement.scrollWidth, viewport: document.documentElement.clientWidth });
    })())")
                                                      .toString()
                                                      .toUtf8())
                              .object();
    EXPECT_LE(r["navRight"].toDouble(), r["mainLeft"].toDouble());
    EXPECT_EQ(r["navTop"].toDouble(), r["mainTop"].toDouble());
    EXPECT_EQ(r["links"].toInt(), int(showCrewDoc().sources.size()));
    EXPECT_FALSE(r["toc"].toBool());
    EXPECT_LE(r["width"].toInt(), r["viewport"].toInt());
    // The same view switched to the phone layout by an update.
    view.setDocument(showCrewDoc(), false);
    EXPECT_TRUE(waitFor([&] { return runJs(*view.page(), "!!document.querySelector('.toc')").toBool(); }));
}

} // namespace
} // namespace rig::app

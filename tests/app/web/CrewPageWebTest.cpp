// The crew page as WebEngine draws it in the window: a real show on a phone, hostile names and bad
// data; loaded once, updated in place, web links go out.
#include "CrewWebView.h"
#include "PageScheme.h"
#include "QtText.h"
#include "support/CrewTesting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

// Smallest font size and contrast of visible text, smallest touch target, and whether it all fits.
const char* const readability = R"((function () {
  function rgb(c) { var p = /rgba?\(([^)]+)\)/.exec(c)[1].split(',').map(Number); return { r: p[0], g: p[1], b: p[2], a: p.length > 3 ? p[3] : 1 }; }
  function lum(c) { function ch(v) { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); } return 0.2126 * ch(c.r) + 0.7152 * ch(c.g) + 0.0722 * ch(c.b); }
  function bg(el) { for (; el; el = el.parentElement) { var c = rgb(getComputedStyle(el).backgroundColor); if (c.a > 0) return c; } return { r: 255, g: 255, b: 255 }; }
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

TEST(CrewPageWeb, TheViewShowsTheShowReadablyOnAPhoneAndHostileOrBadDataAsText) {
    const std::string hostile = "</script><script>alert(1)</script>";
    CrewDoc doc = showCrewDoc();
    doc.sources[0].name = hostile;
    doc.sources[0].points[0].role = "<img src=x onerror=alert(2)>";
    doc.sources[1].changed = std::vector<std::string>{"<!-- <script>"};
    CrewWebView view(doc, false); // the phone layout
    view.resize(390, 844);
    view.show();
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    auto js = [&](const QString& script) { return runJs(*view.page(), script); };
    EXPECT_EQ(js("document.scripts.length + ' ' + document.querySelectorAll('img').length"), QVariant("2 0"));
    const QString text = js("document.body.innerText").toString();
    EXPECT_TRUE(text.contains(toQ(hostile)));
    for (const char* expected :
         {"Front: load 380 → 402 kg", "19.25", "2 × D8+ 500 kg", "Check the rear motor load.",
          "Rear load is negative (-12.5 kg).", "KARA «centre» 5"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_FALSE(text.contains("Sub Ground C")); // hidden from the crew

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

    // Fields of the wrong type or missing altogether draw without throwing; no data says so.
    js(R"(window.rigUpdate({"name": 7, "sources": [null, 3, {"points": [{"xyz": ["a"]}], "enc": {},
        "side": {"box": [0, 0, -1, 2], "p": "M0 0Z"}, "plan": {"c": [1]}}]}, {split: true}))");
    EXPECT_EQ(js("String(window.RIG_ERROR)"), QVariant("undefined"));
    js("window.rigUpdate(null)");
    EXPECT_TRUE(js("document.body.innerText").toString().contains("No crew data"));
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
    }
    EXPECT_EQ(servedPageCount(), served); // the served page is released with the view
}

} // namespace
} // namespace rig::app

// The crew page hosted in the window: loaded once, updated in place, links to the browser.
#include "export/CrewWebView.h"
#include "export/PageScheme.h"
#include "support/CrewTesting.h"

#include <QPalette>
#include <QSignalSpy>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

CrewDoc named(const std::string& name) {
    CrewDoc doc;
    doc.name = name;
    return doc;
}

TEST(CrewWebViewWeb, UpdatesBeforeTheLoadArriveOnceWithTheLatestDocumentAndLinksGoOut) {
    const int served = servedPageCount();
    {
        // Records every rigUpdate call instead of drawing.
        CrewWebView view(
            named("A"), false, nullptr,
            "<!DOCTYPE html><html><body><a id=web href=\"https://crew.example.net/v/tok\">web</a>"
            "<a id=blank target=_blank href=\"http://example.org/blank\">blank</a>"
            "<a id=frag href=\"#here\">frag</a><p id=here>here</p><script>\n'use strict';\n"
            "window.calls = [];\nwindow.rigUpdate = function (doc, options) { "
            "window.calls.push([doc.name, options.split]); };\n</script></body></html>");
        QList<QUrl> opened;
        view.setLinkOpener([&](const QUrl& url) { opened << url; });
        QSignalSpy loads(view.page(), &QWebEnginePage::loadFinished);
        auto js = [&](const QString& script) { return runJs(*view.page(), script); };
        auto calls = [&] { return js("JSON.stringify(window.calls)").toString(); };
        EXPECT_EQ(view.view()->page()->backgroundColor(), QColor(Qt::transparent));
        EXPECT_FALSE(view.view()->acceptDrops());
        view.setDocument(named("B"), true);
        view.setDocument(named("C"), false);
        view.setDocument(named("D"), true);
        ASSERT_TRUE(waitFor([&] { return view.isLoaded() && calls() != "[]"; }));
        EXPECT_EQ(calls(), R"([["D",true]])");
        EXPECT_EQ(js("window.RIG_DATA.name + ' ' + window.RIG_SPLIT"),
                  QVariant("A false")); // built with the first
        js("window.kept = 7");
        view.setDocument(named("E"), false);
        ASSERT_TRUE(waitFor([&] { return calls().contains("E"); }));
        EXPECT_EQ(calls(), R"([["D",true],["E",false]])");
        EXPECT_EQ(js("window.kept"), QVariant(7));
        EXPECT_EQ(servedPageCount(), served + 1);
        EXPECT_EQ(loads.count(), 1);

        const QUrl page = view.page()->url();
        EXPECT_EQ(page.scheme(), "rig-page");
        js("document.getElementById('web').click()");
        js("document.getElementById('blank').click()");
        js("window.open('https://example.org/opened')");
        ASSERT_TRUE(waitFor([&] { return opened.size() == 3; }));
        EXPECT_EQ(opened,
                  QList<QUrl>({QUrl("https://crew.example.net/v/tok"), QUrl("http://example.org/blank"),
                               QUrl("https://example.org/opened")}));
        // A link inside the page is followed in the view.
        js("document.getElementById('frag').click()");
        ASSERT_TRUE(waitFor([&] { return view.page()->url().fragment() == "here"; }));
        EXPECT_EQ(opened.size(), 3);
        EXPECT_EQ(view.page()->url().adjusted(QUrl::RemoveFragment), page);
    }
    EXPECT_EQ(servedPageCount(), served);
}

TEST(CrewWebViewWeb, TheRealPageRedrawsInPlaceAndFollowsTheColourScheme) {
    CrewDoc doc = showCrewDoc();
    CrewWebView view(doc, false);
    QPalette dark = view.palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    view.setPalette(dark);
    QSignalSpy loads(view.page(), &QWebEnginePage::loadFinished);
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    auto js = [&](const QString& script) { return runJs(*view.page(), script); };
    EXPECT_TRUE(waitFor([&] { return js("document.documentElement.dataset.scheme") == "dark"; }));
    QPalette light = view.palette();
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    view.setPalette(light);
    EXPECT_TRUE(waitFor([&] { return js("document.documentElement.dataset.scheme") == "light"; }));
    EXPECT_EQ(js("getComputedStyle(document.body).backgroundColor"), QVariant("rgb(236, 238, 241)"));

    js("window.kept = 7");
    doc.name = "Second show";
    doc.sources.resize(2);
    view.setDocument(doc, false);
    ASSERT_TRUE(waitFor([&] { return js("document.querySelector('h1').textContent") == "Second show"; }));
    EXPECT_EQ(js("document.querySelectorAll('article.card').length"), QVariant(2));
    EXPECT_EQ(js("window.kept"), QVariant(7));
    EXPECT_EQ(loads.count(), 1);
}

} // namespace
} // namespace rig::app

// The crew page hosted in the window: loaded once, updated in place, links to the browser.
#include "export/CrewWebView.h"
#include "export/CrewPage.h"
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

// Records every rigUpdate call instead of drawing.
const QString recordingTemplate =
    "<!DOCTYPE html><html><body><a id=frag href=\"#x\">x</a><script>\n'use strict';\n"
    "window.calls = [];\n"
    "window.rigUpdate = function (doc, options) { window.calls.push([doc.name, "
    "options.split]); };\n</script></body></html>";

QString calls(CrewWebView& view) {
    return runJs(*view.page(), "JSON.stringify(window.calls)").toString();
}

TEST(CrewWebViewWeb, UpdatesBeforeTheLoadArriveOnceWithTheLatestDocument) {
    const int served = servedPageCount();
    {
        CrewWebView view(named("A"), false, nullptr, recordingTemplate);
        QSignalSpy loads(view.page(), &QWebEnginePage::loadFinished);
        view.setDocument(named("B"), true);
        view.setDocument(named("C"), false);
        view.setDocument(named("D"), true);
        EXPECT_FALSE(view.isLoaded());
        ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
        ASSERT_TRUE(waitFor([&] { return calls(view) != "[]"; }));
        EXPECT_EQ(calls(view), R"([["D",true]])");
        // The page was built with the first document.
        EXPECT_EQ(runJs(*view.page(), "window.RIG_DATA.name + ' ' + window.RIG_SPLIT"), QVariant("A false"));

        runJs(*view.page(), "window.kept = 7");
        view.setDocument(named("E"), false);
        ASSERT_TRUE(waitFor([&] { return calls(view).contains("E"); }));
        EXPECT_EQ(calls(view), R"([["D",true],["E",false]])");
        EXPECT_EQ(runJs(*view.page(), "window.kept"), QVariant(7));
        EXPECT_EQ(loads.count(), 1);
        EXPECT_EQ(servedPageCount(), served + 1);
    }
    EXPECT_EQ(servedPageCount(), served);
}

TEST(CrewWebViewWeb, TheRealPageRedrawsInPlace) {
    CrewDoc doc = showCrewDoc();
    CrewWebView view(doc, false);
    QSignalSpy loads(view.page(), &QWebEnginePage::loadFinished);
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    runJs(*view.page(), "window.kept = 7");
    doc.name = "Second show";
    doc.sources.resize(2);
    view.setDocument(doc, false);
    ASSERT_TRUE(waitFor([&] {
        return runJs(*view.page(), "document.querySelector('h1').textContent") == QVariant("Second show");
    }));
    EXPECT_EQ(runJs(*view.page(), "document.querySelectorAll('article.card').length"), QVariant(2));
    EXPECT_EQ(runJs(*view.page(), "window.kept"), QVariant(7));
    EXPECT_EQ(loads.count(), 1);
}

TEST(CrewWebViewWeb, WebLinksGoToTheBrowserAndThePageStays) {
    const QString links =
        "<!DOCTYPE html><html><body>"
        "<a id=web href=\"https://crew.example.net/v/tok\">web</a>"
        "<a id=blank target=_blank href=\"http://example.org/blank\">blank</a>"
        "<a id=frag href=\"#here\">frag</a><p id=here>here</p>"
        "<script>\n'use strict';\nwindow.rigUpdate = function () {};\n</script></body></html>";
    CrewWebView view(named("A"), false, nullptr, links);
    QList<QUrl> opened;
    view.setLinkOpener([&](const QUrl& url) { opened << url; });
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    const QUrl page = view.page()->url();

    runJs(*view.page(), "document.getElementById('web').click()");
    ASSERT_TRUE(waitFor([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened[0], QUrl("https://crew.example.net/v/tok"));

    runJs(*view.page(), "document.getElementById('blank').click()");
    ASSERT_TRUE(waitFor([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened[1], QUrl("http://example.org/blank"));

    runJs(*view.page(), "window.open('https://example.org/opened')");
    ASSERT_TRUE(waitFor([&] { return opened.size() == 3; }));
    EXPECT_EQ(opened[2], QUrl("https://example.org/opened"));

    // A link inside the page is followed in the view; nothing goes to the browser.
    runJs(*view.page(), "document.getElementById('frag').click()");
    ASSERT_TRUE(waitFor([&] { return view.page()->url().fragment() == "here"; }));
    EXPECT_EQ(opened.size(), 3);
    EXPECT_EQ(view.page()->url().adjusted(QUrl::RemoveFragment), page);
}

TEST(CrewWebViewWeb, ThePageFollowsTheWindowsColourScheme) {
    CrewWebView view(showCrewDoc(), false);
    QPalette dark = view.palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    view.setPalette(dark);
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    auto scheme = [&] { return runJs(*view.page(), "document.documentElement.dataset.scheme").toString(); };
    EXPECT_TRUE(waitFor([&] { return scheme() == "dark"; }));
    QPalette light = view.palette();
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    view.setPalette(light);
    EXPECT_TRUE(waitFor([&] { return scheme() == "light"; }));
    EXPECT_EQ(runJs(*view.page(), "getComputedStyle(document.body).backgroundColor"),
              QVariant("rgb(236, 238, 241)"));
}

TEST(CrewWebViewWeb, DrawsNoBackgroundOfItsOwnAndTakesNoDrops) {
    CrewWebView view(named("A"), true);
    EXPECT_EQ(view.page()->backgroundColor(), QColor(Qt::transparent));
    EXPECT_FALSE(view.view()->acceptDrops());
    ASSERT_TRUE(waitFor([&] { return view.isLoaded(); }));
    EXPECT_EQ(view.page()->url().scheme(), "rig-page");
}

} // namespace
} // namespace rig::app

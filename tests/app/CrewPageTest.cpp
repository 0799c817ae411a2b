#include "export/CrewPage.h"
#include "export/CrewWebView.h"
#include "shell/QtText.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

const QString marker = QStringLiteral("<script>\n'use strict';");

CrewDoc namedDoc(const std::string& sourceName) {
    CrewDoc doc;
    doc.sources.push_back(CrewDoc::Src{});
    doc.sources[0].id = "ALL/" + sourceName;
    doc.sources[0].name = sourceName;
    return doc;
}

TEST(CrewPage, DataIsInjectedBeforeEveryMarkerAndNeverEndsItsScriptElement) {
    for (const std::string name : {"</script><script>alert(1)</script>", "<!-- <script>", "a</SCRIPT >b"}) {
        SCOPED_TRACE(name);
        const QString page = crewPage(namedDoc(name), PageMode::printCrew, true, "A" + marker + "B" + marker);
        const qsizetype start = page.indexOf("<script>window.RIG_DATA=");
        const qsizetype end = page.indexOf(";</script>", start) + 10;
        ASSERT_TRUE(start > 0 && end > start);
        const QString element = page.mid(start, end - start);
        EXPECT_TRUE(element.endsWith(";window.RIG_MODE=\"print-crew\";window.RIG_SPLIT=true;</script>"));
        const QString body = element.chopped(9);
        EXPECT_FALSE(body.contains("</") || body.contains("<!--"));
        EXPECT_EQ(page, "A" + element + marker + "B" + element + marker);
    }
    // Data that cannot be written gives null, and no update.
    CrewDoc doc = namedDoc("x");
    doc.sources[0].points.push_back(CrewDoc::Point{});
    doc.sources[0].points[0].load = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(crewUpdateScript(doc, true));
    EXPECT_TRUE(crewPage(doc, PageMode::rigger, false, marker).startsWith("<script>window.RIG_DATA=null;"));
}

TEST(CrewPage, TemplateComesFromTheFirstReadableUtf8FileAndFetchesNothing) {
    QTemporaryDir dir;
    QFile good(dir.filePath("crew.html")), latin1(dir.filePath("latin1.html"));
    ASSERT_TRUE(good.open(QIODevice::WriteOnly) && latin1.open(QIODevice::WriteOnly));
    good.write("second é");
    latin1.write("caf\xE9");
    good.close();
    latin1.close();
    EXPECT_EQ(crewTemplateFrom({dir.filePath("none"), dir.path(), latin1.fileName(), good.fileName()}),
              "second é");
    EXPECT_EQ(crewTemplateFrom({latin1.fileName()}), missingCrewTemplate);

    // The shipped one: the policy first in the head, data reaches the DOM only as text.
    const QString text = crewTemplate();
    ASSERT_NE(text, missingCrewTemplate);
    EXPECT_EQ(text.count(marker), 1);
    EXPECT_TRUE(text.mid(text.indexOf('<', text.indexOf("<head>") + 6))
                    .startsWith("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                                "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:;"));
    for (const char* banned : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(",
                               "url(", "src=\"http", "setTimeout"})
        EXPECT_FALSE(text.contains(banned)) << banned;
}

TEST(CrewWebView, OnlyWebAddressesGoToTheBrowser) {
    for (const char* url : {"https://crew.example.net/v/tok", "HTTP://127.0.0.1:8080/"})
        EXPECT_TRUE(opensInBrowser(QUrl(url))) << url;
    for (const char* url :
         {"httpx://example.org/", "javascript:alert(1)", "file:///etc/passwd", "rig-page://page/1"})
        EXPECT_FALSE(opensInBrowser(QUrl(url))) << url;
}

} // namespace
} // namespace rig::app

#include "export/CrewPage.h"
#include "export/CrewWebView.h"
#include "shell/QtText.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

const QString marker = QStringLiteral("<script>\n'use strict';");

CrewDoc namedDoc(const std::string& sourceName) {
    CrewDoc doc;
    doc.name = "Show";
    CrewDoc::Src src;
    src.id = "ALL/" + sourceName;
    src.name = sourceName;
    doc.sources.push_back(src);
    return doc;
}

TEST(CrewPage, DataIsInjectedBeforeEveryMarkerAndNeverEndsItsScriptElement) {
    const std::pair<std::string, QString> names[] = {
        {"</script><script>alert(1)</script>", R"(<\/script><script>alert(1)<\/script>)"},
        {"<!-- <script>", R"(<\!-- <script>)"},
        {"a</SCRIPT >b", R"(a<\/SCRIPT >b)"},
        {"Main «L» → 3", "Main «L» → 3"},
    };
    const std::tuple<PageMode, bool, QString> modes[] = {{PageMode::crew, true, "crew"},
                                                         {PageMode::rigger, false, "rigger"},
                                                         {PageMode::printCrew, false, "print-crew"}};
    for (const auto& [name, escaped] : names) {
        for (const auto& [mode, split, word] : modes) {
            SCOPED_TRACE(name + " " + word.toStdString());
            const QString page = crewPage(namedDoc(name), mode, split, "A" + marker + "B" + marker + "C");
            const qsizetype start = page.indexOf("<script>window.RIG_DATA=");
            const qsizetype end = page.indexOf(";</script>", start) + 10;
            ASSERT_TRUE(start > 0 && end > start);
            const QString element = page.mid(start, end - start);
            EXPECT_TRUE(element.contains(escaped));
            EXPECT_TRUE(element.endsWith(";window.RIG_MODE=\"" + word +
                                         "\";window.RIG_SPLIT=" + (split ? "true" : "false") + ";</script>"));
            const QString body = element.chopped(9);
            EXPECT_FALSE(body.contains("</") || body.contains("<!--"));
            EXPECT_EQ(page, "A" + element + marker + "B" + element + marker + "C");
        }
    }
}

TEST(CrewPage, UnwritableDataGivesNullAndNoUpdate) {
    CrewDoc doc = namedDoc("Main L");
    const auto update = crewUpdateScript(doc, true);
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(*update, "window.rigUpdate(" + toQ(doc.encode()) + ", {split: true})");
    CrewDoc::Point p;
    p.load = std::numeric_limits<double>::quiet_NaN();
    doc.sources[0].points.push_back(p);
    EXPECT_FALSE(crewJson(doc) || crewUpdateScript(doc, true));
    EXPECT_EQ(crewPage(doc, PageMode::rigger, false, marker),
              "<script>window.RIG_DATA=null;window.RIG_MODE=\"rigger\";window.RIG_SPLIT=false;</script>" +
                  marker);
}

TEST(CrewPage, TemplateComesFromTheFirstReadableUtf8File) {
    const QString plain = "<p>no marker</p>";
    EXPECT_EQ(crewPage(namedDoc("x"), PageMode::rigger, false, plain), plain);
    QTemporaryDir dir;
    const QString missing = dir.filePath("nothing.html");
    EXPECT_EQ(crewTemplateFrom({missing, dir.path()}), missingCrewTemplate);
    QFile good(dir.filePath("crew.html")), latin1(dir.filePath("latin1.html"));
    ASSERT_TRUE(good.open(QIODevice::WriteOnly) && latin1.open(QIODevice::WriteOnly));
    good.write("second é");
    latin1.write("caf\xE9");
    good.close();
    latin1.close();
    EXPECT_EQ(crewTemplateFrom({missing, dir.path(), latin1.fileName(), good.fileName()}), "second é");
    EXPECT_EQ(crewTemplateFrom({latin1.fileName()}), missingCrewTemplate);

    // The shipped template: one marker, the policy first in the head, data reaches the DOM only
    // as text, nothing fetched from outside and nothing that a hidden page would delay.
    const QString text = crewTemplate();
    ASSERT_NE(text, missingCrewTemplate);
    EXPECT_EQ(text.count(marker), 1);
    const qsizetype head = text.indexOf("<head>");
    EXPECT_TRUE(text.mid(text.indexOf('<', head + 6))
                    .startsWith("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                                "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:;"));
    for (const char* banned :
         {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(", "@import", "url(",
          "src=\"http", "href=\"http", "setTimeout", "requestAnimationFrame"}) {
        EXPECT_FALSE(text.contains(banned)) << banned;
    }
    EXPECT_TRUE(QRegularExpression(R"(window\.rigUpdate\s*=\s*function)").match(text).hasMatch());
}

TEST(CrewWebView, OnlyWebAddressesGoToTheBrowser) {
    for (const char* url :
         {"https://crew.example.net/v/tok", "http://127.0.0.1:8080/", "HTTPS://example.org/"})
        EXPECT_TRUE(opensInBrowser(QUrl(url))) << url;
    for (const char* url : {"httpx://example.org/", "javascript:alert(1)", "file:///etc/passwd",
                            "mailto:a@example.org", "rig-page://page/1.html#s-2", ""})
        EXPECT_FALSE(opensInBrowser(QUrl(url))) << url;
}

} // namespace
} // namespace rig::app

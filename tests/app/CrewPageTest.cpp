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

// The injected element: from its start to its own end tag.
QString injected(const QString& page) {
    const qsizetype start = page.indexOf("<script>window.RIG_DATA=");
    const qsizetype end = page.indexOf(";</script>", start);
    if (start < 0 || end < 0) return {};
    return page.mid(start, end + 10 - start);
}

TEST(CrewPage, DataNeverEndsOrBendsItsScriptElement) {
    struct Case {
        std::string name;
        QString mustContain;
    };
    const std::vector<Case> cases = {
        {"</script><script>alert(1)</script>", R"(<\/script><script>alert(1)<\/script>)"},
        {"<!-- <script>", R"(<\!-- <script>)"},
        {"a</SCRIPT >b", R"(a<\/SCRIPT >b)"},
        {"Main «L» → 3", "Main «L» → 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString page =
            crewPage(namedDoc(c.name), PageMode::crew, false, "<html>" + marker + "</script>");
        const QString element = injected(page);
        ASSERT_FALSE(element.isEmpty());
        EXPECT_TRUE(element.contains(c.mustContain));
        // Inside the element neither sequence may occur; it ends only at its own end tag.
        const QString body = element.chopped(QStringLiteral("</script>").size());
        EXPECT_FALSE(body.contains("</"));
        EXPECT_FALSE(body.contains("<!--"));
        EXPECT_TRUE(page.endsWith(";</script>" + marker + "</script>"));
    }
}

TEST(CrewPage, InjectsModeSplitAndDataBeforeEveryMarker) {
    const QString twice = "A" + marker + "B" + marker + "C";
    struct Case {
        PageMode mode;
        bool split;
        QString word;
    };
    for (const Case& c : {Case{PageMode::crew, true, "crew"}, Case{PageMode::rigger, false, "rigger"},
                          Case{PageMode::printCrew, false, "print-crew"}}) {
        SCOPED_TRACE(c.word.toStdString());
        const QString page = crewPage(namedDoc("Main L"), c.mode, c.split, twice);
        const QString element = injected(page);
        EXPECT_TRUE(element.contains(";window.RIG_MODE=\"" + c.word + "\";"));
        EXPECT_TRUE(
            element.endsWith(QString(";window.RIG_SPLIT=") + (c.split ? "true" : "false") + ";</script>"));
        EXPECT_EQ(page, "A" + element + marker + "B" + element + marker + "C");
    }
}

TEST(CrewPage, WithoutMarkerOrTemplateThePageIsTheTemplate) {
    const QString plain = "<p>no script here</p><script>'use strict';</script>";
    EXPECT_EQ(crewPage(namedDoc("x"), PageMode::rigger, false, plain), plain);

    QTemporaryDir dir;
    const QString missing = dir.filePath("nothing.html");
    EXPECT_EQ(crewTemplateFrom({missing, dir.path()}), missingCrewTemplate);
    EXPECT_EQ(crewPage(namedDoc("x"), PageMode::crew, false, crewTemplateFrom({missing})),
              "<p>crew.html missing</p>");

    // The first candidate that reads wins; a folder in its place does not.
    QFile second(dir.filePath("crew.html"));
    ASSERT_TRUE(second.open(QIODevice::WriteOnly));
    second.write("second é");
    second.close();
    EXPECT_EQ(crewTemplateFrom({missing, dir.path(), second.fileName()}), QString("second é"));

    // A file that is not UTF-8 text does not read either.
    QFile latin1(dir.filePath("latin1.html"));
    ASSERT_TRUE(latin1.open(QIODevice::WriteOnly));
    latin1.write("caf\xE9");
    latin1.close();
    EXPECT_EQ(crewTemplateFrom({latin1.fileName(), second.fileName()}), QString("second é"));
    EXPECT_EQ(crewTemplateFrom({latin1.fileName()}), missingCrewTemplate);
}

TEST(CrewPage, ADocumentThatCannotBeWrittenGivesNullAndNoUpdate) {
    CrewDoc doc = namedDoc("Main L");
    CrewDoc::Point p;
    p.role = "Front";
    p.load = std::numeric_limits<double>::quiet_NaN();
    doc.sources[0].points.push_back(p);
    EXPECT_FALSE(crewJson(doc).has_value());
    EXPECT_FALSE(crewUpdateScript(doc, true).has_value());
    const QString page = crewPage(doc, PageMode::rigger, false, marker);
    EXPECT_EQ(page,
              "<script>window.RIG_DATA=null;window.RIG_MODE=\"rigger\";window.RIG_SPLIT=false;</script>" +
                  marker);
}

TEST(CrewPage, UpdateScriptCarriesTheWholeDocumentUnescaped) {
    const CrewDoc doc = namedDoc("</script>");
    const auto split = crewUpdateScript(doc, true);
    const auto phone = crewUpdateScript(doc, false);
    ASSERT_TRUE(split && phone);
    EXPECT_EQ(*split, "window.rigUpdate(" + toQ(doc.encode()) + ", {split: true})");
    EXPECT_TRUE(phone->endsWith(", {split: false})"));
}

TEST(CrewPage, TheShippedTemplateKeepsItsContract) {
    const QString text = crewTemplate();
    ASSERT_NE(text, missingCrewTemplate);
    EXPECT_EQ(text.count(marker), 1);
    EXPECT_FALSE(text.contains('\r'));
    // The policy comes first in the head: nothing loads before it applies.
    const qsizetype head = text.indexOf("<head>");
    const qsizetype firstTag = text.indexOf('<', head + 6);
    EXPECT_TRUE(
        text.mid(firstTag).startsWith("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
                                      "'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                                      "img-src data:;"));
    // Data reaches the DOM only as text; nothing is fetched from outside.
    for (const char* banned :
         {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write", "eval(", "@import", "url(",
          "src=\"http", "href=\"http", "setTimeout", "requestAnimationFrame"}) {
        EXPECT_FALSE(text.contains(banned)) << banned;
    }
    const QRegularExpression rigUpdate(R"(window\.rigUpdate\s*=\s*function)");
    EXPECT_TRUE(rigUpdate.match(text).hasMatch());
}

TEST(CrewWebView, OnlyWebAddressesGoToTheBrowser) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"https://crew.example.net/v/tok", true},
        {"http://127.0.0.1:8080/", true},
        {"HTTPS://example.org/", true},
        {"httpx://example.org/", false},
        {"javascript:alert(1)", false},
        {"file:///etc/passwd", false},
        {"mailto:a@example.org", false},
        {"rig-page://page/1.html#s-2", false},
        {"", false},
    };
    for (const auto& [url, browser] : cases) {
        EXPECT_EQ(opensInBrowser(QUrl(url)), browser) << url.toStdString();
    }
}

} // namespace
} // namespace rig::app

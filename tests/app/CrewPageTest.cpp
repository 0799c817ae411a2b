#include "CrewPage.h"
#include "CrewWebView.h"
#include "PageScheme.h"
#include "QRCode.h"
#include "QtText.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace rig::app {
namespace {

const QString marker = QStringLiteral("<script>\n'use strict';");

CrewDoc namedDoc(const std::string& sourceName) {
    CrewDoc doc;
    doc.sources.resize(1);
    doc.sources[0].name = sourceName;
    return doc;
}

TEST(CrewPage, DataIsInjectedBeforeEveryMarkerAndNeverEndsItsScriptElement) {
    const QString page =
        crewPage(namedDoc("</SCRIPT ><!-- <script>"), PageMode::printCrew, true, "A" + marker + "B" + marker);
    const qsizetype start = page.indexOf("<script>window.RIG_DATA=");
    const QString element = page.mid(start, page.indexOf(";</script>", start) + 10 - start);
    EXPECT_TRUE(element.endsWith(";window.RIG_MODE=\"print-crew\";window.RIG_SPLIT=true;</script>"));
    EXPECT_FALSE(element.chopped(9).contains("</", Qt::CaseInsensitive) || element.contains("<!--"));
    EXPECT_EQ(page, "A" + element + marker + "B" + element + marker);
    // A number that is not finite arrives as an empty field; the rest of the document is there.
    CrewDoc doc = namedDoc("x");
    doc.sources[0].points.push_back(CrewDoc::Point{});
    doc.sources[0].points[0].load = std::numeric_limits<double>::quiet_NaN();
    doc.sources[0].pos = std::vector<double>{1, -std::numeric_limits<double>::infinity(), 3};
    for (const QString& text : {crewPage(doc, PageMode::rigger, false, marker), crewUpdateScript(doc, true)})
        EXPECT_TRUE(text.contains(R"("name":"x")") && text.contains(R"("pos":[1,null,3])") &&
                    text.contains(R"("load":null)"))
            << text.toStdString();
}

// A large show's crew sheets print in runs, one per core (at most eight) of at least 20 sheets
// each, that together hold every sheet once, in order.
TEST(CrewPage, SheetsPrintInRunsThatHoldEverySheetOnce) {
    for (const auto& [sheets, cores, parts] :
         {std::tuple{0, 8, 1}, {39, 8, 1}, {40, 8, 2}, {300, 8, 8}, {300, 2, 2}, {5000, 64, 8}, {300, 0, 1}})
        EXPECT_EQ(crewSheetPartCount(std::size_t(sheets), cores), parts) << sheets << " on " << cores;
    CrewDoc doc;
    doc.sources.resize(7);
    QStringList runs;
    for (const QString& page : crewSheetParts(doc, 3))
        runs << QRegularExpression(R"(RIG_SHEETS=\[\d+,\d+\];</script>)").match(page).captured(0);
    EXPECT_EQ(runs, QStringList({"RIG_SHEETS=[0,2];</script>", "RIG_SHEETS=[2,4];</script>",
                                 "RIG_SHEETS=[4,7];</script>"}));
    EXPECT_EQ(crewSheetParts(doc, 20).size(), 7);
    EXPECT_EQ(crewSheetParts(doc, 1), QStringList(crewPage(doc, PageMode::printCrew, false)));
}

TEST(CrewPage, TemplateIsReadableUtf8AndFetchesNothing) {
    QTemporaryDir dir; // a missing file, a folder and a file that is not UTF-8 are all passed over
    QFile latin1(dir.filePath("latin1.html"));
    ASSERT_TRUE(latin1.open(QIODevice::WriteOnly) && latin1.write("caf\xE9") == 4);
    latin1.close();
    EXPECT_EQ(crewTemplateFrom({dir.filePath("none"), dir.path(), latin1.fileName()}), missingCrewTemplate);
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

TEST(CrewWebView, OnlyWebAddressesGoToTheBrowserAndThePageNeverLeavesItsAddress) {
    for (const char* url : {"https://crew.example.net/v/tok", "HTTP://127.0.0.1:8080/"})
        EXPECT_TRUE(isWebLink(QUrl(url))) << url;
    for (const char* url : {"httpx://example.org/", "https-evil://example.org/", "javascript:alert(1)",
                            "file:///etc/passwd", "rig-page://page/1", "http:/c/tok", ""})
        EXPECT_FALSE(isWebLink(QUrl(url))) << url;
    const QUrl home("rig-page://page/3.html");
    EXPECT_TRUE(staysOnPage(home, home) && staysOnPage(home, QUrl("rig-page://page/3.html#s-4")));
    for (const char* url : {"rig-page://page/4.html", "rig-page://page/3.html?x", "https://crew.example.net/",
                            "about:blank", "data:text/html,x", "javascript:alert(1)"})
        EXPECT_FALSE(staysOnPage(home, QUrl(url))) << url;
    EXPECT_FALSE(staysOnPage(QUrl(), QUrl()));
}

TEST(QRCode, ZbarReadsBackTheLinkAndNoImageWhenNoSymbolFits) {
    const QString link = QString::fromUtf8("https://crew.example.net/v/Délai–tour «centre» ↔ 3");
    const auto url = makeQRDataUrl(link);
    ASSERT_TRUE(url && url->startsWith("data:image/png;base64,"));
    QTemporaryDir dir;
    QFile png(dir.filePath("qr.png"));
    ASSERT_TRUE(png.open(QIODevice::WriteOnly));
    png.write(QByteArray::fromBase64(url->mid(22).toLatin1()));
    png.close();
    QProcess zbar;
    zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", png.fileName()});
    ASSERT_TRUE(zbar.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), link);
    const std::pair<QString, double> bad[] = {
        {"", 8}, {"https://x", 0}, {"https://x", NAN}, {"https://x", 1e6}, {QString(4000, 'x'), 8}};
    for (const auto& [text, scale] : bad)
        EXPECT_FALSE(makeQRImage(text, scale) || makeQRDataUrl(text, scale)) << text.size() << " " << scale;
}

} // namespace
} // namespace rig::app

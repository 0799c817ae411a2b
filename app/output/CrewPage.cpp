#include "CrewPage.h"

#include <QFile>
#include <QStringDecoder>
#include <QWebEnginePage>

#include <algorithm>

namespace rig::app {

namespace {

// The template's main script starts with exactly this; the data goes right before it.
const QString insertionMarker = QStringLiteral("<script>\n'use strict';");

QString scriptJson(const CrewDoc& doc) {
    QString json = crewJson(doc);
    // Inside a script element "</" could end the element and "<!--" could switch the
    // parser into a state where the element's own end tag no longer ends it. In the JSON
    // both only occur inside strings, where "\/" and "\!" read as "/" and "!".
    json.replace(QStringLiteral("</"), QStringLiteral("<\\/"));
    json.replace(QStringLiteral("<!--"), QStringLiteral("<\\!--"));
    return json;
}

QString fillTemplate(const QString& templateText, const QString& json, PageMode mode, bool split,
                     const QString& extra) {
    QString injected;
    injected.reserve(json.size() + 120);
    injected += QStringLiteral("<script>window.RIG_DATA=");
    injected += json;
    injected += QStringLiteral(";window.RIG_MODE=\"");
    injected += pageModeWord(mode);
    injected += QStringLiteral("\";window.RIG_SPLIT=");
    injected += split ? QStringLiteral("true") : QStringLiteral("false");
    injected += QStringLiteral(";");
    injected += extra;
    injected += QStringLiteral("</script>");

    QString page = templateText;
    page.replace(insertionMarker, injected + insertionMarker);
    return page;
}

} // namespace

QString pageModeWord(PageMode mode) {
    switch (mode) {
    case PageMode::crew:
        return QStringLiteral("crew");
    case PageMode::rigger:
        return QStringLiteral("rigger");
    case PageMode::printCrew:
        return QStringLiteral("print-crew");
    }
    return QStringLiteral("crew");
}

QString crewTemplateFrom(const QStringList& paths) {
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) continue;
        // A file that is not UTF-8 does not read as the template.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(bytes);
        if (decoder.hasError()) continue;
        return text;
    }
    return missingCrewTemplate;
}

QString crewTemplate() {
    // Never a file beside the program: an installation cannot lose or mix up its page.
    return crewTemplateFrom({QStringLiteral(":/crew.html")});
}

QString crewJson(const CrewDoc& doc) {
    // Invalid UTF-8 in the names is already replaced by the encoder.
    const std::string json = doc.encodeLenient();
    return QString::fromUtf8(json.data(), qsizetype(json.size()));
}

QString crewPage(const CrewDoc& doc, PageMode mode, bool split) {
    return crewPage(doc, mode, split, crewTemplate());
}

QString crewPage(const CrewDoc& doc, PageMode mode, bool split, const QString& templateText) {
    return fillTemplate(templateText, scriptJson(doc), mode, split, {});
}

int crewSheetPartCount(std::size_t sheets, int cores) {
    const std::size_t byCores = std::size_t(std::clamp(cores, 1, maxSheetParts));
    return int(std::clamp<std::size_t>(sheets / minSheetsPerPart, 1, byCores));
}

QStringList crewSheetParts(const CrewDoc& doc, int parts) {
    const QString json = scriptJson(doc), templateText = crewTemplate();
    const std::size_t sheets = doc.sources.size();
    const std::size_t count = std::min(std::size_t(std::max(parts, 1)), std::max<std::size_t>(sheets, 1));
    if (count == 1) return {fillTemplate(templateText, json, PageMode::printCrew, false, {})};
    QStringList pages;
    for (std::size_t k = 0; k < count; ++k) {
        // Runs of sizes that differ by one at most, in print order.
        const std::size_t from = sheets * k / count, to = sheets * (k + 1) / count;
        pages << fillTemplate(templateText, json, PageMode::printCrew, false,
                              QStringLiteral("window.RIG_SHEETS=[%1,%2];").arg(from).arg(to));
    }
    return pages;
}

QString crewUpdateScript(const CrewDoc& doc, bool split) {
    return QStringLiteral("window.rigUpdate(") + crewJson(doc) + QStringLiteral(", {split: ") +
           (split ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral("})");
}

void pushUpdate(QWebEnginePage* page, const CrewDoc& doc, bool split) {
    if (page == nullptr) return;
    page->runJavaScript(crewUpdateScript(doc, split));
}

} // namespace rig::app

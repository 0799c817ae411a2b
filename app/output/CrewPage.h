// The crew page: the template "crew.html", compiled into the program, filled with a crew
// document. The same text is shown live in the window and printed to both PDFs.
#pragma once

#include "analysis/CrewDoc.h"

#include <QString>
#include <QStringList>

class QWebEnginePage;

namespace rig::app {

// What the page draws: the live crew view, the rigging-points PDF (landscape) or the crew
// sheets PDF (portrait).
enum class PageMode { crew, rigger, printCrew };

// "crew", "rigger" or "print-crew": the word the page receives as RIG_MODE.
QString pageModeWord(PageMode mode);

// Stands in for a template that cannot be read.
inline const QString missingCrewTemplate = QStringLiteral("<p>crew.html missing</p>");

// The template text from the program's own resources.
QString crewTemplate();
// The first of `paths` that reads as UTF-8 text, else missingCrewTemplate.
QString crewTemplateFrom(const QStringList& paths);

// The crew document as the page receives it: compact JSON, a number that is not finite written
// as null (the page shows an empty field).
QString crewJson(const CrewDoc& doc);

// The complete page: the template with the data, mode and split flag injected before its
// main script.
QString crewPage(const CrewDoc& doc, PageMode mode, bool split);
QString crewPage(const CrewDoc& doc, PageMode mode, bool split, const QString& templateText);

// The script that makes a loaded page redraw with `doc`.
QString crewUpdateScript(const CrewDoc& doc, bool split);

// Asks a loaded crew page to redraw. Results and script errors are ignored.
void pushUpdate(QWebEnginePage* page, const CrewDoc& doc, bool split);

} // namespace rig::app

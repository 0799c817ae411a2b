// The crew page: the template "crew.html", compiled into the program, filled with a crew
// document. The same text is shown live in the window and printed to both PDFs.
#pragma once

#include "analysis/CrewDoc.h"

#include <QString>
#include <QStringList>

#include <cstddef>

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

// The crew sheets of `doc` as `parts` pages (fewer for a show of fewer sources), each drawing its
// own run of the sheets: printed side by side and joined in order, they make the same paper as
// crewPage(doc, PageMode::printCrew, false). A web page prints on one core only.
QStringList crewSheetParts(const CrewDoc& doc, int parts);
// How many parts the crew sheets of `sheets` sources print in on `cores` cores: one per core, at
// most maxSheetParts, each of at least minSheetsPerPart sheets (a part costs a renderer process and
// a load of the whole document).
inline constexpr int maxSheetParts = 8;
inline constexpr std::size_t minSheetsPerPart = 20;
int crewSheetPartCount(std::size_t sheets, int cores);

// The script that makes a loaded page redraw with `doc`.
QString crewUpdateScript(const CrewDoc& doc, bool split);

// Asks a loaded crew page to redraw. Results and script errors are ignored.
void pushUpdate(QWebEnginePage* page, const CrewDoc& doc, bool split);

} // namespace rig::app

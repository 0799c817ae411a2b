// A realistic show and independent readers for the crew page and PDF tests.
#pragma once

#include "analysis/CrewDoc.h"
#include "model/Project.h"

#include <QVariant>

#include <functional>
#include <vector>

class QWebEnginePage;

namespace rig::app::testing {

// Main hangs with motors, out-fills with K1-DELTA points, subs (the ground ones hidden), a delay, two
// sources from a generated report (accents, guillemets), a warning, a negative load, group heights.
Project showProject();
// Its crew document, with a change on the first source.
CrewDoc showCrewDoc(bool includeHidden = false);

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000);
// The value of a script in the page (invalid when it did not answer in time).
QVariant runJs(QWebEnginePage& page, const QString& script, int timeoutMs = 30000);

// What poppler reads from a PDF file (size of the first page in points, text with -layout).
struct PdfFacts {
    bool readable = false;
    int pages = 0;
    double width = 0, height = 0;
    QString text;
};
PdfFacts readPdf(const QString& path);

// One word as `pdftotext -bbox` places it (points, origin at the page's top left).
struct PdfWord {
    int page = 0; // from 1
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    QString text;
};
std::vector<PdfWord> readPdfWords(const QString& path);

} // namespace rig::app::testing

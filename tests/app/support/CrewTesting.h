// A realistic show and independent readers for the crew page and PDF tests.
#pragma once

#include "analysis/CrewDoc.h"
#include "model/Project.h"

#include <QString>
#include <QVariant>

#include <functional>

class QWebEnginePage;

namespace rig::app::testing {

// Main hangs with motors, out-fills with K1-DELTA points, subs (the ground ones hidden), a delay, two
// sources from a generated report (accents, guillemets), a warning, a negative load, group heights.
Project showProject();
// Its crew document, with changes on two sources.
CrewDoc showCrewDoc(bool includeHidden = false);

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000);
// Loads `html` into `page` through the in-memory scheme; true when the load succeeded.
bool loadHtml(QWebEnginePage& page, const QString& html, int timeoutMs = 30000);
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

} // namespace rig::app::testing

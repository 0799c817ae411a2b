// Realistic crew documents and independent readers for the crew page and PDF tests.
#pragma once

#include "analysis/CrewDoc.h"
#include "model/Project.h"

#include <QString>
#include <QVariant>

#include <functional>

class QWebEnginePage;

namespace rig::app::testing {

// A show as a rigger meets it: main hangs left and right with motors, out-fills with a
// K1-DELTA point, flown and ground subs, delays, two sources straight from a generated
// report (names with accents, arrows and guillemets), side and plan views, report warnings
// and a negative load, rigging heights per group, inventory, hidden ground subs.
Project showProject();
// Its crew document: changes on two sources; `includeHidden` as for the PDFs.
CrewDoc showCrewDoc(bool includeHidden = false);

// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000);

// Loads `html` into `page` through the in-memory scheme; true when the load succeeded.
bool loadHtml(QWebEnginePage& page, const QString& html, int timeoutMs = 30000);

// The value of a script in the page (invalid when it did not answer in time).
QVariant runJs(QWebEnginePage& page, const QString& script, int timeoutMs = 30000);

// What poppler reads from a PDF file.
struct PdfFacts {
    bool readable = false;
    int pages = 0;
    double width = 0;  // points, first page
    double height = 0; // points, first page
    QString text;      // pdftotext -layout
};
PdfFacts readPdf(const QString& path);

} // namespace rig::app::testing

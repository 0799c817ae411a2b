// A realistic show and independent readers for the crew page and PDF tests.
#pragma once

#include "PdfPrinter.h"
#include "analysis/CrewDoc.h"
#include "model/Project.h"
#include "support/Waiting.h"

#include <QSize>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class QWebEnginePage;
class QWebEngineView;

namespace rig::app {
class CrewWebView;
}

namespace rig::app::testing {

// Main hangs with motors, out-fills with K1-DELTA points, subs (the ground ones hidden), a delay, two
// sources from a generated report (accents, guillemets), a warning, a negative load, group heights.
Project showProject();
// Its crew document, with a change on the first source.
CrewDoc showCrewDoc(bool includeHidden = false);

// The value of a script in the page (invalid when it did not answer in time).
QVariant runJs(QWebEnginePage& page, const QString& script, int timeoutMs = 30000);

// Rows of cell texts from a page script's JSON answer (an array of arrays of strings).
std::vector<QStringList> jsonRows(const QString& json);

// How long a page may take to load and draw. A page that breaks fails its test by then
// instead of holding up the whole run.
inline constexpr int pageDeadlineMs = 60000;
// The printer's waits for a page to draw, print and answer, out of reach: a print that is to
// succeed never races them on a busy machine. Tests of those waits set their own.
inline const PdfPrinter::Timing patientPrinting = [] {
    PdfPrinter::Timing timing;
    timing.checkRetries = 3000;
    timing.jobTimeoutMs = timing.printTimeoutMs = timing.endWaitMs = 3'600'000;
    return timing;
}();
// Until the crew page in `view` has loaded and drawn (a source, a message); false when that
// took longer than `timeoutMs`.
bool waitForDrawn(CrewWebView& view, int timeoutMs = pageDeadlineMs);

// A page in a view of its own, drawn off screen at `size`: the print modes as a screen lays
// them out (the window never shows them).
class ShownPage {
public:
    ShownPage(const QString& html, QSize size);
    ~ShownPage();
    ShownPage(const ShownPage&) = delete;
    ShownPage& operator=(const ShownPage&) = delete;

    QWebEnginePage& page() const { return *page_; }
    QVariant js(const QString& script) const { return runJs(*page_, script); }
    // Until it has loaded and drawn; false when that took longer than `timeoutMs`.
    bool waitForDrawn(int timeoutMs = pageDeadlineMs);

private:
    std::unique_ptr<QWebEngineView> view_;
    QWebEnginePage* page_ = nullptr;
    QUrl url_;
    bool loaded_ = false;
};

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

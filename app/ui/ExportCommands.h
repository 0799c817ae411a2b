// The four File ▸ Export commands: each asks for a file with an export save panel that opens
// in the folder of the last export, builds its output and writes it. Failures reach the
// store's error message; written PDFs are shown in the file manager. Main thread only.
#pragma once

#include "PrintedPages.h"
#include "analysis/CrewDoc.h"
#include "base/Date.h"
#include "model/Project.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string_view>

class QWidget;

namespace rig::app {

class DXFSettings;
class PdfPrinter;
class ProjectStore;
class Reveal;

enum class ExportKind { riggingPointsPDF, crewSheetsPDF, riggingPointsDXF, riggingPointsCSV };

// The settings key of the folder that held the file last chosen in any export panel.
inline constexpr const char* lastExportDirectoryKey = "lastExportDirectory";

// The project name (or "Rig" when it has none) and the kind's suffix, such as
// "Main Stage – rigging points.pdf", as proposedFileName makes it (no "/", control or
// direction characters; at most 255 bytes).
QString proposedExportName(const Project& project, ExportKind kind);

// Writes `bytes` to `path` atomically; the reason it failed, else nothing. A file already at
// `path` stays as it was on failure.
std::optional<QString> writeExportFile(const QString& path, std::string_view bytes);

class ExportCommands : public QObject {
    Q_OBJECT
public:
    ExportCommands(ProjectStore& store, DXFSettings& dxfSettings, PdfPrinter& printer, Reveal& reveal);

    // The files of the PDF exports still printing, oldest first; quitting now would drop them.
    const QStringList& pdfsPrinting() const { return printing_; }

    // The rigging points (`crew` false: landscape) or the crew sheets (portrait) as PDF.
    // Returns once the print job has started; see printPDF.
    void exportPDF(const Project& project, bool crew);
    // The same PDF to `path` without the panel: the written file is revealed (after `written`
    // ran with it); a failure adds "Could not save <file name>: <reason>" to the store's error
    // message.
    void printPDF(const Project& project, bool crew, const QString& path, Date now,
                  std::function<void(const QString&)> written = {});
    // The rigging points as 3-D DXF with the kept options; the panel carries the options
    // accessory, whose choices are kept even when the panel is cancelled.
    void exportDXF(const Project& project);
    // The rigging-points CSV as UTF-8.
    void exportCSV(const Project& project);

signals:
    // A PDF export started or ended (written, failed or replaced).
    void pdfsPrintingChanged();

private:
    // Runs the export panel; once a file is chosen runs `chosen`. Absent when cancelled.
    std::optional<QString> choose(const Project& project, ExportKind kind, QWidget* accessory = nullptr,
                                  const std::function<void()>& chosen = {});
    // The next export panel opens where `writtenFile` was written.
    static void rememberFolder(const QString& writtenFile);
    // Writes the file and remembers its folder, or reports why it failed.
    void write(const QString& path, std::string_view bytes);

    ProjectStore& store_;
    DXFSettings& dxfSettings_;
    PdfPrinter& printer_;
    Reveal& reveal_;
    QStringList printing_;
};

} // namespace rig::app

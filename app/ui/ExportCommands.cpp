#include "ExportCommands.h"

#include "AppPaths.h"
#include "DXFOptionsForm.h"
#include "DXFSettings.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "Prompts.h"
#include "QtText.h"
#include "Reveal.h"
#include "RiggingPointsCSV.h"
#include "analysis/RigDXF.h"
#include "base/File.h"
#include "base/Text.h"

#include <QFileInfo>

namespace rig::app {

namespace {

struct KindInfo {
    const char* suffix;
    const char* nameFilter;
    const char* extension;
};

KindInfo info(ExportKind kind) {
    switch (kind) {
    case ExportKind::riggingPointsPDF:
        return {" – rigging points.pdf", "PDF document (*.pdf)", "pdf"};
    case ExportKind::crewSheetsPDF:
        return {" – crew sheets.pdf", "PDF document (*.pdf)", "pdf"};
    case ExportKind::riggingPointsDXF:
        return {" – rigging points.dxf", "DXF drawing (*.dxf)", "dxf"};
    case ExportKind::riggingPointsCSV:
        return {" – rigging points.csv", "CSV text (*.csv)", "csv"};
    }
    return {"", "", ""};
}

// Each PDF that could not be written is named, also when several fail before the window
// shows the first.
void reportPdfFailure(ProjectStore& store, const QString& file, const QString& failure) {
    const QString line =
        QStringLiteral("Could not save %1: %2").arg(shownName(QFileInfo(file).fileName()), failure);
    const std::optional<QString> waiting = store.errorMessage();
    if (waiting && waiting->split(QLatin1Char('\n')).contains(line)) return;
    store.setErrorMessage(waiting ? *waiting + QLatin1Char('\n') + line : line);
}

} // namespace

QString proposedExportName(const Project& project, ExportKind kind) {
    return toQ(proposedFileName(project.name, info(kind).suffix, "Rig"));
}

std::optional<QString> writeExportFile(const QString& path, std::string_view bytes) {
    try {
        writeFileAtomically(toPath(path), bytes);
        return std::nullopt;
    } catch (const std::exception& e) {
        return failureReason(e);
    }
}

ExportCommands::ExportCommands(ProjectStore& store, DXFSettings& dxfSettings, PdfPrinter& printer,
                               Reveal& reveal)
    : store_(store), dxfSettings_(dxfSettings), printer_(printer), reveal_(reveal) {
    // Every end of a job, also one replaced by a later export of the same file or cancelled.
    connect(&printer_, &PdfPrinter::jobFinished, this, [this](const QString& file) {
        if (printing_.removeOne(file)) emit pdfsPrintingChanged();
    });
}

std::optional<QString> ExportCommands::choose(const Project& project, ExportKind kind, QWidget* accessory,
                                              const std::function<void()>& chosen) {
    const KindInfo k = info(kind);
    Prompts::ExportSave request;
    request.directory = settings().value(lastExportDirectoryKey).toString();
    request.fileName = proposedExportName(project, kind);
    request.nameFilter = QString::fromUtf8(k.nameFilter);
    request.defaultSuffix = QString::fromUtf8(k.extension);
    request.accessory = accessory;
    const std::optional<QString> path = prompts().chooseExportSaveFile(request);
    if (!path || path->isEmpty()) return std::nullopt;
    if (chosen) chosen();
    return path;
}

void ExportCommands::rememberFolder(const QString& writtenFile) {
    // Only a folder that took a file: the next panel would open in one that failed.
    settings().setValue(lastExportDirectoryKey, QFileInfo(writtenFile).absolutePath());
    settings().sync();
}

void ExportCommands::write(const QString& path, std::string_view bytes) {
    if (const auto reason = writeExportFile(path, bytes)) {
        store_.setErrorMessage(
            QStringLiteral("Could not save %1: %2").arg(shownName(QFileInfo(path).fileName()), *reason));
        return;
    }
    rememberFolder(path);
}

void ExportCommands::exportPDF(const Project& project, bool crew) {
    const auto path = choose(project, crew ? ExportKind::crewSheetsPDF : ExportKind::riggingPointsPDF);
    if (!path) return;
    printPDF(project, crew, *path, nowSeconds(), [](const QString& file) { rememberFolder(file); });
}

void ExportCommands::printPDF(const Project& project, bool crew, const QString& path, Date now,
                              std::function<void(const QString&)> written) {
    ProjectStore& store = store_;
    Reveal& reveal = reveal_;
    printer_.make(
        exportPdfPages(project, crew, now), path, !crew,
        [&store, &reveal, done = std::move(written)](const QString& file, bool ok, const QString& failure) {
            if (ok) {
                if (done) done(file);
                reveal.reveal(file);
            } else {
                reportPdfFailure(store, file, failure);
            }
        });
    // After make(): a job it replaced for this file has ended by now.
    printing_.push_back(absoluteFilePath(path));
    emit pdfsPrintingChanged();
}

void ExportCommands::exportDXF(const Project& project) {
    DXFAccessory accessory(dxfSettings_);
    // A height typed without Return still counts.
    const auto path = choose(project, ExportKind::riggingPointsDXF, &accessory, [&] { accessory.apply(); });
    if (!path) return;
    // The drawing is ASCII except layers named after groups with accented or non-Latin letters;
    // those are written as UTF-8 rather than refusing the whole export.
    write(*path, RigDXF::make(project, dxfSettings_.options()));
}

void ExportCommands::exportCSV(const Project& project) {
    const auto path = choose(project, ExportKind::riggingPointsCSV);
    if (!path) return;
    write(*path, riggingPointsCSV(project));
}

} // namespace rig::app

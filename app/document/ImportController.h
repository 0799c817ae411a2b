// The file import of one ProjectStore: the entry for dropped, chosen and system-opened files,
// the reading on a worker thread and the result merged into the open project on the main
// thread. Main thread only.
#pragma once

#include "import/ImportNotes.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

namespace rig::app {

class ProjectStore;
struct ImportReaders;

// A local file named like a project document (".qvrig", any case).
bool isProjectDocument(const QUrl& url);

// Addresses handed in, sorted: the local files, each once in its first place, by the file and
// not by how its address is spelled ("./", "//", a query), as plain file addresses; and the
// addresses that name no local file ("http:", "sftp:", "data:", "file://otherhost/…"), each once.
struct HandedURLs {
    QList<QUrl> files;
    QList<QUrl> notFiles;
};
HandedURLs sortHandedURLs(const QList<QUrl>& urls);

class ImportController : public QObject {
    Q_OBJECT
public:
    static constexpr const char* lastImportDirKey = "lastImportDirectory";

    explicit ImportController(ProjectStore& store);
    // Stops a running import; its result is dropped.
    ~ImportController() override;

    // True while an import reads its files.
    bool importing() const { return importing_; }
    // Change texts of the last report import, shown once by the window; cleared by it and by
    // another document.
    std::optional<QStringList> importChanges() const { return importChanges_; }
    void setImportChanges(std::optional<QStringList> changes);

    // Files dropped, chosen or opened with the program. The first project document among them
    // is opened instead (after the save prompt); otherwise the files are read on a worker
    // thread and merged into the project, unless it changed meanwhile. Ignored while an import
    // runs, but named once in that import's message, or at once when it reads past the store's
    // longImport delay (a read may never return). Only local files are taken: the other
    // addresses are named once, in the import's message or an alert of their own.
    void handleURLs(const QList<QUrl>& urls);
    // Files that wait for the running import to end: named when it reads past that delay.
    void noteWaiting(const QList<QUrl>& urls);
    // The import panel, opening in the folder of the previous import.
    void showImportPanel();
    // The readers imports use (the library's unless set; tests inject their own).
    void setImportReaders(const ImportReaders& readers);
    // Set while an import reads its files.
    void setImporting(bool importing);
    // For the end of the program: stops the import and waits at most `limit` for its worker.
    // False when the worker has not come back: a read stuck in the system (a pipe, a hung
    // network share) may never return, and nothing may wait for it.
    bool finishReading(std::chrono::milliseconds limit);

signals:
    void importingChanged();
    void importChangesChanged();

private:
    // Files handed in while an import runs, and addresses that are no local file, for the
    // import's message.
    void noteNotTaken(const QList<QUrl>& urls, const char* why);
    // Once the import reads past its delay: what it refused or keeps waiting, said now.
    void tellWhatWaits();

    ProjectStore& store_;
    std::shared_ptr<const ImportReaders> readers_;
    // Stops a running import when the program quits or the store goes away.
    std::stop_source stop_;
    // How many workers are reading, shared with them: one may outlive the controller.
    struct Workers;
    std::shared_ptr<Workers> workers_;
    bool importing_ = false;
    std::optional<QStringList> importChanges_;
    ImportNotes notTaken_;
    QSet<QString> notTakenFiles_;
    ImportNotes waiting_;
    QSet<QString> waitingFiles_;
    QTimer longImport_;
    bool readingLong_ = false;
};

} // namespace rig::app

// The document store: the one open project, its file, unsaved changes, recent files,
// autosave and recovery, import and the crew-view re-send. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace rig::app {

class MotorLibrary;
struct ImportReaders;
struct ImportContext; // ProjectStoreImport.cpp

class ProjectStore : public QObject {
    Q_OBJECT
public:
    // The store's waits. Tests shorten them.
    struct Delays {
        std::chrono::milliseconds autosave{3000};    // after the last change
        std::chrono::milliseconds restoreOffer{800}; // after launch
        std::chrono::milliseconds visibility{2000};  // crew-view re-send after the last change
    };

    // Settings keys.
    static constexpr const char* recentKey = "recentProjects";
    static constexpr const char* lastDirKey = "lastProjectDirectory";
    static constexpr int recentLimit = 10;

    // Reads the recent list from settings(); entries whose file is gone are left out.
    explicit ProjectStore(QObject* parent = nullptr);
    // Waits for autosave writes under way.
    ~ProjectStore() override;

    // The process-wide store, created on first use.
    static ProjectStore& shared();

    // --- The open project ---------------------------------------------------------------
    const Project& project() const { return project_; }
    // The change rule: an unequal value marks the document edited and re-arms the autosave.
    void setProject(Project project);

    // Bumped by every effective change of the project and by every replacement
    // (new, open, restore): an import or a request compares it to drop stale results.
    std::uint64_t revision() const { return revision_; }
    // Bumped only when another document replaces the open one (new, open, restore).
    std::uint64_t generation() const { return generation_; }

    // Absolute path of the open project's file; absent for an untitled project.
    std::optional<QString> filePath() const { return filePath_; }
    bool isDirty() const { return dirty_; }
    // The file's name without extension, else the project's name, else "Untitled";
    // " — Edited" appended while dirty.
    QString windowTitle() const;

    // --- Recent projects (absolute paths, most recent first, at most recentLimit) ---------
    QStringList recent() const { return recent_; }
    // Puts the file at the front and stores the list and its folder in the settings.
    void rememberRecent(const QString& path);
    // "Clear Menu": empties the list and removes its settings entry.
    void clearRecent();

    // --- Document operations (failures go to errorMessage) ---------------------------------
    // The save prompt, then an empty untitled project.
    void newProject();
    // The save prompt, the open panel, then openProject without a second prompt.
    void showOpenPanel();
    // Opens a project file; with `prompt` the save prompt runs first.
    void openProject(const QString& path, bool prompt);
    // Before the project is dropped: true when the caller may go on, false when cancelled or
    // when the work could not be kept. A project with a file is saved into it; when that
    // fails, or for an untitled, non-empty, edited project, the user is asked.
    bool confirmDiscardChanges();
    // The save panel, then writeProject. True only when the file was written.
    bool saveProject();
    // Writes the project to `path` now. True on success.
    bool writeProject(const QString& path);

    // --- Autosave and recovery -------------------------------------------------------------
    // Restarts the autosave wait (called by every change); an empty project and the
    // snapshot mode are never autosaved.
    void scheduleAutosave();
    bool isAutosavePending() const { return autosaveTimer_.isActive(); }
    // The autosave itself: an edited project is written on a worker thread, into its file
    // or, untitled, to the recovery copy. autosaveFinished() follows on this thread.
    void writeRecovery();
    // Blocks until the autosave writes under way are on disk (their results still arrive
    // through the event loop). For the end of the program.
    void finishWrites();
    // ".../Recovery/unsaved.qvrig" in the data folder; creates the folder.
    static QString recoveryPath();
    // Calls offerRestore after the launch delay; false (nothing scheduled) in snapshot mode.
    bool scheduleRestoreOffer();
    // Offers to restore the recovery copy into an empty project.
    void offerRestore();

    const Delays& delays() const { return delays_; }
    void setDelays(const Delays& delays) { delays_ = delays; }

    // --- Import ----------------------------------------------------------------------------
    // True while an import reads its files.
    bool importing() const { return importing_; }
    // Set by the import while it reads its files.
    void setImporting(bool importing);
    // Change texts of the last report import, shown once by the window; cleared by it.
    std::optional<QStringList> importChanges() const { return importChanges_; }
    void setImportChanges(std::optional<QStringList> changes);

    // Files dropped, chosen or opened with the program (ProjectStoreImport.cpp). The first
    // project document among them is opened instead (after the save prompt); otherwise the
    // files are read on a worker thread and merged into the project, unless it changed
    // meanwhile. Ignored while an import runs. Only local files are taken.
    void handleURLs(const QList<QUrl>& urls);
    // The import panel, opening in the folder of the previous import.
    void showImportPanel();
    static constexpr const char* lastImportDirKey = "lastImportDirectory";
    // Where an empty project takes its Delta defaults from (MotorLibrary::shared() unless set).
    void setMotorLibrary(MotorLibrary* library);
    // The readers imports use (the library's unless set; tests inject their own).
    void setImportReaders(const ImportReaders& readers);

    // --- Messages for the window ----------------------------------------------------------
    std::optional<QString> errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<QString> message);

signals:
    void projectChanged();
    void filePathChanged();
    void dirtyChanged();
    void windowTitleChanged();
    void recentChanged();
    void importingChanged();
    void importChangesChanged();
    void errorMessageChanged();
    // An autosave write has ended and its result is applied.
    void autosaveFinished();

private:
    struct Writer;
    struct AutosaveJob;

    // Another document takes the place of the open one (new, open, restore).
    void replaceDocument(Project project, std::optional<QString> path, bool dirty);
    void setFilePath(std::optional<QString> path);
    void setDirty(bool dirty);
    void updateWindowTitle();
    // "Don’t Save": the recovery copy, written now. False (with a message) when it could not be.
    bool writeRecoveryCopy();
    // Deletes the recovery copy when it belongs to the open document.
    void removeOwnedRecovery();
    void autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error, bool superseded);

    Project project_;
    std::uint64_t revision_ = 0;
    std::uint64_t generation_ = 0;
    std::optional<QString> filePath_;
    bool dirty_ = false;
    QString windowTitle_;
    QStringList recent_;
    bool importing_ = false;
    std::optional<QStringList> importChanges_;
    std::optional<QString> errorMessage_;
    Delays delays_;
    QTimer autosaveTimer_;
    std::unique_ptr<Writer> writer_;
    std::shared_ptr<ImportContext> import_; // created by the first import
};

} // namespace rig::app

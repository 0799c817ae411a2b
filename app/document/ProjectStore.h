// The document store: the one open project, its file, unsaved changes, recent files,
// autosave and recovery, import and the crew-view re-send. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <qcoro6/qcoro/qcorotask.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace rig::app {

class MotorLibrary;
struct ImportReaders;
struct ImportContext; // ProjectStoreImport.cpp
class PublishClient;
class PublishSettings;
struct ServerLink;
struct ShareContext; // ProjectStoreShare.cpp

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
    // Restarts the autosave wait (called by every change); an empty project, and any project
    // while recovery is off, is never autosaved.
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
    // Calls offerRestore after the launch delay, once no dialog is open; false (nothing
    // scheduled) while recovery is off.
    bool scheduleRestoreOffer();
    // Off: no autosave and no restore offer (a run that drives itself). On by default.
    void setRecoveryEnabled(bool enabled) { recoveryEnabled_ = enabled; }
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

    // --- Crew link (ProjectStoreShare.cpp) ----------------------------------------------------
    // Where the crew-link actions read the server address and key and send their requests
    // (PublishSettings::shared() and PublishClient::shared() unless set).
    void setPublishing(PublishSettings* settings, PublishClient* client);
    // Makes and uploads the download files of a freshly published project. Unless set:
    // uploadDownloads with the shared PDF printer and DXF options and the publish settings.
    using DownloadUploader = std::function<QCoro::Task<void>(Project project, QString token)>;
    void setDownloadUploader(DownloadUploader uploader);

    // The crew-link actions work on the project value they are given and change nothing of
    // the store. They fail with PublishError, whose message() is the text for the user.
    // publish(): publishProject with the publish settings' server and key as they are now.
    QCoro::Task<ShareInfo> publish(Project project);
    // The crew view (hidden sources left out, changes since the last publish marked) to a
    // new link, or to the project's own link once it has one; the new publish record.
    QCoro::Task<ShareInfo> publishProject(Project project, QString server, QString key);
    // The published state of every source again, under the current hidden set, to the
    // project's link: its record with only `hidden` replaced. "Not published yet." for a
    // project without a record, or with an attached link that has nothing published.
    QCoro::Task<ShareInfo> resendProject(Project project);
    QCoro::Task<ShareInfo> resendProject(Project project, QString server, QString key);
    // The links kept on the server, and deleting one, with the publish settings.
    QCoro::Task<std::vector<ServerLink>> listServerLinks();
    QCoro::Task<void> deleteServerLink(QString token);

    // The publish button's press: publishes the open project, stores the new record in it,
    // uploads the download files, writes the project to its file when it has one. Failures go
    // to errorMessage. Gives the link to put on the clipboard, nothing when the publish
    // failed or another project was opened while it ran (then nothing is stored or saved).
    QCoro::Task<std::optional<QString>> publishOpenProject();

    // --- The crew view's hidden sources -----------------------------------------------------
    // Text of the last failed re-send; absent after a success or when nothing needs sending.
    std::optional<QString> visibilityError() const;
    // Called whenever the project's hidden sources change: re-sends the crew view once the
    // visibility delay has passed without another change, when it is stale.
    void scheduleVisibilityUpdate();
    bool isVisibilityUpdateScheduled() const;
    // Re-sends now ("Send Now" and the scheduled wait). One send runs at a time: a later one
    // waits for it and then sends the newest hidden set, if it still differs.
    QCoro::Task<void> sendVisibilityUpdate();
    bool isSendingVisibility() const;

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
    void visibilityErrorChanged();
    void sendingVisibilityChanged();

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
    // After a save: deletes the recovery copy when it belongs to the open document, and skips
    // one still queued for it.
    void removeOwnedRecovery();
    void autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error, bool superseded);
    ShareContext& shareContext();
    void setVisibilityError(std::optional<QString> error);

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
    bool recoveryEnabled_ = true;
    QTimer autosaveTimer_;
    std::unique_ptr<Writer> writer_;
    std::shared_ptr<ImportContext> import_; // created by the first import
    std::shared_ptr<ShareContext> share_;   // created by the first crew-link action
};

} // namespace rig::app

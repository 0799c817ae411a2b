// Nothing lost on a crash: the autosave of an edited project (into its file, or untitled into
// the recovery copy), every write of a project file, and the offer to restore the copy at the
// next start. Belongs to one ProjectStore. Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rig::app {

class ProjectStore;

class Recovery : public QObject {
    Q_OBJECT
public:
    explicit Recovery(ProjectStore& store);
    // Waits for the writes under way.
    ~Recovery() override;

    // ".../Recovery/unsaved.qvrig" in the data folder; creates the folder.
    static QString recoveryPath();

    // Off: no autosave and no restore offer (a run that drives itself). On by default.
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // Restarts the autosave wait (the store calls it on every change); an empty project, and
    // any project while recovery is off, is never autosaved.
    void scheduleAutosave();
    void cancelAutosave() { autosaveTimer_.stop(); }
    // The autosave itself: an edited project is written on a worker thread, into its file
    // or, untitled, to the recovery copy. autosaveFinished() follows on this thread.
    void writeRecovery();
    // Blocks until the writes under way are on disk (their results still arrive through the
    // event loop). For the end of the program.
    void finishWrites();

    // Calls offerRestore after the launch delay, once no dialog is open; false (nothing
    // scheduled) while recovery is off.
    bool scheduleRestoreOffer();
    // Offers to restore the recovery copy into an empty project.
    void offerRestore();

    // For the store. Writes a project file now, in turn with the autosaves of the same file:
    // the reason it failed, else nothing.
    std::optional<QString> writeFile(const QString& path, const std::string& bytes);
    // "Don’t Save": the recovery copy of the open project, written now. False (with the
    // store's error message set) when it could not be.
    bool writeCopyNow();
    // After a save: deletes the recovery copy when it belongs to the open document, and skips
    // one still queued for it.
    void documentSaved();

signals:
    // An autosave write has ended and its result is applied.
    void autosaveFinished();

private:
    struct Writer;
    struct AutosaveJob;

    void autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error, bool superseded);

    ProjectStore& store_;
    bool enabled_ = true;
    QTimer autosaveTimer_;
    std::unique_ptr<Writer> writer_;
};

} // namespace rig::app

// Nothing lost on a crash: the autosave of an edited project (into its file, or untitled into
// the recovery copy), every write of a project file, and the offer to restore a copy at the
// next start. Each running program writes a copy of its own in the recovery folder, held with a
// lock file while it runs, so programs running side by side never write over, offer or delete
// each other's copies. Belongs to one ProjectStore. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QLockFile;

namespace rig::app {

class ProjectStore;

class Recovery : public QObject {
    Q_OBJECT
public:
    explicit Recovery(ProjectStore& store);
    // Waits for the writes under way.
    ~Recovery() override;

    // "Recovery" in the data folder; creates it.
    static QString recoveryFolder();
    // This program's copy of the open document: "unsaved-<random>.qvrig" in the recovery
    // folder, locked from its first use until the document it was kept for goes (it then stays
    // for a later start) or the program ends.
    QString copyPath();

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
    // At the end of the program, after finishWrites: the copy is no longer held, and so offered
    // at the next start.
    void releaseCopy();

    // Calls offerRestore after the launch delay, once no dialog is open; false (nothing
    // scheduled) while recovery is off.
    bool scheduleRestoreOffer();
    // Offers to restore into an empty project the newest copy that no running program holds.
    // "Restore" makes it this program's own copy; "Discard" deletes it; Escape keeps it for a
    // later start. One offer at most. A copy that is no project is kept aside, and the store's
    // message says where.
    void offerRestore();

    // For the store. Writes `project` into its file now, in turn with the autosaves of the same
    // file: the reason it failed, else nothing.
    std::optional<QString> writeFile(const QString& path, const Project& project);
    // "Don’t Save": the recovery copy of the open project, written now. What could not be
    // written and why ("<folder or file>: <reason>"), else nothing.
    std::optional<QString> writeCopyNow();
    // After a save: deletes the recovery copy when it belongs to the open document, and skips
    // one still queued for it.
    void documentSaved();
    // Another document takes the open one's place: a copy kept of the one that goes stays on
    // disk, and the next one's copies go under another name.
    void documentReplaced();

signals:
    // An autosave write has ended and its result is applied.
    void autosaveFinished();

private:
    struct Writer;
    struct AutosaveJob;

    void autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error, bool superseded);
    // Moves a copy that cannot be read out of the way of later copies; the line that says where
    // it is now.
    static QString keepCopyAside(const QString& path, const QString& reason);
    // The store's message names the copies kept aside, after any message waiting.
    void tellKeptAside(const QStringList& lines);
    // Shows the offer of the copy at `path`, which `lock` holds, and acts on the answer.
    void offer(const QString& path, std::unique_ptr<QLockFile> lock, Project restored);

    ProjectStore& store_;
    bool enabled_ = true;
    QTimer autosaveTimer_;
    std::unique_ptr<Writer> writer_;
    QString copyPath_;
    std::unique_ptr<QLockFile> copyLock_;
};

} // namespace rig::app

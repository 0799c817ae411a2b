#include "ProjectStore.h"

#include "AppPaths.h"
#include "DateText.h"
#include "Prompts.h"
#include "QtText.h"
#include "base/File.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThreadPool>

#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace rig::app {

namespace {

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The reason shown after "Could not open x: " and "Could not save: ".
QString reasonOf(const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        return toQ(system->code().message());
    }
    return toQ(error.what());
}

QString displayName(const Project& project) {
    return project.name.empty() ? QStringLiteral("Untitled") : toQ(project.name);
}

} // namespace

// Every write of a project file or of the recovery copy goes through here. Autosaves run on
// one worker thread; saves made on the main thread take the same lock, so two writes of one
// file never overlap, and a write queued before a newer one of the same file is skipped.
struct ProjectStore::Writer {
    struct Outcome {
        bool superseded = false;
        std::optional<QString> error;
    };

    QThreadPool pool;
    std::uint64_t nextTicket = 0; // main thread

    std::mutex mutex;
    std::map<QString, std::uint64_t> newest; // newest ticket handled per file
    // The document generation whose copy is the recovery file on disk, when it is ours.
    std::optional<std::uint64_t> recoveryOwner;
    std::uint64_t recoveryWrites = 0; // recovery copies this run has written

    Writer() { pool.setMaxThreadCount(1); }

    std::uint64_t ticket() { return ++nextTicket; }

    // `recoveryOf`: the generation the bytes belong to when they are the recovery copy.
    Outcome write(const QString& path, std::uint64_t ticket, const std::string& bytes,
                  std::optional<std::uint64_t> recoveryOf) {
        std::lock_guard lock(mutex);
        std::uint64_t& last = newest[path];
        if (last > ticket) return {true, std::nullopt};
        last = ticket;
        try {
            writeFileAtomically(toPath(path), bytes);
        } catch (const std::exception& error) {
            return {false, reasonOf(error)};
        }
        if (recoveryOf) {
            recoveryOwner = recoveryOf;
            ++recoveryWrites;
        }
        return {};
    }

    // `generation` was saved: its recovery copy goes, also one still queued (it is older than
    // the save and would otherwise land after it). Another document's copy stays.
    void saved(const QString& recoveryPath, std::uint64_t generation) {
        std::lock_guard lock(mutex);
        newest[recoveryPath] = ticket();
        if (recoveryOwner != generation) return;
        std::error_code ignored;
        std::filesystem::remove(toPath(recoveryPath), ignored);
        recoveryOwner.reset();
    }

    std::uint64_t recoveryWriteCount() {
        std::lock_guard lock(mutex);
        return recoveryWrites;
    }

    // Deletes the recovery copy as it was seen after `writesSeen` copies of this run, but not
    // one written since (the open document's own). Copies still queued are written after.
    void discard(const QString& recoveryPath, std::uint64_t writesSeen) {
        std::lock_guard lock(mutex);
        if (recoveryWrites != writesSeen) return;
        std::error_code ignored;
        std::filesystem::remove(toPath(recoveryPath), ignored);
        recoveryOwner.reset();
    }

    void own(std::uint64_t generation) {
        std::lock_guard lock(mutex);
        recoveryOwner = generation;
    }
};

struct ProjectStore::AutosaveJob {
    bool intoFile = false; // else the recovery copy
    QString path;
    std::uint64_t revision = 0;
    std::uint64_t generation = 0;
};

ProjectStore::ProjectStore(QObject* parent) : QObject(parent), writer_(std::make_unique<Writer>()) {
    autosaveTimer_.setSingleShot(true);
    connect(&autosaveTimer_, &QTimer::timeout, this, &ProjectStore::writeRecovery);
    for (const QString& path : settings().value(recentKey).toStringList()) {
        if (!path.isEmpty() && QFileInfo::exists(path)) recent_ << path;
    }
    windowTitle_ = windowTitle();
}

ProjectStore::~ProjectStore() {
    autosaveTimer_.stop();
    writer_->pool.waitForDone();
}

ProjectStore& ProjectStore::shared() {
    static ProjectStore* store = new ProjectStore;
    return *store;
}

// --- The open project -------------------------------------------------------------------

void ProjectStore::setProject(Project project) {
    if (project == project_) return;
    project_ = std::move(project);
    ++revision_;
    const bool wasDirty = dirty_;
    dirty_ = true;
    emit projectChanged();
    if (!wasDirty) emit dirtyChanged();
    updateWindowTitle();
    scheduleAutosave();
}

void ProjectStore::replaceDocument(Project project, std::optional<QString> path, bool dirty) {
    autosaveTimer_.stop();
    project_ = std::move(project);
    ++revision_;
    ++generation_;
    const bool pathChanged = path != filePath_;
    const bool dirtyChanged_ = dirty != dirty_;
    filePath_ = std::move(path);
    dirty_ = dirty;
    emit projectChanged();
    if (pathChanged) emit filePathChanged();
    if (dirtyChanged_) emit dirtyChanged();
    updateWindowTitle();
}

void ProjectStore::setFilePath(std::optional<QString> path) {
    if (path == filePath_) return;
    filePath_ = std::move(path);
    emit filePathChanged();
    updateWindowTitle();
}

void ProjectStore::setDirty(bool dirty) {
    if (dirty == dirty_) return;
    dirty_ = dirty;
    emit dirtyChanged();
    updateWindowTitle();
}

QString ProjectStore::windowTitle() const {
    QString title;
    if (filePath_) {
        title = QFileInfo(*filePath_).completeBaseName();
    } else {
        title = displayName(project_);
    }
    if (dirty_) title += QStringLiteral(" — Edited");
    return title;
}

void ProjectStore::updateWindowTitle() {
    QString title = windowTitle();
    if (title == windowTitle_) return;
    windowTitle_ = std::move(title);
    emit windowTitleChanged();
}

// --- Recent projects ----------------------------------------------------------------------

void ProjectStore::rememberRecent(const QString& path) {
    const QString file = absolutePath(path);
    settings().setValue(lastDirKey, QFileInfo(file).absolutePath());
    QStringList list;
    list << file;
    for (const QString& entry : recent_) {
        if (absolutePath(entry) != file) list << entry;
    }
    while (list.size() > recentLimit) list.removeLast();
    recent_ = list;
    emit recentChanged();
    settings().setValue(recentKey, recent_);
    settings().sync();
}

void ProjectStore::clearRecent() {
    recent_.clear();
    emit recentChanged();
    settings().remove(recentKey);
    settings().sync();
}

// --- Document operations ----------------------------------------------------------------

void ProjectStore::newProject() {
    if (!confirmDiscardChanges()) return;
    replaceDocument(Project(), std::nullopt, false);
    setImportChanges(std::nullopt);
}

void ProjectStore::showOpenPanel() {
    if (!confirmDiscardChanges()) return;
    const auto path = prompts().chooseProjectToOpen(settings().value(lastDirKey).toString());
    if (path) openProject(*path, false);
}

void ProjectStore::openProject(const QString& path, bool prompt) {
    if (prompt && !confirmDiscardChanges()) return;
    const QString file = absolutePath(path);
    Project opened;
    try {
        opened = Project::fromText(readFile(toPath(file), Project::maxFileBytes));
    } catch (const std::exception& error) {
        setErrorMessage(
            QStringLiteral("Could not open %1: %2").arg(QFileInfo(file).fileName(), reasonOf(error)));
        return;
    }
    replaceDocument(std::move(opened), file, false);
    setImportChanges(std::nullopt);
    rememberRecent(file);
}

bool ProjectStore::confirmDiscardChanges() {
    // A project with a file keeps its changes there; when that fails the user decides, as
    // for an untitled one, instead of losing the work.
    bool fileSaveFailed = false;
    if (dirty_ && filePath_) {
        if (writeProject(*filePath_)) return true;
        fileSaveFailed = true;
    }
    if (!dirty_) return true;
    if (project_.isEmpty() && !fileSaveFailed) return true;

    const QString message = QStringLiteral("Save changes to “%1”?").arg(displayName(project_));
    const QString detail =
        QStringLiteral("If you don’t save, Quorvane Rig keeps a copy and offers to restore it next time.");
    switch (prompts().askToSaveChanges(message, detail)) {
    case Prompts::SaveAnswer::save:
        return saveProject();
    case Prompts::SaveAnswer::dontSave:
        return writeRecoveryCopy();
    case Prompts::SaveAnswer::cancel:
        return false;
    }
    return false;
}

bool ProjectStore::saveProject() {
    QString name = toQ(project_.name);
    name.remove(QLatin1Char('/'));
    if (name.isEmpty()) name = QStringLiteral("Rig");
    const auto path =
        prompts().chooseProjectSaveFile(settings().value(lastDirKey).toString(), name + ".qvrig");
    if (!path) return false;
    return writeProject(*path);
}

bool ProjectStore::writeProject(const QString& path) {
    const QString file = absolutePath(path);
    std::optional<QString> error;
    try {
        error = writer_->write(file, writer_->ticket(), project_.fileText(), std::nullopt).error;
    } catch (const std::exception& encodeError) {
        error = reasonOf(encodeError);
    }
    if (error) {
        setErrorMessage(QStringLiteral("Could not save: ") + *error);
        return false;
    }
    const bool sameFile = filePath_ == file;
    setFilePath(file);
    setDirty(false);
    if (!sameFile) rememberRecent(file);
    removeOwnedRecovery();
    return true;
}

// --- Autosave and recovery ----------------------------------------------------------------

void ProjectStore::scheduleAutosave() {
    autosaveTimer_.stop();
    if (project_.isEmpty()) return;
    if (!recoveryEnabled_) return;
    autosaveTimer_.start(delays_.autosave);
}

void ProjectStore::writeRecovery() {
    autosaveTimer_.stop();
    if (project_.isEmpty() || !dirty_) return;
    AutosaveJob job{filePath_.has_value(), filePath_ ? *filePath_ : recoveryPath(), revision_, generation_};
    const std::uint64_t ticket = writer_->ticket();
    Writer* writer = writer_.get();
    // The copy shares the project's storage; edits made meanwhile detach from it.
    writer->pool.start([this, writer, job, ticket, copy = project_] {
        Writer::Outcome outcome;
        try {
            const std::string bytes = job.intoFile ? copy.fileText() : copy.recoveryText();
            outcome =
                writer->write(job.path, ticket, bytes,
                              job.intoFile ? std::nullopt : std::optional<std::uint64_t>(job.generation));
        } catch (const std::exception& error) {
            outcome.error = reasonOf(error);
        }
        QMetaObject::invokeMethod(
            this, [this, job, outcome] { autosaveWritten(job, outcome.error, outcome.superseded); },
            Qt::QueuedConnection);
    });
}

void ProjectStore::autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error,
                                   bool superseded) {
    // Only a save into the file the open document still has counts; the recovery copy
    // fails silently.
    if (job.intoFile && !superseded && job.generation == generation_ && filePath_ == job.path) {
        if (error) {
            setErrorMessage(QStringLiteral("Could not save: ") + *error);
        } else {
            // Changes made after the copy was taken are not in the file.
            if (revision_ == job.revision) setDirty(false);
            removeOwnedRecovery();
        }
    }
    emit autosaveFinished();
}

void ProjectStore::finishWrites() {
    writer_->pool.waitForDone();
}

QString ProjectStore::recoveryPath() {
    const QString folder = QDir(appPaths().dataDirectory).filePath(QStringLiteral("Recovery"));
    QDir().mkpath(folder);
    return absolutePath(QDir(folder).filePath(QStringLiteral("unsaved.qvrig")));
}

bool ProjectStore::writeRecoveryCopy() {
    const QString path = recoveryPath();
    std::optional<QString> error;
    try {
        error = writer_->write(path, writer_->ticket(), project_.recoveryText(), generation_).error;
    } catch (const std::exception& encodeError) {
        error = reasonOf(encodeError);
    }
    // The user was promised a copy: without one the project must not be dropped.
    if (error) {
        setErrorMessage(QStringLiteral("Could not save: ") + *error);
        return false;
    }
    return true;
}

void ProjectStore::removeOwnedRecovery() {
    writer_->saved(recoveryPath(), generation_);
}

namespace {
// Never over another dialog (an alert about a file given at launch, a panel the user opened
// meanwhile): the offer waits until it has closed.
void offerRestoreWhenNoDialogIsOpen(ProjectStore* store) {
    if (!QGuiApplication::modalWindow()) return store->offerRestore();
    QTimer::singleShot(250, store, [store] { offerRestoreWhenNoDialogIsOpen(store); });
}
} // namespace

bool ProjectStore::scheduleRestoreOffer() {
    if (!recoveryEnabled_) return false;
    QTimer::singleShot(delays_.restoreOffer, this, [this] { offerRestoreWhenNoDialogIsOpen(this); });
    return true;
}

void ProjectStore::offerRestore() {
    const QString path = recoveryPath();
    // Files given at launch may be on their way in: never offer over them.
    if (!project_.isEmpty() || importing_) return;
    if (!QFileInfo::exists(path)) return;
    const std::uint64_t writesSeen = writer_->recoveryWriteCount();
    std::string text;
    try {
        text = readFile(toPath(path), Project::maxFileBytes);
    } catch (const std::exception&) {
        return;
    }
    Project restored;
    try {
        restored = Project::fromText(text);
    } catch (const std::exception&) {
        writer_->discard(path, writesSeen);
        return;
    }
    if (restored.isEmpty()) {
        writer_->discard(path, writesSeen);
        return;
    }

    QDateTime modified = QFileInfo(path).lastModified();
    if (!modified.isValid()) modified = QDateTime::currentDateTime();
    const QString message = QStringLiteral("Restore unsaved project “%1”?").arg(displayName(restored));
    QString detail =
        QStringLiteral("It was not saved when Quorvane Rig closed (%1).").arg(formatShortDateTime(modified));
    if (restored.share) detail += QStringLiteral("\nCrew link: ") + toQ(restored.share->url);

    const std::uint64_t generation = generation_;
    switch (prompts().askToRestore(message, detail)) {
    case Prompts::RestoreAnswer::restore:
        // The offer's modal loop ran timers and imports: restore only into the same empty
        // project; otherwise the copy stays for a later start.
        if (generation_ != generation || !project_.isEmpty() || importing_) return;
        replaceDocument(std::move(restored), std::nullopt, true);
        writer_->own(generation_);
        return;
    case Prompts::RestoreAnswer::discard:
        // Files imported while the offer showed may have been autosaved over it meanwhile.
        writer_->discard(path, writesSeen);
        return;
    case Prompts::RestoreAnswer::dismissed:
        return;
    }
}

// --- Import and messages ----------------------------------------------------------------

void ProjectStore::setImporting(bool importing) {
    if (importing == importing_) return;
    importing_ = importing;
    emit importingChanged();
}

void ProjectStore::setImportChanges(std::optional<QStringList> changes) {
    if (changes == importChanges_) return;
    importChanges_ = std::move(changes);
    emit importChangesChanged();
}

void ProjectStore::setErrorMessage(std::optional<QString> message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    emit errorMessageChanged();
}

} // namespace rig::app

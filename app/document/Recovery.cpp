#include "Recovery.h"

#include "AppPaths.h"
#include "DateText.h"
#include "ImportController.h"
#include "ProjectStore.h"
#include "Prompts.h"
#include "PublishAddresses.h"
#include "QtText.h"
#include "base/File.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QThreadPool>
#include <QUuid>

#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace rig::app {

// Every write of a project file or of the recovery copy goes through here. Autosaves run on
// one worker thread; saves made on the main thread take the same lock, so two writes of one
// file never overlap, and a write queued before a newer one of the same file is skipped.
struct Recovery::Writer {
    struct Outcome {
        bool superseded = false;
        std::optional<QString> error;
    };

    QThreadPool pool;
    std::uint64_t nextTicket = 0; // main thread

    std::mutex mutex;
    std::map<QString, std::uint64_t> newest; // newest ticket handled per file
    // The program's copy on disk and the document generation it holds.
    struct Copy {
        QString path;
        std::uint64_t generation = 0;
    };
    std::optional<Copy> copy;

    Writer() { pool.setMaxThreadCount(1); }

    std::uint64_t ticket() { return ++nextTicket; }

    // `copyOf`: the generation the bytes belong to when they are the program's copy.
    Outcome write(const QString& path, std::uint64_t ticket, const std::string& bytes,
                  std::optional<std::uint64_t> copyOf) {
        std::lock_guard lock(mutex);
        std::uint64_t& last = newest[path];
        if (last > ticket) return {true, std::nullopt};
        last = ticket;
        try {
            writeFileAtomically(toPath(path), bytes);
        } catch (const std::exception& error) {
            return {false, failureReason(error)};
        }
        if (copyOf) copy = Copy{path, *copyOf};
        return {};
    }

    // `project` as its file or, with `copyOf`, as the program's copy; a project that cannot be
    // encoded fails like a write.
    Outcome write(const QString& path, std::uint64_t ticket, const Project& project,
                  std::optional<std::uint64_t> copyOf) {
        std::string bytes;
        try {
            bytes = copyOf ? project.recoveryText() : project.fileText();
        } catch (const std::exception& error) {
            return {false, failureReason(error)};
        }
        return write(path, ticket, bytes, copyOf);
    }

    // `generation` was saved: its copy goes, also one still queued (it is older than the save
    // and would otherwise land after it). A copy kept of another document stays.
    void saved(const QString& copyPath, std::uint64_t generation) {
        std::lock_guard lock(mutex);
        newest[copyPath] = ticket();
        if (!copy || copy->path != copyPath || copy->generation != generation) return;
        std::error_code ignored;
        std::filesystem::remove(toPath(copyPath), ignored);
        copy.reset();
    }

    // The document whose copies go to `copyPath` is gone: nothing queued for it lands any more.
    // True when a copy of it is on disk.
    bool leave(const QString& copyPath) {
        std::lock_guard lock(mutex);
        newest[copyPath] = ticket();
        const bool kept = copy && copy->path == copyPath;
        if (kept) copy.reset();
        return kept;
    }

    void own(const QString& copyPath, std::uint64_t generation) {
        std::lock_guard lock(mutex);
        copy = Copy{copyPath, generation};
    }
};

struct Recovery::AutosaveJob {
    bool intoFile = false; // else the recovery copy
    QString path;
    std::uint64_t revision = 0;
    std::uint64_t generation = 0;
};

Recovery::Recovery(ProjectStore& store) : store_(store), writer_(std::make_unique<Writer>()) {
    autosaveTimer_.setSingleShot(true);
    connect(&autosaveTimer_, &QTimer::timeout, this, &Recovery::writeRecovery);
}

Recovery::~Recovery() {
    autosaveTimer_.stop();
    writer_->pool.waitForDone();
}

void Recovery::scheduleAutosave() {
    autosaveTimer_.stop();
    if (store_.project().isEmpty()) return;
    if (!enabled_) return;
    autosaveTimer_.start(store_.delays().autosave);
}

void Recovery::writeRecovery() {
    autosaveTimer_.stop();
    if (store_.project().isEmpty() || !store_.isDirty()) return;
    const std::optional<QString> file = store_.filePath();
    AutosaveJob job{file.has_value(), file ? *file : copyPath(), store_.revision(), store_.generation()};
    const std::uint64_t ticket = writer_->ticket();
    Writer* writer = writer_.get();
    // The copy shares the project's storage; edits made meanwhile detach from it.
    writer->pool.start([this, writer, job, ticket, copy = store_.project()] {
        const Writer::Outcome outcome =
            writer->write(job.path, ticket, copy,
                          job.intoFile ? std::nullopt : std::optional<std::uint64_t>(job.generation));
        QMetaObject::invokeMethod(
            this, [this, job, outcome] { autosaveWritten(job, outcome.error, outcome.superseded); },
            Qt::QueuedConnection);
    });
}

void Recovery::autosaveWritten(const AutosaveJob& job, const std::optional<QString>& error, bool superseded) {
    // Only a save into the file the open document still has counts; the recovery copy
    // fails silently.
    if (job.intoFile && !superseded && job.generation == store_.generation() &&
        store_.filePath() == job.path) {
        if (error) {
            store_.reportSaveFailure(job.path, *error);
        } else {
            // Changes made after the copy was taken are not in the file.
            if (store_.revision() == job.revision) store_.setDirty(false);
            documentSaved();
        }
    }
    emit autosaveFinished();
}

void Recovery::finishWrites() {
    writer_->pool.waitForDone();
}

void Recovery::releaseCopy() {
    copyLock_.reset();
    copyPath_.clear();
}

QString Recovery::recoveryFolder() {
    const QString folder = QDir(appPaths().dataDirectory).filePath(QStringLiteral("Recovery"));
    QDir().mkpath(folder);
    return absoluteFilePath(folder);
}

namespace {
// The lock on a copy, or none while a running program holds it. A lock left by a program that
// ended without letting go (killed) is taken over; age alone never makes a lock stale.
std::unique_ptr<QLockFile> lockCopy(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return nullptr;
    return lock;
}
} // namespace

QString Recovery::copyPath() {
    if (!copyPath_.isEmpty()) return copyPath_;
    const QDir folder(recoveryFolder());
    QString path;
    for (int attempt = 0; attempt < 20; ++attempt) {
        path = folder.filePath(
            QStringLiteral("unsaved-%1.qvrig").arg(QUuid::createUuid().toString(QUuid::Id128).left(12)));
        if (QFileInfo::exists(path)) continue;
        if (auto lock = lockCopy(path); lock && !QFileInfo::exists(path)) {
            copyLock_ = std::move(lock);
            copyPath_ = path;
            return path;
        }
    }
    // No lock to be had (the folder cannot be written): the write that follows says why.
    return path;
}

std::optional<QString> Recovery::writeFile(const QString& path, const Project& project) {
    return writer_->write(path, writer_->ticket(), project, std::nullopt).error;
}

std::optional<QString> Recovery::writeCopyNow() {
    const QString path = copyPath();
    const std::optional<QString> error =
        writer_->write(path, writer_->ticket(), store_.project(), store_.generation()).error;
    if (!error) return error;
    // Named by what could not be written: the folder when it cannot be made (a read-only home
    // gives the copy no folder, and its write only "No such file or directory").
    const QString folder = QFileInfo(path).absolutePath();
    std::error_code made;
    std::filesystem::create_directories(toPath(folder), made);
    if (made) return shownName(folder) + QStringLiteral(": ") + toQ(made.message());
    return shownName(path) + QStringLiteral(": ") + *error;
}

void Recovery::documentSaved() {
    if (!copyPath_.isEmpty()) writer_->saved(copyPath_, store_.generation());
}

void Recovery::documentReplaced() {
    if (copyPath_.isEmpty()) return;
    // The copy of a document dropped with "Don’t Save" is offered at a later start.
    if (writer_->leave(copyPath_)) releaseCopy();
}

namespace {
// Never over another dialog (an alert about a file given at launch, a panel the user opened
// meanwhile): the offer waits until it has closed.
void offerRestoreWhenNoDialogIsOpen(Recovery* recovery) {
    if (!QGuiApplication::modalWindow()) return recovery->offerRestore();
    QTimer::singleShot(250, recovery, [recovery] { offerRestoreWhenNoDialogIsOpen(recovery); });
}
} // namespace

bool Recovery::scheduleRestoreOffer() {
    if (!enabled_) return false;
    QTimer::singleShot(store_.delays().restoreOffer, this, [this] { offerRestoreWhenNoDialogIsOpen(this); });
    return true;
}

void Recovery::offerRestore() {
    // Files given at launch may be on their way in: never offer over them.
    if (!store_.project().isEmpty() || store_.importer().importing()) return;
    const QFileInfoList copies =
        QDir(recoveryFolder())
            .entryInfoList({QStringLiteral("*.qvrig")}, QDir::Files | QDir::Hidden, QDir::Time);
    QStringList keptAside;
    for (const QFileInfo& copy : copies) {
        const QString path = absoluteFilePath(copy.filePath());
        if (path == copyPath_) continue;
        std::unique_ptr<QLockFile> lock = lockCopy(path);
        if (!lock || !QFileInfo::exists(path)) continue; // another program's, or gone meanwhile
        std::string text;
        try {
            text = readFile(toPath(path), Project::maxFileBytes);
        } catch (const std::exception&) {
            continue; // stays as it is
        }
        Project restored;
        try {
            restored = Project::fromText(text);
        } catch (const std::exception& error) {
            // The only copy of unsaved work, damaged (cut short, say): never deleted unread.
            keptAside.push_back(keepCopyAside(path, failureReason(error)));
            continue;
        }
        if (restored.isEmpty()) {
            QFile::remove(path);
            removeStaleTemporaries(toPath(path));
            continue;
        }
        tellKeptAside(keptAside);
        return offer(path, std::move(lock), std::move(restored));
    }
    tellKeptAside(keptAside);
}

QString Recovery::keepCopyAside(const QString& path, const QString& reason) {
    QString where = path;
    try {
        where = fromPath(keepAside(toPath(path)));
    } catch (const std::exception&) {
        // It stays where it is, and is looked at again at the next start.
    }
    return QStringLiteral("The copy of an unsaved project could not be read (%1). It is kept as %2.")
        .arg(reason, shownName(where));
}

void Recovery::tellKeptAside(const QStringList& lines) {
    if (lines.isEmpty()) return;
    const std::optional<QString> waiting = store_.errorMessage();
    const QString text = lines.join(QLatin1Char('\n'));
    store_.setErrorMessage(waiting ? *waiting + QLatin1Char('\n') + text : text);
}

void Recovery::offer(const QString& path, std::unique_ptr<QLockFile> lock, Project restored) {
    QDateTime modified = QFileInfo(path).lastModified();
    if (!modified.isValid()) modified = QDateTime::currentDateTime();
    const QString message =
        QStringLiteral("Restore unsaved project “%1”?").arg(projectNameInQuestion(restored));
    QString detail =
        QStringLiteral("It was not saved when Quorvane Rig closed (%1).").arg(formatShortDateTime(modified));
    if (storedCrewLink(restored)) detail += QStringLiteral("\nCrew link: ") + shownName(restored.share->url);

    const std::uint64_t generation = store_.generation();
    switch (prompts().askToRestore(message, detail)) {
    case Prompts::RestoreAnswer::restore:
        // The offer's modal loop ran timers and imports: restore only into the same empty
        // project; otherwise the copy stays for a later start.
        if (store_.generation() != generation || !store_.project().isEmpty() || store_.importer().importing())
            return;
        store_.replaceDocument(std::move(restored), std::nullopt, true);
        // The restored document's autosaves and its save carry on with this copy.
        releaseCopy();
        copyPath_ = path;
        copyLock_ = std::move(lock);
        writer_->own(path, store_.generation());
        return;
    case Prompts::RestoreAnswer::discard:
        QFile::remove(path);
        // Nothing is written into the folder before the next edit: a write of this copy killed
        // midway would stay there until then, as large as the copy.
        removeStaleTemporaries(toPath(path));
        return;
    case Prompts::RestoreAnswer::dismissed:
        return;
    }
}

} // namespace rig::app

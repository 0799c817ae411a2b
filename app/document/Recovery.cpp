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
#include <QThreadPool>

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
            return {false, failureReason(error)};
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
    AutosaveJob job{file.has_value(), file ? *file : recoveryPath(), store_.revision(), store_.generation()};
    const std::uint64_t ticket = writer_->ticket();
    Writer* writer = writer_.get();
    // The copy shares the project's storage; edits made meanwhile detach from it.
    writer->pool.start([this, writer, job, ticket, copy = store_.project()] {
        Writer::Outcome outcome;
        try {
            const std::string bytes = job.intoFile ? copy.fileText() : copy.recoveryText();
            outcome =
                writer->write(job.path, ticket, bytes,
                              job.intoFile ? std::nullopt : std::optional<std::uint64_t>(job.generation));
        } catch (const std::exception& error) {
            outcome.error = failureReason(error);
        }
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
            store_.setErrorMessage(QStringLiteral("Could not save: ") + *error);
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

QString Recovery::recoveryPath() {
    const QString folder = QDir(appPaths().dataDirectory).filePath(QStringLiteral("Recovery"));
    QDir().mkpath(folder);
    return absoluteFilePath(QDir(folder).filePath(QStringLiteral("unsaved.qvrig")));
}

std::optional<QString> Recovery::writeFile(const QString& path, const std::string& bytes) {
    return writer_->write(path, writer_->ticket(), bytes, std::nullopt).error;
}

bool Recovery::writeCopyNow() {
    const QString path = recoveryPath();
    std::optional<QString> error;
    try {
        error = writer_->write(path, writer_->ticket(), store_.project().recoveryText(), store_.generation())
                    .error;
    } catch (const std::exception& encodeError) {
        error = failureReason(encodeError);
    }
    // The user was promised a copy: without one the project must not be dropped.
    if (error) {
        store_.setErrorMessage(QStringLiteral("Could not save: ") + *error);
        return false;
    }
    return true;
}

void Recovery::documentSaved() {
    writer_->saved(recoveryPath(), store_.generation());
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
    const QString path = recoveryPath();
    // Files given at launch may be on their way in: never offer over them.
    if (!store_.project().isEmpty() || store_.importer().importing()) return;
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
    const QString message = QStringLiteral("Restore unsaved project “%1”?").arg(projectDisplayName(restored));
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
        writer_->own(store_.generation());
        return;
    case Prompts::RestoreAnswer::discard:
        // Files imported while the offer showed may have been autosaved over it meanwhile.
        writer_->discard(path, writesSeen);
        return;
    case Prompts::RestoreAnswer::dismissed:
        return;
    }
}

} // namespace rig::app

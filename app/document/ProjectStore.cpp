#include "ProjectStore.h"

#include "AppPaths.h"
#include "CrewLink.h"
#include "ImportController.h"
#include "MotorLibrary.h"
#include "Prompts.h"
#include "QtText.h"
#include "RecentFiles.h"
#include "Recovery.h"
#include "base/File.h"
#include "base/Text.h"

#include <QFileInfo>

#include <exception>
#include <utility>

namespace rig::app {

QString projectDisplayName(const Project& project) {
    return project.name.empty() ? QStringLiteral("Untitled") : shownName(project.name);
}

QString projectNameInQuestion(const Project& project) {
    return project.name.empty() ? QStringLiteral("Untitled") : shownName(messagePiece(project.name));
}

ProjectStore::ProjectStore(QObject* parent)
    : QObject(parent), recent_(std::make_unique<RecentFiles>()), recovery_(std::make_unique<Recovery>(*this)),
      import_(std::make_unique<ImportController>(*this)), crewLink_(std::make_unique<CrewLink>(*this)) {
    windowTitle_ = windowTitle();
    // Said once, by the first store, as the program starts.
    errorMessage_ = takeSettingsMessage();
}

ProjectStore::~ProjectStore() = default;

void ProjectStore::setMotorLibrary(MotorLibrary* library) {
    motors_ = library;
    learnedExtras_ = project_.extras;
    // Said once, as the program starts with the library.
    if (motors_ && motors_->unreadableMessage()) {
        const QString line = *motors_->unreadableMessage();
        setErrorMessage(errorMessage_ ? *errorMessage_ + u'\n' + line : line);
    }
}

void ProjectStore::learnMotors() {
    if (!motors_ || project_.extras == learnedExtras_) return;
    learnedExtras_ = project_.extras;
    motors_->importMotors(project_);
}

// --- The open project -------------------------------------------------------------------

void ProjectStore::setProject(Project project) {
    if (project == project_) return;
    project_ = std::move(project);
    edited();
}

void ProjectStore::setPointExtra(std::string_view sourceID, std::string_view role, const PointExtra& extra) {
    if (project_.extra(sourceID, role) == extra) return;
    project_.setExtra(sourceID, role, extra);
    edited();
}

void ProjectStore::edited() {
    ++revision_;
    const bool wasDirty = dirty_;
    dirty_ = true;
    emit projectChanged();
    scheduleShow();
    if (!wasDirty) emit dirtyChanged();
    updateWindowTitle();
    recovery_->scheduleAutosave();
}

void ProjectStore::replaceDocument(Project project, std::optional<QString> path, bool dirty) {
    recovery_->cancelAutosave();
    recovery_->documentReplaced();
    project_ = std::move(project);
    ++revision_;
    ++generation_;
    const bool pathChanged = path != filePath_;
    const bool dirtyChanged_ = dirty != dirty_;
    filePath_ = std::move(path);
    dirty_ = dirty;
    emit projectChanged();
    scheduleShow();
    if (pathChanged) emit filePathChanged();
    if (dirtyChanged_) emit dirtyChanged();
    updateWindowTitle();
    // The changes of an import into the document that went are no news about this one.
    import_->setImportChanges(std::nullopt);
}

void ProjectStore::scheduleShow() {
    if (showPending_) return;
    showPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            showPending_ = false;
            // Once for all the changes: it compares every point's extras.
            learnMotors();
            emit changesToShow();
        },
        Qt::QueuedConnection);
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
        title = shownName(QFileInfo(*filePath_).completeBaseName());
    } else {
        title = projectDisplayName(project_);
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

// --- Document operations ----------------------------------------------------------------

void ProjectStore::newProject() {
    if (!confirmDiscardChanges()) return;
    replaceDocument(Project(), std::nullopt, false);
}

void ProjectStore::showOpenPanel() {
    if (!confirmDiscardChanges()) return;
    const auto path = prompts().chooseProjectToOpen(settings().value(RecentFiles::lastDirKey).toString());
    if (path) openProject(*path, false);
}

void ProjectStore::openProject(const QString& path, bool prompt) {
    if (prompt && !confirmDiscardChanges()) return;
    const QString file = absoluteFilePath(path);
    Project opened;
    try {
        opened = Project::fromText(readFile(toPath(file), Project::maxFileBytes));
    } catch (const std::exception& error) {
        setErrorMessage(
            QStringLiteral("Could not open %1: %2")
                .arg(shownName(toQ(messagePiece(toStd(QFileInfo(file).fileName())))), failureReason(error)));
        return;
    }
    replaceDocument(std::move(opened), file, false);
    recent_->remember(file);
}

bool ProjectStore::confirmDiscardChanges(bool quitting) {
    // A project with a file keeps its changes there; when that fails the user decides, as
    // for an untitled one, instead of losing the work.
    bool fileSaveFailed = false;
    if (dirty_ && filePath_) {
        if (writeProject(*filePath_)) return true;
        fileSaveFailed = true;
    }
    if (!dirty_) return true;
    if (project_.isEmpty() && !fileSaveFailed) return true;

    const QString message = QStringLiteral("Save changes to “%1”?").arg(projectNameInQuestion(project_));
    const QString detail =
        QStringLiteral("If you don’t save, Quorvane Rig keeps a copy and offers to restore it next time.");
    switch (prompts().askToSaveChanges(message, detail)) {
    case Prompts::SaveAnswer::save:
        return saveProject();
    case Prompts::SaveAnswer::dontSave:
        // The user was promised a copy: without one the project is not dropped unasked.
        if (const std::optional<QString> failure = recovery_->writeCopyNow())
            return goOnWithoutCopy(*failure, quitting);
        return true;
    case Prompts::SaveAnswer::cancel:
        return false;
    }
    return false;
}

bool ProjectStore::saveProject() {
    const QString name = toQ(proposedFileName(project_.name, ".qvrig", "Rig"));
    const auto path =
        prompts().chooseProjectSaveFile(settings().value(RecentFiles::lastDirKey).toString(), name);
    if (!path) return false;
    return writeProject(*path);
}

bool ProjectStore::writeProject(const QString& path) {
    const QString file = absoluteFilePath(path);
    if (const std::optional<QString> error = recovery_->writeFile(file, project_)) {
        reportSaveFailure(file, *error);
        return false;
    }
    setFilePath(file);
    setDirty(false);
    recent_->remember(file);
    recovery_->documentSaved();
    return true;
}

void ProjectStore::reportSaveFailure(const QString& file, const QString& reason) {
    setErrorMessage(
        QStringLiteral("Could not save %1: %2").arg(shownName(QFileInfo(file).fileName()), reason));
}

bool ProjectStore::goOnWithoutCopy(const QString& reason, bool quitting) {
    const QString message = QStringLiteral("Quorvane Rig could not keep a copy of “%1”: %2")
                                .arg(projectNameInQuestion(project_), reason);
    // Staying, the user can still save it elsewhere; a quit must not be a trap (a full disk).
    if (!quitting) {
        setErrorMessage(message);
        return false;
    }
    return prompts().confirmQuitWithoutCopy(message,
                                            QStringLiteral("If you quit now, its changes are lost."));
}

void ProjectStore::setErrorMessage(std::optional<QString> message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    emit errorMessageChanged();
}

} // namespace rig::app

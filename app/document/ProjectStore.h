// The open document: the one project, its file, unsaved changes, and the operations that
// replace, open and save it. It owns the services that work on it: recent files, autosave and
// recovery, import and the crew link. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace rig::app {

class CrewLink;
class ImportController;
class MotorLibrary;
class RecentFiles;
class Recovery;

class ProjectStore : public QObject {
    Q_OBJECT
public:
    // The document's waits. Tests shorten them.
    struct Delays {
        std::chrono::milliseconds autosave{3000};    // after the last change
        std::chrono::milliseconds restoreOffer{800}; // after launch
        std::chrono::milliseconds visibility{2000};  // crew-view re-send after the last change
        std::chrono::milliseconds longImport{10000}; // an import reading longer names what waits
    };

    explicit ProjectStore(QObject* parent = nullptr);
    // Waits for autosave writes under way.
    ~ProjectStore() override;

    // --- The open project ---------------------------------------------------------------
    const Project& project() const { return project_; }
    // The change rule: an unequal value marks the document edited and re-arms the autosave.
    void setProject(Project project);
    // One point's extras, under the same rule. Written into the open project in place: a
    // motor set on each of thousands of points must not copy the project's tables each time.
    void setPointExtra(std::string_view sourceID, std::string_view role, const PointExtra& extra);

    // Bumped by every effective change of the project and by every replacement
    // (new, open, restore): an import or a request compares it to drop stale results.
    std::uint64_t revision() const { return revision_; }
    // Bumped only when another document replaces the open one (new, open, restore).
    std::uint64_t generation() const { return generation_; }
    // True from a change until changesToShow has been emitted for it.
    bool hasChangesToShow() const { return showPending_; }

    // Absolute path of the open project's file; absent for an untitled project.
    std::optional<QString> filePath() const { return filePath_; }
    bool isDirty() const { return dirty_; }
    // The file's name without extension, else the project's name, else "Untitled";
    // " — Edited" appended while dirty.
    QString windowTitle() const;

    // --- Document operations (failures go to errorMessage) ---------------------------------
    // The save prompt, then an empty untitled project.
    void newProject();
    // The save prompt, the open panel, then openProject without a second prompt.
    void showOpenPanel();
    // Opens a project file; with `prompt` the save prompt runs first.
    void openProject(const QString& path, bool prompt);
    // Before the project is dropped: true when the caller may go on, false when cancelled or
    // when the work could not be kept. A project with a file is saved into it; when that
    // fails, or for an untitled, non-empty, edited project, the user is asked. When the copy
    // "Don’t Save" promises cannot be written, a quit (`quitting`) asks whether to quit anyway;
    // anything else stops, saying why.
    bool confirmDiscardChanges(bool quitting = false);
    // The save panel, then writeProject. True only when the file was written.
    bool saveProject();
    // Writes the project to `path` now. True on success.
    bool writeProject(const QString& path);

    // --- The services on this document ---------------------------------------------------
    RecentFiles& recentFiles() const { return *recent_; }
    Recovery& recovery() const { return *recovery_; }
    ImportController& importer() const { return *import_; }
    CrewLink& crewLink() const { return *crewLink_; }

    // The motor library: new imports take their Delta defaults from it (the defaults of an
    // empty library while none is set), and it learns every motor the open project uses.
    MotorLibrary* motorLibrary() const { return motors_; }
    void setMotorLibrary(MotorLibrary* library);

    const Delays& delays() const { return delays_; }
    void setDelays(const Delays& delays) { delays_ = delays; }

    // --- Messages for the window ----------------------------------------------------------
    std::optional<QString> errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<QString> message);

signals:
    // Each change of the project, at once: for what must see every one of them.
    void projectChanged();
    // Once, from the event loop, after any number of changes of the project: what views
    // redraw on, so that a run of writes (a motor on every point) redraws them once.
    void changesToShow();
    void filePathChanged();
    void dirtyChanged();
    void windowTitleChanged();
    void errorMessageChanged();

private:
    friend class Recovery; // restores a document, and marks an autosaved one saved

    // Another document takes the place of the open one (new, open, restore).
    void replaceDocument(Project project, std::optional<QString> path, bool dirty);
    void setFilePath(std::optional<QString> path);
    void setDirty(bool dirty);
    void updateWindowTitle();
    // The project took an edit: dirty, announced, autosave re-armed.
    void edited();
    void learnMotors();
    void scheduleShow();
    // The project file `file` could not be written: "Could not save <file name>: <reason>".
    void reportSaveFailure(const QString& file, const QString& reason);
    // "Don’t Save" could not write the copy it promised, for `reason`: may the project go?
    bool goOnWithoutCopy(const QString& reason, bool quitting);

    Project project_;
    std::uint64_t revision_ = 0;
    std::uint64_t generation_ = 0;
    std::optional<QString> filePath_;
    bool dirty_ = false;
    bool showPending_ = false;
    QString windowTitle_;
    std::optional<QString> errorMessage_;
    Delays delays_;
    MotorLibrary* motors_ = nullptr;
    TextMap<SourceExtra> learnedExtras_;
    std::unique_ptr<RecentFiles> recent_;
    std::unique_ptr<Recovery> recovery_;
    std::unique_ptr<ImportController> import_;
    std::unique_ptr<CrewLink> crewLink_;
};

// The project's name, or "Untitled" when it has none.
QString projectDisplayName(const Project& project);
// The same, cut short, for a question that names the project: the name comes from a file too.
QString projectNameInQuestion(const Project& project);

} // namespace rig::app

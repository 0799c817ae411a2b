// The document store: the one open project, its file, unsaved changes, recent files,
// autosave and recovery, import and the crew-view re-send. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace rig::app {

class ProjectStore : public QObject {
    Q_OBJECT
public:
    explicit ProjectStore(QObject* parent = nullptr);
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

    std::optional<QString> filePath() const { return filePath_; }
    bool isDirty() const { return dirty_; }

    // --- Messages for the window ----------------------------------------------------------
    std::optional<QString> errorMessage() const { return errorMessage_; }
    void setErrorMessage(std::optional<QString> message);

signals:
    void projectChanged();
    void filePathChanged();
    void dirtyChanged();
    void errorMessageChanged();

private:
    Project project_;
    std::uint64_t revision_ = 0;
    std::uint64_t generation_ = 0;
    std::optional<QString> filePath_;
    bool dirty_ = false;
    std::optional<QString> errorMessage_;
};

} // namespace rig::app

#include "shell/ProjectStore.h"

#include <utility>

namespace rig::app {

ProjectStore::ProjectStore(QObject* parent) : QObject(parent) {}

ProjectStore::~ProjectStore() = default;

ProjectStore& ProjectStore::shared() {
    static ProjectStore* store = new ProjectStore;
    return *store;
}

void ProjectStore::setProject(Project project) {
    if (project == project_) return;
    project_ = std::move(project);
    ++revision_;
    emit projectChanged();
    if (!dirty_) {
        dirty_ = true;
        emit dirtyChanged();
    }
}

void ProjectStore::setErrorMessage(std::optional<QString> message) {
    if (message == errorMessage_) return;
    errorMessage_ = std::move(message);
    emit errorMessageChanged();
}

} // namespace rig::app

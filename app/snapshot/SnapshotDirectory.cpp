#include "SnapshotDirectory.h"

#include <QtGlobal>

namespace rig::app {

std::optional<QString> snapshotDirectory() {
    const QString folder = qEnvironmentVariable("RIG_SNAPSHOT");
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

} // namespace rig::app

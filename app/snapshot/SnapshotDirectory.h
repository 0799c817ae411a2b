// Whether the developer snapshot mode is on, and where it writes.
#pragma once

#include <QString>

#include <optional>

namespace rig::app {

// The snapshot mode's output folder from the environment variable RIG_SNAPSHOT; absent when
// the variable is unset or empty (the normal run: restore offer and autosave on).
std::optional<QString> snapshotDirectory();

} // namespace rig::app

// The desktop's shared list of recently used files ("recently-used.xbel" in the freedesktop
// bookmark format), which file choosers and launchers show. Every program on the desktop
// writes it, so it is changed in place, never rebuilt from what this program knows.
#pragma once

#include <QString>

namespace rig::app {

// How this program appears in the list.
struct DesktopRecentApp {
    QString name;     // "Quorvane Rig"
    QString exec;     // "quorvane-rig %u"
    QString mimeType; // of the files it notes
    int limit = 10;   // of its own entries kept; the oldest go first
};

// Puts `file` into the list at `listPath` as used now by `app`, keeping every other entry as
// it is. A list that cannot be read or is not a bookmark list is left untouched; a missing one
// is created. False when nothing was written; nobody is told.
bool noteDesktopRecent(const QString& listPath, const QString& file, const DesktopRecentApp& app);

} // namespace rig::app

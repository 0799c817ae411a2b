// The recent projects of the File menu: absolute paths, most recent first, kept in the
// settings file; each one remembered also goes into the desktop's list of recently used files.
// Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace rig::app {

class RecentFiles : public QObject {
    Q_OBJECT
public:
    // Settings keys.
    static constexpr const char* recentKey = "recentProjects";
    static constexpr const char* lastDirKey = "lastProjectDirectory";
    static constexpr int recentLimit = 10;

    // Reads the list from settings(); entries whose file is gone are left out.
    explicit RecentFiles(QObject* parent = nullptr);

    QStringList list() const { return list_; }
    // Puts the file at the front of the list as stored now (another program may have changed
    // it), stores the list and its folder in the settings, and notes it on the desktop's list.
    void remember(const QString& path);
    // "Clear Menu": empties the list and removes its settings entry.
    void clear();

signals:
    void changed();

private:
    QStringList list_;
};

} // namespace rig::app

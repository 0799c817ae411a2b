#include "RecentFiles.h"

#include "AppPaths.h"

#include <QDir>
#include <QFileInfo>

namespace rig::app {

RecentFiles::RecentFiles(QObject* parent) : QObject(parent) {
    for (const QString& path : settings().value(recentKey).toStringList()) {
        if (!path.isEmpty() && QFileInfo::exists(path)) list_ << path;
    }
}

void RecentFiles::remember(const QString& path) {
    const QString file = absoluteFilePath(path);
    settings().setValue(lastDirKey, QFileInfo(file).absolutePath());
    QStringList list;
    list << file;
    for (const QString& entry : list_) {
        if (absoluteFilePath(entry) != file) list << entry;
    }
    while (list.size() > recentLimit) list.removeLast();
    list_ = list;
    emit changed();
    settings().setValue(recentKey, list_);
    settings().sync();
}

void RecentFiles::clear() {
    list_.clear();
    emit changed();
    settings().remove(recentKey);
    settings().sync();
}

} // namespace rig::app

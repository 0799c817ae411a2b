#include "RecentFiles.h"

#include "AppPaths.h"
#include "DesktopRecent.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace rig::app {

namespace {
// The stored list, as another program may have left it; files that are gone are left out.
QStringList storedList() {
    QStringList list;
    for (const QString& path : settings().value(RecentFiles::recentKey).toStringList()) {
        if (!path.isEmpty() && QFileInfo::exists(path)) list << path;
    }
    return list;
}
} // namespace

RecentFiles::RecentFiles(QObject* parent) : QObject(parent), list_(storedList()) {}

void RecentFiles::remember(const QString& path) {
    const QString file = absoluteFilePath(path);
    // Another program may have changed the list since this one read it.
    settings().sync();
    settings().setValue(lastDirKey, QFileInfo(file).absolutePath());
    QStringList list;
    list << file;
    for (const QString& entry : storedList()) {
        if (absoluteFilePath(entry) != file) list << entry;
    }
    while (list.size() > recentLimit) list.removeLast();
    list_ = list;
    emit changed();
    settings().setValue(recentKey, list_);
    settings().sync();
    noteDesktopRecent(appPaths().desktopRecentFile, file,
                      {QCoreApplication::applicationName(), QStringLiteral("quorvane-rig %u"),
                       QStringLiteral("application/x-quorvane-rig"), recentLimit});
}

void RecentFiles::clear() {
    list_.clear();
    emit changed();
    settings().remove(recentKey);
    settings().sync();
}

} // namespace rig::app

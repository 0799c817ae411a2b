#include "Reveal.h"

#include "WebLinks.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace rig::app {

namespace {

// A file manager that is started on demand may take a moment; past this the folder opens.
constexpr int showItemsTimeoutMs = 5000;

} // namespace

DesktopReveal::DesktopReveal(QObject* parent)
    : DesktopReveal(
          QDBusConnection::sessionBus(), [](const QUrl& folder) { QDesktopServices::openUrl(folder); },
          parent) {}

DesktopReveal::DesktopReveal(QDBusConnection bus, FolderOpener openFolder, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), openFolder_(std::move(openFolder)) {}

void DesktopReveal::reveal(const QString& file) {
    if (!openingOutside()) return;
    if (!bus_.isConnected()) {
        openFolderOf(file);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, showItemsTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, file](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) openFolderOf(file);
    });
}

void DesktopReveal::openFolderOf(const QString& file) {
    if (openFolder_) openFolder_(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

} // namespace rig::app

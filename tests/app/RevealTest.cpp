#include "export/Reveal.h"

#include "support/CrewTesting.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using testing::waitFor;

// Stands in for the desktop's file manager.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

TEST(Reveal, TheFileManagerShowsTheFileAndOnlyWithoutOneTheFolderOpens) {
    QTemporaryDir dir;
    const QString file = dir.filePath("crew sheets é.pdf");
    QList<QUrl> opened;
    // A private session bus, ended with the test.
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(waitFor([&] { return daemon.canReadLine(); }, 10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection client = QDBusConnection::connectToBus(address, "rig-reveal-client");
    ASSERT_TRUE(client.isConnected());

    DesktopReveal reveal(client, [&](const QUrl& folder) { opened << folder; });
    reveal.reveal(file); // nobody answers on the bus
    ASSERT_TRUE(waitFor([&] { return !opened.isEmpty(); }, 15000));
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(dir.path()));

    FakeFileManager manager;
    QDBusConnection service = QDBusConnection::connectToBus(address, "rig-reveal-service");
    ASSERT_TRUE(
        service.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots) &&
        service.registerService("org.freedesktop.FileManager1"));
    opened.clear();
    reveal.reveal(file);
    ASSERT_TRUE(waitFor([&] { return !manager.shown.isEmpty(); }, 15000));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    waitFor([] { return false; }, 300); // the answer arrives; the folder still does not open
    EXPECT_TRUE(opened.isEmpty());

    QDBusConnection::disconnectFromBus("rig-reveal-service");
    QDBusConnection::disconnectFromBus("rig-reveal-client");
    daemon.terminate();
    daemon.waitForFinished(5000);
}

} // namespace
} // namespace rig::app

#include "RevealTest.moc"

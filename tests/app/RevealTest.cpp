#include "export/Reveal.h"

#include "support/CrewTesting.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using testing::waitFor;

// Stands in for the desktop's file manager on a bus of our own.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// A private session bus for one test, ended with it.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(10000)) return;
        if (!waitFor([&] { return daemon_.canReadLine(); }, 10000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

TEST(Reveal, WithoutABusTheFolderOpens) {
    QList<QUrl> opened;
    DesktopReveal reveal(QDBusConnection("rig-no-bus"), [&](const QUrl& folder) { opened << folder; });
    QTemporaryDir dir;
    reveal.reveal(dir.filePath("Arena rigging points.pdf"));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(dir.path()));
}

TEST(Reveal, TheFileManagerShowsTheFileAndOnlyWithoutOneTheFolderOpens) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QDBusConnection client = QDBusConnection::connectToBus(bus.address(), "rig-reveal-client");
    ASSERT_TRUE(client.isConnected());
    QTemporaryDir dir;
    const QString file = dir.filePath("crew sheets é.pdf");

    // No file manager on the bus: the call fails and the folder opens.
    QList<QUrl> opened;
    DesktopReveal reveal(client, [&](const QUrl& folder) { opened << folder; });
    reveal.reveal(file);
    ASSERT_TRUE(waitFor([&] { return !opened.isEmpty(); }, 15000));
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(dir.path()));

    FakeFileManager manager;
    {
        QDBusConnection service = QDBusConnection::connectToBus(bus.address(), "rig-reveal-service");
        ASSERT_TRUE(service.registerObject("/org/freedesktop/FileManager1", &manager,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    }
    opened.clear();
    reveal.reveal(file);
    ASSERT_TRUE(waitFor([&] { return !manager.shown.isEmpty(); }, 15000));
    EXPECT_EQ(manager.shown, QStringList{QUrl::fromLocalFile(file).toString()});
    // The answer arrives too; the folder still does not open.
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(opened.isEmpty());

    QDBusConnection::disconnectFromBus("rig-reveal-service");
    QDBusConnection::disconnectFromBus("rig-reveal-client");
}

} // namespace
} // namespace rig::app

#include "RevealTest.moc"

// A session bus of the test's own: no program of whoever runs the tests is ever reached.
#pragma once

#include <QProcess>
#include <QString>

namespace rig::app::testing {

struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(30000)) address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon.kill();
        daemon.waitForFinished(30000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
};

} // namespace rig::app::testing

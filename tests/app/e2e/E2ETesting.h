// Running the built programs as child processes for the end-to-end tests.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/StoreTesting.h"

#include <iostream>
#include <optional>

#include <unistd.h>

namespace rig::app::testing::e2e {

using testing::readText;
using testing::writeText;

inline const QString key = QStringLiteral("qvr_endToEndKey_0123456789abcdefgh");
inline constexpr int programLimitMs = 240000;

// Runs a program to its end; its standard output, or nothing when it failed.
inline std::optional<QString> run(const QString& program, const QStringList& arguments,
                                  int limitMs = 120000) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(limitMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// rig-test-server on a free port, ended with the test.
struct StandIn {
    QProcess process;
    QString base;
    StandIn() {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(RIG_TEST_SERVER), {"--key", key});
        if (process.waitForReadyRead(30000)) base = QString::fromUtf8(process.readLine()).trimmed();
    }
};

// A folder for one pass, with a home of its own: the run never touches the settings, keyring
// or desktop of whoever runs the tests.
struct PassFolders {
    QTemporaryDir root;
    QString path(const QString& name) const { return root.filePath(name); }
    PassFolders() {
        for (const char* name : {"snap", "export", "home", "tmp"}) QDir().mkpath(path(name));
    }
};

struct PassResult {
    bool ended = false;
    int exitCode = -1;
    qint64 ms = 0;
    QString errors; // its standard error
};

// The environment a pass runs the program in: a home of its own (settings, data, recent files)
// and no session bus unless `variables` names one.
inline QProcessEnvironment programEnvironment(const PassFolders& folders,
                                              const QMap<QString, QString>& variables) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // As root the program turns Chromium's sandbox off itself.
    env.remove("QTWEBENGINE_DISABLE_SANDBOX");
    env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking");
    env.insert("HOME", folders.path("home"));
    env.insert("XDG_CONFIG_HOME", folders.path("home/.config"));
    env.insert("XDG_DATA_HOME", folders.path("home/.local/share"));
    env.insert("TMPDIR", folders.path("tmp"));
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    for (const QString& name : env.keys())
        if (name.startsWith("RIG_")) env.remove(name);
    for (auto it = variables.begin(); it != variables.end(); ++it) env.insert(it.key(), it.value());
    return env;
}

inline PassResult runPass(const QString& program, const PassFolders& folders,
                          const QMap<QString, QString>& variables) {
    QProcess process;
    process.setProcessEnvironment(programEnvironment(folders, variables));
    process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    PassResult result;
    result.ended = process.waitForFinished(programLimitMs);
    result.ms = clock.elapsed();
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    std::cerr << result.errors.toStdString();
    if (!result.ended)
        process.kill();
    else if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

// An X server of its own (Xvfb on a free display) for the test's life; no display without one.
struct XServer {
    QProcess process;
    QString display;
    XServer() {
        process.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1600x1200x24"});
        if (process.waitForReadyRead(30000))
            display = ":" + QString::fromLatin1(process.readLine()).trimmed();
    }
    ~XServer() { process.terminate(), process.waitForFinished(10000); }
};

inline QSize pngSize(const QString& path) {
    return QImage(path, "PNG").size();
}

} // namespace rig::app::testing::e2e

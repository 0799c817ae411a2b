#include "Program.h"

#include "AppPaths.h"
#include "Appearance.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "PublishSettings.h"
#include "QtPrompts.h"
#include "Recovery.h"
#include "SettingsWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>

namespace rig::app {

QList<QUrl> commandLineFiles(const QStringList& arguments) {
    QList<QUrl> files;
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        const QUrl url(argument);
        // A launcher may hand "file://" addresses (the desktop entry's %U); paths otherwise.
        if (url.isLocalFile()) {
            files.push_back(url);
        } else {
            files.push_back(QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
        }
    }
    return files;
}

Program::Program() : store_(ProjectStore::shared()), dialogs_(std::make_unique<QtPrompts>()) {
    setStandardPrompts(dialogs_.get());
    // The app-wide objects, each made once for the whole run. The publish key starts
    // loading from the keyring now, long before the first publish needs it.
    MotorLibrary& motors = MotorLibrary::shared();
    PublishSettings::shared();
    DXFSettings::shared();
    store_.setMotorLibrary(&motors);

    MainWindow::Parts parts;
    parts.openSettings = [this] { openSettings(); };
    parts.exports = &ExportCommands::shared();
    window_ = new MainWindow(store_, motors, std::move(parts));
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(window_, &MainWindow::closed, this, [this] { quit(0); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Program::commitSession);
}

Program::~Program() {
    delete window_.data();
    setStandardPrompts(nullptr);
}

MainWindow& Program::mainWindow() const {
    return *window_;
}

void Program::start(const QList<QUrl>& files) {
    // The window shows in the stored appearance from its first frame.
    captureStartupAppearance();
    applyAppearance();
    window_->show();
    window_->raise();
    window_->activateWindow();

    // Files named at launch take the road of dropped files.
    if (!files.isEmpty()) store_.importer().handleURLs(files);

    if (snapshotRunner_) {
        snapshotRunner_();
    } else {
        store_.recovery().scheduleRestoreOffer();
    }
}

void Program::setSnapshotRunner(SnapshotRunner runner) {
    snapshotRunner_ = std::move(runner);
    store_.recovery().setEnabled(!snapshotRunner_);
}

int Program::run(const QList<QUrl>& files) {
    start(files);
    const int code = QApplication::exec();
    settings().sync();
    store_.recovery().finishWrites();
    // A key just typed or generated may still be on its way to the keyring.
    PublishSettings::shared().finishWrites(std::chrono::seconds(5));
    if (!store_.importer().finishReading(std::chrono::seconds(3))) {
        // The application's end would wait for every worker, also one stuck in a read that
        // never returns: the program ends without it, everything worth keeping is written.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}

void Program::quit(int code) {
    settings().sync();
    // exit() rather than quit(): quit() would ask every window to close once more.
    QCoreApplication::exit(code);
}

void Program::commitSession(QSessionManager& manager) {
    if (manager.allowsInteraction()) {
        const bool mayEnd = window_ && window_->confirmQuit();
        manager.release();
        if (!mayEnd) manager.cancel();
        return;
    }
    // No one to ask: keep the work (its file, or the recovery copy offered at the next start).
    // The windows close next and must not ask either.
    if (window_) window_->keepWorkWithoutAsking();
}

void Program::openSettings() {
    SettingsOpener::shared().open();
}

} // namespace rig::app

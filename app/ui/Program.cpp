#include "Program.h"

#include "AppPaths.h"
#include "Appearance.h"
#include "CrewLink.h"
#include "DXFSettings.h"
#include "DesktopInstance.h"
#include "DownloadFiles.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "PdfPrinter.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "QtPrompts.h"
#include "Recovery.h"
#include "Reveal.h"
#include "SettingsWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace rig::app {

QList<QUrl> commandLineFiles(const QStringList& arguments) {
    QList<QUrl> files;
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-'))) continue;
        const QUrl url(argument);
        // A launcher may hand addresses (the desktop entry's %U); paths otherwise. An address
        // that is no local file goes on, to be named as not taken.
        if (url.isLocalFile() || (!url.scheme().isEmpty() && !QFileInfo::exists(argument))) {
            files.push_back(url);
        } else {
            files.push_back(QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
        }
    }
    return files;
}

// The publish key starts loading from the keyring as the settings are made, long before the
// first publish needs it.
Program::Program()
    : dialogs_(std::make_unique<QtPrompts>()), reveal_(std::make_unique<DesktopReveal>()),
      motors_(std::make_unique<MotorLibrary>()),
      publishing_(std::make_unique<PublishSettings>(std::make_unique<KeychainSecretStore>())),
      dxf_(std::make_unique<DXFSettings>()), client_(std::make_unique<PublishClient>()),
      printer_(std::make_unique<PdfPrinter>()), store_(std::make_unique<ProjectStore>()),
      exports_(std::make_unique<ExportCommands>(*store_, *dxf_, *printer_, *reveal_)),
      settingsOpener_(std::make_unique<SettingsOpener>(*motors_, *dxf_, *publishing_)) {
    setStandardPrompts(dialogs_.get());
    // The quit does not wait for prints (run() ends the program at once when one is under
    // way); the pages that do not print go now.
    connect(qApp, &QCoreApplication::aboutToQuit, printer_.get(), &PdfPrinter::dropAll);
    store_->setMotorLibrary(motors_.get());
    store_->crewLink().setPublishing(publishing_.get(), client_.get());
    store_->crewLink().setDownloadParts(printer_.get(), dxf_.get());

    MainWindow::Parts parts;
    parts.openSettings = [this] { settingsOpener_->open(); };
    parts.exports = exports_.get();
    window_ = new MainWindow(*store_, *motors_, std::move(parts));
    dialogs_->setMainWindow(window_);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(window_, &MainWindow::closed, this, [this] { quit(0); });
    // "Finish, Then Quit" decides the quit while the window stays; a failure meanwhile stops
    // it (queued: a close that goes on from there decides it for good first).
    connect(window_, &MainWindow::quitsWhenDoneChanged, this, [this] {
        if (window_->quitsWhenDone()) decideQuit();
    });
    connect(
        window_, &MainWindow::quitsWhenDoneChanged, this,
        [this] {
            if (window_ && !window_->quitsWhenDone()) callOffQuit();
        },
        Qt::QueuedConnection);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Program::commitSession);
    handInRetry_.setSingleShot(true);
    handInRetry_.setInterval(250);
    connect(&handInRetry_, &QTimer::timeout, this, &Program::takeHandedFiles);
    // Queued: the import's result is applied before the next files start another.
    connect(&store_->importer(), &ImportController::importingChanged, this, &Program::takeHandedFiles,
            Qt::QueuedConnection);
}

Program::~Program() {
    // Prints under way are waited for while what they report to still exists (a quit never
    // gets here with one).
    printer_->cancelAll();
    delete window_.data();
    settingsOpener_.reset();
    setStandardPrompts(nullptr);
}

MainWindow& Program::mainWindow() const {
    return *window_;
}

void Program::start(const QList<QUrl>& files) {
    // The window shows in the stored appearance from its first frame.
    applyAppearance();
    window_->show();
    window_->raise();
    window_->activateWindow();

    // Files named at launch take the road of dropped files.
    if (!files.isEmpty()) store_->importer().handleURLs(files);
    // The PDFs of publishes that a program ending midway left behind.
    removeLeftDownloadFolders();

    if (snapshotRunner_) {
        snapshotRunner_();
    } else {
        store_->recovery().scheduleRestoreOffer();
    }
}

void Program::setDesktopInstance(DesktopInstance* instance) {
    instance_ = instance;
    if (instance_) connect(instance_, &DesktopInstance::startedAgain, this, &Program::startedAgain);
}

void Program::startedAgain(const QList<QUrl>& files) {
    if (quitDecided_) {
        if (instance_ && !files.isEmpty()) instance_->handOn(files);
        return;
    }
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (files.isEmpty()) return;
    // Each file once, in its first place, however its address is spelled; the other
    // addresses go along to be named.
    HandedURLs sorted = sortHandedURLs(files);
    QList<QUrl> handed = std::move(sorted.files);
    handed.append(sorted.notFiles);
    // A desktop that repeats its request while a question is open asks nothing twice.
    if (handingIn_ == handed) return;
    for (const QList<QUrl>& waiting : handedIn_)
        if (waiting == handed) return;
    handedIn_.push_back(std::move(handed));
    // In a turn of its own: the window answers in between when the list is long.
    QTimer::singleShot(0, this, &Program::takeHandedFiles);
}

void Program::takeHandedFiles() {
    if (handedIn_.empty() || handingIn_ || quitDecided_) return;
    // As a drop, which an open dialog would not let through; a running import would refuse
    // them: they wait for either to end.
    if (store_->importer().importing()) {
        // Taken when it ends; an import that reads on and on says so.
        for (const QList<QUrl>& waiting : handedIn_) store_->importer().noteWaiting(waiting);
        return;
    }
    if (QGuiApplication::modalWindow() || QApplication::activeModalWidget()) {
        handInRetry_.start();
        return;
    }
    handingIn_ = std::move(handedIn_.front());
    handedIn_.pop_front();
    store_->importer().handleURLs(*handingIn_);
    handingIn_.reset();
    if (!handedIn_.empty()) QTimer::singleShot(0, this, &Program::takeHandedFiles);
}

void Program::setSnapshotRunner(SnapshotRunner runner) {
    snapshotRunner_ = std::move(runner);
    store_->recovery().setEnabled(!snapshotRunner_);
}

int Program::run(const QList<QUrl>& files) {
    start(files);
    const int code = QApplication::exec();
    settings().sync();
    store_->recovery().finishWrites();
    store_->recovery().releaseCopy();
    // A key just typed or generated may still be on its way to the keyring.
    publishing_->finishWrites(std::chrono::seconds(5));
    // The application's end would wait for every worker, also one stuck in a read that never
    // returns; and a print under way ("Quit Now") can neither be called off nor have its page
    // deleted before it answers, which takes seconds for a large show. The program ends
    // without them, everything worth keeping is written.
    const bool readingEnded = store_->importer().finishReading(std::chrono::seconds(3));
    if (!readingEnded || printer_->printsUnderWay()) {
        // Only the program's own streams: a reader stuck in fread() holds its file's lock, and
        // flushing every stream would wait for it for good.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    return code;
}

void Program::decideQuit() {
    if (quitDecided_) return;
    quitDecided_ = true;
    handInRetry_.stop();
    if (!instance_) return;
    // Prints and uploads (dropped with "Quit Now", or finished first) may take a while yet: a
    // start meanwhile runs as the program, and so do the files answered as taken.
    instance_->release();
    for (const QList<QUrl>& files : handedIn_) instance_->handOn(files);
    handedIn_.clear();
}

void Program::callOffQuit() {
    if (!quitDecided_ || ending_) return;
    quitDecided_ = false;
    if (instance_) instance_->reclaim();
}

void Program::quit(int code) {
    ending_ = true;
    decideQuit();
    settings().sync();
    // exit() rather than quit(): quit() would ask every window to close once more.
    QCoreApplication::exit(code);
}

void Program::commitSession(QSessionManager& manager) {
    if (manager.allowsInteraction()) {
        // "Finish, Then Quit" ends the program once its work is done, not the session now.
        const bool mayEnd = window_ && window_->confirmQuit() && window_->confirmRunningWork();
        manager.release();
        if (!mayEnd) manager.cancel();
        return;
    }
    // No one to ask: keep the work (its file, or the recovery copy offered at the next start).
    // The windows close next and must not ask either.
    if (window_) window_->keepWorkWithoutAsking();
}

} // namespace rig::app

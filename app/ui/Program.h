// The running program: the app-wide objects, the main window and its menus, the start-up
// sequence and every way to end. main() makes one Program after QApplication and runs it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QApplication;
class QSessionManager;

namespace rig::app {

class MainWindow;
class ProjectStore;
class QtPrompts;

class Program : public QObject {
    Q_OBJECT
public:
    // Runs the snapshot mode instead of the restore offer.
    using SnapshotRunner = std::function<void()>;

    // Creates the shared objects and the main window (not shown yet).
    Program();
    // Deletes the window (and with it every web page) while the application still exists.
    ~Program() override;

    MainWindow& mainWindow() const;

    // Set before start() to run the snapshot mode: it replaces the restore offer, and the
    // store keeps no recovery copy.
    void setSnapshotRunner(SnapshotRunner runner);

    // The start-up sequence: the stored appearance, the window shown, `files` (from the
    // command line) handed to the import, then the snapshot mode or, 0.8 s later, the offer to
    // restore an unsaved project.
    void start(const QList<QUrl>& files);
    // start(), the event loop, then the end: settings written, pending saves finished. An
    // import whose worker does not come back within 3 s is left behind: the process ends
    // right there, with the event loop's code.
    int run(const QList<QUrl>& files);

    // Ends the event loop with `code` after writing the settings (the snapshot mode's end).
    void quit(int code = 0);

    // The session manager asks before logging out: the save prompt, once.
    void commitSession(QSessionManager& manager);

private:
    void openSettings();

    ProjectStore& store_;
    std::unique_ptr<QtPrompts> dialogs_;
    QPointer<MainWindow> window_;
    SnapshotRunner snapshotRunner_;
};

// Files named on the command line as local file addresses, relative ones taken from the
// current folder; options (starting with "-") are left out.
QList<QUrl> commandLineFiles(const QStringList& arguments);

} // namespace rig::app

// The running program: it makes and owns the services (the document store, the motor library,
// the settings models, the publish client, the printer, the export commands) and hands them to
// whoever needs them; the main window and its menus, the start-up sequence and every way to
// end. main() makes one Program after QApplication and runs it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QApplication;
class QSessionManager;

namespace rig::app {

class DXFSettings;
class DesktopInstance;
class DesktopReveal;
class ExportCommands;
class MainWindow;
class MotorLibrary;
class PdfPrinter;
class ProjectStore;
class PublishClient;
class PublishSettings;
class QtPrompts;
class SettingsOpener;

class Program : public QObject {
    Q_OBJECT
public:
    // Runs the snapshot mode instead of the restore offer.
    using SnapshotRunner = std::function<void()>;

    // Creates the services and the main window (not shown yet).
    Program();
    // Deletes the window (and with it every web page) and the services while the application
    // still exists.
    ~Program() override;

    MainWindow& mainWindow() const;
    ProjectStore& store() const { return *store_; }
    MotorLibrary& motors() const { return *motors_; }
    DXFSettings& dxf() const { return *dxf_; }
    PublishSettings& publishing() const { return *publishing_; }
    PublishClient& client() const { return *client_; }
    PdfPrinter& printer() const { return *printer_; }
    ExportCommands& exports() const { return *exports_; }

    // Set before start() to run the snapshot mode: it replaces the restore offer, and the
    // store keeps no recovery copy.
    void setSnapshotRunner(SnapshotRunner runner);

    // The start-up sequence: the stored appearance, the window shown, `files` (from the
    // command line) handed to the import, the download folders of ended programs removed, then
    // the snapshot mode or, 0.8 s later, the offer to restore an unsaved project.
    void start(const QList<QUrl>& files);
    // start(), the event loop, then the end: settings written, pending saves finished. An
    // import whose worker does not come back within 3 s, or a print under way, is left
    // behind: the process ends right there, with the event loop's code.
    int run(const QList<QUrl>& files);

    // The program was started again from the desktop, with `files` or none: the window comes
    // forward and the files take the road of dropped files, once no dialog is open and no
    // import runs. A request for the same files as one waiting or under way, however their
    // addresses are spelled, is dropped. Once the quit is decided, files go to a new program.
    void startedAgain(const QList<QUrl>& files);

    // Later starts reach this program through `instance` (kept by the caller, alive for the
    // whole run) until the program decides to end: from then on the next start runs as the
    // program, and files handed in but not taken yet go to a new start. A quit called off
    // ("Finish, Then Quit" stopped) takes later starts again.
    void setDesktopInstance(DesktopInstance* instance);

    // Ends the event loop with `code` after writing the settings (the snapshot mode's end).
    // The quit is decided: see setDesktopInstance.
    void quit(int code = 0);
    bool ending() const { return ending_; }

    // The session manager asks before logging out: the save prompt, once.
    void commitSession(QSessionManager& manager);

private:
    // The oldest files handed in, when nothing is in the way.
    void takeHandedFiles();
    // Whichever answer decided it, or none: no later start's files come in any more.
    void decideQuit();
    void callOffQuit();

    // Made in this order, ended in the reverse one.
    std::unique_ptr<QtPrompts> dialogs_;
    std::unique_ptr<DesktopReveal> reveal_;
    std::unique_ptr<MotorLibrary> motors_;
    std::unique_ptr<PublishSettings> publishing_;
    std::unique_ptr<DXFSettings> dxf_;
    std::unique_ptr<PublishClient> client_;
    std::unique_ptr<PdfPrinter> printer_;
    std::unique_ptr<ProjectStore> store_;
    std::unique_ptr<ExportCommands> exports_;
    std::unique_ptr<SettingsOpener> settingsOpener_;
    QPointer<MainWindow> window_;
    QPointer<DesktopInstance> instance_;
    bool ending_ = false;
    bool quitDecided_ = false;
    SnapshotRunner snapshotRunner_;
    // Files of later starts, oldest first, and the ones being taken (a save question about
    // them may be open).
    std::deque<QList<QUrl>> handedIn_;
    std::optional<QList<QUrl>> handingIn_;
    QTimer handInRetry_;
};

// Files named on the command line as local file addresses, relative ones taken from the
// current folder; an address of another kind ("sftp:", "http:" …) as it is, for the import to
// name; options (starting with "-") are left out.
QList<QUrl> commandLineFiles(const QStringList& arguments);

} // namespace rig::app

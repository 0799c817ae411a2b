// The developer snapshot mode: with RIG_SNAPSHOT naming a folder, the program drives itself
// from environment variables (files to import, exports, a publish pass, capture steps), leaves
// pictures and result files in folders and ends by itself. Nothing is ever shown to the user,
// nothing is handed to another program (no file manager for the PDFs written, no browser);
// every failure is silent and no folder is created. Main thread only.
#pragma once

#include "SnapshotTexts.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QCoroTask>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QWidget;

namespace rig::app {

class DXFSettings;
class ExportCommands;
class MotorLibrary;
class PdfPrinter;
class ProjectStore;
class PublishClient;
class PublishSettings;

// An environment variable's value (possibly empty) when it is set, nothing when it is not.
using Environment = std::function<std::optional<QString>(const QString& name)>;
std::optional<QString> processEnvironment(const QString& name);

// `view` and every widget below it, depth first, each parent before its children.
QList<QWidget*> allSubviews(const QList<QWidget*>& views);

// The window a capture takes when the program names none: the first visible one with a
// title, else the active one, else the first; null for an empty list.
QWidget* chooseCaptureWindow(const QList<QWidget*>& windows, QWidget* active);

// Draws `widget` into a PNG; empty when it yields no picture.
QByteArray widgetPng(QWidget* widget);

struct SnapshotTiming {
    std::chrono::milliseconds enlarge{2000}; // RIG_SNAPSHOT_TALL, after the start
    // RIG_EXPORT and the first capture step, after the start (and after the import of RIG_FILES).
    std::chrono::milliseconds exports{8000};
    std::chrono::milliseconds steps{14000};
    std::chrono::milliseconds settle{1500}; // from a step's switch to its capture
    // The longest wait for an import still reading, for a crew view still drawing before its
    // capture; at the end, for PDF jobs and the publish check still running.
    std::chrono::milliseconds finishLimit{180000};
};

// The export run's edits of the open project, each stored through the store's setter:
// RIG_FAKE_LINK attaches a publish record with that link (token "qzvx"); RIG_TEST_HEIGHT,
// when it reads as a finite number, sets the rigging height and one group height (12 m for
// "B-LAVA › KARA"); RIG_TEST_DELTA puts a "Test 1t" motor with a K1-DELTA plate on the last
// point of the sources named "L2 L" and "KARA 1".
void applySnapshotEdits(ProjectStore& store, const Environment& environment);

class SnapshotRun : public QObject {
    Q_OBJECT
public:
    struct Parts {
        // The program's objects (all required).
        ProjectStore* store = nullptr;
        MotorLibrary* motors = nullptr;
        DXFSettings* dxf = nullptr;
        PublishSettings* publishing = nullptr;
        PublishClient* client = nullptr;
        PdfPrinter* printer = nullptr;
        // The PDF exports go through it; it should share the store and printer above.
        ExportCommands* exports = nullptr;
        Environment environment = processEnvironment;
        // The program's main window, captured and enlarged; without it the application's
        // windows are looked through.
        std::function<QWidget*()> mainWindow;
        // A new overview page for the "full" step (the caller owns it); without it the step
        // writes no picture.
        std::function<QWidget*()> overviewPage;
        // Switches the main window to a step; nothing unless set.
        std::function<void(const SnapshotStep&)> select;
        // Ends the program with the status; unless set, the settings are written and the
        // event loop ends (also when it has not started yet).
        std::function<void(int code)> quit;
        SnapshotTiming timing;
    };

    SnapshotRun(QString folder, Parts parts, QObject* parent = nullptr);
    ~SnapshotRun() override;

    // The scripted run: nothing opened in other programs until the run is deleted, appearance,
    // the accessory check (which ends the program), the files handed to the store, the settings
    // pictures now, and the exports, enlargement and capture steps scheduled. Returns at once.
    void start();

    // accessory.png and accessory.txt: the DXF export options as the save dialog shows them,
    // after "Drops" was clicked and "At height:" chosen (both stay stored).
    void writeAccessoryCheck();
    // settings-general.png and settings-motors.png at 560 × 480 now, settings-publishing.png
    // as soon as the publish key has been read (within 1.5 s).
    void writeSettingsShots();

    // The optional project edits (RIG_FAKE_LINK, RIG_TEST_HEIGHT, RIG_TEST_DELTA), then
    // rigger.pdf and crew.pdf started, points.csv, points.dxf and points-drops-floor.dxf
    // written into `exportFolder`; then the publish check when server and key are both set.
    void runExportSelfTest(const QString& exportFolder);
    // Two publishes to one link, a hidden group, a probe edit, the re-send, the download
    // files and what the server then keeps, written as publish.txt. Never throws.
    QCoro::Task<void> runPublishSelfTest(QString server, QString key, QString exportFolder);

    // Step `index` of `steps` and, one after the other, those after it; past the end,
    // state.txt and the end of the program.
    void runSnapshotSteps(std::size_t index, SnapshotSteps steps);
    // The main window as a PNG at `path`; when it cannot be drawn, the screen's copy, or the
    // failure note "<path>.txt".
    void captureMainWindow(const QString& path);
    // The first visible window to 1300 × 2400 at the top left.
    void enlargeWindowForSnapshot();

    const QString& folder() const { return folder_; }
    bool isPublishCheckRunning() const { return publishChecks_ > 0; }

signals:
    void publishCheckFinished();
    void stepCaptured(int index);

private:
    QString env(const char* name) const;
    bool isSet(const char* name) const;
    QString inFolder(const QString& name) const;
    QWidget* captureWindow() const;
    // Runs `next` once the files handed in are read (a busy machine may take longer than the
    // timed start allows): exports and pictures of a project still being read show the one
    // before it. At most the finish limit.
    void afterImport(std::function<void()> next);
    void waitForImport(std::function<void()> next, std::chrono::steady_clock::time_point deadline);
    void captureStep(std::size_t index, SnapshotSteps steps);
    // Runs `next` once the crew view shown in the captured window has drawn its latest document
    // and painted it (a large show takes longer than the settle time), or at once when none is
    // shown. At most the finish limit.
    void afterCrewDrawn(std::function<void()> next);
    void finishSteps(std::chrono::steady_clock::time_point deadline);
    // publish.txt's lines; nothing when the objects it works with went away.
    QCoro::Task<std::optional<QString>> publishCheckLog(QString server, QString key);
    // What the server keeps for the link, by a plain GET without the key.
    QCoro::Task<QString> fetchLink(QString server, QString token);

    QString folder_;
    Parts parts_;
    int publishChecks_ = 0;
    bool exportsDue_ = false;
    QNetworkAccessManager* network_ = nullptr;
    QList<QPointer<QWidget>> offscreen_; // pages drawn off screen, deleted with the run
    std::optional<bool> openedOutside_;  // as it was before start()
};

// The program's entry into the mode: a run on the program's objects, owned by the application,
// started at once.
void runDevSnapshot(const QString& folder, SnapshotRun::Parts parts);

} // namespace rig::app

#include "SnapshotProgram.h"

#include "ExportCommands.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "Program.h"
#include "ProjectStore.h"

#include <QCoreApplication>
#include <QPointer>

namespace rig::app {

SnapshotRun::Parts programSnapshotParts(Program& program) {
    SnapshotRun::Parts parts;
    QPointer<MainWindow> window = &program.mainWindow();
    parts.mainWindow = [window] { return window.data(); };
    QObject::connect(&SnapshotNotifier::shared(), &SnapshotNotifier::rigDevSelect, window.data(),
                     [window](const SnapshotStep& step) { window->devSelect(step); });
    parts.overviewPage = [] {
        return new OverviewPage(ProjectStore::shared(), MotorLibrary::shared(), ExportCommands::shared());
    };
    parts.quit = [target = QPointer<Program>(&program)](int code) {
        // Queued: the accessory check ends the program before its event loop runs.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [target, code] {
                if (target) target->quit(code);
            },
            Qt::QueuedConnection);
    };
    return parts;
}

} // namespace rig::app

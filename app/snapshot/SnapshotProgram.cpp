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
    parts.store = &program.store();
    parts.motors = &program.motors();
    parts.dxf = &program.dxf();
    parts.publishing = &program.publishing();
    parts.client = &program.client();
    parts.printer = &program.printer();
    parts.exports = &program.exports();
    parts.select = [window](const SnapshotStep& step) {
        if (window) window->devSelect(step);
    };
    parts.overviewPage = [target = QPointer<Program>(&program)] {
        return new OverviewPage(target->store(), target->motors(), target->exports());
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

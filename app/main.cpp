#include "DesktopInstance.h"
#include "Program.h"
#include "SnapshotDirectory.h"
#include "SnapshotProgram.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    const QList<QUrl> files = rig::app::commandLineFiles(app.arguments().mid(1));
    const auto snapshotFolder = rig::app::snapshotDirectory();
    // One program per desktop session; the snapshot mode always drives a program of its own.
    rig::app::DesktopInstance instance;
    if (!snapshotFolder && instance.claimOrHandOver(files) == rig::app::DesktopInstance::Role::handedOver)
        return 0;
    rig::app::Program program;
    program.setDesktopInstance(&instance);
    if (snapshotFolder) {
        program.setSnapshotRunner([&program, folder = *snapshotFolder] {
            rig::app::runDevSnapshot(folder, rig::app::programSnapshotParts(program));
        });
    }
    return program.run(files);
}

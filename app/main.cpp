#include "shell/Program.h"
#include "shell/Startup.h"
#include "snapshot/SnapshotProgram.h"

#include <QApplication>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    rig::app::Program program;
    program.setSnapshotRunner([&program](const QString& folder) {
        rig::app::runDevSnapshot(folder, rig::app::programSnapshotParts(program));
    });
    return program.run(rig::app::commandLineFiles(app.arguments().mid(1)));
}

#include "Program.h"
#include "SnapshotDirectory.h"
#include "SnapshotProgram.h"
#include "Startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    rig::app::Program program;
    if (const auto folder = rig::app::snapshotDirectory()) {
        program.setSnapshotRunner([&program, folder = *folder] {
            rig::app::runDevSnapshot(folder, rig::app::programSnapshotParts(program));
        });
    }
    return program.run(rig::app::commandLineFiles(app.arguments().mid(1)));
}

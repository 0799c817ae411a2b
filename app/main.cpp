#include "shell/Startup.h"
#include "snapshot/SnapshotDirectory.h"
#include "snapshot/SnapshotRun.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Quorvane Rig");
    window.resize(1100, 720);
    window.show();
    if (const auto folder = rig::app::snapshotDirectory()) {
        rig::app::SnapshotRun::Parts parts;
        parts.mainWindow = [&window] { return &window; };
        rig::app::runDevSnapshot(*folder, std::move(parts));
    }
    return app.exec();
}

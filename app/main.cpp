#include "shell/Program.h"
#include "shell/Startup.h"

#include <QApplication>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    rig::app::Program program;
    return program.run(rig::app::commandLineFiles(app.arguments().mid(1)));
}

#include "shell/Startup.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Quorvane Rig");
    window.resize(1100, 720);
    window.show();
    return app.exec();
}

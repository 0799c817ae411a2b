#include "Startup.h"

#include "PageScheme.h"

#include <QCoreApplication>

namespace rig::app {

void prepareApplication() {
    // WebEngine shares OpenGL contexts with the widgets; this must precede QApplication.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName("QuorvaneRig");
    QCoreApplication::setApplicationName("Quorvane Rig");
    QCoreApplication::setApplicationVersion(RIG_VERSION);
    // Generated pages are loaded from memory through a scheme WebEngine must know up front.
    registerPageScheme();
}

} // namespace rig::app

#include "Startup.h"

#include "PageScheme.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace rig::app {

namespace {

// Chromium refuses to start as root with its sandbox on, and its refusal ends the whole program
// the moment a page is first needed (the crew view, a PDF). As root it runs without the sandbox.
void allowWebEngineAsRoot() {
    if (getuid() != 0 && geteuid() != 0) return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    std::fputs("Quorvane Rig runs as root: its web engine (crew view, PDFs) runs without Chromium's "
               "sandbox.\n",
               stderr);
    std::fflush(stderr);
}

} // namespace

void prepareApplication() {
    allowWebEngineAsRoot();
    // WebEngine shares OpenGL contexts with the widgets; this must precede QApplication.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setOrganizationName("QuorvaneRig");
    QCoreApplication::setApplicationName("Quorvane Rig");
    QCoreApplication::setApplicationVersion(RIG_VERSION);
    // Generated pages are loaded from memory through a scheme WebEngine must know up front.
    registerPageScheme();
}

} // namespace rig::app

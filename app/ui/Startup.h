// What must happen before the QApplication object exists, shared by the program and its tests.
#pragma once

namespace rig::app {

// Application attributes, names and URL schemes; as root, the web engine without its sandbox
// (said once on standard error). Call once, before constructing QApplication.
void prepareApplication();

} // namespace rig::app

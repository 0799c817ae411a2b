// Where the program keeps its settings and data.
#pragma once

#include <QSettings>
#include <QString>

namespace rig::app {

struct AppPaths {
    QString settingsFile;  // one INI file for every setting
    QString dataDirectory; // motors.json and Recovery/ live here
    // The desktop's list of recently used files, shared with every other program; none: the
    // program leaves it alone.
    QString desktopRecentFile;

    // ~/.config/QuorvaneRig/QuorvaneRig.conf, ~/.local/share/QuorvaneRig and
    // ~/.local/share/recently-used.xbel (XDG variables honoured).
    static AppPaths standard();
};

// Process-wide. Set before anything reads a setting; tests point both at temporary places.
void setAppPaths(const AppPaths& paths);
const AppPaths& appPaths();

// The one settings object on appPaths().settingsFile. Main thread only.
QSettings& settings();

// `path` absolute and cleaned: the form file paths are kept and compared in.
QString absoluteFilePath(const QString& path);

} // namespace rig::app

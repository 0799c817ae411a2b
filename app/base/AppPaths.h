// Where the program keeps its settings and data.
#pragma once

#include <QSettings>
#include <QString>

#include <optional>

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

// What to tell the user once, as the program starts, when the settings file could not be
// read whole: the settings it held may be back at their defaults, and a copy of it was kept
// aside before anything is written over it. None otherwise; taking it clears it.
std::optional<QString> takeSettingsMessage();

// `path` absolute and cleaned: the form file paths are kept and compared in.
QString absoluteFilePath(const QString& path);

} // namespace rig::app

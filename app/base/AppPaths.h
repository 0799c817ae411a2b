// Where the program keeps its settings and data, and where it finds its run-time resources.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace rig::app {

struct AppPaths {
    QString settingsFile;  // one INI file for every setting
    QString dataDirectory; // motors.json and Recovery/ live here

    // ~/.config/QuorvaneRig/QuorvaneRig.conf and ~/.local/share/QuorvaneRig (XDG variables honoured).
    static AppPaths standard();
};

// Process-wide. Set before anything reads a setting; tests point both at temporary places.
void setAppPaths(const AppPaths& paths);
const AppPaths& appPaths();

// The one settings object on appPaths().settingsFile. Main thread only.
QSettings& settings();

// A run-time file such as "crew.html": the installed copy first, then the source tree's.
// Empty when neither exists.
QString resourcePath(const QString& name);

// Every place resourcePath() looks, in its order, whether the file exists there or not.
QStringList resourceCandidates(const QString& name);

} // namespace rig::app

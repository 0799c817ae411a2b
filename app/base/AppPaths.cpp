#include "AppPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>
#include <optional>

namespace rig::app {

namespace {

std::optional<AppPaths>& currentPaths() {
    static std::optional<AppPaths> paths;
    return paths;
}

std::unique_ptr<QSettings>& currentSettings() {
    static std::unique_ptr<QSettings> settings;
    return settings;
}

} // namespace

AppPaths AppPaths::standard() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return {config + "/QuorvaneRig/QuorvaneRig.conf", data + "/QuorvaneRig", data + "/recently-used.xbel"};
}

void setAppPaths(const AppPaths& paths) {
    if (currentSettings()) currentSettings()->sync();
    currentSettings().reset();
    currentPaths() = paths;
}

const AppPaths& appPaths() {
    if (!currentPaths()) currentPaths() = AppPaths::standard();
    return *currentPaths();
}

QSettings& settings() {
    auto& s = currentSettings();
    if (!s) s = std::make_unique<QSettings>(appPaths().settingsFile, QSettings::IniFormat);
    return *s;
}

QString absoluteFilePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace rig::app

#include "AppPaths.h"

#include <QCoreApplication>
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
    return {config + "/QuorvaneRig/QuorvaneRig.conf", data + "/QuorvaneRig"};
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

QStringList resourceCandidates(const QString& name) {
    // Installed layout: <prefix>/bin/quorvane-rig and <prefix>/share/quorvane-rig/<name>.
    const QStringList folders = {
        QCoreApplication::applicationDirPath() + "/../share/quorvane-rig",
        QStringLiteral(RIG_INSTALL_RESOURCES),
        QStringLiteral(RIG_SOURCE_RESOURCES),
    };
    QStringList paths;
    for (const QString& folder : folders) paths << QDir(folder).filePath(name);
    return paths;
}

QString resourcePath(const QString& name) {
    for (const QString& path : resourceCandidates(name)) {
        const QFileInfo file(path);
        if (file.isFile()) return file.canonicalFilePath();
    }
    return {};
}

} // namespace rig::app

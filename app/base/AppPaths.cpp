#include "AppPaths.h"

#include "QtText.h"
#include "base/Number.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>
#include <optional>
#include <utility>

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

std::optional<QString>& settingsMessage() {
    static std::optional<QString> message;
    return message;
}

// Qt reads what it can of a damaged settings file and writes over the whole of it at the next
// change: a copy is kept first, beside it.
void keepDamagedSettings(const QString& file) {
    QString copy = file + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(copy) || QFileInfo(copy).isSymLink(); ++n)
        copy = file + QStringLiteral(".unreadable-") + toQ(integerText(n));
    const bool kept = QFile::copy(file, copy);
    settingsMessage() =
        QStringLiteral("The settings file could not be read whole; settings it held may be back at their "
                       "defaults. ") +
        (kept ? QStringLiteral("A copy of it is kept as %1.").arg(QFileInfo(copy).fileName())
              : QStringLiteral("No copy of it could be kept."));
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
    settingsMessage().reset();
    currentPaths() = paths;
}

const AppPaths& appPaths() {
    if (!currentPaths()) currentPaths() = AppPaths::standard();
    return *currentPaths();
}

QSettings& settings() {
    auto& s = currentSettings();
    if (!s) {
        s = std::make_unique<QSettings>(appPaths().settingsFile, QSettings::IniFormat);
        // Qt reads a section's lines only as they are asked for: all of them are, so that
        // damage anywhere shows now.
        s->allKeys();
        if (s->status() == QSettings::FormatError) keepDamagedSettings(appPaths().settingsFile);
    }
    return *s;
}

std::optional<QString> takeSettingsMessage() {
    settings();
    return std::exchange(settingsMessage(), std::nullopt);
}

QString absoluteFilePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace rig::app

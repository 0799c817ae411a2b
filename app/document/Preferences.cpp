#include "Preferences.h"

#include "AppPaths.h"
#include "QtText.h"
#include "base/Text.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace rig::app {

QString defaultAuthorName() {
    const QVariant stored = settings().value(authorNameKey);
    if (stored.isValid()) {
        const QString name = stored.toString();
        if (!trimWhite(toStd(name)).empty()) return name;
    }
    return accountFullName();
}

QString fullNameFromGecos(const char* gecos) {
    if (gecos == nullptr) return {};
    const QString field = QString::fromUtf8(gecos);
    return field.left(field.indexOf(','));
}

QString accountFullName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return {};
    return fullNameFromGecos(found->pw_gecos);
}

Appearance appearanceFromSetting(const QString& stored) {
    if (stored == QLatin1String("light")) return Appearance::light;
    if (stored == QLatin1String("dark")) return Appearance::dark;
    return Appearance::system;
}

} // namespace rig::app

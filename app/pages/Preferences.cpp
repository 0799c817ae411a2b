#include "pages/Preferences.h"

#include "base/Text.h"
#include "shell/AppPaths.h"
#include "shell/QtText.h"

#include <QApplication>
#include <QColor>
#include <QStyle>
#include <QStyleFactory>
#include <QToolTip>

#include <optional>
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

namespace {

struct StartupAppearance {
    QString styleName;
    QPalette palette;
    QPalette toolTipPalette;
    // Until light or dark is chosen the start-up look is left alone, so the application
    // palette is never fixed and keeps following the desktop.
    bool changed = false;
};

std::optional<StartupAppearance>& startup() {
    static std::optional<StartupAppearance> value;
    return value;
}

void useStyle(const QString& name) {
    if (QApplication::style()->name().compare(name, Qt::CaseInsensitive) == 0) return;
    QApplication::setStyle(name);
}

// One colour for the active and inactive groups, another for the disabled group.
void setRole(QPalette& palette, QPalette::ColorRole role, const QColor& normal, const QColor& disabled) {
    palette.setColor(QPalette::Active, role, normal);
    palette.setColor(QPalette::Inactive, role, normal);
    palette.setColor(QPalette::Disabled, role, disabled);
}

void setRole(QPalette& palette, QPalette::ColorRole role, const QColor& color) {
    setRole(palette, role, color, color);
}

} // namespace

void captureStartupAppearance() {
    if (startup()) return;
    startup() =
        StartupAppearance{QApplication::style()->name(), QApplication::palette(), QToolTip::palette()};
}

QPalette lightPalette() {
    // Fusion's own bevel shades from its button colour; text roles chosen for contrast.
    QPalette p(QColor(0xef, 0xef, 0xef), QColor(0xef, 0xef, 0xef));
    const QColor text(0x1a, 0x1a, 0x1a);
    const QColor disabledText(0x80, 0x80, 0x80);
    setRole(p, QPalette::Window, QColor(0xef, 0xef, 0xef));
    setRole(p, QPalette::WindowText, text, disabledText);
    setRole(p, QPalette::Base, Qt::white, QColor(0xf7, 0xf7, 0xf7));
    setRole(p, QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf5));
    setRole(p, QPalette::Text, text, disabledText);
    setRole(p, QPalette::Button, QColor(0xef, 0xef, 0xef));
    setRole(p, QPalette::ButtonText, text, disabledText);
    setRole(p, QPalette::BrightText, Qt::white);
    setRole(p, QPalette::PlaceholderText, QColor(0x6e, 0x6e, 0x6e), QColor(0x9a, 0x9a, 0x9a));
    setRole(p, QPalette::Highlight, QColor(0x2a, 0x6f, 0xc9), QColor(0xc8, 0xc8, 0xc8));
    setRole(p, QPalette::HighlightedText, Qt::white, QColor(0x40, 0x40, 0x40));
    setRole(p, QPalette::Link, QColor(0x0a, 0x58, 0xca), disabledText);
    setRole(p, QPalette::LinkVisited, QColor(0x6f, 0x42, 0xc1), disabledText);
    setRole(p, QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    setRole(p, QPalette::ToolTipText, text);
    return p;
}

QPalette darkPalette() {
    // Bevel shades (light, mid, dark, shadow) derived from the button and window colours.
    QPalette p(QColor(0x3a, 0x3a, 0x3a), QColor(0x2d, 0x2d, 0x2d));
    const QColor text(0xe8, 0xe8, 0xe8);
    const QColor disabledText(0x80, 0x80, 0x80);
    setRole(p, QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    setRole(p, QPalette::WindowText, text, disabledText);
    setRole(p, QPalette::Base, QColor(0x1e, 0x1e, 0x1e), QColor(0x26, 0x26, 0x26));
    setRole(p, QPalette::AlternateBase, QColor(0x28, 0x28, 0x28));
    setRole(p, QPalette::Text, text, disabledText);
    setRole(p, QPalette::Button, QColor(0x3a, 0x3a, 0x3a), QColor(0x33, 0x33, 0x33));
    setRole(p, QPalette::ButtonText, text, disabledText);
    setRole(p, QPalette::BrightText, Qt::white);
    setRole(p, QPalette::PlaceholderText, QColor(0x94, 0x94, 0x94), QColor(0x6a, 0x6a, 0x6a));
    setRole(p, QPalette::Highlight, QColor(0x2f, 0x65, 0xca), QColor(0x4a, 0x4a, 0x4a));
    setRole(p, QPalette::HighlightedText, Qt::white, QColor(0xa8, 0xa8, 0xa8));
    setRole(p, QPalette::Link, QColor(0x6c, 0xb4, 0xff), disabledText);
    setRole(p, QPalette::LinkVisited, QColor(0xc2, 0x9b, 0xff), disabledText);
    setRole(p, QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x3c));
    setRole(p, QPalette::ToolTipText, text);
    return p;
}

void applyAppearance(Appearance appearance) {
    captureStartupAppearance();
    switch (appearance) {
    case Appearance::system:
        if (!startup()->changed) break;
        startup()->changed = false;
        useStyle(startup()->styleName);
        QApplication::setPalette(startup()->palette);
        QToolTip::setPalette(startup()->toolTipPalette);
        break;
    case Appearance::light:
    case Appearance::dark: {
        const QPalette palette = appearance == Appearance::light ? lightPalette() : darkPalette();
        startup()->changed = true;
        useStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(palette);
        QToolTip::setPalette(palette);
        break;
    }
    }
}

void applyAppearance() {
    applyAppearance(appearanceFromSetting(settings().value(appearanceKey).toString()));
}

} // namespace rig::app

#include "support/AppTesting.h"

#include "pages/Preferences.h"
#include "shell/AppPaths.h"

#include <QApplication>
#include <QColor>
#include <QStyle>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace rig::app {
namespace {

// Writes the setting, then reads the settings file again as a new run would.
void storeAndReload(const char* key, const std::optional<QString>& value) {
    if (value)
        settings().setValue(key, *value);
    else
        settings().remove(key);
    const AppPaths current = appPaths();
    setAppPaths(current);
}

TEST(Preferences, DefaultAuthorNameFallsBackToTheAccountOnlyWhenBlank) {
    testing::TempAppPaths paths;
    const QString account = accountFullName();
    const struct {
        std::optional<QString> stored;
        QString expected;
    } cases[] = {
        {std::nullopt, account},
        {QString(), account},
        {QStringLiteral("  \t "), account},
        {QStringLiteral("\u00A0\u2003"), account}, // other horizontal blanks
        {QStringLiteral(" Sam Reyes\t"), QStringLiteral(" Sam Reyes\t")},
        {QStringLiteral("Zoë"), QStringLiteral("Zoë")},
        {QStringLiteral("\n"), QStringLiteral("\n")}, // line breaks are not blanks here
    };
    for (const auto& c : cases) {
        storeAndReload(authorNameKey, c.stored);
        EXPECT_EQ(defaultAuthorName(), c.expected) << c.stored.value_or("(none)").toStdString();
    }
}

TEST(Preferences, FullNameIsTheGecosFieldUpToTheFirstComma) {
    const struct {
        const char* gecos;
        QString expected;
    } cases[] = {
        {"Sam Reyes,Room 4,555-0100,,", QStringLiteral("Sam Reyes")},
        {"Zoë Ångström", QStringLiteral("Zoë Ångström")},
        {",Room 4", QString()},
        {"", QString()},
        {nullptr, QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fullNameFromGecos(c.gecos), c.expected) << (c.gecos ? c.gecos : "null");
}

TEST(Preferences, OnlyTheExactAppearanceValuesCount) {
    const struct {
        QString stored;
        Appearance expected;
    } cases[] = {
        {"system", Appearance::system}, {"light", Appearance::light},  {"dark", Appearance::dark},
        {"Dark", Appearance::system},   {"LIGHT", Appearance::system}, {" dark", Appearance::system},
        {"", Appearance::system},       {"auto", Appearance::system},
    };
    for (const auto& c : cases)
        EXPECT_EQ(appearanceFromSetting(c.stored), c.expected) << c.stored.toStdString();
}

TEST(Preferences, AppearanceSwitchesToFusionPalettesAndBackToTheStartUpLook) {
    testing::TempAppPaths paths;
    const QString startStyle = QApplication::style()->name();
    const QPalette startPalette = QApplication::palette();

    settings().setValue(appearanceKey, "dark");
    applyAppearance();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), darkPalette().color(QPalette::Window));
    EXPECT_EQ(QApplication::palette().color(QPalette::Disabled, QPalette::Text),
              darkPalette().color(QPalette::Disabled, QPalette::Text));

    settings().setValue(appearanceKey, "light");
    applyAppearance();
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
    EXPECT_EQ(QApplication::palette().color(QPalette::Base), lightPalette().color(QPalette::Base));

    for (const char* other : {"Dark", "system", ""}) {
        applyAppearance(Appearance::dark);
        settings().setValue(appearanceKey, other);
        applyAppearance();
        EXPECT_EQ(QApplication::style()->name(), startStyle) << other;
        EXPECT_EQ(QApplication::palette(), startPalette) << other;
    }
}

double luminance(const QColor& color) {
    auto channel = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(Preferences, PalettesKeepTextReadable) {
    using P = QPalette;
    const struct {
        P::ColorGroup group;
        P::ColorRole text;
        P::ColorRole background;
        double minimum;
    } pairs[] = {
        {P::Active, P::WindowText, P::Window, 7},
        {P::Active, P::Text, P::Base, 7},
        {P::Active, P::Text, P::AlternateBase, 7},
        {P::Active, P::ButtonText, P::Button, 7},
        {P::Active, P::ToolTipText, P::ToolTipBase, 7},
        {P::Active, P::HighlightedText, P::Highlight, 4.5},
        {P::Inactive, P::HighlightedText, P::Highlight, 4.5},
        {P::Active, P::Link, P::Base, 4.5},
        {P::Active, P::LinkVisited, P::Base, 4.5},
        {P::Active, P::PlaceholderText, P::Base, 3},
        {P::Disabled, P::WindowText, P::Window, 3},
        {P::Disabled, P::Text, P::Base, 3},
        {P::Disabled, P::ButtonText, P::Button, 3},
        {P::Disabled, P::HighlightedText, P::Highlight, 3},
    };
    for (const auto& [name, palette] :
         {std::pair("light", lightPalette()), std::pair("dark", darkPalette())}) {
        for (const auto& p : pairs) {
            const double ratio =
                contrast(palette.color(p.group, p.text), palette.color(p.group, p.background));
            EXPECT_GE(ratio, p.minimum) << name << " group " << p.group << " role " << p.text;
        }
        // Disabled text must look disabled: clearly weaker than the enabled text.
        for (auto [text, background] : {std::pair(P::Text, P::Base), std::pair(P::WindowText, P::Window)}) {
            const double enabled =
                contrast(palette.color(P::Active, text), palette.color(P::Active, background));
            const double disabled =
                contrast(palette.color(P::Disabled, text), palette.color(P::Disabled, background));
            EXPECT_LT(disabled * 1.5, enabled) << name;
        }
    }
}

} // namespace
} // namespace rig::app

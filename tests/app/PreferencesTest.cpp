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

TEST(Preferences, AuthorNameFallsBackToTheAccountOnlyWhenBlank) {
    testing::TempAppPaths paths;
    const QString account = accountFullName();
    const std::pair<std::optional<QString>, QString> cases[] = {
        {std::nullopt, account},
        {QStringLiteral("  \t\u00A0\u2003"), account}, // every horizontal blank
        {QStringLiteral(" Sam Reyes\t"), QStringLiteral(" Sam Reyes\t")},
        {QStringLiteral("\n"), QStringLiteral("\n")}, // line breaks are not blanks here
    };
    for (const auto& [stored, expected] : cases) {
        if (stored) settings().setValue(authorNameKey, *stored);
        EXPECT_EQ(defaultAuthorName(), expected) << stored.value_or("(none)").toStdString();
    }
    EXPECT_EQ(fullNameFromGecos("Zoë Ångström,Room 4,555-0100,,"), QStringLiteral("Zoë Ångström"));
    EXPECT_EQ(fullNameFromGecos(",Room 4"), QString());
    EXPECT_EQ(fullNameFromGecos(nullptr), QString());
}

TEST(Preferences, AppearanceSwitchesToFusionPalettesAndBackToTheStartUpLook) {
    testing::TempAppPaths paths;
    const QString startStyle = QApplication::style()->name();
    const QPalette startPalette = QApplication::palette();
    for (const auto& [stored, palette] :
         {std::pair("dark", darkPalette()), std::pair("light", lightPalette())}) {
        settings().setValue(appearanceKey, stored);
        applyAppearance();
        EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
        EXPECT_EQ(QApplication::palette().color(QPalette::Window), palette.color(QPalette::Window)) << stored;
    }
    // Only the exact values count.
    for (const char* other : {"Dark", " dark", "system", "auto"}) {
        applyAppearance(Appearance::dark);
        settings().setValue(appearanceKey, other);
        applyAppearance();
        EXPECT_EQ(QApplication::style()->name(), startStyle) << other;
        EXPECT_EQ(QApplication::palette(), startPalette) << other;
    }
}

double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(Preferences, PalettesKeepTextReadableAndDisabledTextWeaker) {
    using P = QPalette;
    const struct {
        P::ColorGroup group;
        P::ColorRole text, background;
        double minimum;
    } pairs[] = {
        {P::Active, P::WindowText, P::Window, 7}, {P::Active, P::Text, P::Base, 7},
        {P::Active, P::ButtonText, P::Button, 7}, {P::Active, P::HighlightedText, P::Highlight, 4.5},
        {P::Active, P::Link, P::Base, 4.5},       {P::Active, P::PlaceholderText, P::Base, 3},
        {P::Disabled, P::Text, P::Base, 3},
    };
    for (const auto& [name, palette] :
         {std::pair("light", lightPalette()), std::pair("dark", darkPalette())}) {
        for (const auto& p : pairs) {
            EXPECT_GE(contrast(palette.color(p.group, p.text), palette.color(p.group, p.background)),
                      p.minimum)
                << name << " group " << p.group << " role " << p.text;
        }
        const double enabled = contrast(palette.color(P::Active, P::Text), palette.color(P::Active, P::Base));
        const double disabled =
            contrast(palette.color(P::Disabled, P::Text), palette.color(P::Disabled, P::Base));
        EXPECT_LT(disabled * 1.5, enabled) << name;
    }
}

} // namespace
} // namespace rig::app

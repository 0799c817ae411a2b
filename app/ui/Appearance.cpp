#include "Appearance.h"

#include "AppPaths.h"
#include "PageStyle.h"

#include <QApplication>
#include <QColor>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace rig::app {

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

// Fusion draws the outline of check boxes, radio buttons, fields, menus, spin boxes and push
// buttons a shade darker than the window colour: about 1.2:1 against a dark window, 1.7:1
// against a light one, so an unticked box can hardly be seen. Focused fields and default
// buttons get a shade of the highlight colour, under 2:1 on a dark page. Fusion takes these
// shades from the palette it is handed, so these controls are handed one whose window colour
// shades to style::controlOutline and whose highlight shades to an outline as clear; the rest
// of what Fusion draws is its own.
class OutlinedFusion : public QProxyStyle {
public:
    OutlinedFusion() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        switch (element) {
        case PE_IndicatorCheckBox:
        case PE_IndicatorRadioButton:
        case PE_PanelButtonCommand:
        case PE_PanelLineEdit:
        case PE_FrameLineEdit:
            if (const auto outlined = withOutline(option)) {
                return QProxyStyle::drawPrimitive(element, outlined.get(), painter, widget);
            }
            break;
        default:
            break;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        if (control == CC_ComboBox || control == CC_SpinBox) {
            if (const auto outlined = withOutline(option)) {
                return QProxyStyle::drawComplexControl(
                    control, static_cast<const QStyleOptionComplex*>(outlined.get()), painter, widget);
            }
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

private:
    // Shared rather than unique: the copy is deleted as the type it was made as, since
    // QStyleOption has no virtual destructor.
    template <class Option>
    static std::shared_ptr<QStyleOption> copyOf(const QStyleOption* option) {
        if (const auto* typed = qstyleoption_cast<const Option*>(option))
            return std::make_shared<Option>(*typed);
        return nullptr;
    }

    // A copy of `option` with the outlined palette; null for an option of another kind (a
    // copy of its base would lose the fields its type promises).
    std::shared_ptr<QStyleOption> withOutline(const QStyleOption* option) const {
        std::shared_ptr<QStyleOption> copy = copyOf<QStyleOptionComboBox>(option);
        if (!copy) copy = copyOf<QStyleOptionSpinBox>(option);
        if (!copy) copy = copyOf<QStyleOptionButton>(option);
        if (!copy) copy = copyOf<QStyleOptionFrame>(option);
        if (copy) copy->palette = outlined(option->palette);
        return copy;
    }

    // The highlight colour taken toward the text colour until the outline Fusion shades from
    // it (darker by 125 %, no brighter than a lightness of 160) stands out.
    static QColor focusHighlight(const QPalette& palette) {
        const QColor highlight = palette.color(QPalette::Highlight), text = palette.color(QPalette::Text);
        for (int step = 0; step < 40; ++step) {
            const QColor candidate = style::mixed(highlight, text, step / 40.0);
            QColor outline = candidate.darker(125);
            if (outline.value() > 160) outline.setHsl(outline.hue(), outline.saturation(), 160);
            if (style::outlineStandsOut(outline, palette)) return candidate;
        }
        return highlight;
    }

    QPalette outlined(const QPalette& palette) const {
        // Fusion hands the palette on to the parts it draws: one outlined already stays so.
        if (outlinedKeys_.count(palette.cacheKey())) return palette;
        // Kept, so that Fusion's pixmap cache, keyed by palette, finds its pictures again.
        if (const auto found = palettes_.find(palette.cacheKey()); found != palettes_.end()) {
            return found->second;
        }
        if (palettes_.size() > 512) {
            palettes_.clear();
            outlinedKeys_.clear();
        }
        QPalette out = palette;
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QPalette shown = palette;
            shown.setCurrentColorGroup(group);
            // Fusion's outline is the window colour darker by 140 %.
            out.setColor(group, QPalette::Window, style::controlOutline(shown).lighter(140));
            out.setColor(group, QPalette::Highlight, focusHighlight(shown));
        }
        outlinedKeys_.insert(out.cacheKey());
        return palettes_.emplace(palette.cacheKey(), out).first->second;
    }

    mutable std::unordered_map<qint64, QPalette> palettes_;
    mutable std::unordered_set<qint64> outlinedKeys_;
};

// Fusion with its outlines made to stand out, or another style by name.
void useStyle(const QString& name) {
    if (name.compare(QStringLiteral("Fusion"), Qt::CaseInsensitive) == 0) {
        if (!dynamic_cast<OutlinedFusion*>(QApplication::style())) QApplication::setStyle(new OutlinedFusion);
        return;
    }
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

// The first call remembers the style and palette the program started with.
void captureStartupAppearance() {
    if (startup()) return;
    startup() =
        StartupAppearance{QApplication::style()->name(), QApplication::palette(), QToolTip::palette()};
}

// What sets the light and dark palettes apart; every other role is white or the text colour.
struct PaletteColours {
    QColor button, disabledButton, window, text;
    QColor base, disabledBase, alternateBase;
    QColor placeholder, disabledPlaceholder;
    QColor highlight, disabledHighlight, disabledHighlightedText;
    QColor link, linkVisited, toolTipBase;
};

QPalette makePalette(const PaletteColours& c) {
    // The bevel shades (light, mid, dark, shadow) are derived from the button and window colours.
    QPalette p(c.button, c.window);
    const QColor disabledText(0x80, 0x80, 0x80);
    setRole(p, QPalette::Window, c.window);
    setRole(p, QPalette::WindowText, c.text, disabledText);
    setRole(p, QPalette::Base, c.base, c.disabledBase);
    setRole(p, QPalette::AlternateBase, c.alternateBase);
    setRole(p, QPalette::Text, c.text, disabledText);
    setRole(p, QPalette::Button, c.button, c.disabledButton);
    setRole(p, QPalette::ButtonText, c.text, disabledText);
    setRole(p, QPalette::BrightText, Qt::white);
    setRole(p, QPalette::PlaceholderText, c.placeholder, c.disabledPlaceholder);
    setRole(p, QPalette::Highlight, c.highlight, c.disabledHighlight);
    setRole(p, QPalette::HighlightedText, Qt::white, c.disabledHighlightedText);
    setRole(p, QPalette::Link, c.link, disabledText);
    setRole(p, QPalette::LinkVisited, c.linkVisited, disabledText);
    setRole(p, QPalette::ToolTipBase, c.toolTipBase);
    setRole(p, QPalette::ToolTipText, c.text);
    return p;
}

} // namespace

QPalette lightPalette() {
    // Text roles chosen for contrast.
    return makePalette({.button = QColor(0xef, 0xef, 0xef),
                        .disabledButton = QColor(0xef, 0xef, 0xef),
                        .window = QColor(0xef, 0xef, 0xef),
                        .text = QColor(0x1a, 0x1a, 0x1a),
                        .base = Qt::white,
                        .disabledBase = QColor(0xf7, 0xf7, 0xf7),
                        .alternateBase = QColor(0xf5, 0xf5, 0xf5),
                        .placeholder = QColor(0x6e, 0x6e, 0x6e),
                        .disabledPlaceholder = QColor(0x9a, 0x9a, 0x9a),
                        .highlight = QColor(0x2a, 0x6f, 0xc9),
                        .disabledHighlight = QColor(0xc8, 0xc8, 0xc8),
                        .disabledHighlightedText = QColor(0x40, 0x40, 0x40),
                        .link = QColor(0x0a, 0x58, 0xca),
                        .linkVisited = QColor(0x6f, 0x42, 0xc1),
                        .toolTipBase = QColor(0xff, 0xff, 0xdc)});
}

QPalette darkPalette() {
    return makePalette({.button = QColor(0x3a, 0x3a, 0x3a),
                        .disabledButton = QColor(0x33, 0x33, 0x33),
                        .window = QColor(0x2d, 0x2d, 0x2d),
                        .text = QColor(0xe8, 0xe8, 0xe8),
                        .base = QColor(0x1e, 0x1e, 0x1e),
                        .disabledBase = QColor(0x26, 0x26, 0x26),
                        .alternateBase = QColor(0x28, 0x28, 0x28),
                        .placeholder = QColor(0x94, 0x94, 0x94),
                        .disabledPlaceholder = QColor(0x6a, 0x6a, 0x6a),
                        .highlight = QColor(0x2f, 0x65, 0xca),
                        .disabledHighlight = QColor(0x4a, 0x4a, 0x4a),
                        .disabledHighlightedText = QColor(0xa8, 0xa8, 0xa8),
                        .link = QColor(0x6c, 0xb4, 0xff),
                        .linkVisited = QColor(0xc2, 0x9b, 0xff),
                        .toolTipBase = QColor(0x3c, 0x3c, 0x3c)});
}

void applyAppearance(Appearance appearance) {
    captureStartupAppearance();
    switch (appearance) {
    case Appearance::system:
        if (!startup()->changed) {
            useStyle(startup()->styleName);
            break;
        }
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

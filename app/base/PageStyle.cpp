#include "PageStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace rig::app::style {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor withAlpha(QColor color, double opacity) {
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

QColor mixed(const QColor& from, const QColor& to, double t) {
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                            float(from.greenF() + (to.greenF() - from.greenF()) * t),
                            float(from.blueF() + (to.blueF() - from.blueF()) * t));
}

double contrastRatio(const QColor& a, const QColor& b) {
    const auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const auto luminance = [&](const QColor& c) {
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool outlineStandsOut(const QColor& outline, const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor grounds[] = {window, palette.color(QPalette::Base), palette.color(QPalette::Button),
                              isDark(palette) ? window.lighter(135) : window};
    // A little above 3:1, so that rounding and antialiased corners keep it.
    return std::all_of(std::begin(grounds), std::end(grounds), [&](const QColor& ground) {
        return contrastRatio(outline, ground) >= 3.3 && contrastRatio(outline.lighter(110), ground) >= 3.3;
    });
}

QColor controlOutline(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window), text = palette.color(QPalette::Text);
    for (int step = 1; step < 40; ++step) {
        const QColor outline = mixed(window, text, step / 40.0);
        if (outlineStandsOut(outline, palette)) return outline;
    }
    return text;
}

namespace {

QColor shade(Tone tone, const QPalette& palette, bool dark) {
    // Text rather than WindowText: a label that sets its own WindowText still reads the
    // inherited text colour here.
    const QColor text = palette.color(QPalette::Text);
    switch (tone) {
    case Tone::primary:
        return text;
    // Secondary text stays at 4.5:1 on the window.
    case Tone::secondary:
        return withAlpha(text, dark ? 0.62 : 0.64);
    case Tone::tertiary:
        return withAlpha(text, dark ? 0.4 : 0.38);
    // Red marks errors and orange warnings, yellow checks: each far enough in hue from the next
    // to tell at a glance. Red and orange are also text, at 4.5:1 on a 15 % tint of their own.
    case Tone::red:
        return dark ? QColor(255, 140, 140) : QColor(178, 0, 50);
    case Tone::orange:
        return dark ? QColor(255, 140, 40) : QColor(166, 56, 0);
    case Tone::green:
        return dark ? QColor(48, 209, 88) : QColor(36, 138, 61);
    case Tone::yellow:
        return dark ? QColor(255, 214, 10) : QColor(156, 118, 0);
    case Tone::accent:
        return palette.color(QPalette::Highlight);
    }
    return text;
}

} // namespace

QColor color(Tone tone, const QPalette& palette) {
    return shade(tone, palette, isDark(palette));
}

QColor colorOn(Tone tone, const QPalette& palette, const QColor& ground) {
    switch (tone) {
    case Tone::red:
    case Tone::orange:
    case Tone::green:
    case Tone::yellow:
        return shade(tone, palette, ground.lightness() < 128);
    default:
        return color(tone, palette);
    }
}

namespace {

QFont scaled(double factor, double minimum) {
    QFont f = QGuiApplication::font();
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    f.setPointSizeF(std::max(minimum, base * factor));
    return f;
}

} // namespace

QFont bold(QFont font) {
    font.setBold(true);
    return font;
}

QFont bodyFont() {
    return QGuiApplication::font();
}

QFont largeTitleFont() {
    return bold(scaled(2.0, 16));
}

QFont headlineFont() {
    return bold(scaled(1.1, 9));
}

QFont title2Font() {
    return scaled(1.3, 11);
}

QFont title3Font() {
    return scaled(1.15, 10);
}

QFont calloutFont() {
    return scaled(0.95, 8);
}

QFont captionFont() {
    return scaled(0.88, 8);
}

QFont caption2Font() {
    return scaled(0.85, 7.5);
}

QFont monospacedCaptionFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(captionFont().pointSizeF());
    return f;
}

} // namespace rig::app::style

#include "PageStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>

namespace rig::app::style {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor withAlpha(QColor color, double opacity) {
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

QColor color(Tone tone, const QPalette& palette) {
    const bool dark = isDark(palette);
    // Text rather than WindowText: a label that sets its own WindowText still reads the
    // inherited text colour here.
    const QColor text = palette.color(QPalette::Text);
    switch (tone) {
    case Tone::primary:
        return text;
    case Tone::secondary:
        return withAlpha(text, dark ? 0.62 : 0.6);
    case Tone::tertiary:
        return withAlpha(text, dark ? 0.4 : 0.38);
    case Tone::red:
        return dark ? QColor(255, 105, 97) : QColor(215, 0, 21);
    // Orange marks warnings and yellow checks: hues far enough apart to tell at a glance, each
    // dark (light) enough for its background; orange is also text, on its own tint too.
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

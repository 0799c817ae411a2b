// The pages' text styles and semantic colours, derived from the current palette and the
// application font so that light, dark and system appearances all read well.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace rig::app::style {

// --- Colours --------------------------------------------------------------------------

enum class Tone { primary, secondary, tertiary, red, orange, green, yellow, accent };

bool isDark(const QPalette& palette);
QColor color(Tone tone, const QPalette& palette);
// As `color`, but red, orange, green and yellow take their shade for drawing on `ground`
// (dark shades on light grounds, light shades on dark ones) whatever the appearance.
QColor colorOn(Tone tone, const QPalette& palette, const QColor& ground);
QColor withAlpha(QColor color, double opacity);

// --- Fonts (sizes relative to the application font) -----------------------------------

QFont bodyFont();
QFont largeTitleFont(); // bold
QFont headlineFont();   // bold
QFont title2Font();
QFont title3Font();
QFont calloutFont();
QFont captionFont();
QFont caption2Font();
// The caption size in the fixed-pitch system font.
QFont monospacedCaptionFont();
QFont bold(QFont font);

} // namespace rig::app::style

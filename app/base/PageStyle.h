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
// `from` taken the fraction `t` of the way to `to`.
QColor mixed(const QColor& from, const QColor& to, double t);
// Contrast ratio of two opaque colours as people read it (WCAG 2): 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// The outline of boxes, fields, menus and buttons: the window colour taken toward the text colour
// until it stands out at least 3:1 from every ground the pages put controls on (window, base,
// button, and the lighter boxes of a dark page), also in the slightly lighter shade some
// outlines are drawn in.
QColor controlOutline(const QPalette& palette);
// Whether `outline` stands out so from those grounds.
bool outlineStandsOut(const QColor& outline, const QPalette& palette);

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

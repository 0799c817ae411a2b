// The pages' text styles and semantic colours, derived from the current palette and the
// application font so that light, dark and system appearances all read well.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>

namespace rig::app::style {

// --- Colours --------------------------------------------------------------------------

enum class Tone { primary, secondary, tertiary, red, orange, green, yellow, accent };

bool isDark(const QPalette& palette);
QColor color(Tone tone, const QPalette& palette);
QColor withAlpha(QColor color, double opacity);
// Fills all of `widget` (from its paint event) as a smooth rounded rectangle.
void fillRounded(QWidget* widget, qreal radius, const QColor& color);

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

// --- Labels ---------------------------------------------------------------------------

// A plain-text label whose colour follows the palette (re-derived on every palette change).
class ToneLabel : public QLabel {
    Q_OBJECT
public:
    explicit ToneLabel(const QString& text = {}, Tone tone = Tone::primary, QWidget* parent = nullptr);

    Tone tone() const { return tone_; }
    void setTone(Tone tone);
    // setText only when it differs (avoids relayouts on every refresh).
    void updateText(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyTone();

    Tone tone_;
    bool applying_ = false;
};

} // namespace rig::app::style

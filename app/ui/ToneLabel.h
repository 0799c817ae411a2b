// Widgets drawn in the page style.
#pragma once

#include "PageStyle.h"

#include <QLabel>

namespace rig::app::style {

// Fills all of `widget` (from its paint event) as a smooth rounded rectangle.
void fillRounded(QWidget* widget, qreal radius, const QColor& color);

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

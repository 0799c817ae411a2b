#include "ToneLabel.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace rig::app::style {

void fillRounded(QWidget* widget, qreal radius, const QColor& color) {
    QPainter p(widget);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(widget->rect()), radius, radius);
    p.fillPath(path, color);
}

ToneLabel::ToneLabel(const QString& text, Tone tone, QWidget* parent) : QLabel(parent), tone_(tone) {
    // Report and project texts are never markup.
    setTextFormat(Qt::PlainText);
    setText(text);
    applyTone();
}

void ToneLabel::setTone(Tone tone) {
    if (tone == tone_) return;
    tone_ = tone;
    applyTone();
}

void ToneLabel::updateText(const QString& text) {
    if (text != this->text()) setText(text);
}

void ToneLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !applying_) applyTone();
}

void ToneLabel::applyTone() {
    applying_ = true;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color(tone_, p));
    setPalette(p);
    applying_ = false;
}

} // namespace rig::app::style

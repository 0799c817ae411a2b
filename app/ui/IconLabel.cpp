#include "IconLabel.h"

#include "Icons.h"

#include <QEvent>

namespace rig::app {

IconLabel::IconLabel(const QString& name, style::Tone tone, int side, QWidget* parent)
    : QLabel(parent), name_(name), tone_(tone), side_(side) {
    setFixedSize(side, side);
    setAlignment(Qt::AlignCenter);
    paint();
}

void IconLabel::setIcon(const QString& name, style::Tone tone, double opacity) {
    if (name == name_ && tone == tone_ && opacity == opacity_) return;
    name_ = name;
    tone_ = tone;
    opacity_ = opacity;
    paint();
}

void IconLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !painting_) paint();
}

void IconLabel::paint() {
    painting_ = true;
    const QColor colour = style::withAlpha(style::color(tone_, palette()), opacity_);
    setPixmap(iconPixmap(name_, colour, side_, devicePixelRatioF()));
    painting_ = false;
}

} // namespace rig::app

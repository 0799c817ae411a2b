#include "IconLabel.h"

#include "Icons.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

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

void IconLabel::setPlate(std::optional<QPalette::ColorRole> plate) {
    if (plate == plate_) return;
    plate_ = plate;
    paint();
}

void IconLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !painting_) paint();
}

void IconLabel::paint() {
    painting_ = true;
    const qreal ratio = devicePixelRatioF();
    if (plate_) {
        const QColor plate = palette().color(*plate_);
        const QColor colour = style::withAlpha(style::colorOn(tone_, palette(), plate), opacity_);
        QPixmap plated(QSize(side_, side_) * ratio);
        plated.setDevicePixelRatio(ratio);
        plated.fill(Qt::transparent);
        QPainter p(&plated);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, side_, side_), side_ * 0.22, side_ * 0.22);
        p.fillPath(path, plate);
        p.drawPixmap(0, 0, iconPixmap(name_, colour, side_, ratio));
        p.end();
        setPixmap(plated);
    } else {
        setPixmap(
            iconPixmap(name_, style::withAlpha(style::color(tone_, palette()), opacity_), side_, ratio));
    }
    painting_ = false;
}

} // namespace rig::app

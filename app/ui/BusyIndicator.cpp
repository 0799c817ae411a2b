#include "BusyIndicator.h"

#include <QPainter>

namespace rig::app {

BusyIndicator::BusyIndicator(int diameter, QWidget* parent) : QWidget(parent), diameter_(diameter) {
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_.setInterval(40);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

QSize BusyIndicator::sizeHint() const {
    return {diameter_, diameter_};
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, diameter_ / 8.0);
    const QRectF r = QRectF(rect()).adjusted(pen / 2 + 0.5, pen / 2 + 0.5, -pen / 2 - 0.5, -pen / 2 - 0.5);
    QColor track = palette().color(QPalette::WindowText);
    track.setAlphaF(0.15f);
    p.setPen(QPen(track, pen));
    p.drawEllipse(r);
    QColor arc = palette().color(QPalette::WindowText);
    arc.setAlphaF(0.7f);
    p.setPen(QPen(arc, pen, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, -angle_ * 16, 100 * 16);
}

void BusyIndicator::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start();
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

} // namespace rig::app

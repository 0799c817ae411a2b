#include "pages/Symbols.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace rig::app {

namespace {

// An exclamation mark or an "i" centred in `r`, drawn as strokes so it needs no font.
void mark(QPainter& p, const QRectF& r, const QColor& c, bool info) {
    const double w = std::max(1.2, r.width() * 0.14);
    p.save();
    // A transparent mark punches through the shape (icons on any background).
    if (c.alpha() == 0) p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(c.alpha() == 0 ? QColor(Qt::black) : c, w, Qt::SolidLine, Qt::RoundCap));
    const double x = r.center().x();
    if (info) {
        p.drawLine(QPointF(x, r.top() + r.height() * 0.45), QPointF(x, r.bottom() - r.height() * 0.22));
        p.drawPoint(QPointF(x, r.top() + r.height() * 0.27));
    } else {
        p.drawLine(QPointF(x, r.top() + r.height() * 0.22), QPointF(x, r.bottom() - r.height() * 0.42));
        p.drawPoint(QPointF(x, r.bottom() - r.height() * 0.24));
    }
    p.restore();
}

QPainterPath octagon(const QRectF& r) {
    QPainterPath path;
    const double k = r.width() * 0.2929 / 1.0; // side / (1 + sqrt 2)
    path.moveTo(r.left() + k, r.top());
    path.lineTo(r.right() - k, r.top());
    path.lineTo(r.right(), r.top() + k);
    path.lineTo(r.right(), r.bottom() - k);
    path.lineTo(r.right() - k, r.bottom());
    path.lineTo(r.left() + k, r.bottom());
    path.lineTo(r.left(), r.bottom() - k);
    path.lineTo(r.left(), r.top() + k);
    path.closeSubpath();
    return path;
}

} // namespace

void paintSymbol(QPainter& p, const QString& name, const QRectF& box, const QColor& c, const QColor& cutout) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const double line = std::max(1.0, side * 0.09);
    const QRectF inner = r.adjusted(line / 2 + 0.5, line / 2 + 0.5, -line / 2 - 0.5, -line / 2 - 0.5);
    if (name == QLatin1String("exclamationmark.octagon.fill")) {
        p.fillPath(octagon(r.adjusted(0.5, 0.5, -0.5, -0.5)), c);
        mark(p, r, cutout, false);
    } else if (name == QLatin1String("exclamationmark.triangle.fill")) {
        QPainterPath path;
        path.moveTo(r.center().x(), r.top() + side * 0.06);
        path.lineTo(r.right() - 0.5, r.bottom() - side * 0.08);
        path.lineTo(r.left() + 0.5, r.bottom() - side * 0.08);
        path.closeSubpath();
        p.setPen(QPen(c, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(c);
        p.drawPath(path);
        mark(p, r.adjusted(0, side * 0.12, 0, side * 0.02), cutout, false);
    } else if (name == QLatin1String("exclamationmark.circle") || name == QLatin1String("info.circle") ||
               name == QLatin1String("checkmark.circle")) {
        p.setPen(QPen(c, line));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(inner);
        if (name == QLatin1String("checkmark.circle")) {
            QPainterPath tick;
            tick.moveTo(r.left() + side * 0.30, r.top() + side * 0.52);
            tick.lineTo(r.left() + side * 0.45, r.top() + side * 0.66);
            tick.lineTo(r.left() + side * 0.71, r.top() + side * 0.36);
            p.setPen(QPen(c, line * 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(tick);
        } else {
            mark(p, r, c, name == QLatin1String("info.circle"));
        }
    } else if (name == QLatin1String("wifi.exclamationmark")) {
        p.setPen(QPen(c, line * 1.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QPointF base(r.left() + side * 0.4, r.bottom() - side * 0.15);
        for (int i = 1; i <= 3; ++i) {
            const double radius = side * 0.22 * i;
            p.drawArc(QRectF(base.x() - radius, base.y() - radius, 2 * radius, 2 * radius), 45 * 16, 90 * 16);
        }
        p.drawPoint(base);
        mark(p, QRectF(r.right() - side * 0.3, r.top() + side * 0.1, side * 0.3, side * 0.9), c, false);
    } else if (name == QLatin1String("doc.on.doc")) {
        p.setPen(QPen(c, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        const double w = side * 0.55, h = side * 0.68;
        p.drawRoundedRect(QRectF(r.left() + side * 0.12, r.top() + side * 0.08, w, h), side * 0.08,
                          side * 0.08);
        const QRectF front(r.left() + side * 0.33, r.top() + side * 0.24, w, h);
        p.save();
        if (cutout.alpha() == 0) p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(Qt::NoPen);
        p.setBrush(cutout.alpha() == 0 ? QColor(Qt::black) : cutout);
        p.drawRoundedRect(front, side * 0.08, side * 0.08);
        p.restore();
        p.drawRoundedRect(front, side * 0.08, side * 0.08);
    } else if (name == QLatin1String("square.and.arrow.up")) {
        p.setPen(QPen(c, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tray;
        tray.moveTo(r.left() + side * 0.32, r.top() + side * 0.4);
        tray.lineTo(r.left() + side * 0.18, r.top() + side * 0.4);
        tray.lineTo(r.left() + side * 0.18, r.bottom() - side * 0.06);
        tray.lineTo(r.right() - side * 0.18, r.bottom() - side * 0.06);
        tray.lineTo(r.right() - side * 0.18, r.top() + side * 0.4);
        tray.lineTo(r.right() - side * 0.32, r.top() + side * 0.4);
        p.drawPath(tray);
        const double x = r.center().x();
        p.drawLine(QPointF(x, r.top() + side * 0.06), QPointF(x, r.top() + side * 0.64));
        QPainterPath head;
        head.moveTo(x - side * 0.16, r.top() + side * 0.22);
        head.lineTo(x, r.top() + side * 0.06);
        head.lineTo(x + side * 0.16, r.top() + side * 0.22);
        p.drawPath(head);
    } else if (name == QLatin1String("trash")) {
        p.setPen(QPen(c, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(r.left() + side * 0.14, r.top() + side * 0.24),
                   QPointF(r.right() - side * 0.14, r.top() + side * 0.24));
        p.drawLine(QPointF(r.left() + side * 0.4, r.top() + side * 0.1),
                   QPointF(r.right() - side * 0.4, r.top() + side * 0.1));
        QPainterPath can;
        can.moveTo(r.left() + side * 0.24, r.top() + side * 0.24);
        can.lineTo(r.left() + side * 0.3, r.bottom() - side * 0.06);
        can.lineTo(r.right() - side * 0.3, r.bottom() - side * 0.06);
        can.lineTo(r.right() - side * 0.24, r.top() + side * 0.24);
        p.drawPath(can);
        for (double f : {0.42, 0.58}) {
            const double x = r.left() + side * f;
            p.drawLine(QPointF(x, r.top() + side * 0.38), QPointF(x, r.bottom() - side * 0.2));
        }
    } else if (name == QLatin1String("chevron.right") || name == QLatin1String("chevron.down")) {
        p.setPen(QPen(c, line * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath chevron;
        const QPointF m = r.center();
        const double a = side * 0.2;
        if (name == QLatin1String("chevron.right")) {
            chevron.moveTo(m.x() - a / 2, m.y() - a);
            chevron.lineTo(m.x() + a / 2, m.y());
            chevron.lineTo(m.x() - a / 2, m.y() + a);
        } else {
            chevron.moveTo(m.x() - a, m.y() - a / 2);
            chevron.lineTo(m.x(), m.y() + a / 2);
            chevron.lineTo(m.x() + a, m.y() - a / 2);
        }
        p.drawPath(chevron);
    }
    p.restore();
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintSymbol(p, name, QRectF(0, 0, size, size), color, Qt::transparent);
    return pixmap;
}

QIcon symbolIcon(const QString& name, const QPalette& palette) {
    QIcon icon;
    for (int size : {16, 24, 32}) {
        icon.addPixmap(symbolPixmap(name, palette.color(QPalette::Active, QPalette::ButtonText), size),
                       QIcon::Normal);
        icon.addPixmap(symbolPixmap(name, palette.color(QPalette::Disabled, QPalette::ButtonText), size),
                       QIcon::Disabled);
    }
    return icon;
}

SymbolView::SymbolView(const QString& name, style::Tone tone, const QFont& font, QWidget* parent)
    : QWidget(parent), name_(name), tone_(tone) {
    const int side = QFontMetrics(font).height();
    setFixedSize(side, side);
}

void SymbolView::setSymbol(const QString& name, style::Tone tone) {
    if (name == name_ && tone == tone_) return;
    name_ = name;
    tone_ = tone;
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintSymbol(p, name_, QRectF(rect()).adjusted(1, 1, -1, -1), style::color(tone_, palette()),
                palette().color(QPalette::Base));
}

} // namespace rig::app

#include "Symbols.h"

#include "Icons.h"

#include <QFontMetrics>
#include <QPainter>

namespace rig::app {

QIcon symbolIcon(const QString& name) {
    return tintedIcon(name, QPalette::ButtonText);
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
    // A little inset: the symbols fill their whole box.
    const int side = std::max(1, std::min(width(), height()) - 2);
    const QPixmap pixmap = iconPixmap(name_, style::color(tone_, palette()), side, devicePixelRatioF());
    p.drawPixmap(QRect((width() - side) / 2, (height() - side) / 2, side, side), pixmap);
}

} // namespace rig::app

#include "shell/Icons.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

namespace rig::app {

namespace {

QString iconFile(const QString& name) {
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

// Draws the SVG into `rect` and paints `color` over its shape only.
void paintTinted(QPainter& painter, QSvgRenderer& svg, const QRectF& rect, const QColor& color) {
    if (!svg.isValid() || rect.isEmpty()) return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QImage layer((rect.size() * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) return;
    layer.setDevicePixelRatio(dpr);
    layer.fill(Qt::transparent);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        // Keep the drawing's aspect: centred in the square the caller asks for.
        QSizeF drawn = QSizeF(svg.defaultSize()).scaled(rect.size(), Qt::KeepAspectRatio);
        svg.render(
            &p,
            QRectF(QPointF((rect.width() - drawn.width()) / 2, (rect.height() - drawn.height()) / 2), drawn));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(QRectF(QPointF(0, 0), rect.size()), color);
    }
    painter.drawImage(rect.topLeft(), layer);
}

class TintedIconEngine : public QIconEngine {
public:
    TintedIconEngine(QString name, QColor normal, QColor disabled)
        : name_(std::move(name)), normal_(normal), disabled_(disabled),
          svg_(std::make_shared<QSvgRenderer>(iconFile(name_))) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        paintTinted(*painter, *svg_, rect, mode == QIcon::Disabled ? disabled_ : normal_);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap((QSizeF(size) * scale).toSize());
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new TintedIconEngine(*this); }
    QString key() const override { return QStringLiteral("rig-tinted"); }
    QString iconName() override { return name_; }
    bool isNull() override { return !svg_->isValid(); }

private:
    QString name_;
    QColor normal_;
    QColor disabled_;
    std::shared_ptr<QSvgRenderer> svg_;
};

} // namespace

bool hasIcon(const QString& name) {
    return QFile::exists(iconFile(name));
}

QPixmap iconPixmap(const QString& name, const QColor& color, QSize size, qreal devicePixelRatio) {
    QPixmap pixmap((QSizeF(size) * devicePixelRatio).toSize());
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer svg(iconFile(name));
    QPainter painter(&pixmap);
    paintTinted(painter, svg, QRectF(QPointF(0, 0), QSizeF(size)), color);
    return pixmap;
}

QIcon tintedIcon(const QString& name, const QColor& color) {
    QColor faded = color;
    faded.setAlphaF(color.alphaF() * 0.35f);
    return QIcon(new TintedIconEngine(name, color, faded));
}

QIcon paletteIcon(const QString& name, const QPalette& palette, QPalette::ColorRole role) {
    return QIcon(new TintedIconEngine(name, palette.color(QPalette::Active, role),
                                      palette.color(QPalette::Disabled, role)));
}

} // namespace rig::app

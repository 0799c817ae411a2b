#include "Icons.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>
#include <memory>
#include <optional>
#include <utility>

// The icons live in a static library: nothing else refers to their resource object, so the
// linker would drop it unless it is pulled in explicitly.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace rig::app {

namespace {

QString iconPath(const QString& name) {
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

// Parsed once per name; null for an unknown or unreadable icon.
QSvgRenderer* renderer(const QString& name) {
    static const bool loaded = (initIconResources(), true);
    (void)loaded;
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    if (const auto found = cache.constFind(name); found != cache.constEnd()) return found->get();
    std::shared_ptr<QSvgRenderer> made;
    QFile file(iconPath(name));
    if (!name.isEmpty() && file.open(QIODevice::ReadOnly)) {
        // Drawn in opaque black first; the colour is put on afterwards so that a translucent
        // colour does not darken where two strokes overlap.
        QByteArray svg = file.readAll();
        svg.replace("currentColor", "#000000");
        made = std::make_shared<QSvgRenderer>(svg);
        if (!made->isValid()) made.reset();
    }
    cache.insert(name, made);
    return made.get();
}

QColor faded(QColor color) {
    color.setAlphaF(color.alphaF() * 0.4f);
    return color;
}

class TintedIconEngine final : public QIconEngine {
public:
    TintedIconEngine(QString name, IconColor color, std::optional<QPalette> palette)
        : name_(std::move(name)), color_(std::move(color)), palette_(std::move(palette)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(rect.width(), rect.height());
        if (side <= 0) return;
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QPixmap pixmap = iconPixmap(name_, colorFor(mode), side, ratio);
        const QRect target(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side,
                           side);
        painter->drawPixmap(target, pixmap);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return iconPixmap(name_, colorFor(mode), std::min(size.width(), size.height()));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QIconEngine* clone() const override { return new TintedIconEngine(name_, color_, palette_); }
    QString key() const override { return QStringLiteral("rig.tinted"); }
    QString iconName() override { return name_; }

private:
    QColor colorFor(QIcon::Mode mode) const {
        QPalette palette = palette_ ? *palette_ : QGuiApplication::palette();
        if (mode == QIcon::Selected) {
            palette.setCurrentColorGroup(QPalette::Active);
            return palette.color(QPalette::HighlightedText);
        }
        palette.setCurrentColorGroup(QPalette::Active);
        const QColor normal = color_(palette);
        if (mode != QIcon::Disabled) return normal;
        palette.setCurrentColorGroup(QPalette::Disabled);
        const QColor disabled = color_(palette);
        return disabled == normal ? faded(normal) : disabled;
    }

    QString name_;
    IconColor color_;
    std::optional<QPalette> palette_;
};

QIcon makeIcon(const QString& name, IconColor color, std::optional<QPalette> palette) {
    if (!hasIcon(name)) return {};
    return QIcon(new TintedIconEngine(name, std::move(color), std::move(palette)));
}

IconColor roleColor(QPalette::ColorRole role) {
    return [role](const QPalette& palette) { return palette.color(role); };
}

} // namespace

QPixmap iconPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio) {
    QSvgRenderer* svg = renderer(name);
    if (svg == nullptr || size <= 0) return {};
    if (!(devicePixelRatio > 0)) devicePixelRatio = 1.0;
    const int pixels = int(std::lround(size * devicePixelRatio));
    const QString cacheKey = QStringLiteral("rig.icon:%1:%2:%3").arg(name).arg(color.rgba()).arg(pixels);
    QPixmap pixmap;
    if (!QPixmapCache::find(cacheKey, &pixmap)) {
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, pixels, pixels));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
        painter.end();
        pixmap = QPixmap::fromImage(std::move(image));
        QPixmapCache::insert(cacheKey, pixmap);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon tintedIcon(const QString& name, IconColor color) {
    return makeIcon(name, std::move(color), std::nullopt);
}

QIcon tintedIcon(const QString& name, QPalette::ColorRole role) {
    return makeIcon(name, roleColor(role), std::nullopt);
}

QIcon tintedIcon(const QString& name, const QPalette& palette, QPalette::ColorRole role) {
    return makeIcon(name, roleColor(role), palette);
}

QIcon tintedIcon(const QString& name, const QColor& color) {
    return makeIcon(
        name, [color](const QPalette&) { return color; }, std::nullopt);
}

QStringList iconNames() {
    renderer(QString()); // registers the resources
    QStringList names;
    const QStringList files =
        QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    for (const QString& file : files) names.append(file.chopped(4));
    names.sort();
    return names;
}

bool hasIcon(const QString& name) {
    return renderer(name) != nullptr;
}

} // namespace rig::app

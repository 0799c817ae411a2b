#include "QRCode.h"

#include <QBuffer>
#include <QByteArray>

#include <qrencode.h>

#include <cmath>
#include <memory>

namespace rig::app {

namespace {

// Larger images are refused rather than allocated.
constexpr double maxQRPixels = 16384;

struct QRcodeFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

} // namespace

std::optional<QImage> makeQRImage(const QString& text, double scale) {
    if (!std::isfinite(scale) || scale <= 0) return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty()) return std::nullopt;
    // 8-bit mode over the raw bytes: no guessing of a code page; version 0 picks the smallest.
    std::unique_ptr<QRcode, QRcodeFree> code(QRcode_encodeData(
        int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()), 0, QR_ECLEVEL_M));
    if (!code || code->width <= 0) return std::nullopt;

    const int modules = code->width + 2 * qrQuietZone;
    const double pixels = std::round(modules * scale);
    if (pixels < 1 || pixels > maxQRPixels) return std::nullopt;

    QImage symbol(modules, modules, QImage::Format_Mono);
    symbol.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    symbol.fill(0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // Bit 0 of each byte is the module's colour; the other bits describe its role.
            if (code->data[y * code->width + x] & 1) symbol.setPixel(x + qrQuietZone, y + qrQuietZone, 1);
        }
    }
    const int size = int(pixels);
    QImage image = symbol.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (image.isNull()) return std::nullopt;
    return image;
}

std::optional<QString> qrDataUrl(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") || png.isEmpty())
        return std::nullopt;
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

std::optional<QString> makeQRDataUrl(const QString& text, double scale) {
    const std::optional<QImage> image = makeQRImage(text, scale);
    if (!image) return std::nullopt;
    return qrDataUrl(*image);
}

} // namespace rig::app

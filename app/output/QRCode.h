// The crew link as a QR code: an image for the screen and a PNG data URL for the pages.
#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace rig::app {

// Modules of white around the symbol, as the QR standard asks for reliable scanning.
inline constexpr int qrQuietZone = 4;

// The QR code (error correction M) of the UTF-8 bytes of `text`, black on white, each
// module `scale` pixels wide, quiet zone included. Nothing when no symbol can be made (empty
// text, more than a symbol holds, a scale that is not positive or gives an image that is
// too large).
std::optional<QImage> makeQRImage(const QString& text, double scale);

// "data:image/png;base64," and the standard Base64 of the image's PNG, without line breaks;
// nothing when the PNG cannot be written.
std::optional<QString> qrDataUrl(const QImage& image);

// The crew document's `qr`: the data URL of the link's QR code at factor 8.
std::optional<QString> makeQRDataUrl(const QString& text, double scale = 8);

} // namespace rig::app

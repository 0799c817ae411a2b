#include "export/QRCode.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

// What an independent reader (zbar) reads from the image, as UTF-8 text.
QString scan(const QImage& image) {
    QTemporaryDir dir;
    const QString file = dir.filePath("qr.png");
    if (!image.save(file, "PNG")) return "<not saved>";
    QProcess zbar;
    zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", file});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0) return "<not read>";
    QString text = QString::fromUtf8(zbar.readAllStandardOutput());
    if (text.endsWith('\n')) text.chop(1);
    return text;
}

// The symbol's side in modules: the darkest-to-lightest run structure is not needed, only
// that the image is a whole number of modules of `scale` pixels.
int modulesOf(const QImage& image, int scale) {
    return image.width() % scale == 0 ? image.width() / scale : -1;
}

TEST(QRCode, ReadsBackAsTheTextItWasMadeFrom) {
    const std::vector<QString> texts = {
        "https://crew.example.net/v/tok-5f2a9c",
        QString::fromUtf8("https://crew.example.net/v/Délai–tour «centre» ↔ 3"),
        "https://crew.example.net/v/" + QString(300, 'a'),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        const auto image = makeQRImage(text, 8);
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(image->width(), image->height());
        const int modules = modulesOf(*image, 8);
        // Versions 1 to 40 are 21 to 177 modules, plus the quiet zone on both sides.
        EXPECT_GE(modules, 21 + 2 * qrQuietZone);
        EXPECT_LE(modules, 177 + 2 * qrQuietZone);
        EXPECT_EQ((modules - 2 * qrQuietZone - 17) % 4, 0);
        EXPECT_EQ(scan(*image), text);
    }
}

TEST(QRCode, TheFactorScalesBothAxesAndTheResultRepeats) {
    const QString link = "https://crew.example.net/v/tok-5f2a9c";
    const auto eight = makeQRImage(link, 8);
    const auto ten = makeQRImage(link, 10);
    ASSERT_TRUE(eight && ten);
    EXPECT_EQ(eight->width() / 8, ten->width() / 10);
    EXPECT_EQ(ten->height(), ten->width());
    EXPECT_EQ(*makeQRImage(link, 8), *eight);
    // Black on white, module edges unblurred: two colours only.
    for (int y = 0; y < eight->height(); y += 3) {
        for (int x = 0; x < eight->width(); x += 3) {
            const QRgb c = eight->pixel(x, y);
            EXPECT_TRUE(c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255));
        }
    }
    // The quiet zone is white.
    EXPECT_EQ(eight->pixel(4 * 8 - 1, 4 * 8 - 1), qRgb(255, 255, 255));
    EXPECT_EQ(eight->pixel(4 * 8, 4 * 8), qRgb(0, 0, 0));
}

TEST(QRCode, NoImageWhenNoSymbolCanBeMade) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<QString, double>> cases = {
        {"", 8},
        {"https://x", 0},
        {"https://x", -2},
        {"https://x", nan},
        {"https://x", 1e6},
        {QString(4000, 'x'), 8}, // more than the largest symbol holds at level M
    };
    for (const auto& [text, scale] : cases) {
        EXPECT_FALSE(makeQRImage(text, scale).has_value()) << text.size() << " " << scale;
        EXPECT_FALSE(makeQRDataUrl(text, scale).has_value());
    }
}

TEST(QRCode, DataUrlIsOneLineOfBase64Png) {
    const QString link = "https://crew.example.net/v/tok-5f2a9c";
    const auto url = makeQRDataUrl(link);
    ASSERT_TRUE(url.has_value());
    const QString prefix = "data:image/png;base64,";
    ASSERT_TRUE(url->startsWith(prefix));
    const QString base64 = url->mid(prefix.size());
    EXPECT_FALSE(base64.contains('\n'));
    const auto decoded =
        QByteArray::fromBase64Encoding(base64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded.decoded.startsWith("\x89PNG\r\n\x1a\n"));
    QImage image;
    ASSERT_TRUE(image.loadFromData(decoded.decoded, "PNG"));
    EXPECT_EQ(image.size(), makeQRImage(link, 8)->size());
    EXPECT_EQ(scan(image), link);
    EXPECT_FALSE(qrDataUrl(QImage()).has_value());
}

} // namespace
} // namespace rig::app

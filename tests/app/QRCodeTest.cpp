#include "export/QRCode.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

// What an independent reader (zbar) reads from the image.
QString scan(const QImage& image) {
    QTemporaryDir dir;
    const QString file = dir.filePath("qr.png");
    if (!image.save(file, "PNG")) return "<not saved>";
    QProcess zbar;
    zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", file});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0) return "<not read>";
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

TEST(QRCode, ReadsBackAsTheTextItWasMadeFromAtTheGivenScale) {
    for (const QString& text : {QString("https://crew.example.net/v/tok-5f2a9c"),
                                QString::fromUtf8("https://crew.example.net/v/Délai–tour «centre» ↔ 3"),
                                "https://crew.example.net/v/" + QString(300, 'a')}) {
        SCOPED_TRACE(text.toStdString());
        const auto eight = makeQRImage(text, 8), ten = makeQRImage(text, 10);
        ASSERT_TRUE(eight && ten);
        EXPECT_EQ(eight->width(), eight->height());
        EXPECT_EQ(eight->width() / 8, ten->width() / 10);
        const int modules = eight->width() / 8 - 2 * qrQuietZone; // versions 1 to 40
        EXPECT_TRUE(eight->width() % 8 == 0 && modules >= 21 && modules <= 177 && (modules - 17) % 4 == 0);
        EXPECT_EQ(eight->pixel(qrQuietZone * 8 - 1, qrQuietZone * 8 - 1), qRgb(255, 255, 255));
        EXPECT_EQ(scan(*eight), text);
    }
    const QString link = "https://crew.example.net/v/tok-5f2a9c";
    const auto url = makeQRDataUrl(link);
    ASSERT_TRUE(url && url->startsWith("data:image/png;base64,"));
    const auto png =
        QByteArray::fromBase64Encoding(url->mid(22).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    ASSERT_TRUE(png);
    QImage image;
    ASSERT_TRUE(image.loadFromData(png.decoded, "PNG"));
    EXPECT_EQ(image.size(), makeQRImage(link, 8)->size());
    EXPECT_EQ(scan(image), link);
}

TEST(QRCode, NoImageWhenNoSymbolCanBeMade) {
    const std::pair<QString, double> cases[] = {
        {"", 8},
        {"https://x", 0},
        {"https://x", -2},
        {"https://x", std::numeric_limits<double>::quiet_NaN()},
        {"https://x", 1e6},
        {QString(4000, 'x'), 8}, // more than the largest symbol holds
    };
    for (const auto& [text, scale] : cases) {
        EXPECT_FALSE(makeQRImage(text, scale) || makeQRDataUrl(text, scale)) << text.size() << " " << scale;
    }
    EXPECT_FALSE(qrDataUrl(QImage()).has_value());
}

} // namespace
} // namespace rig::app

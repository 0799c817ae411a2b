#include "export/QRCode.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

namespace rig::app {
namespace {

TEST(QRCode, ZbarReadsBackTheLinkAndNoImageWhenNoSymbolFits) {
    const QString link = QString::fromUtf8("https://crew.example.net/v/Délai–tour «centre» ↔ 3");
    const auto url = makeQRDataUrl(link);
    ASSERT_TRUE(url && url->startsWith("data:image/png;base64,"));
    QTemporaryDir dir;
    QFile png(dir.filePath("qr.png"));
    ASSERT_TRUE(png.open(QIODevice::WriteOnly));
    png.write(QByteArray::fromBase64(url->mid(22).toLatin1()));
    png.close();
    QProcess zbar;
    zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", png.fileName()});
    ASSERT_TRUE(zbar.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), link);
    const auto image = makeQRImage(link, 8);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(qrQuietZone * 8 - 1, qrQuietZone * 8 - 1), qRgb(255, 255, 255)); // quiet zone

    for (const auto& [text, scale] : {std::pair{QString(), 8.0},
                                      {"https://x", 0.0},
                                      {"https://x", std::numeric_limits<double>::quiet_NaN()},
                                      {"https://x", 1e6},
                                      {QString(4000, 'x'), 8.0}})
        EXPECT_FALSE(makeQRImage(text, scale) || makeQRDataUrl(text, scale)) << text.size() << " " << scale;
}

} // namespace
} // namespace rig::app

#include "shell/AppPaths.h"
#include "shell/DateText.h"
#include "snapshot/SnapshotDirectory.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

TEST(AppPaths, SettingsGoToTheInjectedFileAndComeBack) {
    testing::TempAppPaths paths;
    settings().setValue("authorName", "Sam");
    settings().sync();
    EXPECT_TRUE(QFileInfo(paths.file("config/QuorvaneRig.conf")).isFile());
    {
        testing::TempAppPaths other;
        EXPECT_FALSE(settings().contains("authorName"));
    }
    EXPECT_EQ(settings().value("authorName").toString(), "Sam");
}

TEST(DateText, AbbreviatedDateAndShortTimeOfTheUsersLocale) {
    // Noon UTC stays on the 14th in every time zone of the test machines.
    const Date when = fixtures::testDate(3 * 3600); // 2025-03-14T12:26:53Z
    const QDateTime local =
        QDateTime::fromSecsSinceEpoch(std::chrono::sys_seconds(when).time_since_epoch().count());
    const std::pair<const char*, QStringList> cases[] = {
        {"en_US", {"Mar 14, 2025", local.toString("h:mm")}},
        {"de_DE", {"14.03.2025", local.toString("HH:mm")}},
        {"fr_FR", {"14 mars 2025", local.toString("HH:mm")}},
    };
    const QLocale previous;
    for (const auto& [locale, pieces] : cases) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        const QString text = formatShortDateTime(when);
        for (const QString& piece : pieces) EXPECT_TRUE(text.contains(piece)) << text.toStdString();
        EXPECT_FALSE(text.contains("53")) << "no seconds: " << text.toStdString();
        EXPECT_EQ(formatShortDateTime(local), text);
    }
    QLocale::setDefault(previous);
}

TEST(SnapshotDirectory, ComesFromRigSnapshotWhenSetAndNotEmpty) {
    const QByteArray previous = qgetenv("RIG_SNAPSHOT");
    qputenv("RIG_SNAPSHOT", "");
    EXPECT_FALSE(snapshotDirectory());
    qputenv("RIG_SNAPSHOT", "/tmp/rig snapshot");
    EXPECT_EQ(snapshotDirectory(), "/tmp/rig snapshot");
    if (previous.isEmpty())
        qunsetenv("RIG_SNAPSHOT");
    else
        qputenv("RIG_SNAPSHOT", previous);
}

} // namespace
} // namespace rig::app

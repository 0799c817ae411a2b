#include "shell/DateText.h"
#include "snapshot/SnapshotDirectory.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <optional>

namespace rig::app {
namespace {

// Sets the default locale for its lifetime.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(previous_); }

private:
    QLocale previous_;
};

TEST(DateText, AbbreviatedDateAndShortTimeOfTheUsersLocale) {
    // Noon UTC stays on the 14th in every time zone of the test machines.
    const Date when = fixtures::testDate(3 * 3600); // 2025-03-14T12:26:53Z
    const QDateTime local =
        QDateTime::fromSecsSinceEpoch(std::chrono::sys_seconds(when).time_since_epoch().count());
    const QString hhmm = local.toString("HH:mm");
    struct Case {
        const char* locale;
        QStringList pieces;
    };
    const Case cases[] = {
        {"en_US", {"Mar 14, 2025", local.toString("h:mm")}},
        {"en_GB", {"14 Mar 2025", hhmm}},
        {"de_DE", {"14.03.2025", hhmm}},
        {"fr_FR", {"14 mars 2025", hhmm}},
    };
    QStringList seen;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        LocaleScope scope{QLocale(QString::fromLatin1(c.locale))};
        const QString text = formatShortDateTime(when);
        for (const QString& piece : c.pieces) EXPECT_TRUE(text.contains(piece)) << text.toStdString();
        EXPECT_FALSE(text.contains("53")) << "no seconds: " << text.toStdString();
        EXPECT_EQ(formatShortDateTime(local), text);
        seen << text;
    }
    seen.removeDuplicates();
    EXPECT_EQ(seen.size(), 4);
}

TEST(SnapshotDirectory, ComesFromRigSnapshotWhenSet) {
    const std::optional<QByteArray> previous =
        qEnvironmentVariableIsSet("RIG_SNAPSHOT") ? std::optional(qgetenv("RIG_SNAPSHOT")) : std::nullopt;
    qunsetenv("RIG_SNAPSHOT");
    EXPECT_FALSE(snapshotDirectory());
    qputenv("RIG_SNAPSHOT", "");
    EXPECT_FALSE(snapshotDirectory());
    qputenv("RIG_SNAPSHOT", "/tmp/rig snapshot");
    EXPECT_EQ(snapshotDirectory(), "/tmp/rig snapshot");
    if (previous) {
        qputenv("RIG_SNAPSHOT", *previous);
    } else {
        qunsetenv("RIG_SNAPSHOT");
    }
}

} // namespace
} // namespace rig::app

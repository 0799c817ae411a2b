// The publish key in a real Secret Service keyring: ctest runs this inside its own D-Bus
// session with a fresh gnome-keyring, and without D-Bus; run by hand it skips.
#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "PublishSettings.h"
#include "PublishSettingsView.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>

#include <qt6keychain/keychain.h>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::waitFor;

// A settings object on the system keyring, once its stored key has been read.
std::unique_ptr<PublishSettings> loadedSettings() {
    auto s = std::make_unique<PublishSettings>(std::make_unique<KeychainSecretStore>());
    EXPECT_TRUE(waitFor([&] { return s->isKeyLoaded(); }, 20000));
    return s;
}

// What the keyring holds for the publish key, read without the settings object.
std::optional<QByteArray> rawItem() {
    QKeychain::ReadPasswordJob job("QuorvaneRig");
    job.setAutoDelete(false);
    job.setKey("publishKey");
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    if (job.error() != QKeychain::NoError) return std::nullopt;
    return job.binaryData();
}

// Locks every collection of the keyring, as a screen lock or a time-out does.
void lockKeyring() {
    const QString service = "org.freedesktop.secrets";
    const QString path = "/org/freedesktop/secrets";
    QDBusInterface properties(service, path, "org.freedesktop.DBus.Properties");
    const QDBusMessage answer = properties.call("Get", "org.freedesktop.Secret.Service", "Collections");
    ASSERT_EQ(answer.type(), QDBusMessage::ReplyMessage) << answer.errorMessage().toStdString();
    QList<QDBusObjectPath> collections;
    answer.arguments().at(0).value<QDBusVariant>().variant().value<QDBusArgument>() >> collections;
    const QDBusMessage locked = QDBusInterface(service, path, "org.freedesktop.Secret.Service")
                                    .call("Lock", QVariant::fromValue(collections));
    ASSERT_EQ(locked.type(), QDBusMessage::ReplyMessage) << locked.errorMessage().toStdString();
}

TEST(Keyring, KeyIsWrittenReadBackAndCleared) {
    if (qgetenv("RIG_KEYRING_TEST") != "keyring") GTEST_SKIP() << "runs inside its own keyring session only";
    auto secretService = [] {
        auto* bus = QDBusConnection::sessionBus().interface();
        return bus && bus->isServiceRegistered("org.freedesktop.secrets").value();
    };
    ASSERT_TRUE(waitFor(secretService, 20000)) << "no Secret Service on the session bus";
    testing::TempAppPaths paths;

    auto s = loadedSettings();
    const QString key = QString::fromUtf8(" qvr_ünïcode key ");
    s->setKey(key);
    ASSERT_TRUE(s->finishWrites(20s));
    EXPECT_EQ(rawItem(), key.toUtf8()); // the key's UTF-8 bytes
    EXPECT_EQ(loadedSettings()->key(), key);

    s->setKey("");
    ASSERT_TRUE(s->finishWrites(20s));
    EXPECT_FALSE(rawItem().has_value()); // no item left
    EXPECT_EQ(loadedSettings()->key(), "");
}

// Runs last: nothing unlocks the keyring again without a person at the prompt.
TEST(Keyring, ALockedKeyringIsNeitherAMissingKeyNorASilentlyLostOne) {
    if (qgetenv("RIG_KEYRING_TEST") != "keyring") GTEST_SKIP() << "runs inside its own keyring session only";
    testing::TempAppPaths paths;
    auto s = loadedSettings();
    s->setKey("qvr_kept");
    ASSERT_TRUE(s->finishWrites(20s));
    EXPECT_FALSE(s->keyWriteError());

    lockKeyring();
    auto locked = loadedSettings();
    EXPECT_EQ(locked->key(), "");
    EXPECT_EQ(locked->keyReadError(),
              "The key could not be read from the system keyring: the keyring is locked");
    PublishSettingsView pane(*locked);
    EXPECT_FALSE(pane.generateButton()->isEnabled());
    EXPECT_TRUE(pane.keyField()->isReadOnly());
    locked->setKey("qvr_new");
    ASSERT_TRUE(locked->finishWrites(20s));
    const QString status = pane.statusLabel()->text();
    EXPECT_TRUE(status.startsWith("The key could not be stored in the system keyring: "))
        << status.toStdString();
    EXPECT_TRUE(status.contains("locked")) << status.toStdString();
}

TEST(KeyringAbsent, ReadsAndWritesFailVisibly) {
    if (qgetenv("RIG_KEYRING_TEST") != "none") GTEST_SKIP() << "runs without a D-Bus session only";
    testing::TempAppPaths paths;
    auto s = loadedSettings();
    EXPECT_TRUE(
        s->keyReadError().value_or("").startsWith("The key could not be read from the system keyring: "));
    s->setKey("qvr_nowhere");
    ASSERT_TRUE(s->finishWrites(20s));
    EXPECT_EQ(s->key(), "qvr_nowhere"); // the value in memory stays as assigned
    EXPECT_TRUE(
        s->keyWriteError().value_or("").startsWith("The key could not be stored in the system keyring: "));
    EXPECT_EQ(loadedSettings()->key(), "");
    EXPECT_TRUE(settings().allKeys().filter("publishKey").isEmpty()); // no plain-text copy
}

} // namespace
} // namespace rig::app

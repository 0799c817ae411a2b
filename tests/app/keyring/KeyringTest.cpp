// The publish key in a real Secret Service keyring: ctest runs this inside its own D-Bus
// session with a fresh gnome-keyring, and without D-Bus; run by hand it skips.
#include "support/AppTesting.h"
#include "support/Waiting.h"

#include "PublishSettings.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>

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

TEST(KeyringAbsent, ReadsGiveNothingAndWritesAreLost) {
    if (qgetenv("RIG_KEYRING_TEST") != "none") GTEST_SKIP() << "runs without a D-Bus session only";
    testing::TempAppPaths paths;
    auto s = loadedSettings();
    s->setKey("qvr_nowhere");
    ASSERT_TRUE(s->finishWrites(20s));
    EXPECT_EQ(s->key(), "qvr_nowhere"); // the value in memory stays as assigned
    EXPECT_EQ(loadedSettings()->key(), "");
    EXPECT_TRUE(settings().allKeys().filter("publishKey").isEmpty()); // no plain-text copy
}

} // namespace
} // namespace rig::app

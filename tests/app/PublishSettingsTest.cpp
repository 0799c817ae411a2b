// The publish settings: the server in the settings file, the key in the keyring only.
#include "support/AppTesting.h"
#include "support/PublishTesting.h"

#include "export/PublishSettings.h"

#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace std::chrono_literals;

TEST(PublishSettings, TheServerIsReadBackAsTypedAndTheKeyKeptInTheKeyring) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    auto reopened = [&] {
        return std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>(keyring));
    };
    for (const QString typed : {"  https://rig.example/prefix//  ", ""}) {
        reopened()->setServer(typed);
        EXPECT_EQ(reopened()->server(), typed); // untrimmed; a stored empty address stays empty
    }
    EXPECT_EQ(keyring.writeCount(), 0); // loading writes nothing back

    auto s = reopened();
    ASSERT_TRUE(s->generatePublishKey());
    EXPECT_TRUE(QRegularExpression("^qvr_[A-Za-z0-9_-]{32}$").match(s->key()).hasMatch())
        << s->key().toStdString();
    EXPECT_EQ(reopened()->key(), s->key());
    // 0xfb 0xff 0xbf encodes to "+/+/" in standard Base64.
    auto fill = [](std::span<unsigned char> out) {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = "\xfb\xff\xbf"[i % 3];
        return true;
    };
    EXPECT_EQ(makePublishKey(fill), "qvr_" + QString("-_").repeated(16));

    s->setKey("  key with blanks ");
    EXPECT_FALSE(s->generatePublishKey([](std::span<unsigned char>) { return false; }));
    EXPECT_EQ(keyring.stored("publishKey"), QString("  key with blanks ")); // kept as typed
    s->setKey("");
    EXPECT_FALSE(keyring.stored("publishKey").has_value()); // the item is removed
}

TEST(PublishSettings, ATypedKeyWinsOverTheLateStoredOneAndWritesRunOneAtATime) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<testing::DeferredSecretStore>();
    testing::DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    int written = 0;
    QObject::connect(&s, &PublishSettings::keyWritten, [&] { ++written; });
    for (const char* typed : {"q", "qv", "qvr"}) s.setKey(typed);
    keyring.pendingRead(QString("qvr_stored"));
    EXPECT_TRUE(s.isKeyLoaded());
    EXPECT_EQ(s.key(), "qvr");
    ASSERT_EQ(keyring.writes.size(), 1u); // the first write runs, the rest wait
    keyring.finishWrite();
    ASSERT_EQ(keyring.writes.size(), 1u); // only the newest waiting value is written
    EXPECT_EQ(keyring.writes.front().first, "qvr");

    // The end of the program: the keyring answers later, from the event loop.
    QTimer::singleShot(50, [&] { keyring.finishWrite(); });
    EXPECT_TRUE(s.finishWrites(20s));
    EXPECT_EQ(written, 1);
    s.setKey("qvr_never_answered");
    EXPECT_FALSE(s.finishWrites(100ms)); // bounded
}

} // namespace
} // namespace rig::app

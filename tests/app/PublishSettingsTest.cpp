#include "support/AppTesting.h"

#include "export/PublishSettings.h"
#include "shell/AppPaths.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace rig::app {
namespace {

using namespace std::chrono_literals;

// A keyring whose answers arrive only when the test lets them.
class DeferredSecretStore final : public SecretStore {
public:
    std::deque<std::pair<QString, std::function<void()>>> writes;
    std::function<void(std::optional<QString>)> pendingRead;

    void read(const QString&, std::function<void(std::optional<QString>)> done) override {
        pendingRead = done;
    }
    void write(const QString&, const QString& value, std::function<void()> done) override {
        writes.emplace_back(value, std::move(done));
    }
    void finishWrite() {
        auto done = std::move(writes.front().second);
        writes.pop_front();
        done();
    }
};

TEST(PublishSettings, TheDefaultServerAtFirstThenEveryAddressAsTyped) {
    for (const QString& typed :
         {QString("  https://rig.example/prefix//  "), QString(), QString("a, b; c=d")}) {
        SCOPED_TRACE(typed.toStdString());
        testing::TempAppPaths paths;
        MemorySecretStore keyring;
        {
            PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
            EXPECT_EQ(s.server(), PublishSettings::defaultServer());
            EXPECT_EQ(s.key(), "");
            EXPECT_TRUE(s.isKeyLoaded());
            EXPECT_FALSE(settings().contains("publishServer")); // nothing written back while starting
            int notified = 0;
            QObject::connect(&s, &PublishSettings::serverChanged, [&] { ++notified; });
            s.setServer(typed);
            s.setServer(typed); // unchanged values are written and announced too
            EXPECT_EQ(notified, 2);
            const QSettings file(paths.file("config/QuorvaneRig.conf"), QSettings::IniFormat);
            EXPECT_EQ(file.value("publishServer").toString(), typed); // on disk at once
        }
        // Read back untrimmed; a stored empty address stays empty.
        EXPECT_EQ(PublishSettings(std::make_unique<MemorySecretStore>(keyring)).server(), typed);
        EXPECT_EQ(keyring.writeCount(), 0);
    }
}

TEST(PublishSettings, KeysAreGeneratedUrlSafeAndStoredAsTyped) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
    ASSERT_TRUE(s.generatePublishKey());
    const QString first = s.key();
    EXPECT_TRUE(QRegularExpression("^qvr_[A-Za-z0-9_-]{32}$").match(first).hasMatch()) << first.toStdString();
    EXPECT_EQ(keyring.stored("publishKey"), first);
    ASSERT_TRUE(s.generatePublishKey());
    EXPECT_NE(s.key(), first);
    EXPECT_EQ(PublishSettings(std::make_unique<MemorySecretStore>(keyring)).key(), s.key());

    // 0xfb 0xff 0xbf encodes to "+/+/" in standard Base64.
    auto fill = [](std::span<unsigned char> out) {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = "\xfb\xff\xbf"[i % 3];
        return true;
    };
    EXPECT_EQ(makePublishKey(fill), "qvr_" + QString("-_").repeated(16));

    s.setKey("  key with blanks ");
    EXPECT_EQ(keyring.stored("publishKey"), QString("  key with blanks "));
    const int writes = keyring.writeCount();
    EXPECT_FALSE(s.generatePublishKey([](std::span<unsigned char>) { return false; }));
    EXPECT_EQ(s.key(), "  key with blanks "); // a failing random source leaves the key alone
    EXPECT_EQ(keyring.writeCount(), writes);

    s.setKey("");
    EXPECT_FALSE(keyring.stored("publishKey").has_value()); // the item is removed
    EXPECT_EQ(PublishSettings(std::make_unique<MemorySecretStore>(keyring)).key(), "");
}

TEST(PublishSettings, KeyringWritesRunOneAtATimeTheLastWinsAndTheEndWaitsForThem) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<DeferredSecretStore>();
    DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    keyring.pendingRead(std::nullopt);
    EXPECT_TRUE(s.finishWrites(0ms)); // nothing to wait for

    int written = 0;
    QObject::connect(&s, &PublishSettings::keyWritten, [&] { ++written; });
    for (const char* typed : {"q", "qv", "qvr"}) s.setKey(typed);
    EXPECT_EQ(s.key(), "qvr");
    ASSERT_EQ(keyring.writes.size(), 1u); // the first write runs, the rest wait
    EXPECT_EQ(keyring.writes.front().first, "q");
    keyring.finishWrite();
    ASSERT_EQ(keyring.writes.size(), 1u); // only the newest waiting value is written
    EXPECT_EQ(keyring.writes.front().first, "qvr");
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(s.isWritingKey());

    // The end of the program: the keyring answers later, from the event loop.
    QTimer::singleShot(50, [&] { keyring.finishWrite(); });
    EXPECT_TRUE(s.finishWrites(20s));
    EXPECT_TRUE(keyring.writes.empty());
    EXPECT_EQ(written, 1);

    s.setKey("qvr_never_answered");
    EXPECT_FALSE(s.finishWrites(100ms)); // bounded
    EXPECT_TRUE(s.isWritingKey());
}

TEST(PublishSettings, TheStoredKeyArrivesLaterUnlessOneWasTypedMeanwhile) {
    for (const bool typed : {false, true}) {
        SCOPED_TRACE(typed);
        testing::TempAppPaths paths;
        auto owned = std::make_unique<DeferredSecretStore>();
        DeferredSecretStore& keyring = *owned;
        PublishSettings s(std::move(owned));
        EXPECT_FALSE(s.isKeyLoaded());
        int changed = 0, loaded = 0;
        QObject::connect(&s, &PublishSettings::keyChanged, [&] { ++changed; });
        QObject::connect(&s, &PublishSettings::keyLoaded, [&] { ++loaded; });
        if (typed) s.setKey("typed");
        keyring.pendingRead(QString("qvr_stored"));
        EXPECT_EQ(s.key(), typed ? "typed" : "qvr_stored");
        EXPECT_EQ(changed, 1);
        EXPECT_EQ(loaded, 1);
        EXPECT_TRUE(s.isKeyLoaded());
        EXPECT_EQ(keyring.writes.size(), typed ? 1u : 0u); // loading writes nothing back
    }
}

} // namespace
} // namespace rig::app

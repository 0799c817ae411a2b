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

// A keyring whose answers arrive only when the test lets them.
class DeferredSecretStore final : public SecretStore {
public:
    struct Write {
        QString value;
        std::function<void()> done;
    };
    std::deque<Write> writes;
    std::function<void(std::optional<QString>)> pendingRead;

    void read(const QString&, std::function<void(std::optional<QString>)> done) override {
        pendingRead = std::move(done);
    }
    void write(const QString&, const QString& value, std::function<void()> done) override {
        writes.push_back({value, std::move(done)});
    }
    void finishWrite() {
        Write w = std::move(writes.front());
        writes.pop_front();
        w.done();
    }
};

QString storedServer(const testing::TempAppPaths& paths) {
    QSettings file(paths.file("config/QuorvaneRig.conf"), QSettings::IniFormat);
    return file.value("publishServer").toString();
}

TEST(PublishSettings, FirstStartHasTheDefaultServerAndNoKey) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
    EXPECT_EQ(s.server(), PublishSettings::defaultServer());
    EXPECT_FALSE(s.server().isEmpty());
    EXPECT_EQ(s.key(), "");
    EXPECT_TRUE(s.isKeyLoaded());
    // Nothing is written back while starting.
    EXPECT_FALSE(settings().contains("publishServer"));
    EXPECT_EQ(keyring.writeCount(), 0);
}

TEST(PublishSettings, ServerIsWrittenOnEveryAssignmentAndReadBackUntrimmed) {
    struct Case {
        QString typed;
    };
    for (const Case& c : {Case{"h"}, Case{"  https://rig.example/prefix//  "}, Case{""}, Case{QString()},
                          Case{"a, b; c=d"}, Case{"@Invalid()"}, Case{"\"quoted\" \\ back"}}) {
        SCOPED_TRACE(c.typed.toStdString());
        testing::TempAppPaths paths;
        MemorySecretStore keyring;
        {
            PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
            int notified = 0;
            QObject::connect(&s, &PublishSettings::serverChanged, [&] { ++notified; });
            s.setServer(c.typed);
            s.setServer(c.typed); // unchanged values are written and announced too
            EXPECT_EQ(notified, 2);
            EXPECT_EQ(storedServer(paths), c.typed); // on disk at once
        }
        PublishSettings again(std::make_unique<MemorySecretStore>(keyring));
        // A stored empty address stays empty: no fall-back to the default.
        EXPECT_EQ(again.server(), c.typed);
    }
}

TEST(PublishSettings, GeneratedKeysAreUrlSafeRandomAndKept) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
    ASSERT_TRUE(s.generatePublishKey());
    const QString first = s.key();
    static const QRegularExpression form("^qvr_[A-Za-z0-9_-]{32}$");
    EXPECT_TRUE(form.match(first).hasMatch()) << first.toStdString();
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(keyring.stored("publishKey"), first);

    ASSERT_TRUE(s.generatePublishKey());
    EXPECT_NE(s.key(), first);
    EXPECT_EQ(keyring.stored("publishKey"), s.key());

    PublishSettings again(std::make_unique<MemorySecretStore>(keyring));
    EXPECT_EQ(again.key(), s.key());
}

TEST(PublishSettings, KeyFromKnownBytesUsesTheUrlSafeAlphabet) {
    // 0xfb 0xff 0xbf … encodes to "+/+/" in standard Base64.
    auto fill = [](std::span<unsigned char> out) {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = (i % 3 == 0) ? 0xfb : (i % 3 == 1) ? 0xff : 0xbf;
        return true;
    };
    EXPECT_EQ(makePublishKey(fill), "qvr_" + QString("-_").repeated(16));
}

TEST(PublishSettings, FailingRandomSourceLeavesTheKeyAlone) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
    s.setKey("qvr_old");
    const int writes = keyring.writeCount();
    EXPECT_FALSE(s.generatePublishKey([](std::span<unsigned char>) { return false; }));
    EXPECT_EQ(s.key(), "qvr_old");
    EXPECT_EQ(keyring.writeCount(), writes);
}

TEST(PublishSettings, KeysAreStoredAsTypedAndAnEmptyKeyRemovesTheItem) {
    testing::TempAppPaths paths;
    MemorySecretStore keyring;
    {
        PublishSettings s(std::make_unique<MemorySecretStore>(keyring));
        s.setKey("  key with blanks ");
        EXPECT_EQ(keyring.stored("publishKey"), QString("  key with blanks "));
        s.setKey("");
        EXPECT_FALSE(keyring.stored("publishKey").has_value());
    }
    PublishSettings again(std::make_unique<MemorySecretStore>(keyring));
    EXPECT_EQ(again.key(), "");
}

TEST(PublishSettings, KeyringWritesRunOneAtATimeAndTheLastValueWins) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<DeferredSecretStore>();
    DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    keyring.pendingRead(std::nullopt);

    int written = 0;
    QObject::connect(&s, &PublishSettings::keyWritten, [&] { ++written; });
    s.setKey("q");
    s.setKey("qv");
    s.setKey("qvr");
    EXPECT_EQ(s.key(), "qvr");
    ASSERT_EQ(keyring.writes.size(), 1u); // the first write runs, the rest wait
    EXPECT_EQ(keyring.writes.front().value, "q");
    EXPECT_TRUE(s.isWritingKey());

    keyring.finishWrite();
    ASSERT_EQ(keyring.writes.size(), 1u); // only the newest waiting value is written
    EXPECT_EQ(keyring.writes.front().value, "qvr");
    EXPECT_EQ(written, 0);
    keyring.finishWrite();
    EXPECT_TRUE(keyring.writes.empty());
    EXPECT_FALSE(s.isWritingKey());
    EXPECT_EQ(written, 1);
}

TEST(PublishSettings, TheEndOfTheProgramWaitsForKeyringWritesUnderWay) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<DeferredSecretStore>();
    DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    keyring.pendingRead(std::nullopt);
    EXPECT_TRUE(s.finishWrites(std::chrono::milliseconds(0))); // nothing to wait for

    s.setKey("qvr_first");
    s.setKey("qvr_last");
    // The keyring answers later, from the event loop, as the real one does.
    QTimer::singleShot(50, [&] { keyring.finishWrite(); });
    QTimer::singleShot(100, [&] { keyring.finishWrite(); });
    EXPECT_TRUE(s.finishWrites(std::chrono::seconds(20)));
    EXPECT_TRUE(keyring.writes.empty());

    s.setKey("qvr_never_answered");
    EXPECT_FALSE(s.finishWrites(std::chrono::milliseconds(100))); // bounded
    EXPECT_TRUE(s.isWritingKey());
}

TEST(PublishSettings, AKeyTypedBeforeTheStoredOneArrivesIsKept) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<DeferredSecretStore>();
    DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    EXPECT_FALSE(s.isKeyLoaded());
    int loaded = 0;
    QObject::connect(&s, &PublishSettings::keyLoaded, [&] { ++loaded; });
    s.setKey("typed");
    keyring.pendingRead(QString("stored"));
    EXPECT_EQ(s.key(), "typed");
    EXPECT_TRUE(s.isKeyLoaded());
    EXPECT_EQ(loaded, 1);
}

TEST(PublishSettings, TheStoredKeyArrivesWithAChangeSignal) {
    testing::TempAppPaths paths;
    auto owned = std::make_unique<DeferredSecretStore>();
    DeferredSecretStore& keyring = *owned;
    PublishSettings s(std::move(owned));
    int changed = 0;
    QObject::connect(&s, &PublishSettings::keyChanged, [&] { ++changed; });
    keyring.pendingRead(QString("qvr_stored"));
    EXPECT_EQ(s.key(), "qvr_stored");
    EXPECT_EQ(changed, 1);
    EXPECT_TRUE(keyring.writes.empty()); // loading writes nothing back
}

} // namespace
} // namespace rig::app

// The publish server address and the publish key: the two values every request to the
// publish server needs. The address lives in the settings file, the key in the system
// keyring; both are written back at once on every change. Main thread only.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace rig::app {

// Where the publish key is kept. Reads and writes may finish later, on the main thread.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // Gives the stored text, or nothing when there is none or it cannot be read.
    virtual void read(const QString& account, std::function<void(std::optional<QString>)> done) = 0;
    // Replaces the stored text; an empty value removes it. Failures are not reported.
    virtual void write(const QString& account, const QString& value, std::function<void()> done) = 0;
};

// The system keyring (Secret Service) through qtkeychain, service "QuorvaneRig". Without a
// keyring reads give nothing and writes are lost; there is no plain-text fallback.
class KeychainSecretStore final : public SecretStore {
public:
    void read(const QString& account, std::function<void(std::optional<QString>)> done) override;
    void write(const QString& account, const QString& value, std::function<void()> done) override;
};

// A keyring in memory, for tests and runs that bring their own key. Answers at once.
class MemorySecretStore final : public SecretStore {
public:
    void read(const QString& account, std::function<void(std::optional<QString>)> done) override;
    void write(const QString& account, const QString& value, std::function<void()> done) override;

    // What is stored now (shared by copies handed to several settings objects in a test).
    std::optional<QString> stored(const QString& account) const;
    int writeCount() const { return state_->writes; }

private:
    struct State {
        std::map<QString, QString> items;
        int writes = 0;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Fills the buffer from a cryptographically secure source; false when the source fails.
using RandomFill = std::function<bool(std::span<unsigned char>)>;
bool systemRandomFill(std::span<unsigned char> buffer);

// "qvr_" followed by 32 URL-safe Base64 characters made of 24 random bytes; nothing when
// the random source fails.
std::optional<QString> makePublishKey(const RandomFill& fill = systemRandomFill);

class PublishSettings : public QObject {
    Q_OBJECT
public:
    // Reads the address at once and starts reading the key from `secrets`.
    explicit PublishSettings(std::unique_ptr<SecretStore> secrets, QObject* parent = nullptr);
    ~PublishSettings() override;

    // The program's instance (system keyring), created on first use.
    static PublishSettings& shared();
    // The address used when none is stored, and the one "Reset Server" puts back.
    static QString defaultServer();

    // The address as the user typed it; trimmed only when a request is built.
    QString server() const { return server_; }
    // Stores and writes the value on every call, also when it did not change.
    void setServer(const QString& server);

    // "" means no key: every request then fails before anything is sent.
    QString key() const { return key_; }
    // Writes the keyring at once; writes run one at a time and the last value wins.
    void setKey(const QString& key);
    // A new random key through setKey. False, and the key unchanged, when the random
    // source fails.
    bool generatePublishKey(const RandomFill& fill = systemRandomFill);

    // False until the stored key has been read (a key set before that wins over it).
    bool isKeyLoaded() const { return keyLoaded_; }
    // True while a keyring write is under way or waiting.
    bool isWritingKey() const { return writing_ || pendingWrite_.has_value(); }
    // For the end of the program: runs the event loop until the keyring writes asked for so
    // far have finished, at most `limit`. False when some were still under way.
    bool finishWrites(std::chrono::milliseconds limit);

signals:
    void serverChanged();
    void keyChanged();
    // The stored key has been read (or found missing).
    void keyLoaded();
    // Every keyring write asked for so far has finished.
    void keyWritten();

private:
    void startWrite(const QString& value);

    std::unique_ptr<SecretStore> secrets_;
    QString server_;
    QString key_;
    bool keyLoaded_ = false;
    bool keyAssigned_ = false; // set before the stored key arrived
    bool writing_ = false;
    std::optional<QString> pendingWrite_;
    // Callbacks may arrive after this object is gone; they check this flag first.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace rig::app

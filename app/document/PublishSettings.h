// The publish server address and the publish key: the two values every request to the
// publish server needs. The address lives in the settings file, the key in the system
// keyring; both are written back at once on every change, and a keyring that fails says so.
// Main thread only.
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

// What a read of the key store gives: the stored text, nothing when none is stored, or why
// the store could not be read (a locked keyring must never look like a missing key).
struct SecretRead {
    std::optional<QString> value{};
    std::optional<QString> error{};
};

// Where the publish key is kept. Reads and writes may finish later, on the main thread.
class SecretStore {
public:
    using ReadDone = std::function<void(SecretRead)>;
    // Gives nothing as the error when the write succeeded.
    using WriteDone = std::function<void(std::optional<QString> error)>;

    virtual ~SecretStore() = default;
    virtual void read(const QString& account, ReadDone done) = 0;
    // Replaces the stored text; an empty value removes it.
    virtual void write(const QString& account, const QString& value, WriteDone done) = 0;
};

// The system keyring (Secret Service) through qtkeychain, service "QuorvaneRig". There is no
// plain-text fallback: without a keyring reads and writes fail.
class KeychainSecretStore final : public SecretStore {
public:
    void read(const QString& account, ReadDone done) override;
    void write(const QString& account, const QString& value, WriteDone done) override;
};

// A keyring in memory, for tests and runs that bring their own key. Answers at once.
class MemorySecretStore final : public SecretStore {
public:
    void read(const QString& account, ReadDone done) override;
    void write(const QString& account, const QString& value, WriteDone done) override;

    // What is stored now (shared by copies handed to several settings objects in a test).
    std::optional<QString> stored(const QString& account) const;
    int writeCount() const { return state_->writes; }
    // Reads or writes from now on fail with these reasons (nothing: they work).
    void setFailures(std::optional<QString> read, std::optional<QString> write);

private:
    struct State {
        std::map<QString, QString> items;
        int writes = 0;
        std::optional<QString> readFailure;
        std::optional<QString> writeFailure;
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

    // False until the stored key has been read or the read failed (a key set before that
    // wins over it).
    bool isKeyLoaded() const { return keyLoaded_; }
    // "The key could not be read from the system keyring: …" while the stored key is
    // unknown: it may exist, so nothing may replace it unseen. Cleared by setKey.
    std::optional<QString> keyReadError() const { return readError_; }
    // "The key could not be stored in the system keyring: …" when the last keyring write
    // failed: the key in use is gone at the next start.
    std::optional<QString> keyWriteError() const { return writeError_; }
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
    // keyReadError or keyWriteError changed.
    void keyringErrorChanged();

private:
    void startWrite(const QString& value);
    void setKeyringErrors(std::optional<QString> read, std::optional<QString> write);

    std::unique_ptr<SecretStore> secrets_;
    QString server_;
    QString key_;
    bool keyLoaded_ = false;
    bool keyAssigned_ = false; // set before the stored key arrived
    std::optional<QString> readError_;
    std::optional<QString> writeError_;
    bool writing_ = false;
    std::optional<QString> pendingWrite_;
    // Callbacks may arrive after this object is gone; they check this flag first.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace rig::app

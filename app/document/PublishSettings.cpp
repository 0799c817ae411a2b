#include "PublishSettings.h"

#include "AppPaths.h"

#include <QByteArray>
#include <QEventLoop>
#include <QStringDecoder>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <array>
#include <cerrno>
#include <sys/random.h>
#include <utility>

#ifndef RIG_DEFAULT_PUBLISH_SERVER
#error "RIG_DEFAULT_PUBLISH_SERVER comes from the build (CMake cache variable of the same name)"
#endif

namespace rig::app {

namespace {

const QString keyringService = QStringLiteral("QuorvaneRig");
const QString serverSetting = QStringLiteral("publishServer");
const QString keyAccount = QStringLiteral("publishKey");

} // namespace

// --- Keyring -------------------------------------------------------------------------

void KeychainSecretStore::read(const QString& account, std::function<void(std::optional<QString>)> done) {
    auto* job = new QKeychain::ReadPasswordJob(keyringService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done = std::move(done)] {
        if (job->error() != QKeychain::NoError) return done(std::nullopt);
        const QByteArray data = job->binaryData();
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decode(data);
        if (decode.hasError()) return done(std::nullopt);
        done(std::move(text));
    });
    job->start();
}

void KeychainSecretStore::write(const QString& account, const QString& value, std::function<void()> done) {
    QKeychain::Job* job = nullptr;
    if (value.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(keyringService);
    } else {
        auto* w = new QKeychain::WritePasswordJob(keyringService);
        w->setBinaryData(value.toUtf8());
        job = w;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job, [done = std::move(done)] { done(); });
    job->start();
}

void MemorySecretStore::read(const QString& account, std::function<void(std::optional<QString>)> done) {
    done(stored(account));
}

void MemorySecretStore::write(const QString& account, const QString& value, std::function<void()> done) {
    ++state_->writes;
    if (value.isEmpty()) {
        state_->items.erase(account);
    } else {
        state_->items[account] = value;
    }
    done();
}

std::optional<QString> MemorySecretStore::stored(const QString& account) const {
    auto it = state_->items.find(account);
    if (it == state_->items.end()) return std::nullopt;
    return it->second;
}

// --- Keys ------------------------------------------------------------------------------

bool systemRandomFill(std::span<unsigned char> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = getrandom(buffer.data() + done, buffer.size() - done, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

std::optional<QString> makePublishKey(const RandomFill& fill) {
    std::array<unsigned char, 24> bytes{};
    if (!fill(bytes)) return std::nullopt;
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    // Standard Base64 with "+" -> "-", "/" -> "_" and no "=": the URL-safe alphabet.
    const QByteArray text = raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return QStringLiteral("qvr_") + QString::fromLatin1(text);
}

// --- Settings ----------------------------------------------------------------------------

PublishSettings::PublishSettings(std::unique_ptr<SecretStore> secrets, QObject* parent)
    : QObject(parent), secrets_(std::move(secrets)) {
    const QVariant stored = settings().value(serverSetting);
    server_ = stored.typeId() == QMetaType::QString ? stored.toString() : defaultServer();

    std::weak_ptr<bool> alive = alive_;
    secrets_->read(keyAccount, [this, alive](std::optional<QString> key) {
        if (alive.expired() || keyLoaded_) return;
        keyLoaded_ = true;
        // A key typed or generated meanwhile is newer than the stored one.
        if (!keyAssigned_ && key && *key != key_) {
            key_ = *key;
            emit keyChanged();
        }
        emit keyLoaded();
    });
}

PublishSettings::~PublishSettings() = default;

PublishSettings& PublishSettings::shared() {
    static PublishSettings* instance = new PublishSettings(std::make_unique<KeychainSecretStore>());
    return *instance;
}

QString PublishSettings::defaultServer() {
    return QStringLiteral(RIG_DEFAULT_PUBLISH_SERVER);
}

void PublishSettings::setServer(const QString& server) {
    server_ = server;
    emit serverChanged();
    settings().setValue(serverSetting, server_);
    settings().sync();
}

void PublishSettings::setKey(const QString& key) {
    key_ = key;
    keyAssigned_ = true;
    emit keyChanged();
    if (writing_) {
        pendingWrite_ = key;
        return;
    }
    startWrite(key);
}

bool PublishSettings::generatePublishKey(const RandomFill& fill) {
    std::optional<QString> key = makePublishKey(fill);
    if (!key) return false;
    setKey(*key);
    return true;
}

bool PublishSettings::finishWrites(std::chrono::milliseconds limit) {
    if (!isWritingKey()) return true;
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    connect(this, &PublishSettings::keyWritten, &loop, &QEventLoop::quit);
    loop.exec();
    return !isWritingKey();
}

void PublishSettings::startWrite(const QString& value) {
    writing_ = true;
    std::weak_ptr<bool> alive = alive_;
    secrets_->write(keyAccount, value, [this, alive] {
        if (alive.expired()) return;
        writing_ = false;
        if (pendingWrite_) {
            QString next = *std::exchange(pendingWrite_, std::nullopt);
            startWrite(next);
            return;
        }
        emit keyWritten();
    });
}

} // namespace rig::app

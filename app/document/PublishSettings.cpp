#include "PublishSettings.h"

#include "AppPaths.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
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
const QString readFailed = QStringLiteral("The key could not be read from the system keyring: ");
const QString writeFailed = QStringLiteral("The key could not be stored in the system keyring: ");

// qtkeychain reports an item in a locked collection as missing once the unlock prompt fails
// or is dismissed. The Secret Service still lists such an item among its locked ones, by
// the attributes qtkeychain gives its items ("server" = service, "user" = account).
void lookForLockedItem(const QString& account, SecretStore::ReadDone done) {
    using Attributes = QMap<QString, QString>;
    static const bool registered = [] {
        qDBusRegisterMetaType<Attributes>();
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        return true;
    }();
    (void)registered;
    QDBusMessage search = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    search << QVariant::fromValue(
        Attributes{{QStringLiteral("server"), keyringService}, {QStringLiteral("user"), account}});
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(search));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply = *watcher;
        if (reply.isValid() && !reply.argumentAt<1>().isEmpty())
            return done({std::nullopt, QStringLiteral("the keyring is locked")});
        done({});
    });
}

} // namespace

// --- Keyring -------------------------------------------------------------------------

void KeychainSecretStore::read(const QString& account, ReadDone done) {
    auto* job = new QKeychain::ReadPasswordJob(keyringService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, account, done = std::move(done)]() mutable {
        if (job->error() == QKeychain::EntryNotFound) return lookForLockedItem(account, std::move(done));
        if (job->error() != QKeychain::NoError) return done({std::nullopt, job->errorString()});
        const QByteArray data = job->binaryData();
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decode(data);
        if (decode.hasError()) return done({});
        done({std::move(text), std::nullopt});
    });
    job->start();
}

void KeychainSecretStore::write(const QString& account, const QString& value, WriteDone done) {
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
    QObject::connect(job, &QKeychain::Job::finished, job, [job, done = std::move(done)] {
        // Removing an item that is not there leaves the wanted state.
        const bool ok =
            job->error() == QKeychain::NoError ||
            (job->error() == QKeychain::EntryNotFound && qobject_cast<QKeychain::DeletePasswordJob*>(job));
        done(ok ? std::nullopt : std::optional(job->errorString()));
    });
    job->start();
}

void MemorySecretStore::read(const QString& account, ReadDone done) {
    if (state_->readFailure) return done({std::nullopt, state_->readFailure});
    done({stored(account), std::nullopt});
}

void MemorySecretStore::write(const QString& account, const QString& value, WriteDone done) {
    ++state_->writes;
    if (state_->writeFailure) return done(state_->writeFailure);
    if (value.isEmpty()) {
        state_->items.erase(account);
    } else {
        state_->items[account] = value;
    }
    done(std::nullopt);
}

std::optional<QString> MemorySecretStore::stored(const QString& account) const {
    auto it = state_->items.find(account);
    if (it == state_->items.end()) return std::nullopt;
    return it->second;
}

void MemorySecretStore::setFailures(std::optional<QString> read, std::optional<QString> write) {
    state_->readFailure = std::move(read);
    state_->writeFailure = std::move(write);
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
    secrets_->read(keyAccount, [this, alive](SecretRead read) {
        if (alive.expired() || keyLoaded_) return;
        keyLoaded_ = true;
        // A key typed or generated meanwhile is newer than the stored one.
        if (!keyAssigned_ && read.error) {
            setKeyringErrors(readFailed + *read.error, writeError_);
        } else if (!keyAssigned_ && read.value && *read.value != key_) {
            key_ = *read.value;
            emit keyChanged();
        }
        emit keyLoaded();
    });
}

PublishSettings::~PublishSettings() = default;

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
    setKeyringErrors(std::nullopt, writeError_);
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
    secrets_->write(keyAccount, value, [this, alive](std::optional<QString> error) {
        if (alive.expired()) return;
        writing_ = false;
        setKeyringErrors(readError_, error ? std::optional(writeFailed + *error) : std::nullopt);
        if (pendingWrite_) {
            QString next = *std::exchange(pendingWrite_, std::nullopt);
            startWrite(next);
            return;
        }
        emit keyWritten();
    });
}

void PublishSettings::setKeyringErrors(std::optional<QString> read, std::optional<QString> write) {
    if (read == readError_ && write == writeError_) return;
    readError_ = std::move(read);
    writeError_ = std::move(write);
    emit keyringErrorChanged();
}

} // namespace rig::app

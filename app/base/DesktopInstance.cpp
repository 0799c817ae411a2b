#include "DesktopInstance.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

namespace rig::app {

namespace {
// A program still starting up, or busy, answers late; one that does not answer at all is
// left alone.
constexpr int handOverTimeoutMs = 30000;
// Characters of arguments per start handing files on: well inside what a command line holds.
constexpr qsizetype handOnArgumentsSize = 256 * 1024;
// An address that names no file here is only ever named: its start is enough for that.
constexpr qsizetype handOnAddressSize = 4096;
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
} // namespace

// The calls a later start (or the desktop) makes. Each is answered at once; the program acts
// on it from its event loop, where a question to the user may wait as long as it needs.
class DesktopApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit DesktopApplicationAdaptor(DesktopInstance* instance)
        : QDBusAbstractAdaptor(instance), instance_(instance) {}

public slots:
    // The parameters are named as the interface names them.
    void Activate(const QVariantMap& platform_data) {
        Q_UNUSED(platform_data);
        later({});
    }
    void Open(const QStringList& uris, const QVariantMap& platform_data) {
        Q_UNUSED(platform_data);
        QList<QUrl> files;
        for (const QString& uri : uris) files.push_back(QUrl(uri));
        later(files);
    }
    void ActivateAction(const QString& action_name, const QVariantList& parameter,
                        const QVariantMap& platform_data) {
        // The program has no actions of its own: coming forward is all it can do.
        Q_UNUSED(action_name);
        Q_UNUSED(parameter);
        Q_UNUSED(platform_data);
        later({});
    }

private:
    void later(QList<QUrl> files) {
        if (instance_->released_) {
            // The caller takes the name and runs as the program.
            instance_->sendErrorReply(QDBusError::ServiceUnknown, QStringLiteral("The program is ending."));
            return;
        }
        // Before the answer goes: a quit decided right after it finds the files to hand on.
        emit instance_->startedAgain(files);
    }

    DesktopInstance* instance_;
};

DesktopInstance::DesktopInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    new DesktopApplicationAdaptor(this);
}

DesktopInstance::~DesktopInstance() {
    release();
}

void DesktopInstance::release() {
    if (released_) return;
    released_ = true;
    if (!registered_) return;
    bus_.unregisterService(serviceName);
    bus_.unregisterObject(objectPath);
}

void DesktopInstance::reclaim() {
    if (!released_) return;
    released_ = false;
    if (!registered_) return;
    if (bus_.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) {
        if (bus_.registerService(serviceName)) return;
        bus_.unregisterObject(objectPath);
    }
    // Another program has the name: no later start comes here.
    registered_ = false;
}

void DesktopInstance::handOn(const QList<QUrl>& files) {
    if (!starter_) {
        starter_ = [](const QStringList& arguments) {
            QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments);
        };
    }
    // As addresses, which the program takes back exactly as they came.
    QStringList arguments;
    qsizetype size = 0;
    for (const QUrl& file : files) {
        QString argument = QString::fromUtf8(file.toEncoded());
        if (!file.isLocalFile()) argument.truncate(handOnAddressSize);
        if (!arguments.isEmpty() && size + argument.size() > handOnArgumentsSize) {
            starter_(arguments);
            arguments.clear();
            size = 0;
        }
        size += argument.size() + 1;
        arguments << argument;
    }
    if (!arguments.isEmpty()) starter_(arguments);
}

DesktopInstance::Role DesktopInstance::claimOrHandOver(const QList<QUrl>& files) {
    if (!bus_.isConnected()) return Role::alone;
    // The object is there before the name, so a call right after the claim finds it.
    if (!bus_.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) return Role::alone;
    if (bus_.registerService(serviceName)) {
        registered_ = true;
        return Role::first;
    }
    QDBusMessage call;
    if (files.isEmpty()) {
        call = QDBusMessage::createMethodCall(serviceName, objectPath, applicationInterface,
                                              QStringLiteral("Activate"));
    } else {
        QStringList uris;
        for (const QUrl& file : files) uris << QString::fromUtf8(file.toEncoded());
        call = QDBusMessage::createMethodCall(serviceName, objectPath, applicationInterface,
                                              QStringLiteral("Open"));
        call << uris;
    }
    call << QVariantMap();
    if (bus_.call(call, QDBus::Block, handOverTimeoutMs).type() == QDBusMessage::ReplyMessage)
        return Role::handedOver;
    // The program holding the name ended meanwhile, or does not answer.
    if (bus_.registerService(serviceName)) {
        registered_ = true;
        return Role::first;
    }
    bus_.unregisterObject(objectPath);
    return Role::alone;
}

} // namespace rig::app

#include "DesktopInstance.moc"

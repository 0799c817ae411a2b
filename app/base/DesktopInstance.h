// One program per desktop session, as desktop programs do it: the first start takes a
// well-known name on the session bus and answers the org.freedesktop.Application interface
// (Activate, Open); a later start hands its files, or a plain activation, to that program and
// ends. Without a session bus every program runs on its own. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QUrl>

namespace rig::app {

class DesktopInstance : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static constexpr const char* serviceName = "org.quorvane.QuorvaneRig";
    static constexpr const char* objectPath = "/org/quorvane/QuorvaneRig";

    explicit DesktopInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~DesktopInstance() override;

    enum class Role {
        first,      // holds the name: later starts come here
        handedOver, // another program took the files: this one ends
        alone,      // no bus, or no answer: runs on its own
    };
    // Takes the name, or gives `files` (none: a plain activation) to the program holding it.
    Role claimOrHandOver(const QList<QUrl>& files);

    // The program is ending: the name goes, so that the next start becomes the program, and a
    // call that was already on its way is refused, so that its start does not hand its files
    // to a program that will not take them.
    void release();

signals:
    // A later start, after the call has been answered. `files` is empty for a plain start.
    void startedAgain(const QList<QUrl>& files);

private:
    friend class DesktopApplicationAdaptor;

    QDBusConnection bus_;
    bool registered_ = false;
    bool released_ = false;
};

} // namespace rig::app

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

#include <functional>

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
    // The ending was called off: the name is taken again, unless a start took it meanwhile
    // and is the program now (this one then runs on its own).
    void reclaim();

    // Files answered as taken that this program will not take, as it ends: a new start of the
    // program gets them (after release()), to take the name or hand them to the one that has it.
    void handOn(const QList<QUrl>& files);
    // How handOn starts the program: the executable of this one with `arguments` unless set.
    using Starter = std::function<void(const QStringList& arguments)>;
    void setStarter(Starter starter) { starter_ = std::move(starter); }

signals:
    // A later start, while its call is answered: from here on the files are this program's.
    // `files` is empty for a plain start. Receivers take note and act from the event loop.
    void startedAgain(const QList<QUrl>& files);

private:
    friend class DesktopApplicationAdaptor;

    QDBusConnection bus_;
    bool registered_ = false;
    bool released_ = false;
    Starter starter_;
};

} // namespace rig::app

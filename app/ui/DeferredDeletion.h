// Widgets a page no longer shows, deleted a little at a time while the window goes on answering:
// a large show's rows deleted in one go keep the window from answering for as long as that
// takes. What is still waiting goes with the owner.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>

namespace rig::app {

class DeferredDeletion : public QObject {
    Q_OBJECT
public:
    explicit DeferredDeletion(QObject* owner);
    ~DeferredDeletion() override;

    // Hides `widget`, takes it out of its parent's layout and deletes it in turns, a part of it
    // at a time, once control is back in the event loop.
    void add(QWidget* widget);
    bool done() const { return waiting_.empty(); }

private:
    void deleteSome();

    std::deque<QPointer<QWidget>> waiting_;
    QTimer timer_;
};

} // namespace rig::app

// Waiting in GoogleTest cases: QTRY_* report to QtTest and return silently on failure, so
// they must not be used here.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace rig::app::testing {

// Runs the event loop until `condition` holds or `timeoutMs` passed; true when it holds.
// Events are handled in short slices with the condition checked between them: a web page
// posts events all the time, and one long slice would run on long after the condition held.
template <class Condition>
bool waitFor(Condition&& condition, int timeoutMs = 30000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
    return true;
}

} // namespace rig::app::testing

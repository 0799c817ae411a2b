// What the application benchmarks measure of the event loop.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace rig::app::bench {

// Runs what is posted and pending once.
inline void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Ticks every millisecond; the longest gap between two ticks, less the interval, is the
// longest time the event loop was kept from running.
class LoopProbe {
public:
    LoopProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            worstGapMs_ = std::max(worstGapMs_, double(sinceTick_.nsecsElapsed()) / 1e6);
            sinceTick_.restart();
        });
        timer_.start();
        sinceTick_.start();
    }
    double longestBlockMs() const { return std::max(0.0, worstGapMs_ - 1.0); }

private:
    QTimer timer_;
    QElapsedTimer sinceTick_;
    double worstGapMs_ = 0;
};

} // namespace rig::app::bench

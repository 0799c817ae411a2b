// What the application benchmarks share: the main window without a web engine, and what they
// measure of the event loop.
#pragma once

#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "MainWindow.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "support/AppTesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QList>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

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

// The main window over `store` with the program's export commands and a plain label for the
// crew preview: the web engine is not what these benchmarks measure.
struct BenchWindow {
    BenchWindow(ProjectStore& store, MotorLibrary& library)
        : exports(store, dxf, printer, reveal), window(store, library, parts(exports)) {
        window.resize(1280, 800);
        window.show();
        settle();
    }

    DXFSettings dxf;
    PdfPrinter printer;
    testing::NoReveal reveal;
    ExportCommands exports;
    MainWindow window;

private:
    static MainWindow::Parts parts(ExportCommands& exports) {
        MainWindow::Parts parts;
        parts.crewPreview = {
            [](const CrewDoc&, bool, QWidget* parent) -> QWidget* { return new QLabel(parent); },
            [](QWidget*, const CrewDoc&, bool) {}};
        parts.exports = &exports;
        return parts;
    }
};

// Imports `urls` and runs the event loop until the import's result goes in, which is right after
// importing turns false; `applying` starts then, and so does the probe returned.
inline std::unique_ptr<LoopProbe> importUntilApplying(ProjectStore& store, const QList<QUrl>& urls,
                                                      QElapsedTimer& applying) {
    QEventLoop loop;
    std::unique_ptr<LoopProbe> probe;
    QObject::connect(&store.importer(), &ImportController::importingChanged, &loop, [&] {
        if (store.importer().importing()) return;
        applying.start();
        probe = std::make_unique<LoopProbe>();
        loop.quit();
    });
    store.importer().handleURLs(urls);
    loop.exec();
    return probe;
}

} // namespace rig::app::bench

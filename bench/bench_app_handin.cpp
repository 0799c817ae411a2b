// A later start hands the running program thousands of files in one Open call of the session
// bus (on a bus of the benchmark's own). Reports the time from the call until the import's
// alert is on screen (the program's own message box, closed as soon as it shows), the longest
// stretch the main thread did not get back to its event loop (a 1 ms probe timer) and the
// alert's height against the screen's.
#include "support/AppTesting.h"
#include "support/SessionBus.h"

#include "DesktopInstance.h"
#include "Program.h"
#include "ProjectStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using namespace rig;

void BM_OpenCallWithManyFiles(benchmark::State& state) {
    const int count = int(state.range(0));
    app::testing::TempAppPaths paths;
    QTemporaryDir dir;
    QStringList uris;
    for (int i = 0; i < count; ++i)
        uris << QString::fromUtf8(
            QUrl::fromLocalFile(dir.filePath(QString("gone-%1.csv").arg(i))).toEncoded());
    double longestBlockMs = 0, alertHeight = 0;
    const double screenHeight = QGuiApplication::primaryScreen()->availableGeometry().height();

    for (auto _ : state) {
        app::testing::PrivateBus bus;
        {
            app::DesktopInstance instance(QDBusConnection::connectToBus(bus.address, "program"));
            if (instance.claimOrHandOver({}) != app::DesktopInstance::Role::first) {
                state.SkipWithError("no session bus");
                break;
            }
            app::Program program;
            program.store().setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
            QObject::connect(&instance, &app::DesktopInstance::startedAgain, &program,
                             &app::Program::startedAgain);
            QDBusConnection caller = QDBusConnection::connectToBus(bus.address, "caller");

            // Ticks every millisecond: the longest gap less the interval is the longest time
            // the loop was kept from running. It also closes the alert once it shows.
            QEventLoop loop;
            QTimer probe;
            probe.setTimerType(Qt::PreciseTimer);
            probe.setInterval(1);
            QElapsedTimer sinceTick, total;
            double worstGapMs = 0;
            QObject::connect(&probe, &QTimer::timeout, [&] {
                worstGapMs = std::max(worstGapMs, double(sinceTick.nsecsElapsed()) / 1e6);
                sinceTick.restart();
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    alertHeight = std::max(alertHeight, double(box->height()));
                    state.SetIterationTime(double(total.nsecsElapsed()) / 1e9);
                    box->accept();
                    loop.quit();
                }
            });
            QDBusMessage call = QDBusMessage::createMethodCall(app::DesktopInstance::serviceName,
                                                               app::DesktopInstance::objectPath,
                                                               "org.freedesktop.Application", "Open");
            call << uris << QVariantMap();
            total.start();
            sinceTick.start();
            probe.start();
            QDBusPendingCall pending = caller.asyncCall(call, 600000);
            loop.exec();
            probe.stop();
            longestBlockMs = std::max(longestBlockMs, worstGapMs - 1.0);
            QThreadPool::globalInstance()->waitForDone();
        }
        QDBusConnection::disconnectFromBus("caller");
        QDBusConnection::disconnectFromBus("program");
    }
    state.counters["files"] = count;
    state.counters["longest_block_ms"] = longestBlockMs;
    state.counters["alert_px"] = alertHeight;
    state.counters["screen_px"] = screenHeight;
}
BENCHMARK(BM_OpenCallWithManyFiles)
    ->Arg(80)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

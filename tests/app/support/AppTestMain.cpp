// main() of the application test programs: a QApplication on the offscreen platform.
#include "Startup.h"
#include "base/Number.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

// A test that hangs (a page held in a modal loop, a wait that never ends) ends the program
// with its name, instead of holding up the run until ctest's own limit. RIG_TEST_LIMIT sets
// the seconds one test may take.
class Watchdog : public ::testing::EmptyTestEventListener {
public:
    explicit Watchdog(std::chrono::seconds limit) : watch_(new Watch(limit)) {
        // The watching thread outlives main(); so does what it waits on, or the exit would wait
        // for it.
        std::thread([w = watch_] { w->run(); }).detach();
    }

    void OnTestStart(const ::testing::TestInfo& test) override {
        const std::lock_guard lock(watch_->mutex);
        watch_->running = std::string(test.test_suite_name()) + "." + test.name();
        watch_->deadline = std::chrono::steady_clock::now() + watch_->limit;
        watch_->changed.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        const std::lock_guard lock(watch_->mutex);
        watch_->running.clear();
        watch_->changed.notify_all();
    }

private:
    struct Watch {
        explicit Watch(std::chrono::seconds l) : limit(l) {}

        const std::chrono::seconds limit;
        std::mutex mutex;
        std::condition_variable changed;
        std::string running;
        std::chrono::steady_clock::time_point deadline;

        void run() {
            std::unique_lock lock(mutex);
            for (;;) {
                if (running.empty()) {
                    changed.wait(lock);
                } else if (changed.wait_until(lock, deadline) == std::cv_status::timeout &&
                           !running.empty() && std::chrono::steady_clock::now() >= deadline) {
                    std::fprintf(stderr, "\n%s did not end within %lld s: stopped.\n", running.c_str(),
                                 static_cast<long long>(limit.count()));
                    std::fflush(stderr);
                    std::_Exit(1);
                }
            }
        }
    };
    Watch* const watch_;
};

std::chrono::seconds testLimit() {
    const char* text = std::getenv("RIG_TEST_LIMIT");
    const std::int64_t seconds = text ? rig::parseInteger(text).value_or(0) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 600);
}

} // namespace

int main(int argc, char** argv) {
    // Tests never open real windows and never touch the user's own files.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking", 0);
    rig::app::prepareApplication();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Owned by GoogleTest from here on.
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(testLimit()));
    return RUN_ALL_TESTS();
}

// Runs a QCoro task to its end inside a test, spinning the event loop meanwhile.
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <QCoroTask>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace rig::app::testing {

class TaskTimedOut : public std::runtime_error {
public:
    TaskTimedOut() : std::runtime_error("the task did not finish in time") {}
};

namespace detail {

template <class T>
struct TaskState {
    bool done = false;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    QPointer<QEventLoop> loop;
};

template <class T>
QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<TaskState<T>> state) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            state->value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    if (state->loop) state->loop->quit();
}

} // namespace detail

// The task's result, or its exception rethrown; TaskTimedOut when it takes too long (the
// task then goes on by itself and its result is dropped).
template <class T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    auto state = std::make_shared<detail::TaskState<T>>();
    QEventLoop loop;
    state->loop = &loop;
    detail::drive<T>(std::move(task), state);
    if (!state->done) {
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    state->loop = nullptr;
    if (!state->done) throw TaskTimedOut();
    if (state->error) std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>) return std::move(*state->value);
}

} // namespace rig::app::testing

// Helpers for tests that talk to the publish-server stand-in.
#pragma once

#include "support/TaskTesting.h"

#include "export/PublishClient.h"

#include <gtest/gtest.h>

#include <optional>

namespace rig::app::testing {

inline const QString standInKey = QStringLiteral("qvr_standInKeyForTests_0123456789ab");

// Runs a task that must fail with a PublishError and gives that error; a success or
// another exception fails the test.
template <class T>
std::optional<PublishError> publishFailure(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const PublishError& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
        return std::nullopt;
    }
    ADD_FAILURE() << "the request succeeded";
    return std::nullopt;
}

} // namespace rig::app::testing

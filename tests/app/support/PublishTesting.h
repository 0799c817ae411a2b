// Helpers for tests that talk to the publish-server stand-in.
#pragma once

#include "support/TaskTesting.h"

#include "PublishClient.h"
#include "PublishSettings.h"

#include "PublishStandIn.h"

#include <gtest/gtest.h>

#include <deque>

namespace rig::app::testing {

inline const QString standInKey = QStringLiteral("qvr_standInKeyForTests_0123456789ab");

// A stand-in answer: this status (none: the normal answer) and body, after this delay.
inline testserver::Fault answering(std::optional<int> status, QByteArray body = {},
                                   std::chrono::milliseconds delay = {}) {
    testserver::Fault f;
    f.status = status;
    f.body = std::move(body);
    f.delay = delay;
    return f;
}

// A keyring whose answers arrive only when the test lets them.
struct DeferredSecretStore final : SecretStore {
    std::deque<std::pair<QString, WriteDone>> writes;
    ReadDone pendingRead;

    void read(const QString&, ReadDone done) override { pendingRead = std::move(done); }
    void write(const QString&, const QString& value, WriteDone done) override {
        writes.emplace_back(value, std::move(done));
    }
    // Ends the oldest write, failing with `error` when given.
    void finishWrite(std::optional<QString> error = std::nullopt) {
        auto done = std::move(writes.front().second);
        writes.pop_front();
        done(std::move(error));
    }
};

// Points TMPDIR at a folder of the test's while it lives.
struct TmpDirOverride {
    explicit TmpDirOverride(const QString& path) { qputenv("TMPDIR", path.toUtf8()); }
    ~TmpDirOverride() { previous_ ? qputenv("TMPDIR", *previous_) : qunsetenv("TMPDIR"); }
    std::optional<QByteArray> previous_ =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
};

// Runs a task that must fail with a PublishError and gives that error (other exceptions
// fail the test on their way out).
template <class T>
std::optional<PublishError> publishFailure(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const PublishError& e) {
        return e;
    }
    ADD_FAILURE() << "the request succeeded";
    return std::nullopt;
}

} // namespace rig::app::testing

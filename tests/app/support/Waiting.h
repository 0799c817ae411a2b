// Waiting in GoogleTest cases: QTRY_* report to QtTest and return silently on failure, so
// they must not be used here.
#pragma once

#include <QTest>

#include <utility>

namespace rig::app::testing {

// Runs the event loop until `condition` holds or `timeoutMs` passed; true when it holds.
template <class Condition>
bool waitFor(Condition&& condition, int timeoutMs = 30000) {
    return QTest::qWaitFor(std::forward<Condition>(condition), timeoutMs);
}

} // namespace rig::app::testing

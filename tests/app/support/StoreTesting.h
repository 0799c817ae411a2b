// A document store on temporary settings, data folder and files, with scripted prompts and
// waits held out of reach.
#pragma once

#include "ProjectStore.h"
#include "Recovery.h"
#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace rig::app::testing {

inline std::unique_ptr<ProjectStore> makeStore(const ProjectStore::Delays& delays = heldDelays) {
    auto store = std::make_unique<ProjectStore>();
    store->setDelays(delays);
    return store;
}

// A show with one flown array: not empty, named "Arena show".
inline Project showProject(const std::string& arrayName = "Main L") {
    return fixtures::projectWith({fixtures::flownArray(arrayName, {"ALL", "Main"}, 4)});
}

inline QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

inline bool writeText(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Runs the event loop until the views have been told of the store's changes: they redraw once
// per pass of the event loop, not on each change.
inline bool changesShown(const ProjectStore& store) {
    return waitFor([&] { return !store.hasChangesToShow(); });
}

// Waits for the next autosave write to be applied.
inline ::testing::AssertionResult autosaved(ProjectStore& store) {
    QSignalSpy spy(&store.recovery(), &Recovery::autosaveFinished);
    if (spy.wait(30000)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no autosave within 30 s (a store of makeStore() waits an hour "
                                            "unless given shortDelays)";
}

} // namespace rig::app::testing

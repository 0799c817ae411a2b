// Helpers shared by the application tests.
#pragma once

#include "AppPaths.h"
#include "ProjectStore.h"
#include "Reveal.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace rig::app::testing {

// A file manager that is never opened.
struct NoReveal : Reveal {
    void reveal(const QString&) override {}
};

// The program's files under `root`: a child program given the root of a TempAppPaths finds
// the files its parent set up.
inline AppPaths appPathsUnder(const QString& root) {
    return {root + "/config/QuorvaneRig.conf", root + "/data/QuorvaneRig", root + "/data/recently-used.xbel"};
}

// The store's waits held out of reach: no timer fires between a test's action and its check. A
// test that waits for one asks for shortDelays; one that checks what comes before it fires it.
inline const ProjectStore::Delays heldDelays{std::chrono::hours(1), std::chrono::hours(1),
                                             std::chrono::hours(1)};
inline const ProjectStore::Delays shortDelays{std::chrono::milliseconds(20), std::chrono::milliseconds(20),
                                              std::chrono::milliseconds(20)};

// A store of a test's own, with held waits.
struct HeldStore : ProjectStore {
    HeldStore() { setDelays(heldDelays); }
};

// Points the settings file and the data folder at a fresh temporary folder for its lifetime.
class TempAppPaths {
public:
    TempAppPaths() {
        previous_ = appPaths();
        setAppPaths(appPathsUnder(dir_.path()));
    }
    ~TempAppPaths() { setAppPaths(previous_); }
    TempAppPaths(const TempAppPaths&) = delete;
    TempAppPaths& operator=(const TempAppPaths&) = delete;

    QString root() const { return dir_.path(); }
    QString file(const QString& relative) const { return dir_.filePath(relative); }

private:
    QTemporaryDir dir_;
    AppPaths previous_;
};

} // namespace rig::app::testing

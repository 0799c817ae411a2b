// Helpers shared by the application tests.
#pragma once

#include "AppPaths.h"
#include "Reveal.h"

#include <QString>
#include <QTemporaryDir>

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

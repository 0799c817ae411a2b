// Helpers shared by the application tests.
#pragma once

#include "AppPaths.h"

#include <QString>
#include <QTemporaryDir>

#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace rig::app::testing {

// Points the settings file and the data folder at a fresh temporary folder for its lifetime.
class TempAppPaths {
public:
    TempAppPaths() {
        previous_ = appPaths();
        setAppPaths({dir_.filePath("config/QuorvaneRig.conf"), dir_.filePath("data/QuorvaneRig"),
                     dir_.filePath("data/recently-used.xbel")});
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

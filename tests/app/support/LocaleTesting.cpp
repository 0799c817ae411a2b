#include "support/LocaleTesting.h"

#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace rig::app::testing {

// A German locale compiled from the system's sources into a temporary folder.
struct DecimalCommaLocale::Built {
    QTemporaryDir dir;
};

DecimalCommaLocale::DecimalCommaLocale() : previous_(std::setlocale(LC_ALL, nullptr)), previousQt_() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (!active_) active_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    if (!active_) {
        built_ = std::make_unique<Built>();
        const QByteArray target = built_->dir.filePath("de_DE.UTF-8").toLocal8Bit();
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + target.toStdString() + "' >/dev/null 2>&1";
        if (built_->dir.isValid() && std::system(command.c_str()) == 0) {
            ::setenv("LOCPATH", built_->dir.path().toLocal8Bit().constData(), 1);
            active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        }
    }
    active_ = active_ && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, previous_.c_str());
    if (built_) ::unsetenv("LOCPATH");
    QLocale::setDefault(previousQt_);
}

} // namespace rig::app::testing

// Puts the process into a locale with a decimal comma for the lifetime of the object, as a
// user's German or French desktop would, and restores the previous one afterwards.
#pragma once

#include <QLocale>

#include <memory>
#include <string>

namespace rig::app::testing {

class DecimalCommaLocale {
public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    // False when no such locale is installed and none could be built: the test skips.
    bool active() const { return active_; }

private:
    std::string previous_;
    QLocale previousQt_;
    struct Built;
    std::unique_ptr<Built> built_;
    bool active_ = false;
};

} // namespace rig::app::testing

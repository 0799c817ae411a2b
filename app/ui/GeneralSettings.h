// The General tab of the settings window: the appearance, the user's own name and the options
// of the rigging-points DXF. Every control writes its value at once.
#pragma once

#include "SettingsPane.h"

#include <functional>

namespace rig::app {

class BoxField;
class DXFSettings;

class GeneralSettings : public SettingsPane {
    Q_OBJECT
public:
    // `applyAppearance` runs after each change of the Appearance picker, once the new value is
    // stored; without one the program's applyAppearance() runs.
    explicit GeneralSettings(DXFSettings& dxf, std::function<void()> applyAppearance = {},
                             QWidget* parent = nullptr);

    // The stored values of the appearance segments, in order: "system", "light", "dark".
    static const QStringList appearanceValues;

    SegmentedControl* appearancePicker() const { return appearance_; }
    BoxField* nameField() const { return name_; }

    // Shows the stored values (a focused name field keeps what is being typed).
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void chooseAppearance(int index);

    std::function<void()> applyAppearance_;
    SegmentedControl* appearance_;
    BoxField* name_;
};

} // namespace rig::app

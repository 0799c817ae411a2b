// The two places that edit the rigging-points DXF options: the settings form and the
// accessory of the DXF export's save dialog.
#pragma once

#include "DXFSettings.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace rig::app {

// A footprint mode with the text each editor shows for it.
struct FootprintChoice {
    RigDXF::Options::Footprints mode;
    const char* formText;
    const char* accessoryText;
};
extern const std::array<FootprintChoice, 5> footprintChoices;

class NumField;

// The options as a settings form: every toggle, choice and committed height is saved at once.
// Follows changes made elsewhere (an open export dialog).
class DXFOptionsForm : public QWidget {
    Q_OBJECT
public:
    explicit DXFOptionsForm(DXFSettings& settings, QWidget* parent = nullptr);

    QCheckBox* dropsBox() const { return drops_; }
    QComboBox* footprintsBox() const { return footprints_; }
    QLineEdit* heightEdit() const;

private:
    void refresh();
    void edit(const std::function<void(RigDXF::Options&)>& change);

    DXFSettings& settings_;
    QCheckBox* riggingPoints_;
    QCheckBox* labels_;
    QCheckBox* delta_;
    QCheckBox* drops_;
    QComboBox* footprints_;
    NumField* height_;
};

// The options in the DXF export's save dialog, built from the options as they are now. Each
// change is saved at once; the export applies the controls once more after Save so that a
// height typed without Return still counts. An empty or unreadable height keeps the stored one.
class DXFAccessory : public QWidget {
    Q_OBJECT
public:
    explicit DXFAccessory(DXFSettings& settings, QWidget* parent = nullptr);
    ~DXFAccessory() override;

    // Copies the controls into the settings and saves them (one write).
    void apply();
    // Shows the height field and its unit only for "At height:".
    void updateHeightField();

    QCheckBox* dropsBox() const { return drops_; }
    QComboBox* footprintsBox() const { return foot_; }
    QLineEdit* heightEdit() const { return height_; }

private:
    void changed();

    DXFSettings& settings_;
    QCheckBox* labels_;
    QCheckBox* delta_;
    QCheckBox* drops_;
    QComboBox* foot_;
    QLineEdit* height_;
    QLabel* unit_;
};

} // namespace rig::app

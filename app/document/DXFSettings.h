// The rigging-points DXF options kept across runs, and the two places that edit them: the
// settings form and the accessory of the DXF export's save dialog.
#pragma once

#include "analysis/RigDXF.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QVariant;

namespace rig::app {

class DXFSettings : public QObject {
    Q_OBJECT
public:
    // The settings key holding the options as JSON text.
    static constexpr const char* key = "dxfOptions";

    // Loads the stored options; anything unreadable gives the defaults.
    explicit DXFSettings(QObject* parent = nullptr);

    // The program's options, loaded on first use.
    static DXFSettings& shared();

    const RigDXF::Options& options() const { return options_; }
    // Stores the record and writes it at once, even when it equals the stored one. A footprint
    // height that is not finite keeps the previous height: it could not be saved and would
    // put "nan" coordinates into the drawing.
    void setOptions(const RigDXF::Options& options);
    // Writes the options under `key`; nothing is written when they cannot be encoded.
    void save() const;

    // The stored form: compact JSON with the five keys.
    static QString encode(const RigDXF::Options& options);
    // The options in a stored value, or the defaults when it is absent or unreadable.
    static RigDXF::Options decode(const QVariant& stored);

signals:
    void optionsChanged();

private:
    RigDXF::Options options_;
};

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

    QCheckBox* riggingPointsBox() const { return riggingPoints_; }
    QCheckBox* labelsBox() const { return labels_; }
    QCheckBox* deltaBox() const { return delta_; }
    QCheckBox* dropsBox() const { return drops_; }
    QComboBox* footprintsBox() const { return footprints_; }
    // The height editor (its line edit takes the typing); shown only for "At height…".
    QWidget* heightField() const;
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

    QCheckBox* labelsBox() const { return labels_; }
    QCheckBox* deltaBox() const { return delta_; }
    QCheckBox* dropsBox() const { return drops_; }
    QComboBox* footprintsBox() const { return foot_; }
    QLineEdit* heightEdit() const { return height_; }
    QLabel* unitLabel() const { return unit_; }

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

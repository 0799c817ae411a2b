// The Motors tab of the settings window: the motor library's motors (rename, weight, delete),
// the row that adds one, and the K1-DELTA defaults for new projects. Every edit goes to the
// library at once, which saves its file when a value changed.
#pragma once

#include "SettingsPane.h"
#include "base/Uuid.h"

#include <QString>

#include <optional>
#include <vector>

class QAbstractButton;
class QPushButton;

namespace rig::app {

class BoxField;
class DeltaFields;
class FormSection;
class MotorLibrary;
class NumField;

class MotorsSettings : public SettingsPane {
    Q_OBJECT
public:
    // The add row starts empty.
    explicit MotorsSettings(MotorLibrary& library, QWidget* parent = nullptr);

    // One row per library motor, in the library's order.
    int rowCount() const { return int(rows_.size()); }
    BoxField* nameField(int row) const;
    NumField* weightField(int row) const;
    QAbstractButton* deleteButton(int row) const;

    BoxField* newNameField() const { return newName_; }
    NumField* newWeightField() const { return newWeight_; }
    QPushButton* addButton() const { return add_; }

private:
    // A row edits the n-th motor carrying its id (ids repeat only in a hand-edited file).
    struct Row {
        Uuid id;
        int occurrence = 0;
        QWidget* frame = nullptr;
        BoxField* name = nullptr;
        NumField* weight = nullptr;
        QAbstractButton* remove = nullptr;
    };

    // Rebuilds the rows when the library's id sequence changed, else refreshes them in place
    // so that a field being typed in keeps its focus and its place.
    void syncRows();
    Row makeRow(const Uuid& id, int occurrence, int index);
    void removeMotor(const Uuid& id);
    void updateAddButton();
    void addMotor();

    MotorLibrary& library_;
    FormSection* motors_;
    std::vector<Row> rows_;
    QString name_;
    std::optional<double> weight_;
    BoxField* newName_;
    NumField* newWeight_;
    QPushButton* add_;
    int trailingWidth_ = 0;
    DeltaFields* delta_;
};

} // namespace rig::app

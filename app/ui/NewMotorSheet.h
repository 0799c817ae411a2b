// The sheet that defines a chain motor the library does not have yet, opened from a pickup
// point's motor menu. "Add" records the motor in the library and hands the library's motor
// to the page, which sets it on that point.
#pragma once

#include "model/Extras.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;

namespace rig::app {

class MotorLibrary;

// The pickup point a sheet is open for; its identity is the role.
struct RoleRef {
    std::string role;

    const std::string& id() const { return role; }
    friend bool operator==(const RoleRef&, const RoleRef&) = default;
};

// The weight as typed: blanks trimmed, "," read as "."; only a finite number is a weight.
std::optional<double> parseMotorWeight(const QString& text);
// A name that is not blank and a weight (zero and negative weights are weights).
bool canAddMotor(const QString& name, std::optional<double> weight);

class NewMotorSheet : public QDialog {
    Q_OBJECT
public:
    NewMotorSheet(MotorLibrary& library, std::function<void(const Motor&)> onSave, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return name_; }
    QLineEdit* weightField() const { return weight_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* cancelButton() const { return cancel_; }

    std::optional<double> weight() const;
    bool canAdd() const;
    // "Add": the library first, then the point, then the sheet closes.
    void add();

private:
    void updateAddButton();

    MotorLibrary& library_;
    std::function<void(const Motor&)> onSave_;
    QLineEdit* name_;
    QLineEdit* weight_;
    QPushButton* add_;
    QPushButton* cancel_;
};

} // namespace rig::app

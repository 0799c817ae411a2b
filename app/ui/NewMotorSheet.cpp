#include "NewMotorSheet.h"

#include "Fields.h"
#include "MotorLibrary.h"
#include "QtText.h"
#include "ToneLabel.h"
#include "base/Text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace rig::app {

std::optional<double> parseMotorWeight(const QString& text) {
    return parseTypedNumber(text);
}

bool canAddMotor(const QString& name, std::optional<double> weight) {
    return !trimWhite(toStd(name)).empty() && weight.has_value();
}

NewMotorSheet::NewMotorSheet(MotorLibrary& library, std::function<void(const Motor&)> onSave, QWidget* parent)
    : QDialog(parent), library_(library), onSave_(std::move(onSave)) {
    setWindowTitle(QStringLiteral("New Motor"));
    setFixedWidth(380);

    name_ = new QLineEdit;
    name_->setPlaceholderText(QStringLiteral("e.g. CM Lodestar 1t"));
    weight_ = new QLineEdit;
    auto* note =
        new style::ToneLabel(QStringLiteral("Remembered for future projects."), style::Tone::secondary);
    note->setFont(style::captionFont());

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), name_);
    form->addRow(QStringLiteral("Weight (kg)"), weight_);
    form->addRow(note);

    auto* buttons = new QDialogButtonBox;
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    add_ = buttons->addButton(QStringLiteral("Add"), QDialogButtonBox::AcceptRole);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(add_, &QPushButton::clicked, this, &NewMotorSheet::add);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Only once the button is inside the dialog does the dialog know its default button.
    add_->setDefault(true);

    connect(name_, &QLineEdit::textChanged, this, &NewMotorSheet::updateAddButton);
    connect(weight_, &QLineEdit::textChanged, this, &NewMotorSheet::updateAddButton);
    updateAddButton();
}

std::optional<double> NewMotorSheet::weight() const {
    return parseMotorWeight(weight_->text());
}

bool NewMotorSheet::canAdd() const {
    return canAddMotor(name_->text(), weight());
}

void NewMotorSheet::updateAddButton() {
    add_->setEnabled(canAdd());
}

void NewMotorSheet::add() {
    // Callers other than the button get the same rule.
    if (!canAdd()) return;
    const Motor motor = library_.upsert(name_->text(), weight().value_or(0));
    if (onSave_) onSave_(motor);
    accept();
}

} // namespace rig::app

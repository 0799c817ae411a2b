#include "MotorsSettings.h"

#include "DeltaFields.h"
#include "Fields.h"
#include "Icons.h"
#include "MotorLibrary.h"
#include "NewMotorSheet.h"
#include "PageStyle.h"
#include "QtText.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <utility>

namespace rig::app {

namespace {

using RowKey = std::pair<Uuid, int>;

// The `occurrence`-th motor (counting from 0) carrying `id`, or null.
template <class Motors>
auto* findMotor(Motors& motors, const Uuid& id, int occurrence) {
    for (auto& motor : motors) {
        if (motor.id == id && occurrence-- == 0) return &motor;
    }
    return static_cast<decltype(&motors.front())>(nullptr);
}

std::vector<RowKey> rowKeys(const std::vector<Motor>& motors) {
    std::vector<RowKey> keys;
    std::map<Uuid, int> seen;
    for (const Motor& m : motors) keys.emplace_back(m.id, seen[m.id]++);
    return keys;
}

QWidget* hbox(std::initializer_list<std::pair<QWidget*, int>> items) {
    auto* holder = new QWidget;
    auto* line = new QHBoxLayout(holder);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    for (auto [widget, stretch] : items) line->addWidget(widget, stretch, Qt::AlignVCenter);
    return holder;
}

} // namespace

MotorsSettings::MotorsSettings(MotorLibrary& library, QWidget* parent)
    : SettingsPane(parent), library_(library) {
    motors_ = addSection(QStringLiteral("Motors"), QStringLiteral("Changing a weight here does not change "
                                                                  "projects that already use the motor – "
                                                                  "pick it again there."));

    newName_ = new BoxField({[this] { return name_; },
                             [this](const QString& name) {
                                 name_ = name;
                                 updateAddButton();
                             }},
                            QStringLiteral("New motor, e.g. CM Lodestar 1t"));
    newWeight_ = new NumField({[this] { return weight_; },
                               [this](std::optional<double> weight) {
                                   weight_ = weight;
                                   updateAddButton();
                               }},
                              QStringLiteral("0"), QStringLiteral("kg"), 70, Decimals{0, 2});
    add_ = new QPushButton(QStringLiteral("Add"));
    padButton(add_);
    // The delete buttons sit in a column as wide as Add, so the weight fields line up.
    trailingWidth_ = add_->minimumWidth();
    motors_->addRow(hbox({{newName_, 1}, {newWeight_, 0}, {add_, 0}}));
    connect(add_, &QPushButton::clicked, this, &MotorsSettings::addMotor);
    connect(newName_, &QLineEdit::returnPressed, this, &MotorsSettings::addMotor);
    connect(newWeight_->lineEdit(), &QLineEdit::returnPressed, this, &MotorsSettings::addMotor);
    // A weight by the New Motor sheet's rule: the text as it stands, read whole. The field keeps
    // the last number it could read ("1e99" on the way to "1e999"), which is no weight to add.
    connect(newWeight_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        weight_ = parseMotorWeight(text);
        updateAddButton();
    });

    delta_ = new DeltaFields({[this] { return library_.delta(); },
                              [this](DeltaSpec delta) { library_.setDelta(std::move(delta)); }});
    addSection(QStringLiteral("K1-DELTA defaults for new projects"))->addRow(delta_);
    delta_->refreshOn(&library_, &MotorLibrary::deltaChanged);

    connect(&library_, &MotorLibrary::motorsChanged, this, &MotorsSettings::syncRows);
    syncRows();
    updateAddButton();
}

BoxField* MotorsSettings::nameField(int row) const {
    return row >= 0 && row < rowCount() ? rows_[std::size_t(row)].name : nullptr;
}

NumField* MotorsSettings::weightField(int row) const {
    return row >= 0 && row < rowCount() ? rows_[std::size_t(row)].weight : nullptr;
}

QAbstractButton* MotorsSettings::deleteButton(int row) const {
    return row >= 0 && row < rowCount() ? rows_[std::size_t(row)].remove : nullptr;
}

MotorsSettings::Row MotorsSettings::makeRow(const Uuid& id, int occurrence, int index) {
    Row row{id, occurrence};
    const auto edit = [this, id, occurrence](auto change) {
        std::vector<Motor> motors = library_.motors();
        if (Motor* motor = findMotor(motors, id, occurrence)) {
            change(*motor);
            library_.setMotors(std::move(motors));
        }
    };
    row.name = new BoxField({[this, id, occurrence] {
                                 const Motor* m = findMotor(library_.motors(), id, occurrence);
                                 return m ? toQ(m->name) : QString();
                             },
                             [edit](const QString& name) { edit([&](Motor& m) { m.name = toStd(name); }); }},
                            QStringLiteral("Motor name"));
    row.weight =
        new NumField(optionalBinding({[this, id, occurrence] {
                                          const Motor* m = findMotor(library_.motors(), id, occurrence);
                                          return m ? m->weight : 0.0;
                                      },
                                      [edit](double weight) { edit([&](Motor& m) { m.weight = weight; }); }}),
                     QStringLiteral("kg"), QStringLiteral("kg"), 70, Decimals{0, 2});
    auto* remove = new QToolButton;
    remove->setAutoRaise(true);
    remove->setIcon(tintedIcon(QStringLiteral("minus.circle"),
                               [](const QPalette& p) { return style::color(style::Tone::red, p); }));
    remove->setIconSize({18, 18});
    remove->setToolTip(QStringLiteral("Delete motor"));
    remove->setAccessibleName(QStringLiteral("Delete motor"));
    connect(remove, &QToolButton::clicked, this, [this, id] { removeMotor(id); });
    row.remove = remove;
    auto* slot = new QWidget;
    slot->setFixedWidth(trailingWidth_);
    auto* slotLine = new QHBoxLayout(slot);
    slotLine->setContentsMargins(0, 0, 0, 0);
    slotLine->addWidget(remove, 0, Qt::AlignCenter);
    row.frame = motors_->insertRow(index, hbox({{row.name, 1}, {row.weight, 0}, {slot, 0}}));
    return row;
}

void MotorsSettings::syncRows() {
    const std::vector<RowKey> keys = rowKeys(library_.motors());
    std::vector<RowKey> current;
    for (const Row& row : rows_) current.emplace_back(row.id, row.occurrence);
    if (keys != current) {
        // Rows whose motor is still there keep their widgets (and a field its focus).
        std::map<RowKey, Row> kept;
        for (const Row& row : rows_) kept.emplace(RowKey{row.id, row.occurrence}, row);
        QVBoxLayout* layout = motors_->card()->rows();
        for (const Row& row : rows_) layout->removeWidget(row.frame);
        std::vector<Row> rows;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (auto found = kept.find(keys[i]); found != kept.end()) {
                layout->insertWidget(int(i), found->second.frame);
                rows.push_back(found->second);
                kept.erase(found);
            } else {
                rows.push_back(makeRow(keys[i].first, keys[i].second, int(i)));
            }
        }
        for (auto& [key, row] : kept) {
            // Possibly deleted from inside its own button's click.
            row.frame->hide();
            row.frame->deleteLater();
        }
        rows_ = std::move(rows);
    }
    for (const Row& row : rows_) {
        row.name->refresh();
        row.weight->refresh();
    }
}

void MotorsSettings::removeMotor(const Uuid& id) {
    std::vector<Motor> motors = library_.motors();
    std::erase_if(motors, [&](const Motor& m) { return m.id == id; });
    library_.setMotors(std::move(motors));
}

void MotorsSettings::updateAddButton() {
    add_->setEnabled(canAddMotor(name_, weight_));
}

void MotorsSettings::addMotor() {
    if (!canAddMotor(name_, weight_)) return;
    library_.upsert(name_, weight_.value_or(0.0));
    name_.clear();
    weight_.reset();
    // Cleared even while a field has the focus (Return pressed in it).
    {
        const QSignalBlocker blockName(newName_);
        newName_->clear();
    }
    {
        const QSignalBlocker blockWeight(newWeight_->lineEdit());
        newWeight_->lineEdit()->clear();
    }
    // The next motor is typed into the add row. Moved before Add is disabled: a disabled
    // button that holds the focus passes it on to the next field, the plate name below.
    if (isVisible()) newName_->setFocus(Qt::OtherFocusReason);
    updateAddButton();
}

} // namespace rig::app

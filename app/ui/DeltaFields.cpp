#include "DeltaFields.h"

#include "FormLayout.h"
#include "QtText.h"
#include "ToneLabel.h"
#include "model/Project.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <utility>

namespace rig::app {

DeltaFields::DeltaFields(Binding<DeltaSpec> delta, Layout layout, QWidget* parent)
    : QWidget(parent), delta_(std::move(delta)) {
    name_ = new BoxField({[this] { return toQ(delta_.get().name); },
                          [this](const QString& name) {
                              DeltaSpec changed = delta_.get();
                              changed.name = toStd(name);
                              delta_.set(std::move(changed));
                          }},
                         QStringLiteral("K1-DELTA"), 140, this);
    spacing_ = new NumField({[this] { return delta_.get().spacing; },
                             [this](std::optional<double> spacing) {
                                 DeltaSpec changed = delta_.get();
                                 changed.spacing = spacing;
                                 delta_.set(std::move(changed));
                             }},
                            QStringLiteral("0.80"), QStringLiteral("m"), 80, Decimals{0, 3}, this);
    // The product's weight, whatever the settings store: the rigging totals use the same constant.
    weight_ = new style::ToneLabel(toQ(fmt(delta_.get().weightValue())) + QStringLiteral(" kg"),
                                   style::Tone::secondary, this);

    const QString help = QStringLiteral(
        "Fixed: L-Acoustics K1-DELTA product information (9.5 kg / 21 lbs). Used in the rigging totals.");
    weight_->setToolTip(help);

    if (layout == Layout::formRows) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        auto* rows = new form::RowGroup;
        auto addRow = [&](const QString& label, QWidget* value) {
            auto* row = new form::FormRow(label);
            row->addValue(value);
            rows->addRow(row);
            return row;
        };
        addRow(QStringLiteral("Delta plate"), name_);
        addRow(QStringLiteral("Motor spacing"), spacing_);
        addRow(QStringLiteral("Plate weight"), weight_)->setToolTip(help);
        column->addWidget(rows);
        return;
    }

    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(QStringLiteral("Delta plate"), name_);
    form->addRow(QStringLiteral("Motor spacing"), spacing_);
    auto* weightTitle = new QLabel(QStringLiteral("Plate weight"), this);
    form->addRow(weightTitle, weight_);
    weightTitle->setToolTip(help);
}

void DeltaFields::refresh() {
    name_->refresh();
    spacing_->refresh();
}

} // namespace rig::app

#include "DXFOptionsForm.h"

#include "Fields.h"
#include "QtText.h"
#include "base/Number.h"
#include "model/Project.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace rig::app {

using Footprints = RigDXF::Options::Footprints;

const std::array<FootprintChoice, 5> footprintChoices = {{
    {Footprints::off, "Off", "Off"},
    {Footprints::hook, "At hook height", "At hook height"},
    {Footprints::rigging, "At rigging height", "At rigging height"},
    {Footprints::floor, "On floor (0 m)", "On floor (0 m)"},
    {Footprints::height, "At height…", "At height:"},
}};

namespace {

int choiceIndex(Footprints mode) {
    for (std::size_t i = 0; i < footprintChoices.size(); ++i) {
        if (footprintChoices[i].mode == mode) return int(i);
    }
    return 0;
}

// The mode of a pop-up index; no selection reads as the first entry.
Footprints choiceMode(int index) {
    if (index < 0 || index >= int(footprintChoices.size())) index = 0;
    return footprintChoices[std::size_t(index)].mode;
}

} // namespace

// ---- DXFOptionsForm ---------------------------------------------------------------------------

DXFOptionsForm::DXFOptionsForm(DXFSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), riggingPoints_(new QCheckBox("Rigging points", this)),
      labels_(new QCheckBox("Labels (name, point, load)", this)),
      delta_(new QCheckBox("K1-DELTA points (two motors and the plate)", this)),
      drops_(new QCheckBox("Drops (chain from rigging height to hook, real length)", this)),
      footprints_(new QComboBox(this)),
      height_(new NumField(
          optionalBinding({[this] { return settings_.options().footprintHeight; },
                           [this](double h) { edit([h](RigDXF::Options& o) { o.footprintHeight = h; }); }}),
          "m", "m", 70, Decimals{0, 2}, this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Always part of the drawing; shown so the list reads complete.
    riggingPoints_->setChecked(true);
    riggingPoints_->setEnabled(false);
    column->addWidget(riggingPoints_);
    column->addWidget(labels_);
    column->addWidget(delta_);
    column->addWidget(drops_);

    for (const FootprintChoice& choice : footprintChoices)
        footprints_->addItem(QString::fromUtf8(choice.formText));
    footprints_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Speaker footprints", this));
    row->addWidget(footprints_);
    row->addWidget(height_);
    row->addStretch(1);
    column->addLayout(row);

    connect(labels_, &QCheckBox::clicked, this, [this](bool on) { edit([on](auto& o) { o.labels = on; }); });
    connect(delta_, &QCheckBox::clicked, this, [this](bool on) { edit([on](auto& o) { o.delta = on; }); });
    connect(drops_, &QCheckBox::clicked, this, [this](bool on) { edit([on](auto& o) { o.drops = on; }); });
    connect(footprints_, &QComboBox::activated, this,
            [this](int index) { edit([index](auto& o) { o.footprints = choiceMode(index); }); });
    connect(&settings_, &DXFSettings::optionsChanged, this, &DXFOptionsForm::refresh);
    refresh();
}

QLineEdit* DXFOptionsForm::heightEdit() const {
    return height_->lineEdit();
}

void DXFOptionsForm::edit(const std::function<void(RigDXF::Options&)>& change) {
    RigDXF::Options options = settings_.options();
    change(options);
    settings_.setOptions(options);
}

void DXFOptionsForm::refresh() {
    const RigDXF::Options& o = settings_.options();
    for (auto [box, on] :
         {std::pair{labels_, o.labels}, std::pair{delta_, o.delta}, std::pair{drops_, o.drops}}) {
        const QSignalBlocker block(box);
        box->setChecked(on);
    }
    {
        const QSignalBlocker block(footprints_);
        footprints_->setCurrentIndex(choiceIndex(o.footprints));
    }
    height_->setVisible(o.footprints == Footprints::height);
    height_->refresh();
}

// ---- DXFAccessory -----------------------------------------------------------------------------

DXFAccessory::DXFAccessory(DXFSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), labels_(new QCheckBox("Labels (name, point, load)", this)),
      delta_(new QCheckBox("K1-DELTA points (two motors and the plate)", this)),
      drops_(new QCheckBox("Drops (chain from rigging height to hook, real length)", this)),
      foot_(new QComboBox(this)), height_(new QLineEdit(this)), unit_(new QLabel("m", this)) {
    auto* riggingPoints = new QCheckBox("Rigging points", this);
    riggingPoints->setChecked(true);
    riggingPoints->setEnabled(false);

    const RigDXF::Options& o = settings_.options();
    labels_->setChecked(o.labels);
    delta_->setChecked(o.delta);
    drops_->setChecked(o.drops);
    for (const FootprintChoice& choice : footprintChoices)
        foot_->addItem(QString::fromUtf8(choice.accessoryText));
    foot_->setCurrentIndex(choiceIndex(o.footprints));
    height_->setText(toQ(fmt(o.footprintHeight)));
    height_->setPlaceholderText("m");
    height_->setFixedWidth(60);

    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(new QLabel("Speaker footprints", this));
    row->addWidget(foot_);
    row->addWidget(height_);
    row->addWidget(unit_);
    row->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(6);
    column->setContentsMargins(16, 12, 16, 12);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(riggingPoints);
    column->addWidget(labels_);
    column->addWidget(delta_);
    column->addWidget(drops_);
    column->addLayout(row);

    for (QCheckBox* box : {labels_, delta_, drops_})
        connect(box, &QCheckBox::clicked, this, &DXFAccessory::changed);
    connect(foot_, &QComboBox::activated, this, &DXFAccessory::changed);
    connect(height_, &QLineEdit::editingFinished, this, &DXFAccessory::changed);
    updateHeightField();
    adjustSize();
}

DXFAccessory::~DXFAccessory() {
    // A focused height field reports editingFinished while the widgets are torn down, when
    // this object is no longer a DXFAccessory.
    disconnect(height_, nullptr, this, nullptr);
}

void DXFAccessory::changed() {
    apply();
    updateHeightField();
}

void DXFAccessory::apply() {
    RigDXF::Options o = settings_.options();
    o.labels = labels_->isChecked();
    o.delta = delta_->isChecked();
    o.drops = drops_->isChecked();
    o.footprints = choiceMode(foot_->currentIndex());
    // The whole text as one number, read as C reads it; anything else keeps the stored height.
    const QString text = QString(height_->text()).replace(',', '.');
    if (const auto height = parseDecimal(toStd(text)); height && std::isfinite(*height)) {
        o.footprintHeight = *height;
    }
    settings_.setOptions(o);
}

void DXFAccessory::updateHeightField() {
    const bool shown = choiceMode(foot_->currentIndex()) == Footprints::height;
    height_->setVisible(shown);
    unit_->setVisible(shown);
}

} // namespace rig::app

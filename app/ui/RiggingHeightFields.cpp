#include "RiggingHeightFields.h"

#include "Fields.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "Symbols.h"

#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace rig::app {

namespace {

using style::Tone;

const QString allPointsLabel = QStringLiteral("All points");
const QString perGroupLabel = QStringLiteral("Per group");
const QString groupSeparator = QStringLiteral(" \u203A ");
constexpr int fieldWidth = 100;
constexpr Decimals heightDecimals{0, 2};

// A group label as shown: each group between the separators isolated on its own.
QString shownGroupLabel(const std::string& label) {
    QStringList groups;
    for (const QString& group : toQ(label).split(groupSeparator)) groups << shownName(group);
    return groups.join(groupSeparator);
}

} // namespace

std::vector<std::string> riggingGroupLabels(const Project& project) {
    std::vector<std::string> labels;
    for (const Source& source : project.report.sources) {
        bool placed = false;
        for (const Pickup& p : source.pickups) placed = placed || std::isfinite(p.position.x);
        if (!placed) continue;
        std::string label = Project::groupLabel(source);
        if (label.empty()) continue;
        bool known = false;
        for (const std::string& l : labels) known = known || l == label;
        if (!known) labels.push_back(std::move(label));
    }
    return labels;
}

QString groupHeightPrompt(const Project& project) {
    if (!project.riggingHeight) return QStringLiteral("same");
    return QStringLiteral("same (") + toQ(fmt(*project.riggingHeight)) + QStringLiteral(")");
}

std::optional<double> groupHeight(const Project& project, const std::string& label) {
    if (!project.groupRiggingHeights) return std::nullopt;
    if (const double* h = project.groupRiggingHeights->get(label)) return *h;
    return std::nullopt;
}

void setGroupHeight(Project& project, const std::string& label, std::optional<double> height) {
    TextMap<double> heights = project.groupRiggingHeights.value_or(TextMap<double>());
    if (height) {
        heights.set(label, *height);
    } else {
        heights.erase(label);
    }
    if (heights.empty()) {
        project.groupRiggingHeights.reset();
    } else {
        project.groupRiggingHeights = std::move(heights);
    }
}

std::vector<std::string> hooksAboveRigging(const Project& project) {
    std::vector<std::string> names;
    for (const Source& source : project.report.sources) {
        const std::optional<double> h = project.riggingHeightFor(source);
        if (!h) continue;
        for (const Pickup& p : source.pickups) {
            if (std::isfinite(p.position.z) && p.position.z > *h) {
                names.push_back(source.name);
                break;
            }
        }
    }
    return names;
}

QString hookWarningText(const std::vector<std::string>& names) {
    QStringList parts;
    for (const std::string& n : names) parts << shownName(n);
    return QStringLiteral("Hook above rigging height: ") + parts.join(QStringLiteral(", "));
}

RiggingHeightFields::RiggingHeightFields(ProjectStore& store, QWidget* parent)
    : form::FormRows(parent), store_(store), perGroup_(qEnvironmentVariableIsSet("RIG_TEST_PERGROUP")) {
    setObjectName(QStringLiteral("riggingHeight"));

    auto* allRow = new form::FormRow(allPointsLabel);
    allPoints_ = new NumField({[this] { return store_.project().riggingHeight; },
                               [this](std::optional<double> height) {
                                   Project p = store_.project();
                                   p.riggingHeight = height;
                                   store_.setProject(std::move(p));
                               }},
                              QStringLiteral("e.g. 18.00"), QStringLiteral("m"), fieldWidth, heightDecimals);
    allPoints_->setObjectName(QStringLiteral("allPoints"));
    allRow->addValue(allPoints_);
    addRow(allRow);

    auto* disclosureRow = new QWidget;
    auto* disclosureLayout = new QHBoxLayout(disclosureRow);
    disclosureLayout->setContentsMargins(0, 0, 0, 0);
    disclosure_ = form::disclosureButton(QStringLiteral("perGroup"));
    disclosure_->setText(perGroupLabel);
    connect(disclosure_, &QToolButton::clicked, this, [this](bool on) { setPerGroupExpanded(on); });
    disclosureLayout->addWidget(disclosure_);
    disclosureLayout->addStretch(1);
    addRow(disclosureRow);

    groups_ = new QWidget;
    groups_->setObjectName(QStringLiteral("groupRows"));
    addRow(groups_);
    // Centred column, 8 between rows, 6 above and below (on top of the row padding).
    groups_->setContentsMargins(0, 6, 0, 6);
    auto* groupsLayout = new QVBoxLayout(groups_);
    groupsLayout->setContentsMargins(18, 0, 0, 0);
    groupsLayout->setSpacing(8);

    warning_ = new QWidget;
    warning_->setObjectName(QStringLiteral("hookWarning"));
    auto* warningLayout = new QHBoxLayout(warning_);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->setSpacing(6);
    warningLayout->addWidget(
        new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), Tone::orange, style::calloutFont()),
        0, Qt::AlignTop);
    // Names the sources: a long name wraps, anywhere if it must.
    warningLabel_ = new style::WrappingLabel({}, Tone::orange);
    warningLabel_->setFont(style::calloutFont());
    warningLabel_->setSelectable(true);
    warningLayout->addWidget(warningLabel_, 1);
    addRow(warning_);

    updateDisclosure();
    connect(&store_, &ProjectStore::changesToShow, this, &RiggingHeightFields::refresh);
    refresh();
}

void RiggingHeightFields::setPerGroupExpanded(bool expanded) {
    if (perGroup_ == expanded) return;
    perGroup_ = expanded;
    updateDisclosure();
}

void RiggingHeightFields::updateDisclosure() {
    disclosure_->setChecked(perGroup_);
    disclosure_->setIcon(
        symbolIcon(perGroup_ ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right")));
    groups_->setVisible(perGroup_ && !groupRows_.empty());
    update();
}

void RiggingHeightFields::syncGroups(const std::vector<std::string>& labels) {
    auto* layout = static_cast<QVBoxLayout*>(groups_->layout());
    // A label that stays keeps its row and field (the user may be typing in it); rows of
    // labels that went are removed, new labels get new rows, all in the new order.
    std::vector<GroupRow> old = std::move(groupRows_);
    groupRows_.clear();
    for (GroupRow& row : old) layout->removeWidget(row.row);
    for (const std::string& label : labels) {
        auto kept = std::find_if(old.begin(), old.end(), [&](const GroupRow& r) { return r.label == label; });
        if (kept != old.end()) {
            groupRows_.push_back(*kept);
            old.erase(kept);
        } else {
            auto* row = new form::FormRow(shownGroupLabel(label));
            row->setObjectName(QStringLiteral("group:") + toQ(label));
            auto* field = new NumField({[this, label] { return groupHeight(store_.project(), label); },
                                        [this, label](std::optional<double> height) {
                                            Project p = store_.project();
                                            setGroupHeight(p, label, height);
                                            store_.setProject(std::move(p));
                                        }},
                                       groupHeightPrompt(store_.project()), QStringLiteral("m"), fieldWidth,
                                       heightDecimals);
            field->setObjectName(QStringLiteral("groupHeight:") + toQ(label));
            row->addValue(field);
            groupRows_.push_back({label, row, field});
        }
        layout->addWidget(groupRows_.back().row);
        groupRows_.back().row->setVisible(true); // at once, not when the layout gets to it
    }
    for (GroupRow& row : old) {
        row.row->hide();
        row.row->deleteLater();
    }
    shownLabels_ = labels;
    updateDisclosure();
}

void RiggingHeightFields::refresh() {
    const Project& project = store_.project();
    allPoints_->refresh();
    const std::vector<std::string> labels = riggingGroupLabels(project);
    if (shownLabels_ != labels) syncGroups(labels);
    const QString prompt = groupHeightPrompt(project);
    for (GroupRow& row : groupRows_) {
        if (row.field->lineEdit()->placeholderText() != prompt)
            row.field->lineEdit()->setPlaceholderText(prompt);
        row.field->refresh();
    }
    const std::vector<std::string> hooks = hooksAboveRigging(project);
    warning_->setVisible(!hooks.empty());
    if (!hooks.empty()) warningLabel_->updateText(hookWarningText(hooks));
}

NumField* RiggingHeightFields::groupField(const std::string& label) const {
    for (const GroupRow& row : groupRows_) {
        if (row.label == label) return row.field;
    }
    return nullptr;
}

QStringList RiggingHeightFields::shownGroupLabels() const {
    QStringList out;
    for (const GroupRow& row : groupRows_) out << toQ(row.label);
    return out;
}

QString RiggingHeightFields::warningText() const {
    return warning_->isHidden() ? QString() : warningLabel_->text();
}

} // namespace rig::app

// The "Rigging height" rows of the overview: the height for all points, the heights per
// group under a "Per group" disclosure, and the warning about hooks above their rigging
// height. Every edit is one assignment of the whole project to the store.
#pragma once

#include "FormLayout.h"
#include "ToneLabel.h"
#include "model/Project.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class QToolButton;

namespace rig::app {

class NumField;
class ProjectStore;
class SymbolView;

// The group labels that get a row: the distinct labels of the sources that have a pickup
// with a finite x, in order of first appearance; sources in no group (other than "ALL") get
// none.
std::vector<std::string> riggingGroupLabels(const Project& project);

// "same" without a height for all points, else "same (" + fmt(height) + ")".
QString groupHeightPrompt(const Project& project);

// The height stored under exactly this label (not one that applies through a prefix).
std::optional<double> groupHeight(const Project& project, const std::string& label);
// Sets or (with none) removes the label's height; a map left empty is stored as absent.
void setGroupHeight(Project& project, const std::string& label, std::optional<double> height);

// Names of the sources (hidden ones included, report order, once per source) with a pickup
// whose finite z lies strictly above the source's rigging height. Sources without a
// rigging height are never listed.
std::vector<std::string> hooksAboveRigging(const Project& project);
// "Hook above rigging height: " + the names joined with ", ".
QString hookWarningText(const std::vector<std::string>& names);

class RiggingHeightFields : public form::FormRows {
    Q_OBJECT
public:
    // "Per group" starts expanded when the environment has RIG_TEST_PERGROUP (any value).
    explicit RiggingHeightFields(ProjectStore& store, QWidget* parent = nullptr);

    // Re-reads the store: group rows come and go with their labels (a row whose label stays
    // keeps its field), and a field being typed in keeps its text. Called once changes of the
    // store's project are to be shown.
    void refresh();

    // As the disclosure does; changes nothing stored.
    void setPerGroupExpanded(bool expanded);

    NumField* allPointsField() const { return allPoints_; }
    // The row field of a group label, or null.
    NumField* groupField(const std::string& label) const;
    QStringList shownGroupLabels() const;
    QToolButton* disclosure() const { return disclosure_; }
    // The warning text while it is shown, else empty.
    QString warningText() const;

private:
    struct GroupRow {
        std::string label;
        QWidget* row;
        NumField* field;
    };

    void syncGroups(const std::vector<std::string>& labels);
    void updateDisclosure();

    ProjectStore& store_;
    bool perGroup_;
    NumField* allPoints_;
    QToolButton* disclosure_;
    QWidget* groups_;
    std::vector<GroupRow> groupRows_;
    std::optional<std::vector<std::string>> shownLabels_;
    QWidget* warning_;
    style::WrappingLabel* warningLabel_;
};

} // namespace rig::app

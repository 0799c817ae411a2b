// The page of one source: header, report warnings, facts, the pickup points with their
// motor and Delta settings, the enclosures and the side view. The page keeps no copy of the
// project: it reads the store on every refresh and every edit is one assignment to the store.
#pragma once

#include "NewMotorSheet.h"
#include "model/Project.h"

#include <QPointer>
#include <QScrollArea>

#include <memory>
#include <optional>
#include <string>

class QMenu;

namespace rig::app {

class MotorLibrary;
class ProjectStore;

class SourcePage : public QScrollArea {
    Q_OBJECT
public:
    // The page for `source` of the store's project; it follows the store from then on.
    SourcePage(ProjectStore& store, MotorLibrary& motors, const Source& source, QWidget* parent = nullptr);
    ~SourcePage() override;

    static constexpr int sideViewWidth = 260;
    static constexpr int sideViewHeight = 300;

    // The source as last read from the store (the one given while the store has no source
    // of that identifier).
    const Source& source() const { return source_; }
    const std::string& sourceID() const { return sourceID_; }

    // Re-reads the store and updates the page in place: rows are rebuilt only when their
    // structure (roles, enclosure indexes, columns, warnings) changed, so a button or check
    // box keeps its focus. Called once changes of the store's project are to be shown.
    void refresh();

    // One point's motor (or none); the point keeps its Delta setting.
    void setMotor(const std::string& role, std::optional<Motor> motor);
    // The same motor on every pickup of the source, one assignment per point, each point
    // keeping its Delta setting.
    void applyMotorToAllPoints(const Motor& motor);
    // One point's Delta setting; the point keeps its motor.
    void setDelta(const std::string& role, bool delta);

    // The new-motor sheet: opened for one point by its menu's "New Motor…", window-modal
    // and non-blocking. Its item is the role it was opened for; none once it closes.
    void openNewMotorSheet(const std::string& role);
    std::optional<RoleRef> newMotorItem() const;
    NewMotorSheet* newMotorSheet() const { return sheet_; }

signals:
    void newMotorItemChanged();

private:
    struct Blocks;

    QWidget* buildHeader();
    QWidget* buildEnclosureRow();
    // The parts of refresh(): each block's widgets are rebuilt only when their shape changes.
    void refreshHeader();
    void refreshFacts(const ReportInfo& info);
    void refreshPickups(const Project& project);
    void buildPickupGrid(const std::vector<std::string>& roles);
    void fillMotorMenu(QMenu* menu, const std::string& role);
    void refreshEnclosures();
    void buildEnclosureGrid();
    void refreshSideView(const Project& project);

    ProjectStore& store_;
    MotorLibrary& motors_;
    std::string sourceID_;
    Source source_;
    std::optional<std::string> newMotorFor_;
    QPointer<NewMotorSheet> sheet_;
    std::unique_ptr<Blocks> blocks_;
};

} // namespace rig::app

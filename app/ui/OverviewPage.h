// The project's front page: where the data came from, the project's name and author, the
// crew link, the rigging heights, the checks, motors for all points and the Delta plate,
// the inventory and the exports. The page keeps no copy of the project: it reads the store
// once changes are to be shown and refreshes in place (a field being typed in is never
// rebuilt or overwritten), and every edit is an assignment to the store.
#pragma once

#include "OverviewTexts.h"
#include "analysis/Issues.h"
#include "model/Project.h"

#include <QScrollArea>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace rig::app {

class BoxField;
class DeltaFields;
class ExportCommands;
class InventoryBlock;
class MotorLibrary;
class ProjectStore;
class RiggingHeightFields;

namespace form {
class FormSection;
}

class OverviewPage : public QScrollArea {
    Q_OBJECT
public:
    // The page follows the store and the library from then on; all three outlive it.
    OverviewPage(ProjectStore& store, MotorLibrary& motors, ExportCommands& exports,
                 QWidget* parent = nullptr);
    ~OverviewPage() override;

    // Re-reads the store and the library and updates the page in place. Called once the
    // store's changes are to be shown; a change of the library's motors refreshes the motor
    // menu alone.
    void refresh();
    // False while check rows are still to be built: a large show's rows are built a block at
    // a time, the first at once and the others while the window goes on answering.
    bool complete() const;

    // --- The motors section ---------------------------------------------------------------
    // The motor chosen in the "Motor" menu; none at first, and again when the library no
    // longer holds an equal motor (renamed, re-weighed or deleted).
    const std::optional<Motor>& bulkMotor() const { return bulkMotor_; }
    // As choosing in the menu does (none is "Choose…"); a motor the library lacks is refused.
    void chooseBulkMotor(const std::optional<Motor>& motor);
    // "Set on all points without a motor": one store assignment per changed point.
    void applyBulkMotor();

    // --- Checks ---------------------------------------------------------------------------
    bool notesExpanded() const { return notesExpanded_; }
    // As the disclosure does.
    void setNotesExpanded(bool expanded);

    // --- Parts, for the window, the snapshot mode and tests -------------------------------
    form::FormSection* section(const QString& objectName) const;
    BoxField* nameField() const { return name_; }
    BoxField* authorField() const { return author_; }
    RiggingHeightFields* riggingHeightFields() const { return rigging_; }
    QComboBox* motorMenu() const { return motorMenu_; }
    QPushButton* setOnAllButton() const { return setOnAll_; }
    // The check rows shown (warnings, then notes while expanded), each a group's text.
    QStringList checkTexts() const;
    std::vector<InventoryBlock*> inventoryBlocks() const;
    // "Rigging points PDF…", "Rigging points CSV…", "Rigging points DXF (3D)…", "Crew sheets PDF…".
    std::vector<QPushButton*> exportButtons() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Parts;

    // The sections, top to bottom.
    form::FormSection* addSection(QVBoxLayout* column, form::FormSection* section, const QString& name);
    void buildProjectSection(QVBoxLayout* column);
    void buildChecksSection(QVBoxLayout* column);
    void buildMotorsSection(QVBoxLayout* column);
    void buildInventorySection(QVBoxLayout* column);
    void buildExportSection(QVBoxLayout* column);

    // Drops the focus of a field that belonged to the document before.
    void followDocument();
    void refreshFiles(const Project& project);
    void refreshChecks(const Project& project);
    // The next block of check rows; false once none is left.
    bool buildChecks();
    void refreshMotors();
    void refreshInventory(const Project& project);
    void updateNotes();

    ProjectStore& store_;
    MotorLibrary& motors_;
    ExportCommands& exports_;
    std::optional<Motor> bulkMotor_;
    std::uint64_t generation_ = 0; // the document shown
    bool notesExpanded_ = false;

    BoxField* name_ = nullptr;
    BoxField* author_ = nullptr;
    RiggingHeightFields* rigging_ = nullptr;
    QComboBox* motorMenu_ = nullptr;
    QPushButton* setOnAll_ = nullptr;
    QWidget* addMotorsHint_ = nullptr;
    DeltaFields* delta_ = nullptr;
    QToolButton* notesToggle_ = nullptr;
    std::unique_ptr<Parts> parts_;
};

} // namespace rig::app

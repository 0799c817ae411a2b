// The left column of the edit view: "Overview", then the project's sources in sections of
// consecutive sources with one heading. Each source row has its summary, a mark for set
// motors, a mark for errors or warnings and an eye that hides the source from the crew; each
// heading has an eye for all its sources. Rows are updated in place once the store's changes
// are to be shown and rebuilt only when the sources or headings change, keeping the selection
// and the scroll position. A large show's rows are built a block at a time, the first at once
// and the others while the window goes on answering. From the keyboard the list moves its selection
// with the arrows, Home and End, and Tab reaches each eye; assistive tools see a list of named
// items and headings (one list per block).
#pragma once

#include "RowBlocks.h"
#include "SidebarModel.h"
#include "WindowState.h"

#include <QScrollArea>
#include <QToolButton>

#include <optional>
#include <string>
#include <vector>

class QLabel;
class QVBoxLayout;

namespace rig::app {

class DeferredDeletion;
class IconLabel;
class ProjectStore;

// The show/hide button of a row or heading.
class EyeToggle : public QToolButton {
    Q_OBJECT
public:
    explicit EyeToggle(QWidget* parent = nullptr);
    void setHiddenState(bool hidden);
    // On a selected row: drawn in the highlighted-text colour.
    void setOnHighlight(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paint();
    bool hidden_ = false;
    bool onHighlight_ = false;
    bool painting_ = false;
};

class SidebarWidget : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int minimumColumnWidth = 230;
    static constexpr int idealColumnWidth = 270;
    static constexpr int maximumColumnWidth = 360;
    // Rows and headings built in one go; the next block waits for the event loop.
    static constexpr int entriesPerBlock = 100;

    explicit SidebarWidget(ProjectStore& store, QWidget* parent = nullptr);
    ~SidebarWidget() override;

    // The selection shown; setting it emits nothing.
    std::optional<Selection> selection() const { return selection_; }
    void setSelection(std::optional<Selection> selection);

    // Re-reads the store's project (also called once its changes are to be shown).
    void refresh();

    // --- What is shown, for tests and the snapshot mode ----------------------------------
    struct SourceRowView {
        std::string sourceID;
        QString name;
        QString subtitle;
        bool hidden = false;     // struck through and faded
        bool motorsMark = false; // the gear
        IssueMark issue = IssueMark::none;
        bool selected = false;
    };
    struct HeadingView {
        QString label;
        int count = 0;
        bool allHidden = false;
    };
    std::vector<HeadingView> headings() const;
    std::vector<SourceRowView> rows() const;
    // Row widgets by position among the source rows, the overview row, and the eyes.
    QWidget* overviewRow() const;
    QWidget* sourceRow(int index) const;
    EyeToggle* sourceEye(int index) const;
    EyeToggle* headingEye(int section) const;
    // How often the rows were built anew (not updated in place).
    int rebuildCount() const { return rebuilds_; }
    // False while blocks of rows are still to be built.
    bool complete() const { return nextSection_ >= sections_.size(); }

signals:
    // The user selected an entry (click or arrow keys).
    void selectionChanged(std::optional<Selection> selection);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    class OverviewRow;
    class SourceRow;
    class SectionHeading;
    struct Structure;

    // A block of rows and headings and their eyes in order.
    struct Block {
        QWidget* widget = nullptr;
        std::vector<QWidget*> eyes;
    };
    // A new column with its first block (the overview and what follows) in place of the old.
    void rebuild(const Project& project);
    // The next rows and headings, filled from the project, in a new list widget led by `lead`.
    Block newBlock(const Project& project, QWidget* lead);
    // Puts the eyes of a block that is in the window after the eyes before it.
    void orderEyes(const Block& block);
    // The next block, at the end of the shown column; false once none is left.
    bool buildMore();
    void fillRow(const Project& project, std::size_t row, std::size_t source);
    void fillHeading(const Project& project, std::size_t section);
    // Back to where the user left the list, once the rows up to there exist.
    void restoreScroll();
    void userSelects(Selection selection);
    void updateHighlight();
    // The selected row, told to assistive tools as the focused item.
    QWidget* currentRow() const;
    void announceCurrentRow();
    void toggleSource(const std::string& sourceID);
    void toggleSection(int section);

    ProjectStore& store_;
    std::optional<Selection> selection_ = Selection::overview();
    QWidget* content_ = nullptr;
    QVBoxLayout* column_ = nullptr;
    OverviewRow* overview_ = nullptr;
    std::vector<SectionHeading*> headings_;
    std::vector<SourceRow*> rows_;
    std::vector<std::vector<std::string>> structure_; // per section: label, then source ids
    // Of the last refresh: the blocks still to build read them.
    std::vector<SidebarSection> sections_;
    SourceIssueLevels issues_;
    // Where the next block starts: a section, and a source in it (0: its heading first).
    std::size_t nextSection_ = 0;
    std::size_t nextMember_ = 0;
    QWidget* lastEye_ = nullptr;
    BlockBuilder builder_;
    // The blocks of rows shown, and those of earlier shows still to delete.
    std::vector<QWidget*> blocks_;
    DeferredDeletion* oldBlocks_;
    std::optional<int> scrollTarget_;
    int rebuilds_ = 0;
};

} // namespace rig::app

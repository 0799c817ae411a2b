#include "OverviewPage.h"

#include "ToneLabel.h"

#include "DateText.h"
#include "DeferredDeletion.h"
#include "DeltaFields.h"
#include "ExportCommands.h"
#include "Fields.h"
#include "FlowLayout.h"
#include "FormLayout.h"
#include "Icons.h"
#include "ImportController.h"
#include "InventoryBlock.h"
#include "MotorLibrary.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "RiggingHeightFields.h"
#include "RowBlocks.h"
#include "ShareRow.h"
#include "Symbols.h"
#include "WheelGuard.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace rig::app {

namespace {

using form::FormRow;
using form::FormRows;
using form::FormSection;
using style::Tone;
using style::ToneLabel;
using style::WrappingLabel;

constexpr int textBoxWidth = 320;
// Check rows built in one go; the next block waits for the event loop.
constexpr std::size_t checkRowsPerBlock = 50;

// The value side of a file row: a right-aligned column, 1 point between its lines.
class FileLineView : public QWidget {
public:
    FileLineView() {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        first_ = new WrappingLabel;
        first_->setObjectName(QStringLiteral("file"));
        first_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        first_->setSelectable(true);
        second_ = new WrappingLabel({}, Tone::secondary);
        second_->setFont(style::captionFont());
        second_->setObjectName(QStringLiteral("detail"));
        second_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Full width, text on the right: wrapping then gets the whole column.
        column->addWidget(first_);
        column->addWidget(second_);
    }

    void show(const overview::FileLine& line) {
        first_->updateText(line.first);
        first_->setTone(line.secondary ? Tone::secondary : Tone::primary);
        second_->setVisible(line.second.has_value());
        if (line.second) second_->updateText(*line.second);
    }

private:
    WrappingLabel* first_;
    WrappingLabel* second_;
};

// One check group: its symbol, then the source names (bold caption) and the text.
QWidget* checkRow(const IssueGroup& group, bool dimmed) {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("check"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const Tone tone = overview::levelTone(group.level);
    layout->addWidget(new SymbolView(overview::levelSymbol(group.level), tone, style::bodyFont()), 0,
                      Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    if (!group.sources.empty()) {
        QStringList names;
        for (const std::string& n : group.sources) names << shownName(n);
        auto* sources =
            new WrappingLabel(names.join(QStringLiteral(", ")), dimmed ? Tone::secondary : Tone::primary);
        sources->setFont(style::bold(style::captionFont()));
        sources->setObjectName(QStringLiteral("sources"));
        column->addWidget(sources);
    }
    auto* text = new WrappingLabel(shownName(group.text), dimmed ? Tone::secondary : Tone::primary);
    text->setObjectName(QStringLiteral("text"));
    text->setSelectable(true);
    column->addWidget(text);
    layout->addLayout(column, 1);
    return row;
}

void removeRow(QWidget* row) {
    if (auto* parentLayout = row->parentWidget() ? row->parentWidget()->layout() : nullptr)
        parentLayout->removeWidget(row);
    row->hide();
    // Deleted once control is back in the event loop (a menu or selection of it may be active).
    row->setParent(nullptr);
    row->deleteLater();
}

} // namespace

struct OverviewPage::Parts {
    Parts(const ProjectStore& store, std::function<bool()> buildChecks)
        : checkBuilder(store, std::move(buildChecks)) {}

    std::vector<FormSection*> sections;
    FileLineView* report = nullptr;
    FileLineView* inventory = nullptr;
    FileLineView* dxf = nullptr;

    FormSection* checks = nullptr;
    QWidget* noWarnings = nullptr;
    QWidget* notesRow = nullptr;
    // The check rows in blocks of rows, the warnings' after the green label and the notes'
    // after their title; the rows of the groups still to build follow a block at a time.
    std::vector<QWidget*> warningBlocks;
    std::vector<QWidget*> noteBlocks;
    std::vector<QString> warningTexts;
    std::vector<QString> noteTexts;
    std::optional<std::vector<IssueGroup>> shownChecks;
    overview::CheckSplit checkRows;
    BlockBuilder checkBuilder;
    DeferredDeletion* oldRows = nullptr;

    FormSection* motors = nullptr;
    std::vector<Motor> shownMotors;
    bool motorsShown = false;

    FormSection* inventory_ = nullptr;
    QHBoxLayout* blocksLayout = nullptr;
    std::vector<InventoryBlock*> blocks;
    std::optional<std::vector<overview::InventoryBlockData>> shownBlocks;

    std::vector<QPushButton*> exports;
};

OverviewPage::OverviewPage(ProjectStore& store, MotorLibrary& motors, ExportCommands& exports,
                           QWidget* parent)
    : QScrollArea(parent), store_(store), motors_(motors), exports_(exports),
      parts_(std::make_unique<Parts>(store, [this] { return buildChecks(); })) {
    setObjectName(QStringLiteral("overviewPage"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // Rows and texts wrap to the narrowest window, inside a word where they must; the bar is for
    // what cannot (a field of its own width).
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollPastControls(this);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("overviewContent"));
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 20, 20, 24);
    column->setSpacing(22);

    buildProjectSection(column);
    // Crew link.
    addSection(column, new FormSection(QStringLiteral("Crew link"), new ShareRow(store_)),
               QStringLiteral("crewLink"));

    // Rigging height.
    rigging_ = new RiggingHeightFields(store_);
    addSection(column, new FormSection(QStringLiteral("Rigging height"), rigging_),
               QStringLiteral("riggingHeightSection"))
        ->setFooter(overview::riggingFooter);

    buildChecksSection(column);
    buildMotorsSection(column);
    buildInventorySection(column);
    buildExportSection(column);
    column->addStretch(1);
    setWidget(content);

    parts_->oldRows = new DeferredDeletion(this);
    generation_ = store_.generation();
    // Leaving a document cannot wait for the redraw: a key pressed meanwhile would go into the
    // next one.
    connect(&store_, &ProjectStore::projectChanged, this, &OverviewPage::followDocument);
    connect(&store_, &ProjectStore::changesToShow, this, &OverviewPage::refresh);
    // The library's motors show only in the motor menu.
    connect(&motors_, &MotorLibrary::motorsChanged, this, &OverviewPage::refreshMotors);
    refresh();
}

FormSection* OverviewPage::addSection(QVBoxLayout* column, FormSection* section, const QString& name) {
    section->setObjectName(name);
    column->addWidget(section);
    parts_->sections.push_back(section);
    return section;
}

// Name, author, the imported files and the import button.
void OverviewPage::buildProjectSection(QVBoxLayout* column) {
    Parts& p = *parts_;
    auto* section = addSection(column, new FormSection(QStringLiteral("Project")), QStringLiteral("project"));
    auto* nameRow = new FormRow(QStringLiteral("Project name"));
    name_ = new BoxField({[this] { return toQ(store_.project().name); },
                          [this](const QString& text) {
                              Project project = store_.project();
                              project.name = toStd(text);
                              store_.setProject(std::move(project));
                          }},
                         overview::namePrompt, textBoxWidth);
    name_->setObjectName(QStringLiteral("projectName"));
    nameRow->addValue(name_);
    section->rows()->addRow(nameRow);

    auto* authorRow = new FormRow(QStringLiteral("Author"));
    author_ = new BoxField({[this] { return toQ(store_.project().author.value_or(std::string())); },
                            [this](const QString& text) {
                                Project project = store_.project();
                                project.author = overview::authorFromText(text);
                                store_.setProject(std::move(project));
                            }},
                           defaultAuthorName(), textBoxWidth);
    author_->setObjectName(QStringLiteral("author"));
    authorRow->addValue(author_);
    section->rows()->addRow(authorRow);

    auto fileRow = [&](const QString& label, const QString& name) {
        auto* row = new FormRow(label);
        row->setObjectName(name);
        auto* view = new FileLineView;
        row->addValue(view, 1, Qt::AlignVCenter);
        section->rows()->addRow(row);
        return view;
    };
    p.report = fileRow(QStringLiteral("Report (PDF)"), QStringLiteral("reportFile"));
    p.inventory = fileRow(QStringLiteral("Inventory (CSV)"), QStringLiteral("inventoryFile"));
    p.dxf = fileRow(QStringLiteral("Loudspeakers (DXF)"), QStringLiteral("dxfFile"));

    auto* importRow = new QWidget;
    auto* importLayout = new QHBoxLayout(importRow);
    importLayout->setContentsMargins(0, 0, 0, 0);
    importLayout->setSpacing(10);
    QPushButton* import = form::pushButton(overview::importButton, QStringLiteral("import"));
    connect(import, &QPushButton::clicked, this, [this] { store_.importer().showImportPanel(); });
    importLayout->addWidget(import, 0, Qt::AlignVCenter);
    auto* hint = form::label(overview::importHint, Tone::secondary, style::captionFont());
    hint->setWordWrap(true);
    importLayout->addWidget(hint, 1, Qt::AlignVCenter);
    section->rows()->addRow(importRow);
}

// Checks: the rows are made in refreshChecks.
void OverviewPage::buildChecksSection(QVBoxLayout* column) {
    Parts& p = *parts_;
    p.checks = addSection(column, new FormSection(QStringLiteral("Checks")), QStringLiteral("checks"));
    p.noWarnings = new QWidget;
    p.noWarnings->setObjectName(QStringLiteral("noWarnings"));
    auto* layout = new QHBoxLayout(p.noWarnings);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new SymbolView(QStringLiteral("checkmark.circle"), Tone::green, style::bodyFont()));
    layout->addWidget(form::label(overview::noWarnings, Tone::green), 1);
    p.checks->rows()->addRow(p.noWarnings);

    p.notesRow = new QWidget;
    p.notesRow->setObjectName(QStringLiteral("notes"));
    auto* notesLayout = new QHBoxLayout(p.notesRow);
    notesLayout->setContentsMargins(0, 0, 0, 0);
    notesToggle_ = form::disclosureButton(QStringLiteral("notesDisclosure"));
    connect(notesToggle_, &QToolButton::clicked, this, [this](bool on) { setNotesExpanded(on); });
    notesLayout->addWidget(notesToggle_);
    notesLayout->addStretch(1);
    p.checks->rows()->addRow(p.notesRow);
}

// Motors and the Delta plate.
void OverviewPage::buildMotorsSection(QVBoxLayout* column) {
    Parts& p = *parts_;
    p.motors = addSection(column, new FormSection(overview::motorsHeader(store_.project().delta)),
                          QStringLiteral("motors"));
    // The menu with its label, and the button beside them or, in a narrow window, below.
    auto* row = new QWidget;
    auto* layout = new FlowLayout(row, 10, 8);
    auto* menuBox = new QWidget;
    auto* menuLine = new QHBoxLayout(menuBox);
    menuLine->setContentsMargins(0, 0, 0, 0);
    menuLine->setSpacing(10);
    menuLine->addWidget(form::label(QStringLiteral("Motor")), 0, Qt::AlignVCenter);
    motorMenu_ = new QComboBox;
    motorMenu_->setObjectName(QStringLiteral("motorMenu"));
    motorMenu_->setMaximumWidth(textBoxWidth);
    motorMenu_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(motorMenu_, &QComboBox::activated, this, [this](int index) {
        const std::vector<Motor>& shown = parts_->shownMotors;
        if (index <= 0 || index > int(shown.size())) {
            chooseBulkMotor(std::nullopt);
        } else {
            chooseBulkMotor(shown[std::size_t(index - 1)]);
        }
    });
    menuLine->addWidget(motorMenu_, 0, Qt::AlignVCenter);
    layout->addWidget(menuBox);
    setOnAll_ = form::pushButton(overview::setOnAllPoints, QStringLiteral("setOnAllPoints"));
    connect(setOnAll_, &QPushButton::clicked, this, [this] { applyBulkMotor(); });
    layout->addWidget(setOnAll_);
    p.motors->rows()->addRow(row);

    addMotorsHint_ = form::label(overview::addMotorsHint, Tone::secondary, style::captionFont());
    addMotorsHint_->setObjectName(QStringLiteral("addMotorsHint"));
    p.motors->rows()->addRow(addMotorsHint_);

    // Three rows of the section, laid out as its other rows are.
    delta_ = new DeltaFields({[this] { return store_.project().delta; },
                              [this](DeltaSpec delta) {
                                  Project project = store_.project();
                                  project.delta = std::move(delta);
                                  store_.setProject(std::move(project));
                              }},
                             DeltaFields::Layout::formRows);
    delta_->setObjectName(QStringLiteral("deltaFields"));
    p.motors->rows()->addRowGroup(delta_);
}

// Inventory: one row of blocks, made in refreshInventory.
void OverviewPage::buildInventorySection(QVBoxLayout* column) {
    Parts& p = *parts_;
    p.inventory_ =
        addSection(column, new FormSection(QStringLiteral("Inventory")), QStringLiteral("inventory"));
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("inventoryBlocks"));
    p.blocksLayout = new QHBoxLayout(row);
    p.blocksLayout->setContentsMargins(0, 0, 0, 0);
    p.blocksLayout->setSpacing(12);
    p.inventory_->rows()->addRow(row);
    // 4 points above and below the blocks instead of the row padding.
    row->setContentsMargins(0, 4, 0, 4);
}

// Exports, each with the project as it is at the press.
void OverviewPage::buildExportSection(QVBoxLayout* column) {
    Parts& p = *parts_;
    auto* section = addSection(column, new FormSection(QStringLiteral("Export")), QStringLiteral("export"));
    // Side by side where they fit, on further lines in a narrow window.
    auto* row = new QWidget;
    auto* layout = new FlowLayout(row, 8, 8);
    auto add = [&](const QString& text, const QString& name, std::function<void(const Project&)> run) {
        QPushButton* b = form::pushButton(text, name);
        connect(b, &QPushButton::clicked, this, [this, run = std::move(run)] {
            const Project project = store_.project();
            run(project);
        });
        layout->addWidget(b);
        p.exports.push_back(b);
    };
    add(QStringLiteral("Rigging points PDF\u2026"), QStringLiteral("exportRiggingPDF"),
        [this](const Project& project) { exports_.exportPDF(project, false); });
    add(QStringLiteral("Rigging points CSV\u2026"), QStringLiteral("exportCSV"),
        [this](const Project& project) { exports_.exportCSV(project); });
    add(QStringLiteral("Rigging points DXF (3D)\u2026"), QStringLiteral("exportDXF"),
        [this](const Project& project) { exports_.exportDXF(project); });
    add(QStringLiteral("Crew sheets PDF\u2026"), QStringLiteral("exportCrewPDF"),
        [this](const Project& project) { exports_.exportPDF(project, true); });
    section->rows()->addRow(row);
}

OverviewPage::~OverviewPage() = default;

void OverviewPage::followDocument() {
    if (store_.generation() == generation_) return;
    generation_ = store_.generation();
    // Another document is open: text being typed belonged to the one before and must not be
    // shown, nor written, as this one's. The field shows the new document's value as it
    // loses the focus.
    QWidget* focused = window()->focusWidget();
    if (focused && isAncestorOf(focused)) focused->clearFocus();
}

void OverviewPage::refresh() {
    const Project& project = store_.project();
    followDocument();
    name_->refresh();
    author_->refresh();
    const QString defaultAuthor = defaultAuthorName();
    if (author_->placeholderText() != defaultAuthor) author_->setPlaceholderText(defaultAuthor);
    refreshFiles(project);
    // The crew link and rigging height rows follow the store themselves.
    refreshChecks(project);
    // The check rows still to come are this project's.
    if (!complete()) parts_->checkBuilder.start();
    refreshMotors();
    refreshInventory(project);
}

void OverviewPage::refreshFiles(const Project& project) {
    Parts& p = *parts_;
    std::optional<QString> imported;
    if (project.reportImportedAt) imported = formatShortDateTime(*project.reportImportedAt);
    p.report->show(overview::fileLine(project.reportFile, overview::reportDetail(project), imported));
    p.inventory->show(
        overview::fileLine(project.inventoryFile, overview::inventoryDetail(project), std::nullopt));
    p.dxf->show(overview::fileLine(project.dxfFile, overview::dxfDetail(project), std::nullopt));
}

void OverviewPage::refreshChecks(const Project& project) {
    Parts& p = *parts_;
    std::vector<IssueGroup> groups = project.groupedIssues();
    if (p.shownChecks && *p.shownChecks == groups) return;
    p.checkRows = overview::splitChecks(groups);
    p.shownChecks = std::move(groups);
    const overview::CheckSplit& split = p.checkRows;

    for (QWidget* block : p.warningBlocks) p.oldRows->add(block);
    for (QWidget* block : p.noteBlocks) p.oldRows->add(block);
    p.warningBlocks.clear();
    p.noteBlocks.clear();
    p.warningTexts.clear();
    p.noteTexts.clear();
    p.noWarnings->setVisible(split.warnings.empty());
    p.notesRow->setVisible(!split.notes.empty());
    // The group goes with its notes; when notes come back it is shown anew, collapsed.
    if (split.notes.empty()) notesExpanded_ = false;
    notesToggle_->setText(overview::notesTitle(split.notes));
    buildChecks();
    updateNotes();
}

bool OverviewPage::complete() const {
    const Parts& p = *parts_;
    return p.warningTexts.size() == p.checkRows.warnings.size() &&
           p.noteTexts.size() == p.checkRows.notes.size();
}

bool OverviewPage::buildChecks() {
    Parts& p = *parts_;
    const bool warnings = p.warningTexts.size() < p.checkRows.warnings.size();
    const std::vector<IssueGroup>& groups = warnings ? p.checkRows.warnings : p.checkRows.notes;
    std::vector<QString>& texts = warnings ? p.warningTexts : p.noteTexts;
    if (texts.size() == groups.size()) return false;
    // Built apart from the page and shown as a whole: rows added to a shown page are shown
    // one at a time, and each lays out the whole page again.
    auto* block = new form::RowGroup;
    block->setObjectName(QStringLiteral("checkBlock"));
    const std::size_t end = std::min(groups.size(), texts.size() + checkRowsPerBlock);
    for (std::size_t i = texts.size(); i < end; ++i) {
        QWidget* row = checkRow(groups[i], !warnings);
        block->addRow(row);
        if (!warnings) row->setContentsMargins(18, form::rowVerticalPadding, 0, form::rowVerticalPadding);
        texts.push_back(toQ(groups[i].text));
    }
    std::vector<QWidget*>& blocks = warnings ? p.warningBlocks : p.noteBlocks;
    QWidget* after = !blocks.empty() ? blocks.back() : warnings ? p.noWarnings : p.notesRow;
    QVBoxLayout* layout = p.checks->rows()->rowsLayout();
    layout->insertWidget(layout->indexOf(after) + 1, block);
    blocks.push_back(block);
    const bool shown = warnings || notesExpanded_;
    if (shown && isVisible()) {
        showNewBlock(widget(), block);
    } else {
        block->setVisible(shown); // at once, not when the layout gets to it
    }
    return !complete();
}

void OverviewPage::setNotesExpanded(bool expanded) {
    notesExpanded_ = expanded;
    updateNotes();
}

void OverviewPage::changeEvent(QEvent* event) {
    QScrollArea::changeEvent(event);
    // The notes title carries its own dimmed colour.
    if (event->type() == QEvent::PaletteChange && notesToggle_) updateNotes();
}

void OverviewPage::updateNotes() {
    Parts& p = *parts_;
    notesToggle_->setChecked(notesExpanded_);
    // The whole group is in the secondary style, its title included.
    const QColor dim = style::color(Tone::secondary, palette());
    QPalette pal = notesToggle_->palette();
    pal.setColor(QPalette::ButtonText, dim);
    notesToggle_->setPalette(pal);
    notesToggle_->setIcon(
        tintedIcon(notesExpanded_ ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"),
                   [](const QPalette& palette) { return style::color(Tone::secondary, palette); }));
    for (QWidget* block : p.noteBlocks) block->setVisible(notesExpanded_);
    p.checks->rows()->update();
}

void OverviewPage::refreshMotors() {
    Parts& p = *parts_;
    const Project& project = store_.project();
    p.motors->header()->updateText(overview::motorsHeader(project.delta));
    delta_->refresh();

    const std::vector<Motor>& library = motors_.motors();
    if (bulkMotor_ && std::find(library.begin(), library.end(), *bulkMotor_) == library.end())
        bulkMotor_.reset();
    if (!p.motorsShown || p.shownMotors != library) {
        const QSignalBlocker blocker(motorMenu_);
        motorMenu_->clear();
        motorMenu_->addItem(overview::chooseMotor);
        for (const Motor& m : library) motorMenu_->addItem(overview::motorItem(m));
        p.shownMotors = library;
        p.motorsShown = true;
    }
    int index = 0;
    if (bulkMotor_) {
        for (std::size_t i = 0; i < p.shownMotors.size(); ++i) {
            if (p.shownMotors[i] == *bulkMotor_) index = int(i) + 1;
        }
    }
    if (motorMenu_->currentIndex() != index) {
        const QSignalBlocker blocker(motorMenu_);
        motorMenu_->setCurrentIndex(index);
    }
    setOnAll_->setEnabled(bulkMotor_.has_value());
    addMotorsHint_->setVisible(library.empty());
}

void OverviewPage::chooseBulkMotor(const std::optional<Motor>& motor) {
    const std::vector<Motor>& library = motors_.motors();
    if (motor && std::find(library.begin(), library.end(), *motor) == library.end()) {
        bulkMotor_.reset();
    } else {
        bulkMotor_ = motor;
    }
    refreshMotors();
}

void OverviewPage::applyBulkMotor() {
    if (!bulkMotor_) return;
    const Motor motor = *bulkMotor_;
    // Each point is its own write, read from the store as it is then; the page redraws once
    // they are all in.
    for (const overview::PointAssignment& a : overview::bulkMotorAssignments(store_.project(), motor)) {
        PointExtra extra = store_.project().extra(a.sourceID, a.role);
        if (extra.motor) continue;
        extra.motor = motor;
        store_.setPointExtra(a.sourceID, a.role, extra);
    }
}

void OverviewPage::refreshInventory(const Project& project) {
    Parts& p = *parts_;
    p.inventory_->setVisible(!project.inventory.empty());
    std::vector<overview::InventoryBlockData> blocks = overview::inventoryBlocks(project.inventory);
    if (p.shownBlocks && *p.shownBlocks == blocks) return;
    for (InventoryBlock* b : p.blocks) removeRow(b);
    p.blocks.clear();
    for (const overview::InventoryBlockData& data : blocks) {
        auto* block = new InventoryBlock(data.title, data.items);
        p.blocksLayout->addWidget(block, 1, Qt::AlignTop);
        block->setVisible(true);
        p.blocks.push_back(block);
    }
    p.shownBlocks = std::move(blocks);
}

form::FormSection* OverviewPage::section(const QString& objectName) const {
    for (FormSection* s : parts_->sections) {
        if (s->objectName() == objectName) return s;
    }
    return nullptr;
}

QStringList OverviewPage::checkTexts() const {
    QStringList out;
    for (const QString& t : parts_->warningTexts) out << t;
    if (notesExpanded_) {
        for (const QString& t : parts_->noteTexts) out << t;
    }
    return out;
}

std::vector<InventoryBlock*> OverviewPage::inventoryBlocks() const {
    return parts_->blocks;
}

std::vector<QPushButton*> OverviewPage::exportButtons() const {
    return parts_->exports;
}

} // namespace rig::app

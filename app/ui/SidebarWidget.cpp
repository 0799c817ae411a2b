#include "SidebarWidget.h"

#include "DeferredDeletion.h"
#include "FormLayout.h"
#include "IconLabel.h"
#include "Icons.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "RowBlocks.h"
#include "ToneLabel.h"
#include "base/Number.h"
#include "base/Text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace rig::app {

using style::Tone;
using style::ToneLabel;

namespace {

const QColor groupGreen = QColor::fromRgbF(0.3f, 0.62f, 0.37f, 1.0f);

// One line of text, elided at the end when the column is narrow.
class ElidedLabel : public ToneLabel {
public:
    ElidedLabel(Tone tone) : ToneLabel(QString(), tone) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }

    void setFullText(const QString& text) {
        if (text == full_) return;
        full_ = text;
        elide();
    }
    const QString& fullText() const { return full_; }

    QSize minimumSizeHint() const override { return {0, fontMetrics().height()}; }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(full_), fontMetrics().height()};
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        ToneLabel::resizeEvent(event);
        elide();
    }
    void changeEvent(QEvent* event) override {
        ToneLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange) elide();
    }

private:
    void elide() {
        const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, std::max(0, width()));
        updateText(shown);
        setToolTip(shown == full_ ? QString() : form::plainToolTip(full_));
    }

    QString full_;
};

QFont semibold() {
    QFont f = style::bodyFont();
    f.setWeight(QFont::DemiBold);
    return f;
}

QFont headingFont() {
    QFont f = style::bodyFont();
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    // 12 pt beside a 13 pt body.
    f.setPointSizeF(std::max(8.0, base * 12.0 / 13.0));
    f.setWeight(QFont::ExtraBold);
    return f;
}

// Selected rows take the highlight colours; their labels follow through the palette.
void setSelectedPalette(QWidget* row, bool selected) {
    if (!selected) {
        row->setPalette(QPalette());
        return;
    }
    QPalette p = row->parentWidget() ? row->parentWidget()->palette() : row->palette();
    const QColor text = p.color(QPalette::HighlightedText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::WindowText, text);
    // Accent-coloured marks would vanish on the highlight.
    p.setColor(QPalette::Highlight, text);
    row->setPalette(p);
}

} // namespace

// --- EyeToggle ----------------------------------------------------------------------------

EyeToggle::EyeToggle(QWidget* parent) : QToolButton(parent) {
    setAutoRaise(true);
    // Reached with Tab, pressed with Space; a click leaves the focus where it is.
    setFocusPolicy(Qt::TabFocus);
    // Checked while hidden: assistive tools announce it as a toggle with its state.
    setCheckable(true);
    setIconSize(QSize(16, 16));
    setCursor(Qt::PointingHandCursor);
    paint();
}

void EyeToggle::setHiddenState(bool hidden) {
    // The click has toggled the check already; the project decides.
    setChecked(hidden);
    if (hidden == hidden_) return;
    hidden_ = hidden;
    paint();
}

void EyeToggle::setOnHighlight(bool on) {
    if (on == onHighlight_) return;
    onHighlight_ = on;
    paint();
}

QSize EyeToggle::sizeHint() const {
    return iconSize() + QSize(2, 2);
}

void EyeToggle::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !painting_) paint();
}

// Only the symbol, and a frame while focused: no style sheet, which would hold the palette the
// button had when it was made and keep it in those colours after a switch of appearance.
void EyeToggle::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect symbol(QPoint((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2),
                       iconSize());
    icon().paint(&p, symbol);
    if (!hasFocus()) return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::Highlight), 1));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

void EyeToggle::paint() {
    painting_ = true;
    // Visible or hidden, the symbol keeps the secondary tone's contrast: it is the only sign of
    // the control.
    const QColor colour =
        onHighlight_ ? palette().color(QPalette::HighlightedText) : style::color(Tone::secondary, palette());
    setIcon(tintedIcon(hidden_ ? QStringLiteral("eye.slash") : QStringLiteral("eye"), colour));
    setToolTip(hidden_ ? QStringLiteral("Hidden from the crew – click to show")
                       : QStringLiteral("Visible to the crew – click to hide"));
    painting_ = false;
}

// --- Rows ---------------------------------------------------------------------------------

// A row the user can select: painted with the highlight when selected.
class SelectableRow : public QWidget {
    Q_OBJECT
public:
    explicit SelectableRow(std::function<void()> onPress) : onPress_(std::move(onPress)) {}

    void press() { onPress_(); }
    bool isSelected() const { return selected_; }
    // True when the state changed.
    bool setSelected(bool selected) {
        if (selected == selected_) return false;
        selected_ = selected;
        setSelectedPalette(this, selected);
        showSelected(selected);
        update();
        return true;
    }
    void setDivider(bool divider) {
        if (divider == divider_) return;
        divider_ = divider;
        update();
    }

protected:
    // Lets a row redraw its marks for the highlight.
    virtual void showSelected(bool) {}

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            press();
            event->accept();
            return;
        }
        QWidget::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (selected_) {
            QPainterPath path;
            path.addRoundedRect(QRectF(rect()).adjusted(2, 1, -2, -1), 5, 5);
            p.fillPath(path, parentWidget()->palette().color(QPalette::Highlight));
        } else if (divider_) {
            QColor line = style::color(Tone::primary, palette());
            line.setAlphaF(0.12f);
            p.setPen(QPen(line, 1));
            p.drawLine(QPointF(10, height() - 0.5), QPointF(width() - 6, height() - 0.5));
        }
    }

private:
    std::function<void()> onPress_;
    bool selected_ = false;
    bool divider_ = false;
};

namespace {

// The rows as assistive tools see the items of a list view: selectable, the selected one
// focused while the sidebar has the focus, pressed to select.
class SidebarItemAccessible : public QAccessibleWidget {
public:
    explicit SidebarItemAccessible(SelectableRow* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        auto* row = static_cast<SelectableRow*>(widget());
        s.selectable = true;
        s.selected = row->isSelected();
        s.focusable = true;
        const SidebarWidget* sidebar = sidebarOf(row);
        s.focused = row->isSelected() && sidebar && sidebar->hasFocus();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) static_cast<SelectableRow*>(widget())->press();
    }

    static SidebarWidget* sidebarOf(QWidget* widget) {
        for (QWidget* w = widget; w; w = w->parentWidget()) {
            if (auto* sidebar = qobject_cast<SidebarWidget*>(w)) return sidebar;
        }
        return nullptr;
    }
};

// The column of rows, a list to assistive tools, and its section headings.
class SidebarList : public QWidget {
    Q_OBJECT
};
class SidebarHeading : public QWidget {
    Q_OBJECT
};

// Qt asks every factory about every object, also the web engine's own, which come from a
// library without RTTI: a dynamic_cast on them crashes. Only the meta-object is asked.
QAccessibleInterface* sidebarAccessible(const QString&, QObject* object) {
    if (auto* row = qobject_cast<SelectableRow*>(object)) return new SidebarItemAccessible(row);
    if (auto* heading = qobject_cast<SidebarHeading*>(object))
        return new QAccessibleWidget(heading, QAccessible::Heading);
    if (auto* list = qobject_cast<SidebarList*>(object))
        return new QAccessibleWidget(list, QAccessible::List);
    return nullptr;
}

} // namespace

class SidebarWidget::OverviewRow : public SelectableRow {
public:
    explicit OverviewRow(std::function<void()> onPress) : SelectableRow(std::move(onPress)) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(10, 5, 8, 5);
        row->setSpacing(8);
        row->addWidget(new IconLabel(QStringLiteral("list.bullet.rectangle"), Tone::accent, 16));
        row->addWidget(new ToneLabel(QStringLiteral("Overview"), Tone::primary));
        row->addStretch(1);
        setAccessibleName(QStringLiteral("Overview"));
    }
};

class SidebarWidget::SourceRow : public SelectableRow {
public:
    SourceRow(std::string sourceID, std::function<void()> onPress, std::function<void()> onEye)
        : SelectableRow(std::move(onPress)), id(std::move(sourceID)) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(10, 3, 6, 3);
        row->setSpacing(6);

        stack = new QWidget;
        auto* lines = new QVBoxLayout(stack);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(1);
        name = new ElidedLabel(Tone::primary);
        subtitle = new ElidedLabel(Tone::secondary);
        subtitle->setFont(style::captionFont());
        lines->addWidget(name);
        lines->addWidget(subtitle);
        row->addWidget(stack, 1);

        gear = new IconLabel(QStringLiteral("gearshape.fill"), Tone::secondary, 12);
        gear->setToolTip(QStringLiteral("Motors / Delta set"));
        gear->setAccessibleName(gear->toolTip());
        row->addWidget(gear);
        issue = new IconLabel(QStringLiteral("exclamationmark.triangle.fill"), Tone::red, 14);
        row->addWidget(issue);
        eye = new EyeToggle;
        QObject::connect(eye, &QToolButton::clicked, eye, [onEye = std::move(onEye)](bool) { onEye(); });
        row->addWidget(eye);
    }

    void show(const Source& source, bool hidden, bool motors, IssueMark mark) {
        QFont font = semibold();
        font.setStrikeOut(hidden);
        if (name->font() != font) name->setFont(font);
        name->setFullText(shownName(source.name));
        subtitle->setFullText(toQ(sourceSubtitle(source)));
        // Faded by colour (see ToneLabel::setOpacity).
        name->setOpacity(hidden ? 0.45 : 1.0);
        subtitle->setOpacity(hidden ? 0.45 : 1.0);
        gear->setVisible(motors);
        issue->setVisible(mark != IssueMark::none);
        if (mark != IssueMark::none)
            issue->setIcon(QStringLiteral("exclamationmark.triangle.fill"),
                           mark == IssueMark::error ? Tone::red : Tone::orange);
        eye->setHiddenState(hidden);
        this->hidden = hidden;
        this->motors = motors;
        this->mark = mark;

        const QString sourceName = shownName(source.name);
        setAccessibleName(sourceName);
        QStringList about{subtitle->fullText()};
        if (motors) about << gear->toolTip();
        if (mark != IssueMark::none) {
            issue->setAccessibleName(mark == IssueMark::error ? QStringLiteral("Errors")
                                                              : QStringLiteral("Warnings"));
            about << issue->accessibleName();
        }
        if (hidden) about << QStringLiteral("Hidden from the crew");
        setAccessibleDescription(about.join(QStringLiteral(", ")));
        eye->setAccessibleName(QStringLiteral("Hide ") + sourceName + QStringLiteral(" from the crew"));
    }

protected:
    // The highlight takes the secondary tone's contrast: secondary parts are drawn in the
    // highlighted-text colour, as an item view draws a selected item, and the issue mark, whose
    // colour is its meaning, on a plate of that colour.
    void showSelected(bool selected) override {
        subtitle->setTone(selected ? Tone::primary : Tone::secondary);
        gear->setIcon(gear->iconName(), selected ? Tone::primary : Tone::secondary);
        issue->setPlate(selected ? std::optional(QPalette::HighlightedText) : std::nullopt);
        eye->setOnHighlight(selected);
    }

public:
    std::string id;
    QWidget* stack;
    ElidedLabel* name;
    ElidedLabel* subtitle;
    IconLabel* gear;
    IconLabel* issue;
    EyeToggle* eye;
    bool hidden = false;
    bool motors = false;
    IssueMark mark = IssueMark::none;
};

class SidebarWidget::SectionHeading : public SidebarHeading {
public:
    explicit SectionHeading(std::function<void()> onEye) {
        auto* outer = new QVBoxLayout(this);
        outer->setContentsMargins(2, 8, 2, 0);
        background = new Background;
        outer->addWidget(background);
        auto* padded = new QHBoxLayout(background);
        padded->setContentsMargins(6, 5, 6, 5);
        items = new QWidget;
        padded->addWidget(items);
        auto* row = new QHBoxLayout(items);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(7);
        bar = new Bar;
        row->addWidget(bar);
        label = new ElidedLabel(Tone::primary);
        label->setFont(headingFont());
        row->addWidget(label, 1);
        count = new ToneLabel(QString(), Tone::secondary);
        count->setFont(style::captionFont());
        row->addWidget(count);
        eye = new EyeToggle;
        QObject::connect(eye, &QToolButton::clicked, eye, [onEye = std::move(onEye)](bool) { onEye(); });
        row->addWidget(eye);
    }

    void show(const QString& text, int sources, bool allHidden) {
        label->setFullText(text);
        count->updateText(toQ(integerText(sources)));
        // Faded by colour (see ToneLabel::setOpacity).
        const double opacity = allHidden ? 0.5 : 1.0;
        bar->setOpacity(opacity);
        label->setOpacity(opacity);
        count->setOpacity(opacity);
        eye->setHiddenState(allHidden);
        setAccessibleName(text);
        setAccessibleDescription(count->text());
        eye->setAccessibleName(QStringLiteral("Hide all of ") + text + QStringLiteral(" from the crew"));
        this->sources = sources;
        this->allHidden = allHidden;
    }

    class Bar : public QWidget {
    public:
        Bar() { setFixedSize(3, 15); }
        void setOpacity(double opacity) {
            if (opacity == opacity_) return;
            opacity_ = opacity;
            update();
        }

    protected:
        void paintEvent(QPaintEvent*) override {
            style::fillRounded(this, 1.5, style::withAlpha(groupGreen, opacity_));
        }

    private:
        double opacity_ = 1.0;
    };

    // The heading's rounded tint; not faded with the items.
    class Background : public QWidget {
    protected:
        void paintEvent(QPaintEvent*) override {
            style::fillRounded(this, 5, style::withAlpha(style::color(Tone::primary, palette()), 0.07));
        }
    };

    Background* background;
    Bar* bar;
    QWidget* items;
    ElidedLabel* label;
    ToneLabel* count;
    EyeToggle* eye;
    int sources = 0;
    bool allHidden = false;
};

// --- SidebarWidget ------------------------------------------------------------------------

SidebarWidget::SidebarWidget(ProjectStore& store, QWidget* parent)
    : QScrollArea(parent), store_(store), builder_(store, [this] { return buildMore(); }),
      oldBlocks_(new DeferredDeletion(this)) {
    setObjectName(QStringLiteral("sidebar"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(minimumColumnWidth);
    setMaximumWidth(maximumColumnWidth);

    static const bool accessible = [] {
        QAccessible::installFactory(sidebarAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    // A list the user scrolled stays there.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { scrollTarget_.reset(); });
    content_ = new QWidget;
    column_ = new QVBoxLayout(content_);
    column_->setContentsMargins(6, 8, 6, 8);
    column_->setSpacing(0);
    column_->addStretch(1);
    setWidget(content_);
    rebuild(store_.project());

    connect(&store_, &ProjectStore::changesToShow, this, &SidebarWidget::refresh);
    refresh();
}

SidebarWidget::~SidebarWidget() = default;

void SidebarWidget::setSelection(std::optional<Selection> selection) {
    if (selection == selection_) return;
    selection_ = std::move(selection);
    updateHighlight();
}

void SidebarWidget::refresh() {
    const Project& project = store_.project();
    sections_ = sidebarSections(project);
    std::vector<std::vector<std::string>> structure;
    structure.reserve(sections_.size());
    for (const SidebarSection& section : sections_) {
        std::vector<std::string> key{section.label};
        for (std::size_t i : section.sources) key.push_back(project.report.sources[i].id());
        structure.push_back(std::move(key));
    }
    // The checks run once per refresh, not per row.
    issues_ = SourceIssueLevels(project.issues());

    if (structure != structure_) {
        structure_ = std::move(structure);
        ++rebuilds_;
        rebuild(project);
    } else {
        std::size_t row = 0;
        for (std::size_t s = 0; s < headings_.size(); ++s) {
            for (std::size_t i : sections_[s].sources) {
                if (row == rows_.size()) break;
                fillRow(project, row++, i);
            }
            fillHeading(project, s);
        }
        // The rows still to come follow this project.
        if (!complete()) builder_.start();
    }
    updateHighlight();
}

void SidebarWidget::rebuild(const Project& project) {
    builder_.stop();
    const int scroll = verticalScrollBar()->value();
    const bool hadFocus = content_->isAncestorOf(QApplication::focusWidget());
    headings_.clear();
    rows_.clear();
    nextSection_ = nextMember_ = 0;

    // The old blocks go a part at a time while the window goes on answering: a large show's
    // rows deleted in one go would keep it from answering for as long as that takes.
    for (QWidget* block : blocks_) oldBlocks_->add(block);
    blocks_.clear();
    // Built apart from the window and shown as a whole: rows added to a shown column are shown
    // one at a time, and each lays out the whole column again.
    overview_ = new OverviewRow([this] { userSelects(Selection::overview()); });
    const Block first = newBlock(project, overview_);
    column_->insertWidget(0, first.widget);
    first.widget->show();
    blocks_.push_back(first.widget);
    if (hadFocus) setFocus(Qt::OtherFocusReason);
    lastEye_ = this;
    orderEyes(first);

    content_->adjustSize();
    scrollTarget_ = scroll > 0 ? std::optional(scroll) : std::nullopt;
    restoreScroll();
    if (!complete()) builder_.start();
}

SidebarWidget::Block SidebarWidget::newBlock(const Project& project, QWidget* lead) {
    // Qt compares each widget it repaints with all its later siblings, and every new row is
    // repainted: the rows are shared out among lists of a bounded size.
    Block block;
    block.widget = new SidebarList;
    block.widget->setAccessibleName(QStringLiteral("Sidebar"));
    auto* entries = new QVBoxLayout(block.widget);
    entries->setContentsMargins(0, 0, 0, 0);
    entries->setSpacing(0);
    if (lead) entries->addWidget(lead);
    for (int built = 0; nextSection_ < sections_.size() && built < entriesPerBlock;) {
        const std::size_t s = nextSection_;
        const std::vector<std::size_t>& members = sections_[s].sources;
        if (headings_.size() == s) {
            auto* heading = new SectionHeading([this, s] { toggleSection(int(s)); });
            entries->addWidget(heading);
            headings_.push_back(heading);
            block.eyes.push_back(heading->eye);
            fillHeading(project, s);
            ++built;
        }
        for (; nextMember_ < members.size() && built < entriesPerBlock; ++nextMember_, ++built) {
            std::string id = structure_[s][nextMember_ + 1];
            auto* row = new SourceRow(
                id, [this, id] { userSelects(Selection::source(id)); }, [this, id] { toggleSource(id); });
            row->setDivider(nextMember_ + 1 < members.size());
            entries->addWidget(row);
            rows_.push_back(row);
            block.eyes.push_back(row->eye);
            fillRow(project, rows_.size() - 1, members[nextMember_]);
        }
        if (nextMember_ == members.size()) {
            ++nextSection_;
            nextMember_ = 0;
        }
    }
    return block;
}

void SidebarWidget::orderEyes(const Block& block) {
    // The eyes follow the sidebar in the tab order, top to bottom. A new block joined the
    // window's focus chain at its end, its eyes in order; each is put right after the eye
    // before the block, the last first. Qt looks back from the eye for the nearest widget that
    // takes the focus: the eye before it, still in its place. In order, that look would pass
    // every row done. For the first eye, the block itself stops that look, taking the focus
    // only meanwhile.
    const std::vector<QWidget*>& eyes = block.eyes;
    if (eyes.empty()) return;
    block.widget->setFocusPolicy(Qt::TabFocus);
    for (auto eye = eyes.rbegin(); eye != eyes.rend(); ++eye) QWidget::setTabOrder(lastEye_, *eye);
    block.widget->setFocusPolicy(Qt::NoFocus);
    lastEye_ = eyes.back();
}

bool SidebarWidget::buildMore() {
    if (complete()) return false;
    const Block block = newBlock(store_.project(), nullptr);
    column_->insertWidget(column_->count() - 1, block.widget);
    blocks_.push_back(block.widget);
    showNewBlock(content_, block.widget);
    orderEyes(block);
    updateHighlight();
    restoreScroll();
    return !complete();
}

void SidebarWidget::fillRow(const Project& project, std::size_t row, std::size_t source) {
    const Source& shown = project.report.sources[source];
    const std::string& id = rows_[row]->id;
    rows_[row]->show(shown, project.isHidden(id), project.extras.contains(id),
                     issueMark(issues_.highest(id)));
}

void SidebarWidget::fillHeading(const Project& project, std::size_t section) {
    const std::vector<std::string>& key = structure_[section];
    const bool allHidden =
        std::all_of(key.begin() + 1, key.end(), [&](const std::string& id) { return project.isHidden(id); });
    // The label tells sections apart as it is; shown, it takes one line.
    headings_[section]->show(toQ(singleLine(sections_[section].label)),
                             int(sections_[section].sources.size()), allHidden);
}

void SidebarWidget::restoreScroll() {
    if (!scrollTarget_) return;
    const auto apply = [this] {
        if (!scrollTarget_) return;
        verticalScrollBar()->setValue(*scrollTarget_);
        if (verticalScrollBar()->value() == *scrollTarget_ || complete()) scrollTarget_.reset();
    };
    apply();
    // Again once the layout has taken the new rows in.
    QTimer::singleShot(0, this, apply);
}

void SidebarWidget::userSelects(Selection selection) {
    setFocus(Qt::MouseFocusReason);
    if (selection_ != selection) {
        selection_ = selection;
        updateHighlight();
    }
    emit selectionChanged(selection_);
}

void SidebarWidget::updateHighlight() {
    const bool overviewSelected = !selection_ || selection_->isOverview();
    const auto select = [this](SelectableRow* row, bool selected) {
        if (!row->setSelected(selected)) return;
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent event(row, changed);
        QAccessible::updateAccessibility(&event);
        if (selected && hasFocus()) announceCurrentRow();
    };
    select(overview_, overviewSelected);
    for (SourceRow* row : rows_) select(row, !overviewSelected && selection_ == Selection::source(row->id));
}

QWidget* SidebarWidget::currentRow() const {
    if (overview_->isSelected()) return overview_;
    for (SourceRow* row : rows_) {
        if (row->isSelected()) return row;
    }
    return nullptr;
}

void SidebarWidget::announceCurrentRow() {
    if (QWidget* row = currentRow()) {
        QAccessibleEvent event(row, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void SidebarWidget::focusInEvent(QFocusEvent* event) {
    QScrollArea::focusInEvent(event);
    announceCurrentRow();
}

void SidebarWidget::toggleSource(const std::string& sourceID) {
    Project project = store_.project();
    project.setHidden({sourceID}, !project.isHidden(sourceID));
    store_.setProject(std::move(project));
}

void SidebarWidget::toggleSection(int section) {
    if (section < 0 || std::size_t(section) >= structure_.size()) return;
    const auto& key = structure_[std::size_t(section)];
    std::vector<std::string> ids(key.begin() + 1, key.end());
    Project project = store_.project();
    const bool allHidden =
        std::all_of(ids.begin(), ids.end(), [&](const auto& id) { return project.isHidden(id); });
    project.setHidden(ids, !allHidden);
    store_.setProject(std::move(project));
}

void SidebarWidget::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Home && key != Qt::Key_End) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    scrollTarget_.reset();
    // Position 0 is the overview, then the source rows in order.
    int current = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->isSelected()) {
            current = int(i) + 1;
            break;
        }
    }
    const int last = int(rows_.size());
    const int next = key == Qt::Key_Home  ? 0
                     : key == Qt::Key_End ? last
                                          : std::clamp(current + (key == Qt::Key_Down ? 1 : -1), 0, last);
    if (next != current) {
        userSelects(next == 0 ? Selection::overview() : Selection::source(rows_[std::size_t(next) - 1]->id));
        ensureWidgetVisible(next == 0 ? static_cast<QWidget*>(overview_) : rows_[std::size_t(next) - 1], 0,
                            8);
    }
    event->accept();
}

std::vector<SidebarWidget::HeadingView> SidebarWidget::headings() const {
    std::vector<HeadingView> out;
    for (const SectionHeading* heading : headings_) {
        out.push_back({heading->label->fullText(), heading->sources, heading->allHidden});
    }
    return out;
}

std::vector<SidebarWidget::SourceRowView> SidebarWidget::rows() const {
    std::vector<SourceRowView> out;
    for (const SourceRow* row : rows_) {
        out.push_back({row->id, row->name->fullText(), row->subtitle->fullText(), row->hidden, row->motors,
                       row->mark, row->isSelected()});
    }
    return out;
}

QWidget* SidebarWidget::overviewRow() const {
    return overview_;
}

QWidget* SidebarWidget::sourceRow(int index) const {
    return index >= 0 && std::size_t(index) < rows_.size() ? rows_[std::size_t(index)] : nullptr;
}

EyeToggle* SidebarWidget::sourceEye(int index) const {
    return index >= 0 && std::size_t(index) < rows_.size() ? rows_[std::size_t(index)]->eye : nullptr;
}

EyeToggle* SidebarWidget::headingEye(int section) const {
    return section >= 0 && std::size_t(section) < headings_.size() ? headings_[std::size_t(section)]->eye
                                                                   : nullptr;
}

} // namespace rig::app

#include "SidebarWidget.moc"

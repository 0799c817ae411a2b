#include "SourcePage.h"

#include "FormLayout.h"
#include "MotorLibrary.h"
#include "PanflexStack.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "Sheet.h"
#include "SideViewShape.h"
#include "SourceTexts.h"
#include "ToneLabel.h"
#include "WheelGuard.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace rig::app {

namespace {

using style::Tone;
using style::ToneLabel;
using style::WrappingLabel;
namespace text = sourcetext;

using form::buttonText;
using form::label;
using form::plainToolTip;

// "info.circle" and "exclamationmark.triangle.fill", drawn in the row's colour.
class SymbolIcon : public QWidget {
public:
    SymbolIcon(bool triangle, Tone tone) : triangle_(triangle), tone_(tone) {
        const int side = QFontMetrics(style::calloutFont()).height();
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor c = style::color(tone_, palette());
        const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        QFont f = style::calloutFont();
        f.setBold(true);
        f.setPixelSize(std::max(6, int(r.height() * 0.7)));
        p.setFont(f);
        if (triangle_) {
            QPainterPath path;
            path.moveTo(r.center().x(), r.top());
            path.lineTo(r.right(), r.bottom());
            path.lineTo(r.left(), r.bottom());
            path.closeSubpath();
            p.fillPath(path, c);
            p.setPen(palette().color(QPalette::Base));
            p.drawText(r.adjusted(0, r.height() * 0.25, 0, 0), Qt::AlignCenter, QStringLiteral("!"));
        } else {
            p.setPen(QPen(c, 1.2));
            p.drawEllipse(r);
            p.drawText(r, Qt::AlignCenter, QStringLiteral("i"));
        }
    }

private:
    bool triangle_;
    Tone tone_;
};

// One report warning: cautions plain, errors and warnings on a tinted rounded box.
class WarningRow : public QWidget {
public:
    explicit WarningRow(const ReportWarning& warning) : level_(warning.level) {
        const bool boxed = level_ != ReportWarning::Level::caution;
        const Tone tone = level_ == ReportWarning::Level::error     ? Tone::red
                          : level_ == ReportWarning::Level::warning ? Tone::orange
                                                                    : Tone::secondary;
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(boxed ? QMargins(8, 8, 8, 8) : QMargins());
        row->setSpacing(6);
        auto* message = new WrappingLabel(shownName(warning.text), tone);
        message->setFont(style::calloutFont());
        message->setSelectable(true);
        row->addWidget(new SymbolIcon(boxed, tone), 0, Qt::AlignTop);
        row->addWidget(message, 1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (level_ == ReportWarning::Level::caution) return;
        const Tone tone = level_ == ReportWarning::Level::error ? Tone::red : Tone::orange;
        style::fillRounded(this, 8, style::withAlpha(style::color(tone, palette()), 0.15));
    }

private:
    ReportWarning::Level level_;
};

// The side view's box: secondary colour at 6 % in a rounded rectangle.
class SideViewBox : public QWidget {
public:
    SideViewBox() {
        setFixedSize(SourcePage::sideViewWidth, SourcePage::sideViewHeight);
        shape = new SideViewShape(this);
        shape->setObjectName(QStringLiteral("sideView"));
        shape->setGeometry(rect());
    }
    SideViewShape* shape;

protected:
    void paintEvent(QPaintEvent*) override {
        style::fillRounded(this, 10, style::withAlpha(style::color(Tone::secondary, palette()), 0.06));
    }
};

// The motor menu button of a point: as wide as its label where there is room; elided, with
// the whole label as tool tip, where there is not.
class MotorButton : public QPushButton {
public:
    MotorButton() { setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed); }

    void setLabel(const QString& label) {
        if (label == label_) return;
        label_ = label;
        updateGeometry();
        elide();
    }

    QSize sizeHint() const override { return hintFor(buttonText(label_)); }
    QSize minimumSizeHint() const override { return hintFor(QStringLiteral("\u2014")); }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPushButton::resizeEvent(event);
        elide();
    }
    void changeEvent(QEvent* event) override {
        QPushButton::changeEvent(event);
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) elide();
    }

private:
    // What QPushButton asks for with `shown` as its text.
    QSize hintFor(const QString& shown) const {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QSize text = fontMetrics().size(Qt::TextShowMnemonic, shown);
        option.rect.setSize(text);
        int width = text.width();
        if (menu()) width += style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this);
        return style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(width, text.height()), this);
    }

    void elide() {
        const QSize full = sizeHint();
        QString shown = label_;
        if (width() < full.width()) {
            const int frame =
                full.width() - fontMetrics().size(Qt::TextShowMnemonic, buttonText(label_)).width();
            shown = fontMetrics().elidedText(label_, Qt::ElideRight, std::max(0, width() - frame));
        }
        if (text() != buttonText(shown)) setText(buttonText(shown));
        setToolTip(shown == label_ ? QString() : plainToolTip(label_));
    }

    QString label_;
};

// The enclosure table with the side view to its right, or below it where the page is too
// narrow for both side by side.
class BesideOrBelow : public QLayout {
public:
    BesideOrBelow(QWidget* parent, int spacing) : QLayout(parent) { setSpacing(spacing); }
    ~BesideOrBelow() override {
        for (QLayoutItem* item : items_) delete item;
    }

    void addItem(QLayoutItem* item) override { items_.push_back(item); }
    int count() const override { return int(items_.size()); }
    QLayoutItem* itemAt(int index) const override {
        return index >= 0 && index < count() ? items_[std::size_t(index)] : nullptr;
    }
    QLayoutItem* takeAt(int index) override {
        if (index < 0 || index >= count()) return nullptr;
        QLayoutItem* item = items_[std::size_t(index)];
        items_.erase(items_.begin() + index);
        return item;
    }

    QSize sizeHint() const override {
        const auto [main, side] = parts();
        if (!main) return {};
        if (!side) return main->sizeHint();
        return {main->sizeHint().width() + spacing() + side->sizeHint().width(),
                std::max(main->sizeHint().height(), side->sizeHint().height())};
    }
    QSize minimumSize() const override {
        const auto [main, side] = parts();
        if (!main) return {};
        if (!side) return main->minimumSize();
        return {std::max(main->minimumSize().width(), side->minimumSize().width()),
                main->minimumSize().height() + spacing() + side->minimumSize().height()};
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        arrange(rect, true);
    }

private:
    // The table and the side view, each when it is shown.
    std::pair<QLayoutItem*, QLayoutItem*> parts() const {
        QLayoutItem* main = !items_.empty() && !items_[0]->isEmpty() ? items_[0] : nullptr;
        QLayoutItem* side = items_.size() > 1 && !items_[1]->isEmpty() ? items_[1] : nullptr;
        return {main, side};
    }

    static int heightAt(QLayoutItem* item, int width) {
        return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
    }

    // Places the items in `rect` (when `place`); the height they take.
    int arrange(const QRect& rect, bool place) const {
        const auto [main, side] = parts();
        if (!main) return 0;
        const int width = rect.width();
        if (!side) {
            if (place) main->setGeometry(rect);
            return heightAt(main, width);
        }
        const QSize sideSize = side->sizeHint();
        const int mainWidth = width - spacing() - sideSize.width();
        if (mainWidth >= main->minimumSize().width()) {
            const int height = heightAt(main, mainWidth);
            if (place) {
                main->setGeometry(QRect(rect.x(), rect.y(), mainWidth, height));
                side->setGeometry(QRect(rect.right() + 1 - sideSize.width(), rect.y(), sideSize.width(),
                                        sideSize.height()));
            }
            return std::max(height, sideSize.height());
        }
        const int height = heightAt(main, width);
        if (place) {
            main->setGeometry(QRect(rect.x(), rect.y(), width, height));
            side->setGeometry(
                QRect(rect.x(), rect.y() + height + spacing(), sideSize.width(), sideSize.height()));
        }
        return height + spacing() + sideSize.height();
    }

    std::vector<QLayoutItem*> items_;
};

// Takes `old` out of `layout` and puts `replacement` in its place.
void replaceWidget(QBoxLayout* layout, QWidget*& old, QWidget* replacement) {
    if (old) {
        const int at = layout->indexOf(old);
        layout->insertWidget(at, replacement);
        // Out of the page at once, deleted once control returns to the event loop (a menu
        // of the old rows may still be running).
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    } else {
        layout->addWidget(replacement);
    }
    old = replacement;
}

QGridLayout* grid(QWidget* owner, int hSpacing, int vSpacing) {
    auto* g = new QGridLayout(owner);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(hSpacing);
    g->setVerticalSpacing(vSpacing);
    // Left only: a layout aligned on top lays its rows out at their one-line heights, too low
    // for a value that wraps.
    g->setAlignment(Qt::AlignLeft);
    return g;
}

struct FactsShape {
    std::vector<std::pair<QString, QString>> labels;
    std::vector<bool> wide;
    friend bool operator==(const FactsShape&, const FactsShape&) = default;
};

struct EnclosureShape {
    std::vector<std::int64_t> indexes;
    bool angles = false;
    bool panflex = false;
    friend bool operator==(const EnclosureShape&, const EnclosureShape&) = default;
};

} // namespace

struct SourcePage::Blocks {
    QVBoxLayout* column = nullptr;

    WrappingLabel* name = nullptr;
    WrappingLabel* groups = nullptr;
    WrappingLabel* configuration = nullptr;

    QWidget* warnings = nullptr;
    std::optional<List<ReportWarning>> shownWarnings;

    QWidget* facts = nullptr;
    std::optional<FactsShape> factsShape;
    std::vector<ToneLabel*> factValues; // value and second value of every row

    QWidget* pickups = nullptr;
    QVBoxLayout* pickupsLayout = nullptr;
    QWidget* pickupGrid = nullptr;
    std::vector<ToneLabel*> pickupTitles;
    std::optional<std::vector<std::string>> shownRoles;
    struct PointRow {
        std::string role;
        ToneLabel* title;
        ToneLabel* load;
        QWidget* coordinates;
        ToneLabel* position;
        ToneLabel* delta;
        MotorButton* motor;
        QCheckBox* deltaBox;
    };
    std::vector<PointRow> points;

    QVBoxLayout* enclosuresLayout = nullptr;
    ToneLabel* enclosuresTitle = nullptr;
    QWidget* enclosureGrid = nullptr;
    std::optional<EnclosureShape> enclosureShape;
    struct EnclosureRow {
        std::vector<ToneLabel*> cells;
        PanflexStack* panflex = nullptr;
    };
    std::vector<EnclosureRow> enclosures;
    ToneLabel* angleNote = nullptr;
    SideViewBox* side = nullptr;
};

SourcePage::SourcePage(ProjectStore& store, MotorLibrary& motors, const Source& source, QWidget* parent)
    : QScrollArea(parent), store_(store), motors_(motors), sourceID_(source.id()), source_(source),
      blocks_(std::make_unique<Blocks>()) {
    setObjectName(QStringLiteral("sourcePage"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollPastControls(this);

    auto* content = new QWidget;
    auto* outer = new QHBoxLayout(content);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* columnWidget = new QWidget;
    columnWidget->setMaximumWidth(980);
    outer->addWidget(columnWidget, 1);
    outer->addStretch(0);
    Blocks& b = *blocks_;
    b.column = new QVBoxLayout(columnWidget);
    b.column->setContentsMargins(24, 24, 24, 24);
    b.column->setSpacing(16);

    b.column->addWidget(buildHeader());

    // Warnings (one item per warning, built in refresh), facts.
    b.warnings = new QWidget;
    b.column->addWidget(b.warnings);
    b.facts = new QWidget;
    b.column->addWidget(b.facts);

    // Pickup points.
    b.pickups = new QWidget;
    b.pickups->setObjectName(QStringLiteral("pickupPoints"));
    b.pickupsLayout = new QVBoxLayout(b.pickups);
    b.pickupsLayout->setContentsMargins(0, 0, 0, 0);
    b.pickupsLayout->setSpacing(8);
    b.pickupsLayout->addWidget(label(text::pickupHeading(), Tone::primary, style::headlineFont()));
    b.pickupGrid = new QWidget;
    b.pickupsLayout->addWidget(b.pickupGrid);
    auto* help = label(text::pickupHelp(), Tone::secondary, style::captionFont());
    help->setWordWrap(true);
    b.pickupsLayout->addWidget(help);
    b.column->addWidget(b.pickups);

    b.column->addWidget(buildEnclosureRow());
    b.column->addStretch(1);

    setWidget(content);
    connect(&store_, &ProjectStore::changesToShow, this, &SourcePage::refresh);
    refresh();
}

// The name, its group path on the same baseline, and the configuration line.
QWidget* SourcePage::buildHeader() {
    Blocks& b = *blocks_;
    auto* header = new QWidget;
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(2);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    b.name = new WrappingLabel({}, Tone::primary, 6);
    b.name->setFont(style::largeTitleFont());
    b.name->setObjectName(QStringLiteral("sourceName"));
    b.groups = new WrappingLabel({}, Tone::secondary, 20);
    b.groups->setObjectName(QStringLiteral("groupPath"));
    // Both on the first baseline, also when the name takes more lines: the smaller text
    // lowered by the difference of the ascents.
    const int lower = QFontMetrics(b.name->font()).ascent() - QFontMetrics(b.groups->font()).ascent();
    b.groups->setContentsMargins(0, std::max(0, lower), 0, 0);
    titleRow->addWidget(b.name, 0, Qt::AlignTop);
    titleRow->addWidget(b.groups, 0, Qt::AlignTop);
    titleRow->addStretch(1);
    headerLayout->addLayout(titleRow);
    b.configuration = new WrappingLabel({}, Tone::secondary, 20);
    b.configuration->setObjectName(QStringLiteral("configuration"));
    headerLayout->addWidget(b.configuration);
    return header;
}

// The enclosures beside the side view, or below it when both do not fit.
QWidget* SourcePage::buildEnclosureRow() {
    Blocks& b = *blocks_;
    auto* enclosureRow = new QWidget;
    auto* enclosureLayout = new BesideOrBelow(enclosureRow, 20);
    auto* left = new QWidget;
    b.enclosuresLayout = new QVBoxLayout(left);
    b.enclosuresLayout->setContentsMargins(0, 0, 0, 0);
    b.enclosuresLayout->setSpacing(6);
    b.enclosuresTitle = label({}, Tone::primary, style::headlineFont());
    b.enclosuresTitle->setObjectName(QStringLiteral("enclosuresTitle"));
    b.enclosuresLayout->addWidget(b.enclosuresTitle);
    b.enclosureGrid = new QWidget;
    b.enclosuresLayout->addWidget(b.enclosureGrid);
    b.angleNote = label(text::angleNote(), Tone::secondary, style::captionFont());
    b.angleNote->setObjectName(QStringLiteral("angleNote"));
    b.angleNote->setWordWrap(true);
    b.enclosuresLayout->addWidget(b.angleNote);
    b.enclosuresLayout->addStretch(1);
    enclosureLayout->addWidget(left);
    b.side = new SideViewBox;
    b.side->setObjectName(QStringLiteral("sideViewBox"));
    enclosureLayout->addWidget(b.side);
    return enclosureRow;
}

SourcePage::~SourcePage() = default;

void SourcePage::refresh() {
    const Project& project = store_.project();
    for (const Source& s : project.report.sources) {
        if (s.id() == sourceID_) {
            source_ = s;
            break;
        }
    }
    refreshHeader();
    refreshFacts(project.report.info);
    refreshPickups(project);
    refreshEnclosures();
    refreshSideView(project);
}

void SourcePage::refreshHeader() {
    Blocks& b = *blocks_;
    // Header.
    b.name->updateText(shownName(source_.name));
    b.groups->updateText(text::groupPath(source_));
    b.configuration->updateText(text::configurationLine(source_));

    // Warnings: rebuilt only when they change.
    const List<ReportWarning> shown = text::warnings(source_);
    if (!b.shownWarnings || !(*b.shownWarnings == shown)) {
        auto* warnings = new QWidget;
        warnings->setObjectName(QStringLiteral("warnings"));
        auto* layout = new QVBoxLayout(warnings);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(16);
        for (const ReportWarning& w : shown) layout->addWidget(new WarningRow(w));
        warnings->setVisible(!shown.empty());
        replaceWidget(b.column, b.warnings, warnings);
        b.shownWarnings = shown;
    }
}

void SourcePage::refreshFacts(const ReportInfo& info) {
    Blocks& b = *blocks_;
    // Facts: rows rebuilt when which rows there are changes, values set in place.
    const std::vector<text::FactRow> rows = text::facts(source_, info);
    FactsShape shape;
    for (const auto& r : rows) {
        shape.labels.emplace_back(r.label, r.label2);
        shape.wide.push_back(r.wide);
    }
    if (b.factsShape != shape) {
        auto* facts = new QWidget;
        facts->setObjectName(QStringLiteral("facts"));
        QGridLayout* g = grid(facts, 18, 6);
        b.factValues.clear();
        const QFont valueFont = style::bold(style::bodyFont());
        for (int i = 0; i < int(rows.size()); ++i) {
            const text::FactRow& r = rows[std::size_t(i)];
            g->addWidget(label(r.label, Tone::secondary), i, 0);
            auto* value = new WrappingLabel({}, Tone::primary, 12);
            value->setFont(valueFont);
            value->setSelectable(true);
            g->addWidget(value, i, 1, 1, r.wide ? 3 : 1);
            WrappingLabel* value2 = nullptr;
            if (!r.label2.isEmpty()) {
                g->addWidget(label(r.label2, Tone::secondary), i, 2);
                value2 = new WrappingLabel({}, Tone::primary, 12);
                value2->setFont(valueFont);
                value2->setSelectable(true);
                g->addWidget(value2, i, 3);
            }
            b.factValues.push_back(value);
            b.factValues.push_back(value2);
        }
        g->setColumnStretch(4, 1);
        replaceWidget(b.column, b.facts, facts);
        b.factsShape = shape;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        b.factValues[2 * i]->updateText(rows[i].value);
        if (ToneLabel* second = b.factValues[2 * i + 1]) second->updateText(rows[i].value2);
    }
}

void SourcePage::refreshPickups(const Project& project) {
    Blocks& b = *blocks_;
    const ReportInfo& info = project.report.info;
    // Pickup points: rows rebuilt only when the roles change.
    b.pickups->setVisible(!source_.pickups.empty());
    std::vector<std::string> roles;
    for (const Pickup& p : source_.pickups) roles.push_back(p.role);
    if (b.shownRoles != roles) buildPickupGrid(roles);
    const QStringList titles = text::pickupColumnTitles(project.delta);
    for (int c = 0; c < 5; ++c) b.pickupTitles[std::size_t(c)]->updateText(titles[c]);
    for (std::size_t i = 0; i < b.points.size(); ++i) {
        const Pickup& p = source_.pickups[i];
        Blocks::PointRow& r = b.points[i];
        const PointExtra extra = project.extra(sourceID_, r.role);
        r.title->updateText(text::pointTitle(p));
        r.load->updateText(text::pointLoad(p.load, info));
        r.load->setTone(text::pointLoadTone(p.load));
        r.position->updateText(text::coordinatesLine(p));
        const auto deltaPoints = project.deltaPoints(source_, p);
        r.delta->updateText(deltaPoints ? text::deltaLine(*deltaPoints) : QString());
        r.delta->setVisible(deltaPoints.has_value());
        r.coordinates->setToolTip(text::coordinatesTooltip(p));
        r.motor->setLabel(text::motorLabel(extra));
        {
            const QSignalBlocker blocker(r.deltaBox);
            r.deltaBox->setChecked(extra.delta);
        }
        r.deltaBox->setToolTip(plainToolTip(text::deltaTooltip(project.delta)));
    }
}

void SourcePage::buildPickupGrid(const std::vector<std::string>& roles) {
    Blocks& b = *blocks_;
    auto* gridWidget = new QWidget;
    gridWidget->setObjectName(QStringLiteral("pickupGrid"));
    QGridLayout* g = grid(gridWidget, 16, 10);
    b.pickupTitles.clear();
    for (int c = 0; c < 5; ++c) {
        // The Delta plate's name is the user's: it may need lines of its own.
        auto* title = new WrappingLabel({}, Tone::secondary, 14);
        b.pickupTitles.push_back(title);
        g->addWidget(title, 0, c);
    }
    b.points.clear();
    int row = 1;
    for (const std::string& role : roles) {
        Blocks::PointRow r;
        r.role = role;
        // A role, a hole or a unit from the report may be long: they wrap.
        r.title = new WrappingLabel({}, Tone::primary, 10);
        r.title->setFont(style::bold(style::bodyFont()));
        r.load = new WrappingLabel({}, Tone::primary, 10);
        r.load->setObjectName(QStringLiteral("load:") + toQ(role));
        r.coordinates = new QWidget;
        auto* coordinates = new QVBoxLayout(r.coordinates);
        coordinates->setContentsMargins(0, 0, 0, 0);
        coordinates->setSpacing(2);
        // Coordinates far from the origin take two lines rather than widen the page.
        r.position = new WrappingLabel({}, Tone::secondary, 12);
        r.delta = new WrappingLabel({}, Tone::green, 12);
        r.delta->setFont(style::captionFont());
        r.delta->setObjectName(QStringLiteral("deltaLine:") + toQ(role));
        coordinates->addWidget(r.position);
        coordinates->addWidget(r.delta);
        r.motor = new MotorButton;
        r.motor->setObjectName(QStringLiteral("motor:") + toQ(role));
        auto* menu = new QMenu(r.motor);
        r.motor->setMenu(menu);
        connect(menu, &QMenu::aboutToShow, this, [this, menu, role] { fillMotorMenu(menu, role); });
        r.deltaBox = new QCheckBox;
        r.deltaBox->setObjectName(QStringLiteral("delta:") + toQ(role));
        r.deltaBox->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(r.deltaBox, &QCheckBox::clicked, this, [this, role](bool on) { setDelta(role, on); });
        g->addWidget(r.title, row, 0);
        g->addWidget(r.load, row, 1);
        g->addWidget(r.coordinates, row, 2);
        g->addWidget(r.motor, row, 3, Qt::AlignLeft);
        g->addWidget(r.deltaBox, row, 4, Qt::AlignLeft | Qt::AlignVCenter);
        b.points.push_back(r);
        ++row;
    }
    g->setColumnStretch(5, 1);
    replaceWidget(b.pickupsLayout, b.pickupGrid, gridWidget);
    b.shownRoles = roles;
}

void SourcePage::fillMotorMenu(QMenu* menu, const std::string& role) {
    menu->clear();
    const PointExtra extra = store_.project().extra(sourceID_, role);
    menu->addAction(text::noMotorItem(), this, [this, role] { setMotor(role, std::nullopt); });
    if (!motors_.motors().empty()) menu->addSeparator();
    for (const Motor& m : motors_.motors()) {
        menu->addAction(buttonText(text::motorMenuItem(m)), this, [this, role, m] { setMotor(role, m); });
    }
    menu->addSeparator();
    menu->addAction(text::newMotorItem(), this, [this, role] { openNewMotorSheet(role); });
    if (extra.motor) {
        menu->addAction(buttonText(text::sameMotorItem(source_)), this,
                        [this, m = *extra.motor] { applyMotorToAllPoints(m); });
    }
}

void SourcePage::refreshEnclosures() {
    Blocks& b = *blocks_;
    // Enclosures: rows rebuilt when indexes or columns change, cells set in place.
    b.enclosuresTitle->updateText(text::enclosuresTitle(source_));
    EnclosureShape encShape;
    for (const Enclosure& e : source_.enclosures) encShape.indexes.push_back(e.index);
    encShape.angles = source_.hasAngles;
    encShape.panflex = text::showsPanflexColumn(source_);
    if (b.enclosureShape != encShape) {
        b.enclosureShape = encShape;
        buildEnclosureGrid();
    }
    for (std::size_t i = 0; i < b.enclosures.size(); ++i) {
        const Enclosure& e = source_.enclosures[i];
        const QStringList cells = text::enclosureCells(source_, e);
        for (std::size_t c = 0; c < b.enclosures[i].cells.size(); ++c) {
            b.enclosures[i].cells[c]->updateText(cells[qsizetype(c)]);
        }
        if (PanflexStack* stack = b.enclosures[i].panflex) stack->setValue(e.panflex, e.type);
    }
    b.angleNote->setVisible(text::showsAngleNote(source_));
}

void SourcePage::buildEnclosureGrid() {
    Blocks& b = *blocks_;
    const EnclosureShape& encShape = *b.enclosureShape;
    auto* gridWidget = new QWidget;
    gridWidget->setObjectName(QStringLiteral("enclosureGrid"));
    QGridLayout* g = grid(gridWidget, 14, 6);
    const QStringList columns = text::enclosureColumnTitles(source_);
    for (int c = 0; c < columns.size(); ++c) g->addWidget(label(columns[c], Tone::secondary), 0, c);
    b.enclosures.clear();
    int row = 1;
    for (std::size_t i = 0; i < source_.enclosures.size(); ++i) {
        g->addWidget(new form::Divider, row++, 0, 1, int(columns.size()));
        Blocks::EnclosureRow r;
        const int textCells = int(columns.size()) - (encShape.panflex ? 1 : 0);
        for (int c = 0; c < textCells; ++c) {
            const bool isAngle = encShape.angles && c == 2;
            const bool isHeight = c >= textCells - 2;
            // A long type, or numbers far beyond any rig in every column, wrap rather than
            // widen the page.
            auto* cell = new WrappingLabel({}, isHeight ? Tone::secondary : Tone::primary, 6);
            cell->setFont(isAngle ? style::bold(style::bodyFont()) : style::bodyFont());
            r.cells.push_back(cell);
            g->addWidget(cell, row, c);
        }
        if (encShape.panflex) {
            r.panflex = new PanflexStack(std::nullopt, {});
            g->addWidget(r.panflex, row, textCells, Qt::AlignLeft | Qt::AlignVCenter);
        }
        b.enclosures.push_back(r);
        ++row;
    }
    g->setColumnStretch(int(columns.size()), 1);
    replaceWidget(b.enclosuresLayout, b.enclosureGrid, gridWidget);
}

void SourcePage::refreshSideView(const Project& project) {
    Blocks& b = *blocks_;
    // Side view: only when the project's DXF data for the source has one.
    const DXFInfo* dxf = project.dxf.get(sourceID_);
    const bool hasSide = dxf && dxf->side;
    b.side->setVisible(hasSide);
    if (hasSide) b.side->shape->setSide(*dxf->side, sideViewLabels(source_));
}

void SourcePage::setMotor(const std::string& role, std::optional<Motor> motor) {
    PointExtra extra = store_.project().extra(sourceID_, role);
    extra.motor = std::move(motor);
    store_.setPointExtra(sourceID_, role, extra);
}

void SourcePage::applyMotorToAllPoints(const Motor& motor) {
    // A copy: a refresh meanwhile (a modal run of the event loop) replaces source_.
    const List<Pickup> pickups = source_.pickups;
    for (const Pickup& p : pickups) setMotor(p.role, motor);
}

void SourcePage::setDelta(const std::string& role, bool delta) {
    PointExtra extra = store_.project().extra(sourceID_, role);
    extra.delta = delta;
    store_.setPointExtra(sourceID_, role, extra);
}

void SourcePage::openNewMotorSheet(const std::string& role) {
    if (sheet_) sheet_->close();
    newMotorFor_ = role;
    auto* sheet = new NewMotorSheet(
        motors_, [this, role](const Motor& motor) { setMotor(role, motor); }, this);
    prepareSheet(sheet, this, [this, sheet] {
        if (sheet_ != sheet) return;
        sheet_ = nullptr;
        newMotorFor_.reset();
        emit newMotorItemChanged();
    });
    sheet_ = sheet;
    emit newMotorItemChanged();
    sheet->open();
}

std::optional<RoleRef> SourcePage::newMotorItem() const {
    if (!newMotorFor_) return std::nullopt;
    return RoleRef{*newMotorFor_};
}

} // namespace rig::app

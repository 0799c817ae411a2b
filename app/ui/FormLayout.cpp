#include "FormLayout.h"

#include "ToneLabel.h"
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>
#include <utility>
#include <vector>

namespace rig::app::form {

using style::Tone;

namespace {

// A line above every visible row but the first.
void paintHairlines(QPainter& p, const QPalette& palette, const QVBoxLayout& rows, int left, int width) {
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor line = style::withAlpha(style::color(Tone::primary, palette), 0.1);
    bool first = true;
    for (int i = 0; i < rows.count(); ++i) {
        QWidget* row = rows.itemAt(i)->widget();
        if (!row || row->isHidden()) continue;
        if (!first) p.fillRect(QRect(left, row->geometry().top(), width, 1), line);
        first = false;
    }
}

// A column of rows that keeps its height for the last few widths. A page asks for its height at
// its own width and at the width of its size hint in turn; a column answering for one width
// only lays all its rows out again at each turn, and a page of many such columns pays that
// for every one of them each time anything on it changes.
class RowsLayout : public QVBoxLayout {
public:
    explicit RowsLayout(QWidget* parent) : QVBoxLayout(parent) {}

    int heightForWidth(int width) const override {
        return measuring_ ? QVBoxLayout::heightForWidth(width) : heightsAt(width).first;
    }
    int minimumHeightForWidth(int width) const override {
        return measuring_ ? QVBoxLayout::minimumHeightForWidth(width) : heightsAt(width).second;
    }
    void invalidate() override {
        heights_.clear();
        QVBoxLayout::invalidate();
    }

private:
    // The height and the least height at `width`.
    std::pair<int, int> heightsAt(int width) const {
        for (const auto& [w, h] : heights_)
            if (w == width) return h;
        measuring_ = true;
        const std::pair<int, int> h(QVBoxLayout::heightForWidth(width),
                                    QVBoxLayout::minimumHeightForWidth(width));
        measuring_ = false;
        if (heights_.size() == 4) heights_.erase(heights_.begin());
        heights_.emplace_back(width, h);
        return h;
    }

    mutable std::vector<std::pair<int, std::pair<int, int>>> heights_;
    mutable bool measuring_ = false;
};

void addPaddedRow(QVBoxLayout& rows, QWidget* row) {
    row->setContentsMargins(0, rowVerticalPadding, 0, rowVerticalPadding);
    rows.addWidget(row);
}

} // namespace

FormRows::FormRows(QWidget* parent) : QWidget(parent), rows_(new RowsLayout(this)) {
    rows_->setContentsMargins(rowPadding, 0, rowPadding, 0);
    rows_->setSpacing(0);
}

void FormRows::addRow(QWidget* row) {
    addPaddedRow(*rows_, row);
}

void FormRows::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QPainterPath box;
    box.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    const QColor fill =
        style::isDark(pal) ? pal.color(QPalette::Window).lighter(135) : pal.color(QPalette::Base);
    p.fillPath(box, fill);
    p.setPen(QPen(style::withAlpha(style::color(Tone::primary, pal), 0.1), 1));
    p.drawPath(box);

    paintHairlines(p, pal, *rows_, rowPadding, width() - 2 * rowPadding);
}

void FormRows::addRowGroup(QWidget* group) {
    group->setContentsMargins(0, 0, 0, 0);
    rows_->addWidget(group);
}

RowGroup::RowGroup(QWidget* parent) : QWidget(parent), rows_(new RowsLayout(this)) {
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
}

void RowGroup::addRow(QWidget* row) {
    addPaddedRow(*rows_, row);
}

void RowGroup::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintHairlines(p, palette(), *rows_, 0, width());
}

FormRow::FormRow(const QString& labelText, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(10);
    if (!labelText.isEmpty()) {
        // A label may be a name from the report (a group's): a long one wraps, never widening the form.
        label_ = new style::WrappingLabel(labelText);
        label_->setFont(style::bodyFont());
        layout_->addWidget(label_, 0, Qt::AlignVCenter);
    }
    layout_->addStretch(1);
}

void FormRow::addValue(QWidget* value, int stretch, Qt::Alignment alignment) {
    // A value that stretches takes the free width itself.
    if (stretch > 0) layout_->setStretch(label_ ? 1 : 0, 0);
    layout_->addWidget(value, stretch, alignment);
}

FormSection::FormSection(const QString& headerText, FormRows* rows, QWidget* parent)
    : QWidget(parent), rows_(rows ? rows : new FormRows) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    // A heading may hold a name (the Delta plate's): a long one wraps.
    header_ = new style::WrappingLabel(headerText, Tone::primary, 12);
    header_->setFont(style::bold(style::bodyFont()));
    header_->setContentsMargins(4, 0, 4, 0);
    column->addWidget(header_);
    column->addWidget(rows_);
}

void FormSection::setFooter(const QString& text) {
    if (!footer_) {
        footer_ = label({}, Tone::secondary, style::captionFont());
        footer_->setWordWrap(true);
        footer_->setContentsMargins(4, 0, 4, 0);
        static_cast<QVBoxLayout*>(layout())->addWidget(footer_);
    }
    footer_->updateText(text);
}

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), style::withAlpha(style::color(Tone::primary, palette()), 0.12));
}

QString buttonText(const QString& text) {
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&&"));
}

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

QPushButton* pushButton(const QString& text, const QString& objectName) {
    auto* b = new QPushButton(buttonText(text));
    b->setObjectName(objectName);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return b;
}

namespace {

// The chevron and the text alone, no panel, in the palette's colours: a style sheet would hold
// the palette the button had when it was made through a switch of appearance.
class DisclosureButton : public QToolButton {
public:
    QSize sizeHint() const override {
        const QSize text = fontMetrics().size(Qt::TextShowMnemonic, this->text());
        // The style puts 4 between the symbol and the text.
        const QSize symbol = icon().isNull() ? QSize() : iconSize() + QSize(4, 0);
        return QSize(symbol.width() + text.width(), std::max(symbol.height(), text.height())) + QSize(2, 2);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        option.state &=
            ~(QStyle::State_Sunken | QStyle::State_On | QStyle::State_Raised | QStyle::State_MouseOver);
        option.rect = rect().adjusted(1, 1, -1, -1);
        p.drawControl(QStyle::CE_ToolButtonLabel, option);
        if (!hasFocus()) return;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
};

} // namespace

QToolButton* disclosureButton(const QString& objectName) {
    auto* button = new DisclosureButton;
    button->setObjectName(objectName);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return button;
}

style::ToneLabel* label(const QString& text, Tone tone, const QFont& font, QWidget* parent) {
    auto* l = new style::ToneLabel(text, tone, parent);
    l->setFont(font);
    return l;
}

} // namespace rig::app::form

#include "SettingsPane.h"

#include "ToneLabel.h"
#include "WheelGuard.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

namespace rig::app {

namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// Light: the base colour, a step brighter than the window. Dark: a step lighter than the
// window, as grouped forms are drawn there.
QColor cardColor(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    if (style::isDark(palette)) return mix(window, palette.color(QPalette::Text), 0.07);
    const QColor base = palette.color(QPalette::Base);
    return base.lightness() > window.lightness() ? base : mix(window, Qt::white, 0.6);
}

QColor hairline(const QPalette& palette) {
    return style::withAlpha(palette.color(QPalette::Text), style::isDark(palette) ? 0.14 : 0.11);
}

constexpr int rowInset = 12;

} // namespace

void padButton(QAbstractButton* button) {
    button->setMinimumWidth(button->sizeHint().width() + 16);
}

// ---- FormCard ---------------------------------------------------------------------------------

FormCard::FormCard(QWidget* parent) : QWidget(parent), rows_(new QVBoxLayout(this)) {
    rows_->setContentsMargins(rowInset, 0, rowInset, 0);
    rows_->setSpacing(0);
}

void FormCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(hairline(palette()), 1));
    p.setBrush(cardColor(palette()));
    p.drawRoundedRect(box, 8, 8);

    // A hairline under every visible row but the last.
    std::vector<QRect> shown;
    for (int i = 0; i < rows_->count(); ++i) {
        const QWidget* row = rows_->itemAt(i)->widget();
        if (row != nullptr && row->isVisibleTo(this)) shown.push_back(row->geometry());
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(hairline(palette()), 1));
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        const int y = shown[i].bottom() + 1;
        p.drawLine(rowInset, y, width() - rowInset - 1, y);
    }
}

// ---- FormSection ------------------------------------------------------------------------------

FormSection::FormSection(const QString& header, const QString& footer, QWidget* parent)
    : QWidget(parent), card_(new FormCard(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    if (!header.isEmpty()) {
        auto* title = new style::ToneLabel(header, style::Tone::secondary, this);
        title->setFont(style::bold(style::calloutFont()));
        title->setContentsMargins(rowInset - 2, 0, 0, 0);
        column->addWidget(title);
    }
    column->addWidget(card_);
    if (!footer.isEmpty()) {
        auto* caption = new style::ToneLabel(footer, style::Tone::secondary, this);
        caption->setFont(style::captionFont());
        caption->setWordWrap(true);
        caption->setContentsMargins(rowInset - 2, 0, rowInset - 2, 0);
        column->addWidget(caption);
    }
}

QWidget* FormSection::insertRow(int index, QWidget* content) {
    auto* row = new QWidget(card_);
    auto* line = new QHBoxLayout(row);
    // Room for the hairline between rows.
    line->setContentsMargins(0, 7, 0, 8);
    line->setSpacing(8);
    line->addWidget(content);
    card_->rows()->insertWidget(index < 0 ? card_->rows()->count() : index, row);
    return row;
}

QWidget* FormSection::addRow(QWidget* content) {
    return insertRow(-1, content);
}

QWidget* FormSection::addLabelledRow(const QString& title, QWidget* content) {
    auto* holder = new QWidget;
    auto* line = new QHBoxLayout(holder);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(12);
    auto* label = new QLabel(title, holder);
    label->setTextFormat(Qt::PlainText);
    line->addWidget(label, 0, Qt::AlignVCenter);
    line->addStretch(1);
    line->addWidget(content, 0, Qt::AlignVCenter);
    content->setParent(holder);
    label->setBuddy(content);
    return addRow(holder);
}

// ---- SettingsPane -----------------------------------------------------------------------------

SettingsPane::SettingsPane(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollPastControls(this);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    auto* content = new QWidget;
    content->setBackgroundRole(QPalette::Window);
    column_ = new QVBoxLayout(content);
    column_->setContentsMargins(20, 16, 20, 16);
    column_->setSpacing(18);
    column_->addStretch(1);
    setWidget(content);
}

FormSection* SettingsPane::addSection(const QString& header, const QString& footer) {
    auto* section = new FormSection(header, footer, widget());
    // Before the closing stretch, so the sections stay at the top.
    column_->insertWidget(column_->count() - 1, section);
    return section;
}

// ---- SegmentedControl -------------------------------------------------------------------------

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), labels_(labels) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

void SegmentedControl::setCurrentIndex(int index) {
    if (index < -1 || index >= count()) index = -1;
    if (index == current_) return;
    current_ = index;
    update();
}

int SegmentedControl::segmentWidth() const {
    int widest = 0;
    for (const QString& label : labels_) widest = std::max(widest, fontMetrics().horizontalAdvance(label));
    return widest + 28;
}

QSize SegmentedControl::sizeHint() const {
    return {segmentWidth() * std::max(count(), 1) + 2, std::max(26, fontMetrics().height() + 10)};
}

QRect SegmentedControl::segmentRect(int index) const {
    if (index < 0 || index >= count()) return {};
    const int inner = width() - 2;
    const int left = 1 + inner * index / count();
    const int right = 1 + inner * (index + 1) / count();
    return {left, 1, right - left, height() - 2};
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const bool enabled = isEnabled();
    const QColor text = pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    const QColor edge = style::withAlpha(pal.color(QPalette::Text), style::isDark(pal) ? 0.22 : 0.2);

    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // The edge stands out as other controls' outlines do; the lines between segments stay light.
    p.setPen(QPen(style::controlOutline(pal), 1));
    p.setBrush(pal.color(QPalette::Button));
    p.drawRoundedRect(outer, 6, 6);

    p.setPen(QPen(edge, 1));
    for (int i = 1; i < count(); ++i) {
        if (i == current_ || i - 1 == current_) continue;
        const int x = segmentRect(i).left();
        p.drawLine(QPointF(x + 0.5, 6), QPointF(x + 0.5, height() - 6));
    }
    if (current_ >= 0) {
        QColor fill = pal.color(QPalette::Highlight);
        if (!enabled) fill = style::withAlpha(fill, 0.4);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(segmentRect(current_)).adjusted(1, 1, -1, -1), 5, 5);
    }
    for (int i = 0; i < count(); ++i) {
        p.setPen(i == current_ ? pal.color(QPalette::HighlightedText) : text);
        p.drawText(segmentRect(i), Qt::AlignCenter, labels_[i]);
    }
    if (hasFocus()) {
        p.setPen(QPen(style::withAlpha(pal.color(QPalette::Highlight), 0.6), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
}

void SegmentedControl::choose(int index) {
    if (index < 0 || index >= count()) return;
    setCurrentIndex(index);
    emit segmentClicked(index);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    for (int i = 0; i < count(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) return choose(i);
    }
}

void SegmentedControl::mouseReleaseEvent(QMouseEvent* event) {
    // The choice is made on press; the release belongs to it.
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QWidget::mouseReleaseEvent(event);
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
    int next = current_;
    if (event->key() == Qt::Key_Left)
        next = std::max(current_ - 1, 0);
    else if (event->key() == Qt::Key_Right)
        next = std::min(current_ + 1, count() - 1);
    else
        return QWidget::keyPressEvent(event);
    if (next != current_) choose(next);
}

} // namespace rig::app

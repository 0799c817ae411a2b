#include "InventoryBlock.h"

#include "FormLayout.h"
#include "PageStyle.h"
#include "QtText.h"
#include "base/Number.h"
#include "base/Text.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <limits>

namespace rig::app {

namespace {

using style::Tone;

constexpr double cornerRadius = 7;

// Name at the leading edge, count at the trailing edge.
QWidget* lineRow(const QString& name, std::int64_t count, QMargins margins, QFont nameFont) {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("inventoryLine"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(margins);
    layout->setSpacing(8);
    // A long name wraps, anywhere if it must; the count keeps its place at the right edge.
    auto* nameLabel = new style::WrappingLabel(name);
    nameLabel->setFont(nameFont);
    nameLabel->setObjectName(QStringLiteral("name"));
    nameLabel->setSelectable(true);
    QFont countFont = nameFont;
    countFont.setWeight(QFont::ExtraBold);
    countFont.setStyleHint(QFont::Monospace, QFont::PreferDefault);
    auto* countLabel = form::label(toQ(integerText(count)), Tone::primary, countFont);
    countLabel->setObjectName(QStringLiteral("count"));
    countLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    countLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(nameLabel, 1, Qt::AlignVCenter);
    layout->addWidget(countLabel, 0, Qt::AlignVCenter);
    return row;
}

} // namespace

std::int64_t InventoryBlock::total(const Items& items) {
    std::int64_t sum = 0;
    for (const auto& item : items) {
        if (__builtin_add_overflow(sum, item.second, &sum)) {
            sum = item.second > 0 ? std::numeric_limits<std::int64_t>::max()
                                  : std::numeric_limits<std::int64_t>::min();
        }
    }
    return sum;
}

InventoryBlock::InventoryBlock(const QString& title, Items items, QWidget* parent)
    : QWidget(parent), title_(title), items_(std::move(items)) {
    setObjectName(QStringLiteral("inventoryBlock"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    auto* column = new QVBoxLayout(this);
    // Inside the one-pixel border.
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);

    QFont headerFont = style::captionFont();
    headerFont.setWeight(QFont::ExtraBold);
    auto* header = form::label(toQ(toUpper(toStd(title_))), Tone::secondary, headerFont);
    header->setObjectName(QStringLiteral("inventoryTitle"));
    header->setContentsMargins(9, 6, 9, 6);
    header->setTextInteractionFlags(Qt::TextSelectableByMouse);
    header_ = header;
    column->addWidget(header);

    const QFont body = style::bodyFont();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) column->addWidget(new form::Divider);
        column->addWidget(lineRow(items_[i].first, items_[i].second, QMargins(9, 4, 9, 4), body));
    }
    column->addWidget(new form::Divider);
    totalRow_ = lineRow(QStringLiteral("Total"), total(items_), QMargins(9, 4, 9, 4), body);
    totalRow_->setObjectName(QStringLiteral("inventoryTotal"));
    column->addWidget(totalRow_);
}

void InventoryBlock::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    // Header and total backgrounds follow the rounded corners.
    p.save();
    p.setClipPath(shape);
    const QColor tint = style::withAlpha(style::color(Tone::primary, pal), 0.06);
    p.fillRect(QRect(0, 0, width(), header_->geometry().bottom() + 1), tint);
    p.fillRect(QRect(0, totalRow_->geometry().top(), width(), height() - totalRow_->geometry().top()), tint);
    p.restore();
    p.setPen(QPen(style::withAlpha(style::color(Tone::secondary, pal), 0.35), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

} // namespace rig::app

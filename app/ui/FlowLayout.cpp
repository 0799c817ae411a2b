#include "FlowLayout.h"

#include <QWidget>

#include <algorithm>

namespace rig::app {

FlowLayout::FlowLayout(QWidget* parent, int horizontalSpacing, int verticalSpacing)
    : QLayout(parent), horizontal_(horizontalSpacing), vertical_(verticalSpacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

int FlowLayout::count() const {
    return int(items_.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return items_.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const {
    // As wide as the widest item: every other item can move to a line of its own.
    QSize size;
    for (const QLayoutItem* item : items_)
        if (!item->isEmpty()) size = size.expandedTo(item->minimumSize());
    const QMargins m = contentsMargins();
    return size.grownBy(m);
}

QSize FlowLayout::sizeHint() const {
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;
        if (width > 0) width += horizontal_;
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    return QSize(width, height).grownBy(contentsMargins());
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    int x = area.x();
    int y = area.y();
    int lineHeight = 0;
    // The items of the line being filled, centred on it once it is complete.
    QList<QLayoutItem*> line;
    const auto finishLine = [&] {
        if (apply) {
            for (QLayoutItem* item : line) {
                const QRect g = item->geometry();
                item->setGeometry(QRect(QPoint(g.x(), y + (lineHeight - g.height()) / 2), g.size()));
            }
        }
        line.clear();
    };
    for (QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;
        const QSize size =
            item->sizeHint().boundedTo(QSize(area.width(), QWIDGETSIZE_MAX)).expandedTo(item->minimumSize());
        if (!line.isEmpty() && x + size.width() > area.right() + 1) {
            finishLine();
            x = area.x();
            y += lineHeight + vertical_;
            lineHeight = 0;
        }
        if (apply) item->setGeometry(QRect(QPoint(x, y), size));
        line.append(item);
        x += size.width() + horizontal_;
        lineHeight = std::max(lineHeight, size.height());
    }
    finishLine();
    return y + lineHeight - rect.y() + contentsMargins().bottom();
}

} // namespace rig::app

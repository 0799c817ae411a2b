// One boxed table of the overview's inventory: the title in capitals, one line per product
// with its count, and the total. Shows what it is given, in that order; edits nothing.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

namespace rig::app {

namespace style {
class ToneLabel;
}

class InventoryBlock : public QWidget {
    Q_OBJECT
public:
    using Items = std::vector<std::pair<QString, std::int64_t>>;

    InventoryBlock(const QString& title, Items items, QWidget* parent = nullptr);

    // The sum of the counts (0 for none); held at the largest or smallest number rather
    // than overflowing on absurd inventories.
    static std::int64_t total(const Items& items);

    QString title() const { return title_; }
    const Items& items() const { return items_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    Items items_;
    QWidget* header_;
    QWidget* totalRow_;
};

} // namespace rig::app

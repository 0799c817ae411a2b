#include "RowBlocks.h"

#include <QWidget>

namespace rig::app {

void showNewBlock(QWidget* content, QWidget* block) {
    content->setMinimumHeight(content->height() + block->sizeHint().height());
    block->setVisible(true);
    content->setMinimumHeight(0);
}

} // namespace rig::app

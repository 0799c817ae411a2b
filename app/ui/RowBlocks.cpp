#include "RowBlocks.h"

#include "ProjectStore.h"

#include <QWidget>

namespace rig::app {

void showNewBlock(QWidget* content, QWidget* block) {
    content->setMinimumHeight(content->height() + block->sizeHint().height());
    block->setVisible(true);
    content->setMinimumHeight(0);
}

BlockBuilder::BlockBuilder(const ProjectStore& store, std::function<bool()> buildBlock)
    : store_(store), buildBlock_(std::move(buildBlock)) {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    timer_.callOnTimeout([this] { pass(); });
}

void BlockBuilder::start() {
    revision_ = store_.revision();
    timer_.start();
}

void BlockBuilder::pass() {
    if (store_.revision() != revision_) return;
    if (buildBlock_()) timer_.start();
}

} // namespace rig::app

// Long lists of rows are built a block at a time, apart from the window, and each block is
// shown as one piece: rows added one by one to a shown column are shown one at a time, and
// each lays the whole column out again. Blocks no longer shown go through DeferredDeletion.
#pragma once

#include <QTimer>

#include <cstdint>
#include <functional>

class QWidget;

namespace rig::app {

class ProjectStore;

// Shows `block`, just put into the column that `content` (the widget of a scroll area) lays
// out. Its room is made first, or the column squeezes the blocks above it to fit it in and
// lays all of them out again.
void showNewBlock(QWidget* content, QWidget* block);

// Builds the blocks after the first, one per pass of the event loop, for the project the
// view last refreshed from. The store changes its project at once but views refresh a pass
// later: a pass that finds the project changed meanwhile builds nothing, and the build waits
// for the view's refresh, which works out where the rows are anew and starts it again. So no
// block reads a project with positions worked out for another.
class BlockBuilder {
public:
    // `buildBlock` builds the next block and says whether more are to come.
    BlockBuilder(const ProjectStore& store, std::function<bool()> buildBlock);

    // From the view's refresh: the blocks still to come are for the store's project as it is.
    void start();
    void stop() { timer_.stop(); }

private:
    void pass();

    const ProjectStore& store_;
    std::function<bool()> buildBlock_;
    std::uint64_t revision_ = 0;
    QTimer timer_;
};

} // namespace rig::app

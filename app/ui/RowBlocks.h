// Long lists of rows are built a block at a time, apart from the window, and each block is
// shown as one piece: rows added one by one to a shown column are shown one at a time, and
// each lays the whole column out again. Blocks no longer shown go through DeferredDeletion.
#pragma once

class QWidget;

namespace rig::app {

// Shows `block`, just put into the column that `content` (the widget of a scroll area) lays
// out. Its room is made first, or the column squeezes the blocks above it to fit it in and
// lays all of them out again.
void showNewBlock(QWidget* content, QWidget* block);

} // namespace rig::app

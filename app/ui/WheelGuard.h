// Menus, spin boxes and sliders inside a scrolling page take the mouse wheel only once they
// have the keyboard focus; until then the wheel scrolls the page, so that scrolling past a
// control never changes its value.
#pragma once

class QAbstractScrollArea;

namespace rig::app {

// Applies to every such control in `page`, including those added later (rows rebuilt).
void scrollPastControls(QAbstractScrollArea* page);

} // namespace rig::app

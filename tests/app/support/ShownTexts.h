// What a user reads on a widget, taken from the widget tree as it is shown, not from the
// values the code worked out on the way.
#pragma once

#include <QStringList>

class QWidget;

namespace rig::app::testing {

// The texts of the labels and buttons shown under `root`, in reading order: line by line from
// the top, left to right within a line, by where the widgets are on screen. Pending layouts
// are done first. "&&" in a button text reads as the "&" it shows.
QStringList shownTexts(QWidget* root);

} // namespace rig::app::testing

// What a user reads on a widget, taken from the widget tree as it is shown, not from the
// values the code worked out on the way.
#pragma once

#include <QRectF>
#include <QStringList>

#include <vector>

class QAbstractButton;
class QWidget;

namespace rig::app::testing {

// The texts of the labels and buttons shown under `root`, in reading order: line by line from
// the top, left to right within a line, by where the widgets are on screen. Pending layouts
// are done first. "&&" in a button text reads as the "&" it shows.
QStringList shownTexts(QWidget* root);
// The button under `root` that shows `text` (a user finds it so), or null.
QAbstractButton* buttonShowing(QWidget* root, const QString& text);

// Runs the layouts that are waiting, so that widgets have the size they are shown at.
void settleLayouts();

// The same, line by line: a table reads one list per row.
std::vector<QStringList> shownLines(QWidget* root);

// A text a widget draws itself (a canvas, a painted stack): what it says and where it stands in
// the widget, as the box its line takes.
struct PaintedText {
    QString text;
    QRectF box;
};
// The texts `widget` and its children draw when painted at their size, in drawing order.
std::vector<PaintedText> paintedTexts(QWidget* widget);

} // namespace rig::app::testing

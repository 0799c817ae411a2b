// Whether names with directional controls are shown safely: test names carry a right-to-left
// override (U+202E) left open, and every text on screen must show them isolated and without it.
#pragma once

#include "support/ProjectFixtures.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace rig::app::testing {

inline constexpr char16_t openOverride = u'\u202E';

// The texts of `root` and the widgets and actions in it (titles, labels, buttons, menu items,
// tool tips): how many show a name isolated (U+2068), and those that still hold an override.
// Editors are left out: they show the text as it is stored.
struct ShownOverrides {
    int isolated = 0;
    QStringList loose;
};
inline ShownOverrides shownOverrides(const QWidget& root) {
    ShownOverrides out;
    auto note = [&](const QString& text) {
        if (text.contains(QChar(openOverride))) {
            out.loose << text;
        } else if (text.contains(QChar(u'\u2068'))) {
            ++out.isolated;
        }
    };
    QList<const QWidget*> widgets{&root};
    for (const QWidget* w : root.findChildren<QWidget*>()) widgets << w;
    for (const QWidget* w : widgets) {
        note(w->windowTitle());
        note(w->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(w)) note(label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) note(button->text());
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i) note(box->itemText(i));
    }
    for (const QAction* action : root.findChildren<QAction*>()) note(action->text());
    return out;
}

} // namespace rig::app::testing

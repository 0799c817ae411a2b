// The program's own line icons (SVG, compiled in), drawn in a colour taken from the palette so
// they read well in light and dark appearances. Names follow the symbol names the pages use:
//   person, person.2, arrow.up.and.down.square, paperplane, gearshape, gearshape.fill, hoist,
//   link, eye, eye.slash, doc.on.doc, square.and.arrow.up, iphone, rectangle, pencil,
//   exclamationmark.triangle, exclamationmark.triangle.fill, exclamationmark.octagon.fill,
//   exclamationmark.circle, info.circle, checkmark.circle, minus.circle, plus, xmark, trash,
//   chevron.right, chevron.down, chevron.left, chevron.up, list.bullet.rectangle,
//   speaker.wave.3, wifi.exclamationmark
#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <functional>

namespace rig::app {

// Picks the icon's colour from a palette whose current colour group is the one being drawn
// (Disabled for a disabled control).
using IconColor = std::function<QColor(const QPalette&)>;

// The icon in `color`, worked out from the application palette each time it is drawn, so it
// follows a change of appearance. A colour that is the same in the disabled group is drawn
// faded there. An unknown name gives a null icon.
QIcon tintedIcon(const QString& name, IconColor color);
// In the palette's colour for `role` (WindowText by default), following the application palette.
QIcon tintedIcon(const QString& name, QPalette::ColorRole role = QPalette::WindowText);
// In the given palette's colour for `role`, fixed (for a widget drawn with its own palette).
QIcon tintedIcon(const QString& name, const QPalette& palette, QPalette::ColorRole role);
// In one fixed colour.
QIcon tintedIcon(const QString& name, const QColor& color);

// The icon drawn in `color` at `size` device-independent pixels for a screen scale of
// `devicePixelRatio`; a null pixmap for an unknown name.
QPixmap iconPixmap(const QString& name, const QColor& color, int size, qreal devicePixelRatio = 1.0);

// Every bundled icon name, sorted.
QStringList iconNames();
bool hasIcon(const QString& name);

} // namespace rig::app

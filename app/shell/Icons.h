// The program's icons: small SVGs bundled in the program (":/icons/<name>.svg"), drawn in one
// colour taken from the palette, so they read in light and dark and need no icon theme.
// Main thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace rig::app {

// True when an icon of that name is bundled ("eye", "paperplane", ...).
bool hasIcon(const QString& name);

// The icon drawn in `color` at `size` device-independent pixels.
QPixmap iconPixmap(const QString& name, const QColor& color, QSize size, qreal devicePixelRatio = 1.0);

// An icon in `color` at any size; its disabled form is the same colour, faded.
QIcon tintedIcon(const QString& name, const QColor& color);

// An icon in a colour role of `palette` (ButtonText by default); the disabled form takes the
// role's disabled colour. Make it anew when the palette changes.
QIcon paletteIcon(const QString& name, const QPalette& palette,
                  QPalette::ColorRole role = QPalette::ButtonText);

} // namespace rig::app

// The stored window appearance applied to the whole application. Main thread only.
#pragma once

#include "Preferences.h"

#include <QPalette>

namespace rig::app {

// Applies the stored appearance to the whole application. The first call remembers the
// style and palette the program started with; "system" brings them back.
void applyAppearance();
void applyAppearance(Appearance appearance);

// The palettes used with the Fusion style.
QPalette lightPalette();
QPalette darkPalette();

} // namespace rig::app

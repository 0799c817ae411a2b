// The user's own name and the window appearance, kept in the settings file and read outside
// the settings window. Main thread only.
#pragma once

#include <QPalette>
#include <QString>

namespace rig::app {

// Settings keys.
inline constexpr char authorNameKey[] = "authorName";
inline constexpr char appearanceKey[] = "appearance";

// The stored author name exactly as typed when it holds more than blanks, else the account's
// full name (possibly empty). Read anew on every call.
QString defaultAuthorName();

// The full name of the logged-in account: its GECOS field up to the first ",".
QString accountFullName();
// The name part of a GECOS field ("Sam Reyes,Room 4,,"): everything before the first ",".
QString fullNameFromGecos(const char* gecos);

enum class Appearance { system, light, dark };

// "light" and "dark" exactly (case matters); anything else, the empty text included, is system.
Appearance appearanceFromSetting(const QString& stored);

// Applies the stored appearance to the whole application. The first call remembers the
// style and palette the program started with; "system" brings them back.
void applyAppearance();
void applyAppearance(Appearance appearance);

// Remembers the start-up style and palette unless already done; applyAppearance does it too.
void captureStartupAppearance();

// The palettes used with the Fusion style.
QPalette lightPalette();
QPalette darkPalette();

} // namespace rig::app

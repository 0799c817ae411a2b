// The user's own name and the window appearance setting, kept in the settings file and read
// outside the settings window. Main thread only.
#pragma once

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

} // namespace rig::app

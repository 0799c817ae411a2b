// Dates and times as the user reads them in the program: the abbreviated date and the short
// time of the user's locale (QLocale()), in local time, for example "14 Mar 2025, 10:26".
#pragma once

#include "base/Date.h"

#include <QDateTime>
#include <QString>

namespace rig::app {

QString formatShortDateTime(const QDateTime& when);
QString formatShortDateTime(Date when);

} // namespace rig::app

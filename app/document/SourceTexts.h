// The texts of the source page, as pure functions of the model. Absent values read "–"
// (U+2013); a point without a motor reads "—" (U+2014). Numbers never go through the locale;
// names from the report and the project are isolated (shownName).
#pragma once

#include "PageStyle.h"
#include "model/Project.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace rig::app::sourcetext {

// "–"
QString absent();
// fmt of a finite value, else "–".
QString number(double value);

QString angle(std::optional<double> value);                          // "-3.5°"
QString signedAngle(double value);                                   // "+2°", "0°", "-7.3°"
QString length(std::optional<double> value, const ReportInfo& info); // "11.2 m"
QString weight(std::optional<double> value, const ReportInfo& info); // "730 kg"
QString plainNumber(std::optional<double> value);

// --- Header ----------------------------------------------------------------------------

// Groups without "ALL", joined by " › ".
QString groupPath(const Source& source);
// "flown · 4 motors in Soundvision", or the configuration alone.
QString configurationLine(const Source& source);
// The report's warnings, and one more when the report could not be read whole around the
// source.
List<ReportWarning> warnings(const Source& source);

// --- Facts -----------------------------------------------------------------------------

// One row of the facts grid: a label and a value, then either a second pair or nothing;
// `wide` values span the remaining three columns.
struct FactRow {
    QString label;
    QString value;
    QString label2;
    QString value2;
    bool wide = false;

    friend bool operator==(const FactRow&, const FactRow&) = default;
};
std::vector<FactRow> facts(const Source& source, const ReportInfo& info);
// "730 kg  (speakers 672 kg)"
QString weightLine(const Source& source, const ReportInfo& info);
// "X 4.5  Y -2  Z 11.2"
QString positionLine(const XYZ& position);

// --- Pickup points -----------------------------------------------------------------------

QString pickupHeading();
QString pickupHelp();
QStringList pickupColumnTitles(const DeltaSpec& delta);
// A point's speaker load: its weight, "–" when the report gives none, and "Unreadable" when it
// printed one that is no number (the checks name the point).
QString pointLoad(std::optional<double> load, const ReportInfo& info);
// Orange for an unreadable load, as the checks warn of it; red below 0.
style::Tone pointLoadTone(std::optional<double> load);
// "Front · hole A3"
QString pointTitle(const Pickup& pickup);
// "4.75 / -2.00 / 11.30", or "–" when x is not finite.
QString coordinatesLine(const Pickup& pickup);
// "Δ L 4.75 / -1.60   R 4.75 / -2.40"
QString deltaLine(const Project::DeltaPoints& points);
QString coordinatesTooltip(const Pickup& pickup);
// "—", or "2 × CM Lodestar 1t (62 kg)"
QString motorLabel(const PointExtra& extra);
// "CM Lodestar 1t – 62 kg"
QString motorMenuItem(const Motor& motor);
QString noMotorItem();  // "None"
QString newMotorItem(); // "New Motor…"
QString sameMotorItem(const Source& source);
QString deltaTooltip(const DeltaSpec& delta);

// --- Enclosures --------------------------------------------------------------------------

QString enclosuresTitle(const Source& source); // "Enclosures (12)"
bool showsPanflexColumn(const Source& source);
QStringList enclosureColumnTitles(const Source& source);
// The text cells of one row (the Panflex cell is a view of its own).
QStringList enclosureCells(const Source& source, const Enclosure& enclosure);
// Without an angle column and with two or more enclosures.
bool showsAngleNote(const Source& source);
QString angleNote();

} // namespace rig::app::sourcetext

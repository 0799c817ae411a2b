#include "SourceTexts.h"

#include "QtText.h"
#include "analysis/BottomFace.h"
#include "analysis/Issues.h"
#include "base/Number.h"

#include <cmath>
#include <string>

namespace rig::app::sourcetext {

namespace {

QString integer(std::int64_t value) {
    return toQ(integerText(value));
}

// "%.2f", or "–" for a value that is not a number.
QString fixed2(double value) {
    return std::isfinite(value) ? toQ(formatFixed(value, 2)) : absent();
}

QString withUnit(std::optional<double> value, const std::string& unit) {
    if (!value || !std::isfinite(*value)) return absent();
    return number(*value) + u' ' + shownName(unit);
}

} // namespace

QString absent() {
    return QStringLiteral("\u2013");
}

QString number(double value) {
    return std::isfinite(value) ? toQ(fmt(value)) : absent();
}

QString angle(std::optional<double> value) {
    if (!value || !std::isfinite(*value)) return absent();
    return number(*value) + u'\u00B0';
}

QString signedAngle(double value) {
    if (!std::isfinite(value)) return absent();
    return (value > 0 ? QStringLiteral("+") : QString()) + number(value) + u'\u00B0';
}

QString length(std::optional<double> value, const ReportInfo& info) {
    return withUnit(value, info.distanceUnit);
}

QString weight(std::optional<double> value, const ReportInfo& info) {
    return withUnit(value, info.weightUnit);
}

QString pointLoad(std::optional<double> load, const ReportInfo& info) {
    if (load && !std::isfinite(*load)) return QStringLiteral("Unreadable");
    return weight(load, info);
}

style::Tone pointLoadTone(std::optional<double> load) {
    if (!load) return style::Tone::primary;
    if (!std::isfinite(*load)) return style::Tone::orange;
    return *load < 0 ? style::Tone::red : style::Tone::primary;
}

QString plainNumber(std::optional<double> value) {
    return value ? number(*value) : absent();
}

QString groupPath(const Source& source) {
    QStringList groups;
    for (std::string_view group : groupPathWithoutAll(source)) groups << shownName(group);
    return groups.join(QStringLiteral(" \u203A "));
}

QString configurationLine(const Source& source) {
    QString line = shownName(source.configuration);
    if (source.motorCount) {
        const std::int64_t n = *source.motorCount;
        line += QStringLiteral(" \u00B7 ") + integer(n) + QStringLiteral(" motor") +
                (n == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" in Soundvision");
    }
    return line;
}

List<ReportWarning> warnings(const Source& source) {
    if (!source.possiblyIncomplete) return source.warnings;
    List<ReportWarning> shown = source.warnings;
    shown.push_back(ReportWarning{ReportWarning::Level::warning, std::string(possiblyIncompleteText)});
    return shown;
}

QString weightLine(const Source& source, const ReportInfo& info) {
    QString line = weight(source.totalWeight, info);
    if (source.enclosureWeight) {
        // The speakers' weight always carries kg, whatever the report's unit.
        line += QStringLiteral("  (speakers ") + number(*source.enclosureWeight) + QStringLiteral(" kg)");
    }
    return line;
}

QString positionLine(const XYZ& p) {
    return QStringLiteral("X ") + number(p.x) + QStringLiteral("  Y ") + number(p.y) +
           QStringLiteral("  Z ") + number(p.z);
}

std::vector<FactRow> facts(const Source& source, const ReportInfo& info) {
    std::vector<FactRow> rows;
    if (source.bumper) rows.push_back({"Bumper", shownName(*source.bumper), {}, {}, true});
    rows.push_back({"Site", angle(source.site), "Azimuth", angle(source.azimuth), false});
    if (source.isFlown()) {
        const std::optional<double> trim =
            source.position ? std::optional<double>(source.position->z) : std::nullopt;
        rows.push_back({"Trim", length(trim, info), "Bottom", length(source.bottomElevation, info), false});
    } else {
        rows.push_back({"Height", length(source.bottomElevation, info), {}, {}, false});
    }
    // A site that is not a number has no face to show.
    if (auto face = bottomFace(source); face && std::isfinite(face->site) && std::isfinite(face->facet)) {
        rows.push_back({"Bottom box", signedAngle(face->site), "Inclinometer",
                        signedAngle(face->facet) + QStringLiteral("  bottom face"), false});
    }
    rows.push_back({"Weight", weightLine(source, info), {}, {}, true});
    if (source.position) rows.push_back({"Position", positionLine(*source.position), {}, {}, true});
    return rows;
}

QString pickupHeading() {
    return QStringLiteral("Pickup points");
}

QString pickupHelp() {
    return QStringLiteral(
        "The crew sees the speaker load per point. Motors are shown only when set; riggers get "
        "motor weights in the rigging points PDF/CSV.");
}

QStringList pickupColumnTitles(const DeltaSpec& delta) {
    return {"Point", "Speaker load", "X / Y / Z", "Motor", shownName(delta.name)};
}

QString pointTitle(const Pickup& pickup) {
    QString title = shownName(pickup.role);
    if (!pickup.hole.empty()) title += QStringLiteral(" \u00B7 hole ") + shownName(pickup.hole);
    return title;
}

QString coordinatesLine(const Pickup& pickup) {
    const XYZ& p = pickup.position;
    if (!std::isfinite(p.x)) return absent();
    return fixed2(p.x) + QStringLiteral(" / ") + fixed2(p.y) + QStringLiteral(" / ") + fixed2(p.z);
}

QString deltaLine(const Project::DeltaPoints& points) {
    return QStringLiteral("\u0394 L ") + fixed2(points.left.x) + QStringLiteral(" / ") +
           fixed2(points.left.y) + QStringLiteral("   R ") + fixed2(points.right.x) + QStringLiteral(" / ") +
           fixed2(points.right.y);
}

QString coordinatesTooltip(const Pickup& pickup) {
    return pickup.fromDXF ? QStringLiteral("Report coordinates, confirmed by the DXF")
                          : QStringLiteral("Report coordinates");
}

QString motorLabel(const PointExtra& extra) {
    if (!extra.motor) return QStringLiteral("\u2014");
    return (extra.delta ? QStringLiteral("2 \u00D7 ") : QString()) + shownName(extra.motor->name) +
           QStringLiteral(" (") + number(extra.motor->weight) + QStringLiteral(" kg)");
}

QString motorMenuItem(const Motor& motor) {
    return shownName(motor.name) + QStringLiteral(" \u2013 ") + number(motor.weight) + QStringLiteral(" kg");
}

QString noMotorItem() {
    return QStringLiteral("None");
}

QString newMotorItem() {
    return QStringLiteral("New Motor\u2026");
}

QString sameMotorItem(const Source& source) {
    return QStringLiteral("Same motor on all points of ") + shownName(source.name);
}

QString deltaTooltip(const DeltaSpec& delta) {
    return shownName(delta.name) + QStringLiteral(": this point hangs from two motors");
}

QString enclosuresTitle(const Source& source) {
    return QStringLiteral("Enclosures (") + integer(std::int64_t(source.enclosures.size())) + u')';
}

bool showsPanflexColumn(const Source& source) {
    for (const Enclosure& e : source.enclosures) {
        if (e.panflex) return true;
    }
    return false;
}

QStringList enclosureColumnTitles(const Source& source) {
    QStringList titles{"#", "Type"};
    if (source.hasAngles) titles << "Angle";
    titles << "Site"
           << "Top Z"
           << "Bottom Z";
    if (showsPanflexColumn(source)) titles << "Panflex";
    return titles;
}

QStringList enclosureCells(const Source& source, const Enclosure& e) {
    QStringList cells{integer(e.index), shownName(e.type)};
    if (source.hasAngles) cells << angle(e.angle);
    cells << angle(e.site) << plainNumber(e.topZ) << plainNumber(e.bottomZ);
    return cells;
}

bool showsAngleNote(const Source& source) {
    return !source.hasAngles && source.enclosures.size() >= 2;
}

QString angleNote() {
    return QStringLiteral(
        "This report has no angle column for this series \u2013 the crew sees the site of each enclosure.");
}

} // namespace rig::app::sourcetext

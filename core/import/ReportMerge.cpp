// Merging a newly read report into a project, with the list of what changed.
#include "model/Project.h"

#include "base/Number.h"
#include "base/Text.h"
#include "model/RigError.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <stop_token>

namespace rig {

namespace {

// Smaller differences are the rounding of the printed values between two exports, not a
// change of the design.
constexpr double kSiteTolerance = 0.05;           // degrees, site and azimuth
constexpr double kHeightTolerance = 0.005;        // metres, trim, position X/Y and bottom
constexpr double kEnclosureAngleTolerance = 0.01; // degrees between two cabinets
constexpr double kLoadTolerance = 0.5;            // kilograms
// A DXF pickup this close (metres) confirms the report's position of a point.
constexpr double kDXFPickupReach = 0.05;

constexpr std::string_view arrow = " \u2192 ";
constexpr std::string_view dash = "\u2013";
constexpr std::string_view degree = "\u00B0";

// A name inside a change line, kept from reordering the rest of the line (bidiIsolated);
// the text itself for names without right-to-left letters or directional controls.
std::string named(std::string_view text) {
    return bidiIsolated(text);
}

std::string orDash(const std::optional<std::string>& text) {
    return text ? named(*text) : std::string(dash);
}

// A value the report printed as something other than a number ("-") is read as not a number;
// a damaged project file may hold infinities too. Neither is ever shown as a number.
bool readable(double v) {
    return std::isfinite(v);
}

// Differences equal to the tolerance do not count. A value that becomes unreadable, or
// readable again, is a change; two unreadable values are the same.
bool differs(double a, double b, double tolerance) {
    if (readable(a) != readable(b)) return true;
    if (!readable(a)) return false;
    return std::fabs(b - a) > tolerance;
}

// The value with its unit, or "unreadable".
std::string shown(double v, std::string_view unit = {}) {
    return readable(v) ? fmt(v) + std::string(unit) : std::string("unreadable");
}

// "{label} → {new}{unit}", "{label} removed" or "{label} {old}{unit} → {new}{unit}".
void compareOptional(std::vector<std::string>& out, std::string_view label, std::string_view unit,
                     std::optional<double> a, std::optional<double> b, double tolerance) {
    const std::string l(label);
    if (!a && b) {
        out.push_back(l + std::string(arrow) + shown(*b, unit));
    } else if (a && !b) {
        out.push_back(l + " removed");
    } else if (a && b && differs(*a, *b, tolerance)) {
        out.push_back(l + " " + shown(*a, unit) + std::string(arrow) + shown(*b, unit));
    }
}

std::optional<double> trimOf(const Source& s) {
    return s.position ? std::optional(s.position->z) : std::nullopt;
}

// Configuration, bumper, angles, trim, position and bottom, in this order.
void compareSourceFields(std::vector<std::string>& out, const Source& a, const Source& b) {
    const std::string to(arrow);
    if (!textEqual(a.configuration, b.configuration))
        out.push_back("configuration" + to + named(b.configuration));
    if (!eq(a.bumper, b.bumper)) out.push_back("bumper " + orDash(a.bumper) + to + orDash(b.bumper));
    compareOptional(out, "site", degree, a.site, b.site, kSiteTolerance);
    compareOptional(out, "azimuth", degree, a.azimuth, b.azimuth, kSiteTolerance);
    compareOptional(out, "trim", " m", trimOf(a), trimOf(b), kHeightTolerance);
    if (a.position && b.position &&
        (differs(a.position->x, b.position->x, kHeightTolerance) ||
         differs(a.position->y, b.position->y, kHeightTolerance))) {
        out.push_back("position X/Y " + shown(a.position->x) + "; " + shown(a.position->y) + to +
                      shown(b.position->x) + "; " + shown(b.position->y));
    }
    compareOptional(out, "bottom", " m", a.bottomElevation, b.bottomElevation, kHeightTolerance);
}

// The count, then type, angle and Panflex of the enclosures both lists have.
void compareEnclosures(std::vector<std::string>& out, const Source& a, const Source& b) {
    const std::string to(arrow);
    if (a.enclosures.size() != b.enclosures.size()) {
        out.push_back("enclosures " + integerText(static_cast<std::int64_t>(a.enclosures.size())) + to +
                      integerText(static_cast<std::int64_t>(b.enclosures.size())));
    }
    for (std::size_t i = 0; i < std::min(a.enclosures.size(), b.enclosures.size()); ++i) {
        const Enclosure& ea = a.enclosures[i];
        const Enclosure& eb = b.enclosures[i];
        const std::string n = "#" + integerText(eb.index);
        if (!textEqual(ea.type, eb.type)) out.push_back(n + " type " + named(ea.type) + to + named(eb.type));
        if (ea.angle && eb.angle && differs(*ea.angle, *eb.angle, kEnclosureAngleTolerance)) {
            out.push_back(n + " angle " + shown(*ea.angle, degree) + to + shown(*eb.angle, degree));
        }
        if (!eq(ea.panflex, eb.panflex))
            out.push_back(n + " panflex " + orDash(ea.panflex) + to + orDash(eb.panflex));
    }
}

// One pickup role: its text as first met, and the first pickup with it on either side.
struct RolePair {
    std::string_view role;
    const Pickup* old = nullptr;
    const Pickup* now = nullptr;
};

// Every role of both sources, keyed by its composed form, so the roles come out in
// code-point order and each is looked up once.
std::map<std::string, RolePair, std::less<>> rolePairs(const Source& a, const Source& b) {
    std::map<std::string, RolePair, std::less<>> roles;
    for (const Pickup& p : a.pickups) roles.try_emplace(nfc(p.role), RolePair{p.role, &p, nullptr});
    for (const Pickup& p : b.pickups) {
        RolePair& pair = roles.try_emplace(nfc(p.role), RolePair{p.role}).first->second;
        if (!pair.now) pair.now = &p;
    }
    return roles;
}

void comparePickups(std::vector<std::string>& out, const Source& a, const Source& b) {
    for (const auto& [key, sides] : rolePairs(a, b)) {
        const std::string role = named(sides.role);
        const auto holeA = sides.old ? std::optional(sides.old->hole) : std::nullopt;
        const auto holeB = sides.now ? std::optional(sides.now->hole) : std::nullopt;
        if (!eq(holeA, holeB))
            out.push_back(role + " hole " + orDash(holeA) + std::string(arrow) + orDash(holeB));
        compareOptional(out, role + " load", " kg", sides.old ? sides.old->load : std::nullopt,
                        sides.now ? sides.now->load : std::nullopt, kLoadTolerance);
    }
}

// The lines for the sources of `newReport` that are new or changed against `old`, then for
// the old ones that are gone. Sources meet by identifier; the first of equal ones counts.
std::vector<std::string> changeList(const List<Source>& old, const Report& newReport,
                                    const TextMap<SourceExtra>& extras, const std::stop_token& stop) {
    TextMap<const Source*> byID;
    for (const Source& s : old) {
        const std::string id = s.id();
        if (!byID.contains(id)) byID.set(id, &s);
    }
    TextSet newIDs;
    for (const Source& s : newReport.sources) newIDs.insert(s.id());

    std::vector<std::string> changes;
    for (const Source& s : newReport.sources) {
        throwIfCancelled(stop);
        const Source* const* before = byID.get(s.id());
        if (!before) {
            changes.push_back("New source: " + named(s.name) + " (" +
                              (s.groups.empty() ? "" : named(s.groups.back())) + ")");
            continue;
        }
        const auto texts = Project::diff(**before, s);
        if (texts.empty()) continue;
        std::string line = named(s.name) + ": ";
        for (std::size_t k = 0; k < texts.size(); ++k) line += (k ? "; " : "") + texts[k];
        changes.push_back(std::move(line));
    }
    for (const Source& s : old) {
        const std::string id = s.id();
        if (newIDs.contains(id)) continue;
        std::string line = "Removed source: " + named(s.name);
        if (extras.contains(id)) line += " (its motors/Delta are kept in case it returns)";
        changes.push_back(std::move(line));
    }
    return changes;
}

// The project's name from a report file name: no extension, "_" read as a blank.
std::string nameFromFile(const std::string& fileName) {
    std::string name = std::filesystem::path(fileName).replace_extension().string();
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

} // namespace

std::vector<std::string> Project::diff(const Source& a, const Source& b) {
    std::vector<std::string> out;
    compareSourceFields(out, a, b);
    compareEnclosures(out, a, b);
    comparePickups(out, a, b);
    return out;
}

void Project::matchDXFPickups() {
    for (std::size_t i = 0; i < report.sources.size(); ++i) {
        const DXFInfo* info = dxf.get(report.sources[i].id());
        if (!info) continue;
        for (std::size_t j = 0; j < report.sources[i].pickups.size(); ++j) {
            const XYZ& at = report.sources[i].pickups[j].position;
            if (!report.sources[i].pickups[j].hasPosition()) continue;
            // Strictly nearer only: the earlier position wins a tie, and a distance that is
            // not a number never wins.
            double nearest = INFINITY;
            for (const XYZ& q : info->pickups) {
                const double d = at.distance(q);
                if (d < nearest) nearest = d;
            }
            const bool confirmed = nearest < kDXFPickupReach;
            // Only a changed flag detaches the shared lists.
            if (report.sources[i].pickups[j].fromDXF != confirmed) {
                report.sources.mut(i).pickups.mut(j).fromDXF = confirmed;
            }
        }
    }
}

std::vector<std::string> Project::importReport(const Report& newReport, const std::string& file, Date date,
                                               std::stop_token stop) {
    throwIfCancelled(stop);
    // Nothing is changed before the list is complete, so a stop leaves the project as it was.
    std::vector<std::string> changes;
    if (!report.sources.empty()) changes = changeList(report.sources, newReport, extras, stop);

    report = newReport;
    reportFile = file;
    reportImportedAt = date;
    if (name.empty()) name = nameFromFile(report.info.fileName.empty() ? file : report.info.fileName);
    if (!dxf.empty()) matchDXFPickups();
    history.push_back(ImportRecord{date, file, List<std::string>(changes)});
    return changes;
}

} // namespace rig

// Merging a newly read report into a project, with the list of what changed.
#include "model/Project.h"

#include "base/Number.h"
#include "base/Text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

namespace rig {

namespace {

constexpr std::string_view arrow = " \u2192 ";
constexpr std::string_view dash = "\u2013";
constexpr std::string_view degree = "\u00B0";

std::string orDash(const std::optional<std::string>& text) {
    return text ? *text : std::string(dash);
}

// Differences equal to the tolerance, and those that are not a number, do not count.
bool differs(double a, double b, double tolerance) {
    return std::fabs(b - a) > tolerance;
}

// "{label} → {new}{unit}", "{label} removed" or "{label} {old}{unit} → {new}{unit}".
void compareOptional(std::vector<std::string>& out, std::string_view label, std::string_view unit,
                     std::optional<double> a, std::optional<double> b, double tolerance) {
    const std::string l(label);
    if (!a && b) {
        out.push_back(l + std::string(arrow) + fmt(*b) + std::string(unit));
    } else if (a && !b) {
        out.push_back(l + " removed");
    } else if (a && b && differs(*a, *b, tolerance)) {
        out.push_back(l + " " + fmt(*a) + std::string(unit) + std::string(arrow) + fmt(*b) +
                      std::string(unit));
    }
}

const Pickup* firstWithRole(const Source& s, std::string_view role) {
    for (const Pickup& p : s.pickups) {
        if (textEqual(p.role, role)) return &p;
    }
    return nullptr;
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
    const std::string to(arrow);
    if (!textEqual(a.configuration, b.configuration)) out.push_back("configuration" + to + b.configuration);
    if (!eq(a.bumper, b.bumper)) out.push_back("bumper " + orDash(a.bumper) + to + orDash(b.bumper));
    compareOptional(out, "site", degree, a.site, b.site, 0.05);
    compareOptional(out, "azimuth", degree, a.azimuth, b.azimuth, 0.05);
    compareOptional(out, "trim", " m", a.position ? std::optional(a.position->z) : std::nullopt,
                    b.position ? std::optional(b.position->z) : std::nullopt, 0.005);
    if (a.position && b.position &&
        (differs(a.position->x, b.position->x, 0.005) || differs(a.position->y, b.position->y, 0.005))) {
        out.push_back("position X/Y " + fmt(a.position->x) + "; " + fmt(a.position->y) + to +
                      fmt(b.position->x) + "; " + fmt(b.position->y));
    }
    compareOptional(out, "bottom", " m", a.bottomElevation, b.bottomElevation, 0.005);
    if (a.enclosures.size() != b.enclosures.size()) {
        out.push_back("enclosures " + integerText(static_cast<std::int64_t>(a.enclosures.size())) + to +
                      integerText(static_cast<std::int64_t>(b.enclosures.size())));
    }
    for (std::size_t i = 0; i < std::min(a.enclosures.size(), b.enclosures.size()); ++i) {
        const Enclosure& ea = a.enclosures[i];
        const Enclosure& eb = b.enclosures[i];
        const std::string n = "#" + integerText(eb.index);
        if (!textEqual(ea.type, eb.type)) out.push_back(n + " type " + ea.type + to + eb.type);
        if (ea.angle && eb.angle && differs(*ea.angle, *eb.angle, 0.01)) {
            out.push_back(n + " angle " + fmt(*ea.angle) + std::string(degree) + to + fmt(*eb.angle) +
                          std::string(degree));
        }
        if (!eq(ea.panflex, eb.panflex))
            out.push_back(n + " panflex " + orDash(ea.panflex) + to + orDash(eb.panflex));
    }

    // Roles in code-point order of their composed forms.
    std::set<std::string, TextLess> roles;
    for (const Pickup& p : a.pickups) roles.insert(p.role);
    for (const Pickup& p : b.pickups) roles.insert(p.role);
    for (const std::string& role : roles) {
        const Pickup* pa = firstWithRole(a, role);
        const Pickup* pb = firstWithRole(b, role);
        const auto holeA = pa ? std::optional(pa->hole) : std::nullopt;
        const auto holeB = pb ? std::optional(pb->hole) : std::nullopt;
        if (!eq(holeA, holeB)) out.push_back(role + " hole " + orDash(holeA) + to + orDash(holeB));
        const auto loadA = pa ? pa->load : std::nullopt;
        const auto loadB = pb ? pb->load : std::nullopt;
        if (!loadA && loadB) {
            out.push_back(role + " load" + to + fmt(*loadB) + " kg");
        } else if (loadA && !loadB) {
            out.push_back(role + " load removed");
        } else if (loadA && loadB && differs(*loadA, *loadB, 0.5)) {
            out.push_back(role + " load " + fmt(*loadA) + " kg" + to + fmt(*loadB) + " kg");
        }
    }
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
            const bool confirmed = nearest < 0.05;
            // Only a changed flag detaches the shared lists.
            if (report.sources[i].pickups[j].fromDXF != confirmed) {
                report.sources.mut(i).pickups.mut(j).fromDXF = confirmed;
            }
        }
    }
}

std::vector<std::string> Project::importReport(const Report& newReport, const std::string& file, Date date) {
    std::vector<std::string> changes;
    const List<Source> old = report.sources;
    if (!old.empty()) {
        std::map<std::string, const Source*, TextLess> byID;
        for (const Source& s : old) byID.try_emplace(s.id(), &s);
        std::set<std::string, TextLess> newIDs;
        for (const Source& s : newReport.sources) newIDs.insert(s.id());

        for (const Source& s : newReport.sources) {
            const auto it = byID.find(s.id());
            if (it == byID.end()) {
                changes.push_back("New source: " + s.name + " (" + (s.groups.empty() ? "" : s.groups.back()) +
                                  ")");
                continue;
            }
            const auto texts = diff(*it->second, s);
            if (texts.empty()) continue;
            std::string line = s.name + ": ";
            for (std::size_t k = 0; k < texts.size(); ++k) line += (k ? "; " : "") + texts[k];
            changes.push_back(std::move(line));
        }
        for (const Source& s : old) {
            const std::string id = s.id();
            if (newIDs.contains(id)) continue;
            std::string line = "Removed source: " + s.name;
            if (extras.contains(id)) line += " (its motors/Delta are kept in case it returns)";
            changes.push_back(std::move(line));
        }
    }

    report = newReport;
    reportFile = file;
    reportImportedAt = date;
    if (name.empty()) name = nameFromFile(report.info.fileName.empty() ? file : report.info.fileName);
    if (!dxf.empty()) matchDXFPickups();
    history.push_back(ImportRecord{date, file, List<std::string>(changes)});
    return changes;
}

} // namespace rig

#include "analysis/BottomFace.h"
#include "analysis/CrewDoc.h"
#include "analysis/Issues.h"
#include "analysis/PlanGeometry.h"
#include "base/Text.h"
#include "import/SideViewBuilder.h"
#include "model/Project.h"

#include <cmath>

namespace rig {

namespace {

// The report stores unreadable numbers as not-a-number; the crew document leaves such a
// value out instead of failing to encode.
std::optional<double> finiteOpt(const std::optional<double>& v) {
    if (v && std::isfinite(*v)) return v;
    return std::nullopt;
}

std::optional<std::vector<double>> finiteTriple(const XYZ& p) {
    if (!p.isFinite()) return std::nullopt;
    return std::vector<double>{p.x, p.y, p.z};
}

bool allFinite(const std::vector<double>& v) {
    for (double d : v) {
        if (!std::isfinite(d)) return false;
    }
    return true;
}

CrewDoc::Point buildPoint(const Project& project, const Source& source, const std::string& id,
                          const Pickup& p) {
    CrewDoc::Point point;
    point.role = p.role;
    point.hole = p.hole;
    point.xyz = finiteTriple(p.position);
    point.load = finiteOpt(p.load);
    point.loadInvalid = p.load && !point.load;
    PointExtra extra = project.extra(id, p.role);
    point.delta = extra.delta;
    if (extra.motor) {
        point.motor = extra.motor->name;
        point.motorKg = finiteOpt(extra.motor->weight);
    }
    if (auto dp = project.deltaPoints(source, p)) {
        auto left = finiteTriple(dp->left);
        auto right = finiteTriple(dp->right);
        if (left && right) point.dm = std::vector<std::vector<double>>{std::move(*left), std::move(*right)};
    }
    return point;
}

// A load that is not finite is not taken for negative: "-inf kg" would tell a rigger nothing.
std::vector<CrewDoc::Warn> negativeLoadWarnings(const Source& source) {
    std::vector<CrewDoc::Warn> out;
    for (const Pickup& p : source.pickups) {
        if (p.load && std::isfinite(*p.load) && *p.load < 0)
            out.push_back({"error", bidiIsolated(p.role) + " load is negative (" + fmt(*p.load) + " kg)."});
    }
    return out;
}

// One warning naming the points whose load is not a finite number: the page leaves their
// totals empty.
std::optional<CrewDoc::Warn> unreadableLoadWarning(const Source& source) {
    std::vector<std::string> roles;
    for (const Pickup& p : source.pickups) {
        if (p.load && !std::isfinite(*p.load)) roles.push_back(bidiIsolated(p.role));
    }
    if (roles.empty()) return std::nullopt;
    return CrewDoc::Warn{"warning", unreadableLoadsText(roles)};
}

std::optional<CrewDoc::Side> buildSide(const SideView& view) {
    std::int64_t width = 0, height = 0;
    // Bounds come from the project file; absurd ones must not overflow.
    if (__builtin_sub_overflow(view.maxU, view.minU, &width) ||
        __builtin_sub_overflow(view.maxV, view.minV, &height)) {
        return std::nullopt;
    }
    CrewDoc::Side side;
    side.p = view.path;
    side.box = {view.minU, view.minV, width, height};
    for (const auto& point : view.points) {
        if (point.size() == 2) side.pts.push_back(point); // the page draws [u, v] pairs only
    }
    return side;
}

std::optional<CrewDoc::Plan> buildPlan(const Project& project, const Source& source, const std::string& id,
                                       double ux, double uy) {
    CrewDoc::Plan plan;
    const DXFInfo* info = project.dxf.get(id);
    std::optional<TopView> footprint;
    if (info && info->top) {
        plan.c = {info->top->cx, info->top->cy};
        plan.hull = info->top->hull.vec();
    } else if ((footprint = pickupFootprint(source))) {
        plan.c = {footprint->cx, footprint->cy};
        plan.hull = footprint->hull.vec();
    } else if (source.position) {
        plan.c = {source.position->x, source.position->y};
        plan.hull = {{-0.3 * uy - 0.2 * ux, 0.3 * ux - 0.2 * uy},
                     {0.3 * uy - 0.2 * ux, -0.3 * ux - 0.2 * uy},
                     {0.3 * uy + 0.2 * ux, -0.3 * ux + 0.2 * uy},
                     {-0.3 * uy + 0.2 * ux, 0.3 * ux + 0.2 * uy}};
    } else {
        return std::nullopt;
    }
    plan.dir = {ux, uy};
    if (!allFinite(plan.c) || !allFinite(plan.dir)) return std::nullopt;
    // A corner that is not an [x, y] pair (only a hand-edited file holds one) cannot be drawn.
    for (const auto& corner : plan.hull) {
        if (corner.size() != 2 || !allFinite(corner)) return std::nullopt;
    }
    return plan;
}

CrewDoc::Src buildSource(const Project& project, const Source& source,
                         const TextMap<List<std::string>>& changes) {
    CrewDoc::Src src;
    src.id = source.id();
    src.name = source.name;
    src.group = source.groups.vec();
    src.config = source.configuration;
    src.bumper = source.bumper;
    src.motors = source.motorCount;
    src.site = finiteOpt(source.site);
    src.az = finiteOpt(source.azimuth);
    if (source.position) src.pos = finiteTriple(*source.position);
    src.bottom = finiteOpt(source.bottomElevation);
    if (auto face = bottomFace(source); face && std::isfinite(face->site) && std::isfinite(face->facet)) {
        src.botFace = std::vector<double>{face->site, face->facet};
    }
    src.weight = finiteOpt(source.totalWeight);
    src.encWeight = finiteOpt(source.enclosureWeight);

    src.points.reserve(source.pickups.size());
    for (const Pickup& p : source.pickups) src.points.push_back(buildPoint(project, source, src.id, p));
    src.hasAngles = source.hasAngles;

    src.enc.reserve(source.enclosures.size());
    for (const Enclosure& e : source.enclosures) {
        src.enc.push_back({e.index, e.type, finiteOpt(e.angle), finiteOpt(e.site), finiteOpt(e.topZ),
                           finiteOpt(e.bottomZ), e.panflex});
    }

    for (const ReportWarning& w : source.warnings) {
        src.warn.push_back({std::string(ReportWarning::levelText(w.level)), w.text});
    }
    for (CrewDoc::Warn& w : negativeLoadWarnings(source)) src.warn.push_back(std::move(w));
    if (auto w = unreadableLoadWarning(source)) src.warn.push_back(std::move(*w));

    if (const DXFInfo* info = project.dxf.get(src.id); info && info->side) src.side = buildSide(*info->side);
    auto [ux, uy] = SideViewBuilder::planAxis(source);
    src.plan = buildPlan(project, source, src.id, ux, uy);
    src.rigH = finiteOpt(project.riggingHeightFor(source));
    if (const List<std::string>* changed = changes.get(src.id)) src.changed = changed->vec();
    return src;
}

} // namespace

CrewDoc CrewDoc::build(const Project& project, const TextMap<List<std::string>>& changes, Date date,
                       bool includeHidden) {
    CrewDoc doc;
    doc.v = 1;
    doc.name = project.name;
    doc.author = project.author;
    doc.updated = formatISODate(date);
    doc.report = project.reportFile;
    doc.svVersion = project.report.info.version;
    doc.distUnit = project.report.info.distanceUnit;
    doc.weightUnit = project.report.info.weightUnit;

    // A source keeps its number whether or not the crew sees the others.
    std::int64_t number = 0;
    for (const Source& source : project.report.sources) {
        ++number;
        if (!includeHidden && project.isHidden(source.id())) continue;
        doc.sources.push_back(buildSource(project, source, changes));
        doc.sources.back().no = number;
    }

    doc.inventory.reserve(project.inventory.size());
    for (const InventoryItem& row : project.inventory) {
        doc.inventory.push_back({row.category, row.quantity, row.product, row.ampChannels});
    }

    doc.delta.name = project.delta.name;
    doc.delta.spacing = finiteOpt(project.delta.spacingValue());
    doc.delta.weight = project.delta.weightValue();
    return doc;
}

} // namespace rig

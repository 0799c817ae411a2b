#include "model/Project.h"

#include "base/Equal.h"
#include "base/Json.h"
#include "base/Number.h"

#include <cmath>

namespace rig {

std::vector<std::string_view> groupPathWithoutAll(const Source& source) {
    std::vector<std::string_view> out;
    out.reserve(source.groups.size());
    for (const std::string& g : source.groups) {
        if (g != "ALL") out.push_back(g);
    }
    return out;
}

namespace {

constexpr std::string_view groupSeparator = " \u203A ";

std::string joinGroups(const std::vector<std::string_view>& groups, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += groupSeparator;
        out += groups[i];
    }
    return out;
}

} // namespace

bool operator==(const Project& a, const Project& b) {
    return a.formatVersion == b.formatVersion && eq(a.name, b.name) && eq(a.author, b.author) &&
           a.report == b.report && eq(a.reportFile, b.reportFile) &&
           a.reportImportedAt == b.reportImportedAt && a.inventory == b.inventory &&
           eq(a.inventoryFile, b.inventoryFile) && a.inventoryIncomplete == b.inventoryIncomplete &&
           eq(a.dxfFile, b.dxfFile) && a.dxfIncomplete == b.dxfIncomplete && a.dxf == b.dxf &&
           a.extras == b.extras && a.delta == b.delta && eq(a.share, b.share) && a.history == b.history &&
           eq(a.hiddenSources, b.hiddenSources) && eq(a.riggingHeight, b.riggingHeight) &&
           eq(a.groupRiggingHeights, b.groupRiggingHeights);
}

Json Project::toJson() const {
    JsonObjectWriter w;
    w.put("formatVersion", formatVersion)
        .put("name", name)
        .opt("author", author)
        .put("report", report)
        .put("reportFile", reportFile)
        .opt("reportImportedAt", reportImportedAt)
        .put("inventory", inventory)
        .put("inventoryFile", inventoryFile)
        // Only when set, so that files read whole are written as before.
        .opt("inventoryIncomplete", inventoryIncomplete ? std::optional(true) : std::nullopt)
        .put("dxfFile", dxfFile)
        .opt("dxfIncomplete", dxfIncomplete ? std::optional(true) : std::nullopt)
        .put("dxf", dxf)
        .put("extras", extras)
        .put("delta", delta)
        .opt("share", share)
        .put("history", history)
        .opt("hiddenSources", hiddenSources)
        .opt("riggingHeight", riggingHeight)
        .opt("groupRiggingHeights", groupRiggingHeights)
        .keep(unknown);
    return w.take();
}

Project Project::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Project p;
    p.formatVersion = o.req<std::int64_t>("formatVersion");
    p.name = o.req<std::string>("name");
    p.author = o.opt<std::string>("author");
    p.report = o.req<Report>("report");
    p.reportFile = o.req<std::string>("reportFile");
    p.reportImportedAt = o.opt<Date>("reportImportedAt");
    p.inventory = o.req<List<InventoryItem>>("inventory");
    p.inventoryFile = o.req<std::string>("inventoryFile");
    p.inventoryIncomplete = o.opt<bool>("inventoryIncomplete").value_or(false);
    p.dxfFile = o.req<std::string>("dxfFile");
    p.dxfIncomplete = o.opt<bool>("dxfIncomplete").value_or(false);
    p.dxf = o.req<TextMap<DXFInfo>>("dxf");
    p.extras = o.req<TextMap<SourceExtra>>("extras");
    p.delta = o.req<DeltaSpec>("delta");
    p.share = o.opt<ShareInfo>("share");
    p.history = o.req<List<ImportRecord>>("history");
    p.hiddenSources = o.opt<TextSet>("hiddenSources");
    p.riggingHeight = o.opt<double>("riggingHeight");
    p.groupRiggingHeights = o.opt<TextMap<double>>("groupRiggingHeights");
    p.unknown = o.unknown();
    return p;
}

std::string Project::fileText() const {
    return dumpJsonPretty(toJson());
}

std::string Project::recoveryText() const {
    return dumpJsonCompact(toJson());
}

Project Project::fromText(std::string_view text) {
    return decodeJsonText<Project>(text);
}

std::string Project::groupLabel(const Source& source) {
    auto groups = groupPathWithoutAll(source);
    return joinGroups(groups, groups.size());
}

std::optional<double> Project::riggingHeightFor(const Source& source) const {
    if (groupRiggingHeights && !groupRiggingHeights->empty()) {
        auto groups = groupPathWithoutAll(source);
        // Deepest group first; the empty label is never looked up.
        for (std::size_t k = groups.size(); k >= 1; --k) {
            if (const double* h = groupRiggingHeights->get(joinGroups(groups, k))) return *h;
        }
    }
    return riggingHeight;
}

PointExtra Project::extra(std::string_view sourceID, std::string_view role) const {
    if (const SourceExtra* se = extras.get(sourceID)) {
        if (const PointExtra* pe = se->points.get(role)) return *pe;
    }
    return PointExtra{};
}

void Project::setExtra(std::string_view sourceID, std::string_view role, const PointExtra& value) {
    const SourceExtra* stored = extras.get(sourceID);
    SourceExtra se = stored ? *stored : SourceExtra{};
    if (value.isEmpty()) {
        se.points.erase(role);
    } else {
        se.points.set(role, value);
    }
    if (se.points.empty()) {
        extras.erase(sourceID);
    } else {
        extras.set(sourceID, std::move(se));
    }
}

bool Project::isHidden(std::string_view sourceID) const {
    return hiddenSources && hiddenSources->contains(sourceID);
}

void Project::setHidden(const std::vector<std::string>& sourceIDs, bool hidden) {
    TextSet set = hiddenSources.value_or(TextSet{});
    for (const std::string& id : sourceIDs) {
        if (hidden) {
            set.insert(id);
        } else {
            set.erase(id);
        }
    }
    // An empty set is stored as none, so "nothing hidden" has one form.
    if (set.empty()) {
        hiddenSources.reset();
    } else {
        hiddenSources = std::move(set);
    }
}

std::vector<std::string> Project::visibleSourceIDs() const {
    std::vector<std::string> out;
    out.reserve(report.sources.size());
    for (const Source& s : report.sources) {
        std::string id = s.id();
        if (!isHidden(id)) out.push_back(std::move(id));
    }
    return out;
}

std::string fmt(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Whole values outside [-2^63, 2^63) have no 64-bit integer text: the bounded form.
    if (isFarNumber(value)) return farNumberText(value);
    // Whole values here convert to int64 exactly.
    if (value == std::trunc(value)) return integerText(static_cast<std::int64_t>(value));
    std::string text = formatFixed(value, 2);
    while (!text.empty() && text.back() == '0') text.pop_back();
    // Values within half a hundredth of a whole number print as that whole number, not "3."
    // or "-0.".
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text == "-0") return "0";
    return text;
}

} // namespace rig

#include "model/Report.h"

#include "base/Json.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace rig {

// --- XYZ -------------------------------------------------------------------------------

double XYZ::distance(const XYZ& to) const {
    double dx = x - to.x, dy = y - to.y, dz = z - to.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Json XYZ::toJson() const {
    return JsonObjectWriter().put("x", x).put("y", y).put("z", z).take();
}

XYZ XYZ::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    return XYZ(o.req<double>("x"), o.req<double>("y"), o.req<double>("z"));
}

// --- Pickup ----------------------------------------------------------------------------

bool operator==(const Pickup& a, const Pickup& b) {
    return eq(a.role, b.role) && eq(a.hole, b.hole) && a.position == b.position && eq(a.load, b.load) &&
           a.fromDXF == b.fromDXF;
}

Json Pickup::toJson() const {
    return JsonObjectWriter()
        .put("role", role)
        .put("hole", hole)
        .put("position", position)
        .opt("load", load)
        .put("fromDXF", fromDXF)
        .keep(unknown)
        .take();
}

Pickup Pickup::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Pickup p;
    p.role = o.req<std::string>("role");
    p.hole = o.req<std::string>("hole");
    p.position = o.req<XYZ>("position");
    p.load = o.opt<double>("load");
    p.fromDXF = o.req<bool>("fromDXF");
    p.unknown = o.unknown();
    return p;
}

// --- Enclosure -------------------------------------------------------------------------

bool operator==(const Enclosure& a, const Enclosure& b) {
    return a.index == b.index && eq(a.type, b.type) && eq(a.angle, b.angle) && eq(a.site, b.site) &&
           eq(a.topZ, b.topZ) && eq(a.bottomZ, b.bottomZ) && eq(a.panflex, b.panflex);
}

Json Enclosure::toJson() const {
    return JsonObjectWriter()
        .put("index", index)
        .put("type", type)
        .opt("angle", angle)
        .opt("site", site)
        .opt("topZ", topZ)
        .opt("bottomZ", bottomZ)
        .opt("panflex", panflex)
        .keep(unknown)
        .take();
}

Enclosure Enclosure::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Enclosure e;
    e.index = o.req<std::int64_t>("index");
    e.type = o.req<std::string>("type");
    e.angle = o.opt<double>("angle");
    e.site = o.opt<double>("site");
    e.topZ = o.opt<double>("topZ");
    e.bottomZ = o.opt<double>("bottomZ");
    e.panflex = o.opt<std::string>("panflex");
    e.unknown = o.unknown();
    return e;
}

// --- ReportWarning ---------------------------------------------------------------------

std::string_view ReportWarning::levelText(Level level) {
    switch (level) {
    case Level::error:
        return "error";
    case Level::warning:
        return "warning";
    case Level::caution:
        return "caution";
    }
    return "warning";
}

std::optional<ReportWarning::Level> ReportWarning::levelFromText(std::string_view text) {
    if (text == "error") return Level::error;
    if (text == "warning") return Level::warning;
    if (text == "caution") return Level::caution;
    return std::nullopt;
}

Json ReportWarning::toJson() const {
    return JsonObjectWriter()
        .put("level", std::string(levelText(level)))
        .put("text", text)
        .keep(unknown)
        .take();
}

ReportWarning ReportWarning::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    ReportWarning w;
    auto level = levelFromText(o.req<std::string>("level"));
    if (!level) throwJsonTypeError(path.key("level"), "\"error\", \"warning\" or \"caution\"");
    w.level = *level;
    w.text = o.req<std::string>("text");
    w.unknown = o.unknown();
    return w;
}

// --- Source ----------------------------------------------------------------------------

std::string Source::id() const {
    std::string out;
    for (const auto& g : groups) {
        out += g;
        out += '/';
    }
    out += name;
    return out;
}

bool Source::isFlown() const {
    return configuration.find("flown") != std::string::npos;
}

bool operator==(const Source& a, const Source& b) {
    return eq(a.name, b.name) && a.groups == b.groups && eq(a.configuration, b.configuration) &&
           eq(a.bumper, b.bumper) && a.motorCount == b.motorCount && a.pickups == b.pickups &&
           eq(a.position, b.position) && eq(a.site, b.site) && eq(a.azimuth, b.azimuth) &&
           eq(a.dimensions, b.dimensions) && eq(a.bottomElevation, b.bottomElevation) &&
           eq(a.topSite, b.topSite) && eq(a.bottomSite, b.bottomSite) && eq(a.totalWeight, b.totalWeight) &&
           eq(a.enclosureWeight, b.enclosureWeight) && a.enclosures == b.enclosures &&
           a.hasAngles == b.hasAngles && a.warnings == b.warnings && eq(a.delay, b.delay) &&
           eq(a.gain, b.gain) && a.possiblyIncomplete == b.possiblyIncomplete;
}

Json Source::toJson() const {
    return JsonObjectWriter()
        .put("name", name)
        .put("groups", groups)
        .put("configuration", configuration)
        .opt("bumper", bumper)
        .opt("motorCount", motorCount)
        .put("pickups", pickups)
        .opt("position", position)
        .opt("site", site)
        .opt("azimuth", azimuth)
        .opt("dimensions", dimensions)
        .opt("bottomElevation", bottomElevation)
        .opt("topSite", topSite)
        .opt("bottomSite", bottomSite)
        .opt("totalWeight", totalWeight)
        .opt("enclosureWeight", enclosureWeight)
        .put("enclosures", enclosures)
        .put("hasAngles", hasAngles)
        .put("warnings", warnings)
        .opt("delay", delay)
        .opt("gain", gain)
        // Only when set, so that what was read whole is written as before.
        .opt("possiblyIncomplete", possiblyIncomplete ? std::optional(true) : std::nullopt)
        .keep(unknown)
        .take();
}

Source Source::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Source s;
    s.name = o.req<std::string>("name");
    s.groups = o.req<List<std::string>>("groups");
    s.configuration = o.req<std::string>("configuration");
    s.bumper = o.opt<std::string>("bumper");
    s.motorCount = o.opt<std::int64_t>("motorCount");
    s.pickups = o.req<List<Pickup>>("pickups");
    s.position = o.opt<XYZ>("position");
    s.site = o.opt<double>("site");
    s.azimuth = o.opt<double>("azimuth");
    s.dimensions = o.opt<XYZ>("dimensions");
    s.bottomElevation = o.opt<double>("bottomElevation");
    s.topSite = o.opt<double>("topSite");
    s.bottomSite = o.opt<double>("bottomSite");
    s.totalWeight = o.opt<double>("totalWeight");
    s.enclosureWeight = o.opt<double>("enclosureWeight");
    s.enclosures = o.req<List<Enclosure>>("enclosures");
    s.hasAngles = o.req<bool>("hasAngles");
    s.warnings = o.req<List<ReportWarning>>("warnings");
    s.delay = o.opt<double>("delay");
    s.gain = o.opt<double>("gain");
    s.possiblyIncomplete = o.opt<bool>("possiblyIncomplete").value_or(false);
    s.unknown = o.unknown();
    return s;
}

// --- ReportInfo, Report ----------------------------------------------------------------

bool operator==(const ReportInfo& a, const ReportInfo& b) {
    return eq(a.version, b.version) && eq(a.date, b.date) && eq(a.fileName, b.fileName) &&
           eq(a.distanceUnit, b.distanceUnit) && eq(a.weightUnit, b.weightUnit);
}

Json ReportInfo::toJson() const {
    return JsonObjectWriter()
        .put("version", version)
        .put("date", date)
        .put("fileName", fileName)
        .put("distanceUnit", distanceUnit)
        .put("weightUnit", weightUnit)
        .keep(unknown)
        .take();
}

ReportInfo ReportInfo::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    ReportInfo r;
    r.version = o.req<std::string>("version");
    r.date = o.req<std::string>("date");
    r.fileName = o.req<std::string>("fileName");
    r.distanceUnit = o.req<std::string>("distanceUnit");
    r.weightUnit = o.req<std::string>("weightUnit");
    r.unknown = o.unknown();
    return r;
}

Json Report::toJson() const {
    return JsonObjectWriter().put("info", info).put("sources", sources).keep(unknown).take();
}

Report Report::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Report r;
    r.info = o.req<ReportInfo>("info");
    r.sources = o.req<List<Source>>("sources");
    r.unknown = o.unknown();
    return r;
}

// --- InventoryItem ---------------------------------------------------------------------

bool operator==(const InventoryItem& a, const InventoryItem& b) {
    return eq(a.category, b.category) && a.quantity == b.quantity && eq(a.family, b.family) &&
           eq(a.product, b.product) && eq(a.description, b.description) && a.ampChannels == b.ampChannels;
}

Json InventoryItem::toJson() const {
    return JsonObjectWriter()
        .put("category", category)
        .put("quantity", quantity)
        .put("family", family)
        .put("product", product)
        .put("description", description)
        .opt("ampChannels", ampChannels)
        .keep(unknown)
        .take();
}

InventoryItem InventoryItem::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    InventoryItem i;
    i.category = o.req<std::string>("category");
    i.quantity = o.req<std::int64_t>("quantity");
    i.family = o.req<std::string>("family");
    i.product = o.req<std::string>("product");
    i.description = o.req<std::string>("description");
    i.ampChannels = o.opt<std::int64_t>("ampChannels");
    i.unknown = o.unknown();
    return i;
}

// --- Hashing ---------------------------------------------------------------------------

std::size_t hashDecimal(double v) {
    if (v == 0) v = 0; // -0.0 hashes as 0.0
    return std::hash<std::uint64_t>{}(std::bit_cast<std::uint64_t>(v));
}

void hashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
}

} // namespace rig

std::size_t std::hash<rig::XYZ>::operator()(const rig::XYZ& p) const noexcept {
    std::size_t h = 0;
    rig::hashCombine(h, rig::hashDecimal(p.x));
    rig::hashCombine(h, rig::hashDecimal(p.y));
    rig::hashCombine(h, rig::hashDecimal(p.z));
    return h;
}

std::size_t std::hash<rig::ReportWarning::Level>::operator()(rig::ReportWarning::Level l) const noexcept {
    return std::hash<std::string_view>{}(rig::ReportWarning::levelText(l));
}

std::size_t std::hash<rig::ReportWarning>::operator()(const rig::ReportWarning& w) const noexcept {
    std::size_t h = std::hash<rig::ReportWarning::Level>{}(w.level);
    rig::hashCombine(h, rig::textHash(w.text));
    return h;
}

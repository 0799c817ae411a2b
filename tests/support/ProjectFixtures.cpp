#include "support/ProjectFixtures.h"

#include "base/Json.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace rig::fixtures {

namespace {

double round3(double v) {
    return std::round(v * 1000) / 1000;
}

std::string num(std::int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string indexed(const char* prefix, int i) {
    return prefix + num(i);
}

} // namespace

Date testDate(long offsetSeconds) {
    using namespace std::chrono;
    return sys_days(year(2025) / March / 14) + hours(9) + minutes(26) + seconds(53 + offsetSeconds);
}

Motor testMotor(std::string name, double weight, unsigned seed) {
    Motor m;
    for (std::size_t i = 0; i < m.id.bytes.size(); ++i) {
        m.id.bytes[i] = static_cast<std::uint8_t>((seed * 131u + i * 17u + 7u) & 0xFFu);
    }
    m.id.bytes[6] = static_cast<std::uint8_t>((m.id.bytes[6] & 0x0Fu) | 0x40u); // version 4
    m.id.bytes[8] = static_cast<std::uint8_t>((m.id.bytes[8] & 0x3Fu) | 0x80u); // variant
    m.name = std::move(name);
    m.weight = weight;
    return m;
}

Pickup testPickup(std::string role, XYZ position, std::optional<double> load, std::string hole) {
    Pickup p;
    p.role = std::move(role);
    p.hole = std::move(hole);
    p.position = position;
    p.load = load;
    return p;
}

Source testSource(std::string name, std::vector<std::string> groups, std::vector<Pickup> pickups) {
    Source s(std::move(name), List<std::string>(std::move(groups)));
    s.pickups = List<Pickup>(std::move(pickups));
    return s;
}

Project projectOf(std::vector<Source> sources) {
    Project p;
    p.report.sources = List<Source>(std::move(sources));
    return p;
}

Source flownArray(std::string name, std::vector<std::string> groups, int enclosureCount, int pickupCount,
                  std::string enclosureType) {
    Source s(std::move(name), List<std::string>(std::move(groups)));
    const double x = 4.5, y = -2.0, trim = 11.2;
    s.configuration = "Flown";
    s.bumper = "K2-BUMP";
    s.motorCount = pickupCount;
    s.position = XYZ(x, y, trim);
    s.site = -3.5;
    s.azimuth = 12.0;
    s.dimensions = XYZ(1.34, 0.56, 0.35 * enclosureCount);
    s.topSite = -3.5;

    const double cabinetWeight = 56.0;
    const double frameWeight = 58.0;
    const double enclosureWeight = cabinetWeight * enclosureCount;
    const double total = enclosureWeight + frameWeight;
    s.enclosureWeight = enclosureWeight;
    s.totalWeight = total;

    auto& pickups = s.pickups.edit();
    for (int i = 0; i < pickupCount; ++i) {
        std::string role = i == 0 ? "Front" : i == 1 ? "Rear" : indexed("Point ", i + 1);
        double along = i == 0 ? 0.25 : -0.35 - 0.1 * (i - 1);
        std::string hole = i == 0 ? "A3" : i == 1 ? "C7" : indexed("B", i);
        pickups.push_back(testPickup(std::move(role), XYZ(round3(x + along), y, round3(trim + 0.1)),
                                     round3(total / pickupCount), std::move(hole)));
    }

    auto& enclosures = s.enclosures.edit();
    double top = trim;
    double site = -3.5;
    for (int i = 1; i <= enclosureCount; ++i) {
        Enclosure e;
        e.index = i;
        e.type = enclosureType;
        e.angle = i == 1 ? 0.0 : std::min(10.0, 0.5 * (i - 1));
        site -= *e.angle;
        e.site = site;
        e.topZ = round3(top);
        top -= 0.35;
        e.bottomZ = round3(top);
        e.panflex = i % 2 ? "110" : "70";
        enclosures.push_back(std::move(e));
    }
    s.hasAngles = true;
    s.bottomSite = site;
    s.bottomElevation = round3(top);
    s.delay = 1.25;
    s.gain = -2.0;
    return s;
}

Source groundStack(std::string name, std::vector<std::string> groups, int enclosureCount,
                   std::string enclosureType) {
    Source s(std::move(name), List<std::string>(std::move(groups)));
    s.configuration = "Stacked";
    s.position = XYZ(0, 6.0, 0);
    s.azimuth = 0.0;
    s.dimensions = XYZ(1.35, 0.9, 0.55 * enclosureCount);
    auto& enclosures = s.enclosures.edit();
    for (int i = 1; i <= enclosureCount; ++i) {
        Enclosure e;
        e.index = i;
        e.type = enclosureType;
        enclosures.push_back(std::move(e));
    }
    s.enclosureWeight = 79.0 * enclosureCount;
    s.totalWeight = 79.0 * enclosureCount;
    return s;
}

Report testReport(std::vector<Source> sources) {
    Report r;
    r.info.version = "3.7.1";
    r.info.date = "14/03/2025";
    r.info.fileName = "Arena show.xmlp";
    r.sources = List<Source>(std::move(sources));
    return r;
}

Project projectWith(std::vector<Source> sources) {
    Project p;
    p.name = "Arena show";
    p.report = testReport(std::move(sources));
    p.reportFile = "Arena show report.pdf";
    p.reportImportedAt = testDate();
    p.history.push_back(ImportRecord{testDate(), p.reportFile, {}});
    return p;
}

namespace {

DXFInfo dxfFor(const Source& s) {
    DXFInfo d;
    for (const Pickup& p : s.pickups) d.pickups.push_back(p.position);
    const auto n = static_cast<std::int64_t>(s.enclosures.size());
    SideView side;
    side.path = "M0 0 L134 0 L134 " + num(35 * n) + " L0 " + num(35 * n) + " Z";
    side.minU = -10;
    side.maxU = 134;
    side.minV = -10;
    side.maxV = 35 * n;
    side.points = List<std::vector<std::int64_t>>{{25, -10}, {-35, -10}};
    d.side = side;
    TopView top;
    top.cx = s.position ? round3(s.position->x) : 0;
    top.cy = s.position ? round3(s.position->y) : 0;
    top.hull = List<std::vector<double>>{{-0.67, -0.28}, {0.67, -0.28}, {0.67, 0.28}, {-0.67, 0.28}};
    d.top = top;
    return d;
}

InventoryItem item(std::string category, std::int64_t quantity, std::string family, std::string product,
                   std::string description, std::optional<std::int64_t> channels = std::nullopt) {
    return InventoryItem{std::move(category),    quantity, std::move(family), std::move(product),
                         std::move(description), channels};
}

} // namespace

Project fullProject() {
    Source main = flownArray("Main L", {"ALL", "Main", "Left"}, 12);
    Source subs = groundStack("Subs", {"ALL", "Subs"}, 3);
    Source out = flownArray("Out R", {"ALL", "Outfill"}, 6, 3, "Kara II");
    out.warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the rear motor load."});
    Project p = projectWith({main, subs, out});

    p.formatVersion = 1;
    p.author = "Ana Rigger";
    p.inventory = List<InventoryItem>{item("Enclosure", 18, "K", "K2", "Line source", 4),
                                      item("Enclosure", 3, "KS", "KS28", "Subwoofer"),
                                      item("Rigging", 2, "K", "K2-BUMP", "Bumper")};
    p.inventoryFile = "Arena show inventory.csv";
    p.dxfFile = "Arena show.dxf";
    p.dxf.set(main.id(), dxfFor(main));
    p.dxf.set(out.id(), DXFInfo{List<XYZ>{out.pickups[0].position}, std::nullopt, std::nullopt});

    Motor m = testMotor();
    p.setExtra(main.id(), "Front", PointExtra{m, false});
    p.setExtra(main.id(), "Rear", PointExtra{m, true});
    p.setExtra(out.id(), "Front", PointExtra{testMotor("D8+ 500 kg", 38, 2), false});

    p.delta.spacing = 1.2;
    p.delta.weight = 12.0;

    ShareInfo share;
    share.token = "tok-5f2a9c";
    share.url = "https://crew.example.net/v/tok-5f2a9c";
    share.publishedAt = testDate(3600);
    share.fingerprints.set(main.id(), SourceFingerprint{main, *p.extras.get(main.id())});
    share.fingerprints.set(subs.id(), SourceFingerprint{subs, std::nullopt});
    share.changes.set(main.id(), List<std::string>{"Front: load 380 → 402 kg"});
    share.hidden = TextSet{subs.id()};
    p.share = share;

    p.history.push_back(
        ImportRecord{testDate(7200), "Arena show report v2.pdf",
                     List<std::string>{"Main L: Front load 380 → 402 kg", "Out R: new source"}});
    p.reportImportedAt = testDate(7200);
    p.reportFile = "Arena show report v2.pdf";

    p.setHidden({subs.id()}, true);
    p.riggingHeight = 18.5;
    p.groupRiggingHeights = TextMap<double>{{"Main \u203A Left", 19.25}, {"Outfill", 16.0}};
    return p;
}

namespace {

// Every value of `j` handed to `visit` with the name of the member it is in; the keys of the
// project's maps (identifiers, roles, group labels) as values of a member of their own.
template <class Visit>
void walkJson(Json& j, const std::string& member, Visit& visit) {
    static const std::set<std::string> maps{"dxf",          "extras", "points", "groupRiggingHeights",
                                            "fingerprints", "changes"};
    if (j.is_object() && maps.count(member)) {
        Json out = Json::object();
        for (auto& [key, value] : j.items()) {
            Json k = key;
            visit(k, "key");
            walkJson(out[k.get<std::string>()] = value, key, visit);
        }
        j = std::move(out);
    } else if (j.is_object()) {
        for (auto& [key, value] : j.items()) walkJson(value, key, visit);
    } else if (j.is_array()) {
        for (Json& value : j) walkJson(value, member, visit);
    } else {
        visit(j, member);
    }
}

} // namespace

Project withEveryText(const Project& project, const std::string& text) {
    // Kinds, stamps, identifiers and addresses the program reads as such.
    static const std::set<std::string> kept{
        "level", "category", "id", "date", "publishedAt", "reportImportedAt", "path", "url", "token"};
    std::map<std::string, std::string> given;
    // Identifiers join texts with "/": each part is a text of its own.
    const auto swap = [&](const std::string& s) {
        std::string out;
        for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
            end = s.find('/', start);
            const std::string part = s.substr(start, end - start);
            if (start > 0) out += '/';
            out += part.empty() || part == "ALL"
                       ? part
                       : given.try_emplace(part, text + num(std::int64_t(given.size()) + 1)).first->second;
        }
        return out;
    };
    Json j = project.toJson();
    auto visit = [&](Json& value, const std::string& member) {
        if (value.is_string() && !kept.count(member)) value = swap(value.get<std::string>());
    };
    walkJson(j, {}, visit);
    return Project::fromText(j.dump());
}

bool shownWithoutOverride(std::string_view text) {
    return text.find("\u202E") == std::string_view::npos;
}

Project withEveryNumber(const Project& project, double number) {
    Json j = project.toJson();
    auto visit = [&](Json& value, const std::string& member) {
        if (value.is_number_float()) value = number;
        if (value.is_number_integer() && member != "formatVersion")
            value = std::numeric_limits<std::int64_t>::max();
    };
    walkJson(j, {}, visit);
    return Project::fromText(j.dump());
}

Project largeProject(int sourceCount, int pickupCount, int enclosureCount) {
    std::vector<Source> sources;
    sources.reserve(static_cast<std::size_t>(sourceCount));
    for (int i = 0; i < sourceCount; ++i) {
        std::vector<std::string> groups{"ALL", indexed("Zone ", i / 20), indexed("Hang ", i / 4)};
        sources.push_back(flownArray(indexed("Array ", i), std::move(groups), enclosureCount, pickupCount));
    }
    Project p = projectWith(std::move(sources));
    p.author = "Bench";

    ShareInfo share;
    share.token = "tok-bench";
    share.url = "https://crew.example.net/v/tok-bench";
    share.publishedAt = testDate(60);
    Motor m = testMotor();
    for (const Source& s : p.report.sources) {
        const std::string id = s.id();
        for (std::size_t k = 0; k < s.pickups.size(); ++k) {
            p.setExtra(id, s.pickups[k].role, PointExtra{m, k % 2 == 1});
        }
        p.dxf.set(id, dxfFor(s));
        share.fingerprints.set(id, SourceFingerprint{s, *p.extras.get(id)});
        share.changes.set(id, List<std::string>{"Front: load 380 → 402 kg"});
    }
    share.hidden = TextSet{};
    p.share = share;
    p.riggingHeight = 18.0;
    p.groupRiggingHeights = TextMap<double>{{"Zone 0", 17.5}};
    return p;
}

} // namespace rig::fixtures

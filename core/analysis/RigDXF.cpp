#include "analysis/RigDXF.h"

#include "analysis/PlanGeometry.h"
#include "base/Json.h"
#include "base/Number.h"
#include "base/Text.h"
#include "model/Project.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace rig {

// ---- Options ------------------------------------------------------------------------------

std::string_view RigDXF::Options::rawValue(Footprints f) {
    switch (f) {
    case Footprints::off:
        return "off";
    case Footprints::hook:
        return "hook";
    case Footprints::rigging:
        return "rigging";
    case Footprints::floor:
        return "floor";
    case Footprints::height:
        return "height";
    }
    return "hook";
}

std::optional<RigDXF::Options::Footprints> RigDXF::Options::footprintsFromRaw(std::string_view raw) {
    for (Footprints f : allFootprints) {
        if (rawValue(f) == raw) return f;
    }
    return std::nullopt;
}

Json RigDXF::Options::toJson() const {
    if (!std::isfinite(footprintHeight)) {
        throw JsonEncodeError("The DXF footprint height is not a finite number.");
    }
    Json j = Json::object();
    j["labels"] = labels;
    j["delta"] = delta;
    j["drops"] = drops;
    j["footprints"] = std::string(rawValue(footprints));
    j["footprintHeight"] = footprintHeight;
    return j;
}

RigDXF::Options RigDXF::Options::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Options options;
    options.labels = o.req<bool>("labels");
    options.delta = o.req<bool>("delta");
    options.drops = o.req<bool>("drops");
    std::string raw = o.req<std::string>("footprints");
    auto footprints = footprintsFromRaw(raw);
    if (!footprints)
        throw JsonDecodeError(path.key("footprints").str() + ": unknown footprint mode \"" +
                              messagePiece(raw) + "\"");
    options.footprints = *footprints;
    // A plain JSON number only; the project file's "NaN" strings are not accepted here.
    options.footprintHeight = o.req<StrictDecimal>("footprintHeight").value;
    return options;
}

// ---- Writer -------------------------------------------------------------------------------

namespace {

using Footprints = RigDXF::Options::Footprints;

constexpr int palette[10] = {1, 5, 4, 6, 2, 30, 140, 200, 50, 170};

const char* const labelsLayer = "RIG_LABELS";
const char* const deltaLayer = "RIG_DELTA";
const char* const dropsLayer = "RIG_DROPS";
const char* const speakersLayer = "RIG_SPEAKERS";

// Diacritics removed; every character outside printable ASCII (control characters too,
// which would break the code/value line pairs) becomes "?".
bool isPrintableASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string sanitiseText(std::string_view text) {
    if (isPrintableASCII(text)) return std::string(text); // nothing to remove or replace
    std::string base = removeDiacritics(text);
    std::string out;
    out.reserve(base.size());
    std::size_t pos = 0;
    while (pos < base.size()) {
        char32_t c = nextCodePoint(base, pos);
        out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return out;
}

// The longest value line written. R12 programs keep 255 characters of a text, and some readers
// fall out of step with the code/value pairs after a longer line.
constexpr std::size_t maxValueLength = 255;
constexpr std::string_view cutMark = "...";

// Printable ASCII cut to the longest value line, with a mark where it was cut.
std::string fitted(std::string text) {
    if (text.size() > maxValueLength) {
        text.resize(maxValueLength - cutMark.size());
        text += cutMark;
    }
    return text;
}

// A point's label: its source name, then `rest`. A name too long for the line gives way first,
// so the point's role, load and hook height stay; it keeps enough to be told apart.
std::string pointLabel(std::string_view name, std::string_view rest) {
    constexpr std::size_t leastName = 64;
    std::string shown = sanitiseText(name);
    const std::string tail = sanitiseText(rest);
    if (shown.size() + tail.size() > maxValueLength) {
        const std::size_t room = std::max(leastName, maxValueLength - std::min(tail.size(), maxValueLength));
        if (shown.size() > room) {
            shown.resize(room - cutMark.size());
            shown += cutMark;
        }
    }
    return shown + tail; // the line cuts what is still too long
}

// As sanitiseText, but characters outside printable ASCII are dropped.
std::string sanitiseAuthor(std::string_view text) {
    std::string base = removeDiacritics(text);
    std::string out;
    std::size_t pos = 0;
    while (pos < base.size()) {
        char32_t c = nextCodePoint(base, pos);
        if (c >= 0x20 && c < 0x7F) out.push_back(static_cast<char>(c));
    }
    return out;
}

bool isLetterOrNumber(char32_t c) {
    auto uc = static_cast<UChar32>(c);
    return u_isUAlphabetic(uc) || u_getIntPropertyValue(uc, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// Marks and joiners that continue the character before them.
bool continuesCharacter(char32_t c) {
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_GRAPHEME_EXTEND) || c == 0x200D;
}

std::string groupLayerName(const Source& source) {
    const auto groups = groupPathWithoutAll(source);
    std::string joined;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i > 0) joined += '_';
        joined += groups[i];
    }
    if (joined.empty()) joined = "POINTS";
    // Composed: canonically equal group paths share one layer.
    std::string upper = toUpper(joined);

    // A character (a base with its marks) stays when its first code point is a letter or a
    // number; otherwise the whole character becomes one "_".
    std::string name = "RIG_";
    std::size_t pos = 0;
    bool keep = false;
    bool started = false;
    while (pos < upper.size()) {
        std::size_t start = pos;
        char32_t c = nextCodePoint(upper, pos);
        if (started && continuesCharacter(c)) {
            if (keep) name.append(upper, start, pos - start);
            continue;
        }
        started = true;
        keep = isLetterOrNumber(c);
        if (keep) {
            name.append(upper, start, pos - start);
        } else {
            name += '_';
        }
    }
    // Group paths alike up to there share a layer rather than a line readers lose step on.
    name.resize(cutToBytes(name, maxValueLength).size());
    return name;
}

class DXFText {
public:
    DXFText() { out_.reserve(1 << 16); }

    void pair(int code, std::string_view value) {
        appendInteger(out_, code);
        out_ += '\n';
        out_.append(value);
        out_ += '\n';
    }
    void pair(int code, double value) { pair(code, formatFixed(value, 4)); }
    void integer(int code, std::int64_t value) { pair(code, integerText(value)); }

    void line(std::string_view layer, double x1, double y1, double z1, double x2, double y2, double z2) {
        pair(0, "LINE");
        pair(8, layer);
        pair(10, x1);
        pair(20, y1);
        pair(30, z1);
        pair(11, x2);
        pair(21, y2);
        pair(31, z2);
    }
    void circle(std::string_view layer, double x, double y, double z, double r) {
        pair(0, "CIRCLE");
        pair(8, layer);
        pair(10, x);
        pair(20, y);
        pair(30, z);
        pair(40, r);
    }
    void text(std::string_view layer, double x, double y, double z, double height, std::string_view value) {
        pair(0, "TEXT");
        pair(8, layer);
        pair(10, x);
        pair(20, y);
        pair(30, z);
        pair(40, height);
        pair(1, fitted(sanitiseText(value)));
    }

    std::string& str() { return out_; }

private:
    std::string out_;
};

class Writer {
public:
    Writer(const Project& project, const RigDXF::Options& options) : project_(project), options_(options) {
        if (options.labels) layers_.emplace(labelsLayer, 7);
        if (options.delta) layers_.emplace(deltaLayer, 3);
        if (options.drops) layers_.emplace(dropsLayer, 4);
        if (options.footprints != Footprints::off) layers_.emplace(speakersLayer, 8);
    }

    void source(const Source& s) {
        std::vector<const Pickup*> drawn;
        for (const Pickup& p : s.pickups) {
            // A point that cannot be placed would write "nan" coordinates: skip it.
            if (p.position.isFinite()) drawn.push_back(&p);
        }
        if (drawn.empty()) return;

        std::string layer = groupLayerName(s);
        addGroupLayer(layer);
        std::optional<double> H = project_.riggingHeightFor(s);
        if (H && !std::isfinite(*H)) H.reset();
        std::string id = s.id();

        for (const Pickup* p : drawn) point(s, id, *p, layer, H);
        outline(s, id, drawn, H);
    }

    std::string finish() {
        std::string head;
        DXFText h;
        std::string comment = "Quorvane Rig - rigging points (m, Soundvision origin)";
        if (project_.author) {
            std::string author = sanitiseAuthor(*project_.author);
            if (!author.empty()) comment += " - prepared by " + author;
        }
        h.pair(999, fitted(std::move(comment)));
        h.pair(0, "SECTION");
        h.pair(2, "HEADER");
        h.pair(9, "$ACADVER");
        h.pair(1, "AC1009");
        h.pair(0, "ENDSEC");
        h.pair(0, "SECTION");
        h.pair(2, "TABLES");
        h.pair(0, "TABLE");
        h.pair(2, "LAYER");
        h.integer(70, static_cast<std::int64_t>(layers_.size()));
        // std::map orders UTF-8 bytes, which is code-point order.
        for (const auto& [name, colour] : layers_) {
            h.pair(0, "LAYER");
            h.pair(2, name);
            h.pair(70, "0");
            h.integer(62, colour);
            h.pair(6, "CONTINUOUS");
        }
        h.pair(0, "ENDTAB");
        h.pair(0, "ENDSEC");
        h.pair(0, "SECTION");
        h.pair(2, "ENTITIES");

        std::string& out = h.str();
        out += body_.str();
        DXFText tail;
        tail.pair(0, "ENDSEC");
        tail.pair(0, "EOF");
        out += tail.str();
        return std::move(out);
    }

private:
    // A group layer takes the palette entry at the number of layers so far (the fixed ones
    // included); one already in the table keeps its colour.
    void addGroupLayer(const std::string& name) {
        if (layers_.contains(name)) return;
        int colour = palette[layers_.size() % 10];
        layers_.emplace(name, colour);
    }

    static std::string hookNote(double z, const std::optional<double>& H) {
        return H ? " (hook Z " + formatFixed(z, 2) + ")" : std::string();
    }

    void marker(const std::string& layer, double x, double y, double zc) {
        body_.line(layer, x - 0.15, y, zc, x + 0.15, y, zc);
        body_.line(layer, x, y - 0.15, zc, x, y + 0.15, zc);
        body_.line(layer, x, y, zc - 0.15, x, y, zc + 0.15);
        body_.circle(layer, x, y, zc, 0.1);
    }

    void drop(double x, double y, double z, const std::optional<double>& H) {
        if (!options_.drops || !H) return;
        body_.line(dropsLayer, x, y, *H, x, y, z);
        body_.line(dropsLayer, x - 0.08, y, z, x + 0.08, y, z);
        body_.line(dropsLayer, x, y - 0.08, z, x, y + 0.08, z);
        body_.text(dropsLayer, x + 0.1, y, (z + *H) / 2, 0.1, "Drop " + formatFixed(*H - z, 2) + " m");
    }

    void point(const Source& s, const std::string& id, const Pickup& p, const std::string& layer,
               const std::optional<double>& H) {
        const double x = p.position.x, y = p.position.y, z = p.position.z;
        const double zc = H ? *H : z;

        if (options_.delta) {
            if (auto dp = project_.deltaPoints(s, p); dp && dp->left.isFinite() && dp->right.isFinite()) {
                deltaPoint(s, id, p, layer, H, *dp);
                return;
            }
        }

        marker(layer, x, y, zc);
        drop(x, y, z, H);
        if (options_.labels) {
            std::string rest = " " + p.role;
            // The report may print the hole with its "#" already: never "##5".
            if (!p.hole.empty()) rest += (p.hole.front() == '#' ? " " : " #") + p.hole;
            // An unreadable load is left out rather than printed as "nan kg".
            if (p.load && std::isfinite(*p.load)) rest += " " + fmt(*p.load) + " kg";
            rest += hookNote(z, H);
            body_.text(labelsLayer, x + 0.15, y + 0.15, zc, 0.12, pointLabel(s.name, rest));
        }
    }

    void deltaPoint(const Source& s, const std::string& id, const Pickup& p, const std::string& layer,
                    const std::optional<double>& H, const Project::DeltaPoints& dp) {
        const double z = p.position.z;
        const double zc = H ? *H : z;
        PointExtra extra = project_.extra(id, p.role);
        double sideLoad = 0;
        if (p.load)
            sideLoad = *p.load / 2 + (extra.motor ? extra.motor->weight : 0) + DeltaSpec::plateWeight / 2;
        const char* motorText = extra.motor ? "" : " (no motor)";

        for (auto [side, letter] : {std::pair{&dp.left, "L"}, std::pair{&dp.right, "R"}}) {
            marker(layer, side->x, side->y, zc);
            drop(side->x, side->y, z, H);
            if (options_.labels) {
                std::string rest = " " + p.role + " " + project_.delta.name + " " + letter;
                if (p.load && std::isfinite(sideLoad)) rest += " " + fmt(sideLoad) + " kg" + motorText;
                rest += hookNote(z, H);
                body_.text(labelsLayer, side->x + 0.15, side->y + 0.15, zc, 0.12, pointLabel(s.name, rest));
            }
        }
        double plateZ = options_.drops ? z : zc;
        body_.line(deltaLayer, dp.left.x, dp.left.y, plateZ, dp.right.x, dp.right.y, plateZ);
    }

    // The speaker footprint at the height the options choose, when it can be placed.
    void outline(const Source& s, const std::string& id, const std::vector<const Pickup*>& drawn,
                 const std::optional<double>& H) {
        if (options_.footprints == Footprints::off) return;
        const double zf = footprintHeight(drawn, H);
        const auto corners = footprintCorners(s, id);
        // An outline that cannot be placed is left out rather than written as "nan".
        if (!corners || !std::isfinite(zf)) return;
        for (std::size_t i = 0; i < corners->size(); ++i) {
            const auto& a = (*corners)[i];
            const auto& b = (*corners)[(i + 1) % corners->size()];
            body_.line(speakersLayer, a.first, a.second, zf, b.first, b.second, zf);
        }
    }

    double footprintHeight(const std::vector<const Pickup*>& drawn, const std::optional<double>& H) const {
        double hookTop = drawn.front()->position.z;
        for (const Pickup* p : drawn) hookTop = std::max(hookTop, p->position.z);
        switch (options_.footprints) {
        case Footprints::off:
        case Footprints::hook:
            return hookTop;
        case Footprints::rigging:
            return H ? *H : hookTop;
        case Footprints::floor:
            return 0;
        case Footprints::height:
            return options_.footprintHeight;
        }
        return hookTop;
    }

    // The plan outline from the DXF, else around the pickups, in world coordinates; none when
    // there is none or a corner is not a number.
    std::optional<std::vector<std::pair<double, double>>> footprintCorners(const Source& s,
                                                                           const std::string& id) const {
        const DXFInfo* info = project_.dxf.get(id);
        const std::optional<TopView> footprint = info && info->top ? info->top : pickupFootprint(s);
        if (!footprint) return std::nullopt;
        std::vector<std::pair<double, double>> corners;
        for (const auto& corner : footprint->hull) {
            if (corner.size() < 2) continue; // only a project file can hold such an entry
            const double x = footprint->cx + corner[0];
            const double y = footprint->cy + corner[1];
            if (!std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
            corners.emplace_back(x, y);
        }
        return corners;
    }

    const Project& project_;
    const RigDXF::Options& options_;
    std::map<std::string, int> layers_;
    DXFText body_;
};

} // namespace

std::string RigDXF::make(const Project& project, const RigDXF::Options& options) {
    Writer writer(project, options);
    for (const Source& s : project.report.sources) writer.source(s);
    return writer.finish();
}

} // namespace rig

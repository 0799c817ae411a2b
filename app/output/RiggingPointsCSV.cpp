#include "RiggingPointsCSV.h"

#include "base/Number.h"

#include <array>
#include <cmath>
#include <string_view>
#include <utility>

namespace rig::app {

namespace {

constexpr const char* header = "Group;Source;Point;Hole;X (m);Y (m);Hook Z (m);Rigging height (m);Drop (m);"
                               "Speaker load (kg);Delta;Motor;Motor weight (kg);Total (kg)";

// Half of the 9.5 kg plate hangs on each of its two motors.
constexpr double halfPlate = 4.75;

using Line = std::array<std::string, 14>;

// A value that is not finite is shown as an empty field, like an absent one.
std::optional<double> finite(std::optional<double> value) {
    if (value && std::isfinite(*value)) return value;
    return std::nullopt;
}

std::optional<double> minus(std::optional<double> a, std::optional<double> b) {
    if (a && b) return *a - *b;
    return std::nullopt;
}

std::optional<double> plus(std::optional<double> a, std::optional<double> b) {
    if (a && b) return *a + *b;
    return std::nullopt;
}

// What a weight adds to a total: an absent one adds nothing, while one that is there but not
// a number (an unreadable load) leaves the total unknown rather than made up.
std::optional<double> addend(std::optional<double> value) {
    if (!value) return 0.0;
    return finite(value);
}

// A field with ";" is quoted as always. A quote inside, a line break or a leading quote
// would otherwise corrupt the row for any reader, so those are quoted too and their
// quotes doubled; every other field is written as it is.
std::string quoted(const std::string& field) {
    const bool needsQuotes =
        field.find_first_of(";\n\r") != std::string::npos || (!field.empty() && field.front() == '"');
    if (!needsQuotes) return field;
    std::string out = "\"";
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// A name a spreadsheet would run as a formula (first character "=", "+", "-", "@", tab or
// carriage return) gets a leading apostrophe, which makes it text there. Numbers never pass
// through here, so a negative value keeps its plain minus.
std::string asText(std::string name) {
    constexpr std::string_view formulaStarts = "=+-@\t\r";
    if (!name.empty() && formulaStarts.find(name.front()) != std::string_view::npos) name.insert(0, 1, '\'');
    return name;
}

void append(std::string& text, const Line& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i > 0) text += ';';
        text += quoted(line[i]);
    }
    text += '\n';
}

std::string groupText(const Source& source) {
    std::string out;
    for (const std::string& g : source.groups) {
        if (g == "ALL") continue;
        if (!out.empty()) out += " / ";
        out += g;
    }
    return out;
}

} // namespace

std::string formatNumber(std::optional<double> value, int decimals) {
    if (!value || !std::isfinite(*value)) return "";
    return formatFixed(*value, decimals);
}

std::string riggingPointsCSV(const Project& project) {
    std::string text = header;
    text += '\n';
    const std::string& plate = project.delta.name;
    for (const Source& source : project.report.sources) {
        const std::string group = groupText(source);
        const std::string id = source.id();
        const std::optional<double> height = finite(project.riggingHeightFor(source));
        for (const Pickup& pickup : source.pickups) {
            const PointExtra extra = project.extra(id, pickup.role);
            const std::optional<double> load = finite(pickup.load);
            const std::optional<double> motorWeight =
                extra.motor ? finite(extra.motor->weight) : std::nullopt;
            const std::optional<double> loadPart = addend(pickup.load);
            const std::optional<double> motorPart =
                addend(extra.motor ? std::optional(extra.motor->weight) : std::nullopt);
            const bool placed = std::isfinite(pickup.position.x);
            const std::optional<double> x = placed ? finite(pickup.position.x) : std::nullopt;
            const std::optional<double> y = placed ? finite(pickup.position.y) : std::nullopt;
            const std::optional<double> z = placed ? finite(pickup.position.z) : std::nullopt;

            Line main;
            main[0] = asText(group);
            main[1] = asText(source.name);
            main[2] = asText(pickup.role);
            main[3] = asText(pickup.hole);
            main[4] = formatNumber(x, 2);
            main[5] = formatNumber(y, 2);
            main[6] = formatNumber(z, 2);
            main[7] = formatNumber(height, 2);
            main[8] = formatNumber(minus(height, z), 2);
            main[9] = formatNumber(load, 1);
            if (extra.delta) {
                main[10] = asText(plate + " (see L/R)");
            } else {
                main[11] = asText(extra.motor ? extra.motor->name : std::string());
                main[12] = formatNumber(motorWeight, 1);
                main[13] = formatNumber(plus(motorPart, loadPart), 1);
            }
            append(text, main);

            const auto points = project.deltaPoints(source, pickup);
            if (!points) continue;
            const std::optional<double> sideWeight = plus(motorPart, halfPlate);
            const std::optional<double> sideLoad = loadPart ? std::optional(*loadPart / 2) : std::nullopt;
            const std::array<std::pair<const char*, XYZ>, 2> sides = {std::pair{"left", points->left},
                                                                      std::pair{"right", points->right}};
            for (const auto& [side, point] : sides) {
                const std::optional<double> pz = finite(point.z);
                Line hang;
                hang[0] = asText(group);
                hang[1] = asText(source.name);
                hang[2] = asText(pickup.role + " · " + plate + " " + side);
                hang[3] = asText(pickup.hole);
                hang[4] = formatNumber(point.x, 2);
                hang[5] = formatNumber(point.y, 2);
                hang[6] = formatNumber(pz, 2);
                hang[7] = formatNumber(height, 2);
                hang[8] = formatNumber(minus(height, pz), 2);
                hang[9] = formatNumber(sideLoad, 1);
                hang[10] = asText(plate);
                hang[11] = asText((extra.motor ? extra.motor->name : std::string()) + " + ½ plate");
                hang[12] = formatNumber(sideWeight, 1);
                hang[13] = formatNumber(plus(sideWeight, sideLoad), 1);
                append(text, hang);
            }
        }
    }
    return text;
}

} // namespace rig::app

#include "analysis/BottomFace.h"

#include "base/Text.h"

#include <array>
#include <cmath>
#include <string>
#include <utility>

namespace rig {

namespace {

// Model prefix (upper case, words separated by blanks) and half wedge angle in degrees.
constexpr std::array<std::pair<std::string_view, double>, 14> wedges = {{
    {"KARA", 5},
    {"K2", 5},
    {"K3", 5},
    {"K1-SB", 0},
    {"K1", 0},
    {"A15 FOCUS", 5},
    {"A15 WIDE", 15},
    {"A10 FOCUS", 5},
    {"A10 WIDE", 15},
    {"ARCS II", 11.25},
    {"ARCS WIDE", 15},
    {"KS28", 0},
    {"SB28", 0},
    {"KS21", 0},
}};

} // namespace

std::optional<double> Wedge::halfAngle(std::string_view type) {
    std::string normal = toUpper(type);
    for (char& c : normal) {
        if (c == '_') c = ' ';
    }
    std::optional<double> best;
    std::size_t bestLength = 0;
    for (const auto& [prefix, half] : wedges) {
        // The prefixes are ASCII, so bytes count characters; strictly longer wins. A prefix
        // that ends inside a character of the type ("K2" of "K2" with a mark) is no match.
        if (startsWithText(normal, prefix) && (!best || prefix.size() > bestLength)) {
            best = half;
            bestLength = prefix.size();
        }
    }
    return best;
}

std::optional<BottomFace> bottomFace(const Source& source) {
    if (!source.isFlown() || source.enclosures.empty()) return std::nullopt;
    const Enclosure& last = source.enclosures.back();
    if (!last.site) return std::nullopt;
    std::optional<double> half = Wedge::halfAngle(last.type);
    if (!half) return std::nullopt;
    return BottomFace{*last.site, std::round((*last.site - *half) * 10) / 10};
}

} // namespace rig

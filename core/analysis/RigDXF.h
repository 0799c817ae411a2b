// The rigging-points DXF (R12 ASCII): every pickup point at its position in the report's
// frame, K1-DELTA motors and plates, chain drops, labels and speaker footprints.
#pragma once

#include "base/JsonFwd.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

struct Project;

namespace RigDXF {

struct Options {
    enum class Footprints { off, hook, rigging, floor, height };
    static constexpr std::array<Footprints, 5> allFootprints = {
        Footprints::off, Footprints::hook, Footprints::rigging, Footprints::floor, Footprints::height};
    static std::string_view rawValue(Footprints f);
    static std::optional<Footprints> footprintsFromRaw(std::string_view raw);

    bool labels = true;
    bool delta = true;
    bool drops = false;
    Footprints footprints = Footprints::hook;
    double footprintHeight = 0; // metres, for Footprints::height

    friend bool operator==(const Options& a, const Options& b) = default;
    // All five keys; throws JsonEncodeError when footprintHeight is not finite.
    Json toJson() const;
    // All five keys required; throws JsonDecodeError.
    static Options fromJson(const Json& j, const JsonPath& path);
};

// The whole file text. Every report source is drawn, hidden ones included.
std::string make(const Project& project, const Options& options);

} // namespace RigDXF

} // namespace rig

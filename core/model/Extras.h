// What the user adds to a report: motors, the K1-DELTA plate settings and per-point extras.
#pragma once

#include "base/JsonFwd.h"
#include "base/TextMap.h"
#include "base/Uuid.h"

#include <optional>
#include <string>

namespace rig {

struct Motor {
    Uuid id;
    std::string name;
    double weight = 0;

    JsonUnknown unknown{};

    friend bool operator==(const Motor& a, const Motor& b);
    Json toJson() const;
    static Motor fromJson(const Json& j, const JsonPath& path);
};

struct DeltaSpec {
    static constexpr double plateWeight = 9.5;
    static constexpr double defaultSpacing = 0.8;

    std::string name = "K1-DELTA";
    std::optional<double> spacing = defaultSpacing;
    std::optional<double> weight;

    double spacingValue() const { return spacing.value_or(defaultSpacing); }
    // The plate's product weight; the stored `weight` does not change it.
    double weightValue() const { return plateWeight; }

    JsonUnknown unknown{};

    friend bool operator==(const DeltaSpec& a, const DeltaSpec& b);
    Json toJson() const;
    static DeltaSpec fromJson(const Json& j, const JsonPath& path);
};

struct PointExtra {
    std::optional<Motor> motor;
    bool delta = false;

    bool isEmpty() const { return !motor && !delta; }

    JsonUnknown unknown{};

    friend bool operator==(const PointExtra& a, const PointExtra& b);
    Json toJson() const;
    static PointExtra fromJson(const Json& j, const JsonPath& path);
};

struct SourceExtra {
    TextMap<PointExtra> points; // by pickup role

    JsonUnknown unknown{};

    friend bool operator==(const SourceExtra& a, const SourceExtra& b) { return a.points == b.points; }
    Json toJson() const;
    static SourceExtra fromJson(const Json& j, const JsonPath& path);
};

} // namespace rig

template <>
struct std::hash<rig::Motor> {
    std::size_t operator()(const rig::Motor& m) const noexcept;
};

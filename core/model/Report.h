// The records read from Soundvision's exports: a parsed report and the inventory rows.
#pragma once

#include "base/JsonFwd.h"
#include "base/List.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

struct XYZ {
    double x = 0;
    double y = 0;
    double z = 0;

    XYZ() = default;
    XYZ(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

    double distance(const XYZ& to) const;
    // All three coordinates are numbers: the point can be drawn or written as it is.
    bool isFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
    // x and y are numbers: the point can be placed in plan.
    bool isFiniteInPlan() const { return std::isfinite(x) && std::isfinite(y); }

    friend bool operator==(const XYZ& a, const XYZ& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
    Json toJson() const;
    static XYZ fromJson(const Json& j, const JsonPath& path);
};

struct Pickup {
    std::string role;
    std::string hole;
    XYZ position;
    std::optional<double> load;
    bool fromDXF = false;

    // The report gave this point coordinates: its x is a number. A point known only from a
    // motor load line has none; y and z are not looked at.
    bool hasPosition() const { return std::isfinite(position.x); }

    JsonUnknown unknown{};

    friend bool operator==(const Pickup& a, const Pickup& b);
    Json toJson() const;
    static Pickup fromJson(const Json& j, const JsonPath& path);
};

struct Enclosure {
    std::int64_t index = 0;
    std::string type;
    std::optional<double> angle;
    std::optional<double> site;
    std::optional<double> topZ;
    std::optional<double> bottomZ;
    std::optional<std::string> panflex;

    JsonUnknown unknown{};

    friend bool operator==(const Enclosure& a, const Enclosure& b);
    Json toJson() const;
    static Enclosure fromJson(const Json& j, const JsonPath& path);
};

struct ReportWarning {
    enum class Level { error, warning, caution };
    static std::string_view levelText(Level level);
    static std::optional<Level> levelFromText(std::string_view text);

    Level level = Level::warning;
    std::string text;

    JsonUnknown unknown{};

    friend bool operator==(const ReportWarning& a, const ReportWarning& b) {
        return a.level == b.level && eq(a.text, b.text);
    }
    Json toJson() const;
    static ReportWarning fromJson(const Json& j, const JsonPath& path);
};

struct Source {
    std::string name;
    List<std::string> groups;
    std::string configuration;
    std::optional<std::string> bumper;
    std::optional<std::int64_t> motorCount;
    List<Pickup> pickups;
    std::optional<XYZ> position;
    std::optional<double> site;
    std::optional<double> azimuth;
    std::optional<XYZ> dimensions;
    std::optional<double> bottomElevation;
    std::optional<double> topSite;
    std::optional<double> bottomSite;
    std::optional<double> totalWeight;
    std::optional<double> enclosureWeight;
    List<Enclosure> enclosures;
    bool hasAngles = false;
    List<ReportWarning> warnings;
    std::optional<double> delay;
    std::optional<double> gain;
    // Part of the report around it could not be read: the source may lack what it said
    // there, or hold what belonged to a source that was lost.
    bool possiblyIncomplete = false;

    Source() = default;
    Source(std::string name_, List<std::string> groups_)
        : name(std::move(name_)), groups(std::move(groups_)) {}

    // The group path followed by the name, joined with "/"; nothing escaped.
    std::string id() const;
    // "flown" anywhere in the configuration, case-sensitive.
    bool isFlown() const;

    JsonUnknown unknown{};

    friend bool operator==(const Source& a, const Source& b);
    Json toJson() const;
    static Source fromJson(const Json& j, const JsonPath& path);
};

struct ReportInfo {
    std::string version;
    std::string date;
    std::string fileName;
    std::string distanceUnit = "m";
    std::string weightUnit = "kg";

    JsonUnknown unknown{};

    friend bool operator==(const ReportInfo& a, const ReportInfo& b);
    Json toJson() const;
    static ReportInfo fromJson(const Json& j, const JsonPath& path);
};

struct Report {
    ReportInfo info;
    List<Source> sources;

    JsonUnknown unknown{};

    friend bool operator==(const Report& a, const Report& b) {
        return a.info == b.info && a.sources == b.sources;
    }
    Json toJson() const;
    static Report fromJson(const Json& j, const JsonPath& path);
};

struct InventoryItem {
    std::string category;
    std::int64_t quantity = 0;
    std::string family;
    std::string product;
    std::string description;
    std::optional<std::int64_t> ampChannels;

    JsonUnknown unknown{};

    friend bool operator==(const InventoryItem& a, const InventoryItem& b);
    Json toJson() const;
    static InventoryItem fromJson(const Json& j, const JsonPath& path);
};

// Hash of a decimal's bit pattern with -0.0 taken as 0.0, so equal values hash alike.
std::size_t hashDecimal(double v);
void hashCombine(std::size_t& seed, std::size_t value);

} // namespace rig

template <>
struct std::hash<rig::XYZ> {
    std::size_t operator()(const rig::XYZ& p) const noexcept;
};
template <>
struct std::hash<rig::ReportWarning::Level> {
    std::size_t operator()(rig::ReportWarning::Level l) const noexcept;
};
template <>
struct std::hash<rig::ReportWarning> {
    std::size_t operator()(const rig::ReportWarning& w) const noexcept;
};

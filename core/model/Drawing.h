// What the loudspeaker DXF gives per source, and the import history.
#pragma once

#include "base/Date.h"
#include "base/JsonFwd.h"
#include "base/List.h"
#include "model/Report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rig {

// Side outline in whole centimetres: u along the plan axis, v = -z.
struct SideView {
    std::string path;
    std::int64_t minU = 0;
    std::int64_t maxU = 0;
    std::int64_t minV = 0;
    std::int64_t maxV = 0;
    List<std::vector<std::int64_t>> points; // [u, v] each

    JsonUnknown unknown{};

    friend bool operator==(const SideView& a, const SideView& b);
    Json toJson() const;
    static SideView fromJson(const Json& j, const JsonPath& path);
};

// Plan outline in metres: centre and corners relative to it.
struct TopView {
    double cx = 0;
    double cy = 0;
    List<std::vector<double>> hull; // [x, y] each

    JsonUnknown unknown{};

    friend bool operator==(const TopView& a, const TopView& b);
    Json toJson() const;
    static TopView fromJson(const Json& j, const JsonPath& path);
};

struct DXFInfo {
    List<XYZ> pickups;
    std::optional<SideView> side;
    std::optional<TopView> top;

    JsonUnknown unknown{};

    friend bool operator==(const DXFInfo& a, const DXFInfo& b);
    Json toJson() const;
    static DXFInfo fromJson(const Json& j, const JsonPath& path);
};

struct ImportRecord {
    Date date;
    std::string file;
    List<std::string> changes;

    JsonUnknown unknown{};

    friend bool operator==(const ImportRecord& a, const ImportRecord& b);
    Json toJson() const;
    static ImportRecord fromJson(const Json& j, const JsonPath& path);
};

} // namespace rig

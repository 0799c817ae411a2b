// The crew document: everything the crew page shows about a project, as one JSON object
// with short keys. The page and the publish server read it; its keys are a contract.
#pragma once

#include "base/Date.h"
#include "base/JsonFwd.h"
#include "base/List.h"
#include "base/TextMap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

struct Project;

struct CrewDoc {
    struct Point {
        std::string role;
        std::string hole;
        std::optional<std::vector<double>> xyz;
        std::optional<double> load;
        // The point has a load that is not a number (the report printed none readable): `load`
        // is then absent, and no total that needs it can be given. Written only when set.
        bool loadInvalid = false;
        bool delta = false;
        std::optional<std::string> motor;
        std::optional<double> motorKg;
        std::optional<std::vector<std::vector<double>>> dm; // left, then right

        static Point fromJson(const Json& j, const JsonPath& path);
    };

    struct Enc {
        std::int64_t n = 0;
        std::string t;
        std::optional<double> a;
        std::optional<double> s;
        std::optional<double> top;
        std::optional<double> bot;
        std::optional<std::string> pf;

        static Enc fromJson(const Json& j, const JsonPath& path);
    };

    struct Warn {
        std::string l;
        std::string t;

        static Warn fromJson(const Json& j, const JsonPath& path);
    };

    struct Side {
        std::string p;
        std::vector<std::int64_t> box;              // min u, min v, width, height
        std::vector<std::vector<std::int64_t>> pts; // [u, v] each

        static Side fromJson(const Json& j, const JsonPath& path);
    };

    struct Plan {
        std::vector<double> c;                 // [x, y]
        std::vector<std::vector<double>> hull; // [dx, dy] from c
        std::vector<double> dir;               // unit plan axis

        static Plan fromJson(const Json& j, const JsonPath& path);
    };

    struct Src {
        std::string id;
        std::string name;
        std::vector<std::string> group;
        std::string config;
        std::optional<std::string> bumper;
        std::optional<std::int64_t> motors;
        std::optional<double> site;
        std::optional<double> az;
        std::optional<std::vector<double>> pos;
        std::optional<double> bottom;
        std::optional<std::vector<double>> botFace; // [site, facet]
        std::optional<double> weight;
        std::optional<double> encWeight;
        std::vector<Point> points;
        bool hasAngles = false;
        std::vector<Enc> enc;
        std::vector<Warn> warn;
        std::optional<Side> side;
        std::optional<Plan> plan;
        std::optional<double> rigH;
        std::optional<std::vector<std::string>> changed;
        // The source's number in plans, the same in every document of a project: its place
        // among all of the project's sources, hidden ones included, from 1. Absent in documents
        // made before it existed.
        std::optional<std::int64_t> no;

        static Src fromJson(const Json& j, const JsonPath& path);
    };

    struct Inv {
        std::string cat;
        std::int64_t q = 0;
        std::string n;
        std::optional<std::int64_t> ch;

        static Inv fromJson(const Json& j, const JsonPath& path);
    };

    struct Delta {
        std::string name;
        std::optional<double> spacing;
        std::optional<double> weight;

        static Delta fromJson(const Json& j, const JsonPath& path);
    };

    std::int64_t v = 1;
    std::string name;
    std::optional<std::string> author;
    std::string updated;
    std::string report;
    std::string svVersion;
    std::string distUnit;
    std::string weightUnit;
    std::vector<Src> sources;
    std::vector<Inv> inventory;
    Delta delta;
    std::optional<std::string> link;
    std::optional<std::string> qr;

    // Compact JSON text (no blanks, fields in declaration order, absent optionals left
    // out). Throws JsonEncodeError naming the field when a decimal is not finite.
    std::string encode() const;
    // The same text with every number that is not finite written as null, which readers take
    // as an absent value: for showing a document whatever it holds.
    std::string encodeLenient() const;
    // Strict reading: required keys present and of the right type, unknown keys ignored.
    // Throws JsonDecodeError.
    static CrewDoc decode(std::string_view text);
    static CrewDoc fromJson(const Json& j, const JsonPath& path);

    // The crew's view of a project. `changes` maps source identifiers to what changed
    // since the last publish. Numbers that are not finite are left out, so the result
    // always encodes; a point's load that is not finite is marked as such (`loadInvalid`).
    static CrewDoc build(const Project& project, const TextMap<List<std::string>>& changes, Date date,
                         bool includeHidden);
};

} // namespace rig

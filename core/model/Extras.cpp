#include "model/Extras.h"

#include "base/Equal.h"
#include "base/Json.h"
#include "model/Report.h"

namespace rig {

bool operator==(const Motor& a, const Motor& b) {
    return a.id == b.id && eq(a.name, b.name) && a.weight == b.weight;
}

Json Motor::toJson() const {
    JsonObjectWriter w;
    w.put("id", id).put("name", name).put("weight", weight).keep(unknown);
    return w.take();
}

Motor Motor::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    Motor m;
    m.id = o.req<Uuid>("id");
    m.name = o.req<std::string>("name");
    m.weight = o.req<double>("weight");
    m.unknown = o.unknown();
    return m;
}

bool operator==(const DeltaSpec& a, const DeltaSpec& b) {
    return eq(a.name, b.name) && eq(a.spacing, b.spacing) && eq(a.weight, b.weight);
}

Json DeltaSpec::toJson() const {
    JsonObjectWriter w;
    w.put("name", name).opt("spacing", spacing).opt("weight", weight).keep(unknown);
    return w.take();
}

DeltaSpec DeltaSpec::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    DeltaSpec d;
    d.name = o.req<std::string>("name");
    // A missing spacing stays missing: the initialiser's default is not a reading rule.
    d.spacing = o.opt<double>("spacing");
    d.weight = o.opt<double>("weight");
    d.unknown = o.unknown();
    return d;
}

bool operator==(const PointExtra& a, const PointExtra& b) {
    return eq(a.motor, b.motor) && a.delta == b.delta;
}

Json PointExtra::toJson() const {
    JsonObjectWriter w;
    w.opt("motor", motor).put("delta", delta).keep(unknown);
    return w.take();
}

PointExtra PointExtra::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    PointExtra e;
    e.motor = o.opt<Motor>("motor");
    e.delta = o.req<bool>("delta");
    e.unknown = o.unknown();
    return e;
}

Json SourceExtra::toJson() const {
    JsonObjectWriter w;
    w.put("points", points).keep(unknown);
    return w.take();
}

SourceExtra SourceExtra::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    SourceExtra e;
    e.points = o.req<TextMap<PointExtra>>("points");
    e.unknown = o.unknown();
    return e;
}

} // namespace rig

std::size_t std::hash<rig::Motor>::operator()(const rig::Motor& m) const noexcept {
    std::size_t seed = std::hash<rig::Uuid>()(m.id);
    rig::hashCombine(seed, rig::textHash(m.name));
    rig::hashCombine(seed, rig::hashDecimal(m.weight));
    return seed;
}

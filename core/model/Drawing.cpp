#include "model/Drawing.h"

#include "base/Equal.h"
#include "base/Json.h"

namespace rig {

bool operator==(const SideView& a, const SideView& b) {
    return eq(a.path, b.path) && a.minU == b.minU && a.maxU == b.maxU && a.minV == b.minV &&
           a.maxV == b.maxV && a.points == b.points;
}

Json SideView::toJson() const {
    JsonObjectWriter w;
    w.put("path", path)
        .put("minU", minU)
        .put("maxU", maxU)
        .put("minV", minV)
        .put("maxV", maxV)
        .put("points", points)
        .keep(unknown);
    return w.take();
}

SideView SideView::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    SideView s;
    s.path = o.req<std::string>("path");
    s.minU = o.req<std::int64_t>("minU");
    s.maxU = o.req<std::int64_t>("maxU");
    s.minV = o.req<std::int64_t>("minV");
    s.maxV = o.req<std::int64_t>("maxV");
    s.points = o.req<List<std::vector<std::int64_t>>>("points");
    s.unknown = o.unknown();
    return s;
}

bool operator==(const TopView& a, const TopView& b) {
    return a.cx == b.cx && a.cy == b.cy && a.hull == b.hull;
}

Json TopView::toJson() const {
    JsonObjectWriter w;
    w.put("cx", cx).put("cy", cy).put("hull", hull).keep(unknown);
    return w.take();
}

TopView TopView::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    TopView t;
    t.cx = o.req<double>("cx");
    t.cy = o.req<double>("cy");
    t.hull = o.req<List<std::vector<double>>>("hull");
    t.unknown = o.unknown();
    return t;
}

bool operator==(const DXFInfo& a, const DXFInfo& b) {
    return a.pickups == b.pickups && eq(a.side, b.side) && eq(a.top, b.top);
}

Json DXFInfo::toJson() const {
    JsonObjectWriter w;
    w.put("pickups", pickups).opt("side", side).opt("top", top).keep(unknown);
    return w.take();
}

DXFInfo DXFInfo::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    DXFInfo d;
    d.pickups = o.req<List<XYZ>>("pickups");
    d.side = o.opt<SideView>("side");
    d.top = o.opt<TopView>("top");
    d.unknown = o.unknown();
    return d;
}

bool operator==(const ImportRecord& a, const ImportRecord& b) {
    return a.date == b.date && eq(a.file, b.file) && a.changes == b.changes;
}

Json ImportRecord::toJson() const {
    JsonObjectWriter w;
    w.put("date", date).put("file", file).put("changes", changes).keep(unknown);
    return w.take();
}

ImportRecord ImportRecord::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    ImportRecord r;
    r.date = o.req<Date>("date");
    r.file = o.req<std::string>("file");
    r.changes = o.req<List<std::string>>("changes");
    r.unknown = o.unknown();
    return r;
}

} // namespace rig

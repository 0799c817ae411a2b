#include "import/SideViewBuilder.h"

#include "base/Number.h"
#include "import/detail/SideViewBuilderDetail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <numeric>
#include <unordered_map>

namespace rig::SideViewBuilder {

namespace {

// Rounds half away from zero to a 64-bit integer. None when the value is not finite or
// its magnitude exceeds `limit`, so the conversion is always defined.
std::optional<std::int64_t> roundedInt(double v, double limit) {
    const double r = std::round(v);
    if (!(std::fabs(r) <= limit)) return std::nullopt;
    return static_cast<std::int64_t>(r);
}

// Vertex keys use nearly the full 64-bit range; they are only compared and hashed.
constexpr double keyLimit = 9.2e18;
// Whole centimetres stay below 2^60 so that differences fit 64 bits and cross products
// fit 128 bits.
constexpr double cmLimit = 1152921504606846976.0;

using Wide = __int128;

Wide cross(const Point& o, const Point& a, const Point& b) {
    return Wide(a[0] - o[0]) * Wide(b[1] - o[1]) - Wide(a[1] - o[1]) * Wide(b[0] - o[0]);
}

Wide area2(const std::vector<Point>& h) {
    Wide sum = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        const Point& a = h[i];
        const Point& b = h[(i + 1) % h.size()];
        sum += Wide(a[0]) * Wide(b[1]) - Wide(b[0]) * Wide(a[1]);
    }
    return sum < 0 ? -sum : sum;
}

// Inside or on the border of the counter-clockwise hull `outer`.
bool inside(const std::vector<Point>& outer, const Point& p) {
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (cross(outer[i], outer[(i + 1) % outer.size()], p) < 0) return false;
    }
    return true;
}

struct Box {
    std::int64_t minU, maxU, minV, maxV;
    bool contains(const Box& o) const {
        return minU <= o.minU && maxU >= o.maxU && minV <= o.minV && maxV >= o.maxV;
    }
};

Box boxOf(const std::vector<Point>& pts) {
    Box b{pts[0][0], pts[0][0], pts[0][1], pts[0][1]};
    for (const Point& p : pts) {
        b.minU = std::min(b.minU, p[0]);
        b.maxU = std::max(b.maxU, p[0]);
        b.minV = std::min(b.minV, p[1]);
        b.maxV = std::max(b.maxV, p[1]);
    }
    return b;
}

// Keeps the hulls (largest first) that do not lie inside an already kept one. A coarse
// grid over the kept hulls' boxes keeps this near-linear for drawings with many bodies.
std::vector<std::size_t> acceptHulls(const std::vector<std::vector<Point>>& hulls) {
    std::vector<Box> boxes;
    boxes.reserve(hulls.size());
    for (const auto& h : hulls) boxes.push_back(boxOf(h));
    Box all = boxes.front();
    for (const Box& b : boxes) {
        all.minU = std::min(all.minU, b.minU);
        all.maxU = std::max(all.maxU, b.maxU);
        all.minV = std::min(all.minV, b.minV);
        all.maxV = std::max(all.maxV, b.maxV);
    }
    const int n = static_cast<int>(std::min<std::size_t>(
        64, static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(hulls.size()))))));
    const double spanU = static_cast<double>(all.maxU - all.minU) + 1;
    const double spanV = static_cast<double>(all.maxV - all.minV) + 1;
    auto cellU = [&](std::int64_t u) {
        return std::clamp(static_cast<int>(static_cast<double>(u - all.minU) / spanU * n), 0, n - 1);
    };
    auto cellV = [&](std::int64_t v) {
        return std::clamp(static_cast<int>(static_cast<double>(v - all.minV) / spanV * n), 0, n - 1);
    };
    std::vector<std::vector<std::size_t>> grid(static_cast<std::size_t>(n) * n);

    std::vector<std::size_t> accepted;
    for (std::size_t i = 0; i < hulls.size(); ++i) {
        const auto& h = hulls[i];
        // Every kept hull containing h holds h's first point, so only that cell matters.
        const auto& candidates = grid[static_cast<std::size_t>(cellU(h[0][0])) * n + cellV(h[0][1])];
        bool contained = std::any_of(candidates.begin(), candidates.end(), [&](std::size_t a) {
            if (!boxes[a].contains(boxes[i])) return false;
            return std::all_of(h.begin(), h.end(), [&](const Point& p) { return inside(hulls[a], p); });
        });
        if (contained) continue;
        accepted.push_back(i);
        for (int cu = cellU(boxes[i].minU); cu <= cellU(boxes[i].maxU); ++cu) {
            for (int cv = cellV(boxes[i].minV); cv <= cellV(boxes[i].maxV); ++cv) {
                grid[static_cast<std::size_t>(cu) * n + cv].push_back(i);
            }
        }
    }
    return accepted;
}

} // namespace

Axis planAxis(const Source& source) {
    const Pickup* front = nullptr;
    const Pickup* rear = nullptr;
    for (const Pickup& p : source.pickups) {
        if (!front && p.role == "Front") front = &p;
        if (!rear && (p.role == "Rear" || p.role == "Pullback")) rear = &p;
    }
    if (front && rear && front->hasPosition() && rear->hasPosition()) {
        const double ex = front->position.x - rear->position.x;
        const double ey = front->position.y - rear->position.y;
        const double d = std::sqrt(ex * ex + ey * ey);
        // A distance that is not a number fails this test too.
        if (d > 0.05 && std::isfinite(d)) return {ex / d, ey / d};
    }
    // An azimuth that is not a number would give no direction at all.
    double a = source.azimuth.value_or(0);
    if (!std::isfinite(a)) a = 0;
    return {std::sin(a * std::numbers::pi / 180), std::cos(a * std::numbers::pi / 180)};
}

namespace {

// The distinct end points of a drawing's segments (equal bits: each is placed from its block
// the same way every time it occurs), each once in order of first appearance, and the
// numbers of every segment's two ends. Keys, projections and the plan are then worked out
// once per point instead of once per segment end.
struct Vertices {
    std::vector<XYZ> points;
    std::vector<std::uint32_t> ends; // two per segment
};

std::uint64_t bitsOf(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

Vertices distinctVertices(const std::vector<Segment>& segments) {
    constexpr std::uint32_t empty = std::numeric_limits<std::uint32_t>::max();
    Vertices v;
    v.ends.reserve(segments.size() * 2);
    std::size_t capacity = 16;
    while (capacity < segments.size() * 4) capacity <<= 1;
    std::vector<std::uint32_t> slots(capacity, empty);
    auto number = [&](const XYZ& p) {
        const std::uint64_t x = bitsOf(p.x), y = bitsOf(p.y), z = bitsOf(p.z);
        std::uint64_t h = x * 0x9E3779B97F4A7C15u ^ (y + 0x632BE59BD9B4E019u) * 0xC2B2AE3D27D4EB4Fu ^
                          (z + 0x165667B19E3779F9u) * 0xD6E8FEB86659FD93u;
        h ^= h >> 32;
        for (std::size_t i = h & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
            if (slots[i] == empty) {
                slots[i] = static_cast<std::uint32_t>(v.points.size());
                v.points.push_back(p);
                return slots[i];
            }
            const XYZ& q = v.points[slots[i]];
            if (bitsOf(q.x) == x && bitsOf(q.y) == y && bitsOf(q.z) == z) return slots[i];
        }
    };
    for (const auto& [a, b] : segments) {
        v.ends.push_back(number(a));
        v.ends.push_back(number(b));
    }
    return v;
}

} // namespace

namespace detail {

std::size_t KHash::operator()(const K& k) const noexcept {
    std::size_t seed = std::hash<std::int64_t>()(k.x);
    hashCombine(seed, std::hash<std::int64_t>()(k.y));
    hashCombine(seed, std::hash<std::int64_t>()(k.z));
    return seed;
}

std::optional<K> key(const XYZ& p) {
    auto x = roundedInt(p.x * 10000, keyLimit);
    auto y = roundedInt(p.y * 10000, keyLimit);
    auto z = roundedInt(p.z * 10000, keyLimit);
    if (!x || !y || !z) return std::nullopt;
    return K{*x, *y, *z};
}

namespace {

// Connected sets of segments by vertex key, as bodies() describes.
// The bodies one after the other, each from its offset up to the next one's.
struct Bodies {
    std::vector<XYZ> points;
    std::vector<std::size_t> starts; // one per body, then the end
};

Bodies bodiesOf(const Vertices& v) {
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::vector<std::optional<K>> keys;
    keys.reserve(v.points.size());
    for (const XYZ& p : v.points) keys.push_back(key(p));
    // The key number of each distinct point, once it is part of a segment with two keys;
    // key numbers by key in an open-addressing table (a vertex per key, first come).
    std::vector<std::size_t> numberOf(v.points.size(), none);
    std::size_t capacity = 16;
    while (capacity < v.points.size() * 2) capacity <<= 1;
    std::vector<std::size_t> table(capacity, none);
    std::vector<K> vertexKeys;
    std::vector<XYZ> vertices;
    std::vector<std::size_t> parent;
    vertexKeys.reserve(v.points.size());
    vertices.reserve(v.points.size());
    parent.reserve(v.points.size());
    const KHash hash;
    auto vertex = [&](std::uint32_t id) {
        if (numberOf[id] != none) return numberOf[id];
        const K& k = *keys[id];
        std::size_t i = hash(k) & (capacity - 1);
        while (table[i] != none && !(vertexKeys[table[i]] == k)) i = (i + 1) & (capacity - 1);
        if (table[i] == none) {
            table[i] = vertices.size();
            vertexKeys.push_back(k);
            vertices.push_back(v.points[id]);
            parent.push_back(table[i]);
        }
        return numberOf[id] = table[i];
    };
    auto find = [&](std::size_t x) {
        std::size_t root = x;
        while (parent[root] != root) root = parent[root];
        while (parent[x] != root) x = std::exchange(parent[x], root);
        return root;
    };
    for (std::size_t s = 0; s < v.ends.size(); s += 2) {
        const std::uint32_t a = v.ends[s], b = v.ends[s + 1];
        if (!keys[a] || !keys[b]) continue;
        const std::size_t va = vertex(a);
        const std::size_t vb = vertex(b);
        const std::size_t ra = find(va);
        const std::size_t rb = find(vb);
        if (ra != rb) parent[ra] = rb;
    }
    // Bodies in order of their first vertex.
    // Bodies in order of their first vertex: count each body's vertices, then place them.
    std::vector<std::size_t> bodyOfRoot(vertices.size(), none);
    std::vector<std::size_t> bodyOf(vertices.size());
    Bodies result;
    for (std::size_t x = 0; x < vertices.size(); ++x) {
        std::size_t& body = bodyOfRoot[find(x)];
        if (body == none) {
            body = result.starts.size();
            result.starts.push_back(0);
        }
        bodyOf[x] = body;
        ++result.starts[body];
    }
    std::size_t offset = 0;
    for (std::size_t& start : result.starts) offset += std::exchange(start, offset);
    result.starts.push_back(offset);
    std::vector<std::size_t> next(result.starts.begin(), result.starts.end() - 1);
    result.points.resize(vertices.size());
    for (std::size_t x = 0; x < vertices.size(); ++x) result.points[next[bodyOf[x]]++] = vertices[x];
    return result;
}

} // namespace

std::vector<std::vector<XYZ>> bodies(const std::vector<Segment>& segments) {
    const Bodies flat = bodiesOf(distinctVertices(segments));
    std::vector<std::vector<XYZ>> result;
    for (std::size_t b = 0; b + 1 < flat.starts.size(); ++b)
        result.emplace_back(flat.points.begin() + static_cast<std::ptrdiff_t>(flat.starts[b]),
                            flat.points.begin() + static_cast<std::ptrdiff_t>(flat.starts[b + 1]));
    return result;
}

} // namespace detail

namespace {

// Monotone chain over sorted points, in one array: the lower chain, then the upper one
// from the last point back, each without its last point.
std::vector<Point> hullOfSorted(const std::vector<Point>& points) {
    if (points.size() < 3) return points;
    std::vector<Point> h(points.size() * 2);
    std::size_t k = 0;
    for (const Point& p : points) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], p) <= 0) --k;
        h[k++] = p;
    }
    // The upper chain starts from the last point, which ends the lower chain.
    const std::size_t lower = k;
    for (std::size_t i = points.size() - 1; i-- > 0;) {
        while (k > lower && cross(h[k - 2], h[k - 1], points[i]) <= 0) --k;
        h[k++] = points[i];
    }
    h.resize(k - 1);
    return h;
}

} // namespace

std::vector<Point> hull(std::vector<Point> points) {
    if (!std::is_sorted(points.begin(), points.end())) std::sort(points.begin(), points.end());
    return hullOfSorted(points);
}

namespace {

// A point's place in the side view: whole centimetres along the axis from the insert, and
// downwards. None when it cannot be placed.
class SideProjection {
public:
    SideProjection(const Axis& axis, const XYZ& insert) : axis_(axis), x0_(insert.x), y0_(insert.y) {}
    std::optional<Point> operator()(const XYZ& p) const {
        auto u = roundedInt(((p.x - x0_) * axis_.dx + (p.y - y0_) * axis_.dy) * 100, cmLimit);
        auto v = roundedInt(p.z * -100, cmLimit);
        if (!u || !v) return std::nullopt;
        return Point{*u, *v};
    }

private:
    Axis axis_;
    double x0_;
    double y0_;
};

// The side hull of every body with an area, largest first (equal areas keep body order).
std::vector<std::vector<Point>> bodyHullsLargestFirst(const detail::Bodies& bodies,
                                                      const SideProjection& project) {
    std::vector<std::vector<Point>> hulls;
    hulls.reserve(bodies.starts.size());
    std::vector<Point> pts;
    for (std::size_t b = 0; b + 1 < bodies.starts.size(); ++b) {
        pts.clear();
        for (std::size_t k = bodies.starts[b]; k < bodies.starts[b + 1]; ++k) {
            const XYZ& p = bodies.points[k];
            if (auto q = project(p)) pts.push_back(*q);
        }
        std::sort(pts.begin(), pts.end());
        pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
        if (pts.size() < 3) continue; // no hull of three points
        auto h = hullOfSorted(pts);
        if (h.size() >= 3) hulls.push_back(std::move(h));
    }
    std::vector<Wide> areas;
    areas.reserve(hulls.size());
    for (const auto& h : hulls) areas.push_back(area2(h) / 2);
    std::vector<std::size_t> order(hulls.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return areas[a] > areas[b]; });
    std::vector<std::vector<Point>> sorted;
    sorted.reserve(hulls.size());
    for (std::size_t i : order) sorted.push_back(std::move(hulls[i]));
    return sorted;
}

// Grows the view's bounds to hold `p`.
void extend(SideView& view, bool& first, const Point& p) {
    if (first) {
        view.minU = view.maxU = p[0];
        view.minV = view.maxV = p[1];
        first = false;
        return;
    }
    view.minU = std::min(view.minU, p[0]);
    view.maxU = std::max(view.maxU, p[0]);
    view.minV = std::min(view.minV, p[1]);
    view.maxV = std::max(view.maxV, p[1]);
}

// "M u v L u v ... Z" for one hull.
void appendOutline(std::string& path, const std::vector<Point>& h) {
    for (std::size_t k = 0; k < h.size(); ++k) {
        path += k == 0 ? 'M' : 'L';
        appendInteger(path, h[k][0]);
        path += ' ';
        appendInteger(path, h[k][1]);
    }
    path += 'Z';
}

} // namespace

namespace {

std::optional<SideView> sideViewOf(const Source& source, const DXFSource& dxf, const Vertices& vertices) {
    if (dxf.segments.empty()) return std::nullopt;
    const SideProjection project(planAxis(source), dxf.insert);
    const auto hulls = bodyHullsLargestFirst(detail::bodiesOf(vertices), project);
    if (hulls.empty()) return std::nullopt;

    SideView view;
    bool first = true;
    for (std::size_t i : acceptHulls(hulls)) {
        appendOutline(view.path, hulls[i]);
        for (const Point& p : hulls[i]) extend(view, first, p);
    }
    for (const Pickup& p : source.pickups) {
        if (!p.hasPosition()) continue;
        if (auto q = project(p.position)) {
            view.points.push_back({(*q)[0], (*q)[1]});
            extend(view, first, *q);
        }
    }
    return view;
}

// Drops the points strictly inside the polygon of the extreme points in eight directions
// (Akl-Toussaint): they are no corners of the hull and lie on none of its edges, so the hull
// of the rest is the same, and far fewer points need sorting.
void dropInterior(std::vector<Point>& pts) {
    if (pts.size() < 32) return;
    // The point of greatest -x, x, -y, y, x + y, -(x + y), x - y and y - x; the first on ties.
    // Coordinates stay below 2^60, so the sums and differences fit.
    auto values = [](const Point& p) {
        return std::array<std::int64_t, 8>{-p[0],       p[0],           -p[1],       p[1],
                                           p[0] + p[1], -(p[0] + p[1]), p[0] - p[1], p[1] - p[0]};
    };
    std::array<Point, 8> extreme;
    extreme.fill(pts.front());
    std::array<std::int64_t, 8> best = values(pts.front());
    for (const Point& p : pts) {
        const auto v = values(p);
        for (int k = 0; k < 8; ++k) {
            if (v[k] > best[k]) {
                best[k] = v[k];
                extreme[k] = p;
            }
        }
    }
    const std::vector<Point> polygon = hull(std::vector<Point>(extreme.begin(), extreme.end()));
    if (polygon.size() < 3) return;
    std::erase_if(pts, [&](const Point& p) {
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            if (cross(polygon[i], polygon[(i + 1) % polygon.size()], p) <= 0) return false;
        }
        return true;
    });
}

std::optional<TopView> topViewOf(const Vertices& vertices) {
    std::vector<Point> pts;
    pts.reserve(vertices.points.size());
    auto add = [&](const XYZ& p) {
        auto x = roundedInt(p.x * 100, cmLimit);
        auto y = roundedInt(p.y * 100, cmLimit);
        if (x && y) pts.push_back({*x, *y});
    };
    // Every segment end counts; equal ends give equal points.
    for (const XYZ& p : vertices.points) add(p);
    dropInterior(pts);
    std::sort(pts.begin(), pts.end());
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    const auto h = hullOfSorted(pts);
    if (h.size() < 3) return std::nullopt;

    Wide sumX = 0;
    Wide sumY = 0;
    for (const Point& p : h) {
        sumX += p[0];
        sumY += p[1];
    }
    const double n = static_cast<double>(h.size());
    const double cx = static_cast<double>(sumX) / n / 100;
    const double cy = static_cast<double>(sumY) / n / 100;
    // "+ 0.0" writes a rounded negative zero as 0.
    auto mm = [](double v) { return std::round(v * 1000) / 1000 + 0.0; };
    TopView view;
    view.cx = mm(cx);
    view.cy = mm(cy);
    auto& corners = view.hull.edit();
    corners.reserve(h.size());
    for (const Point& p : h) {
        corners.push_back(
            {mm(static_cast<double>(p[0]) / 100 - cx), mm(static_cast<double>(p[1]) / 100 - cy)});
    }
    return view;
}

} // namespace

std::optional<SideView> sideView(const Source& source, const DXFSource& dxf) {
    if (dxf.segments.empty()) return std::nullopt;
    return sideViewOf(source, dxf, distinctVertices(dxf.segments));
}

std::optional<TopView> topView(const DXFSource& dxf) {
    return topViewOf(distinctVertices(dxf.segments));
}

Views views(const Source& source, const DXFSource& dxf) {
    if (dxf.segments.empty()) return {};
    const Vertices vertices = distinctVertices(dxf.segments);
    return Views{sideViewOf(source, dxf, vertices), topViewOf(vertices)};
}

} // namespace rig::SideViewBuilder

#include "support/TestDXF.h"

#include "import/SideViewBuilder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace rig::test {

DXFWriter& DXFWriter::pair(std::int64_t code, std::string_view value) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, code);
    text_.append(buf, r.ptr).append(eol_).append(value).append(eol_);
    return *this;
}

DXFWriter& DXFWriter::pair(std::int64_t code, double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return pair(code, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}

DXFWriter& DXFWriter::beginSection(std::string_view name) {
    return pair(0, "SECTION").pair(2, name);
}
DXFWriter& DXFWriter::endSection() {
    return pair(0, "ENDSEC");
}

DXFWriter& DXFWriter::beginBlock(std::string_view name) {
    return pair(0, "BLOCK")
        .pair(8, "0")
        .pair(2, name)
        .pair(70, "0")
        .pair(10, 0.0)
        .pair(20, 0.0)
        .pair(30, 0.0);
}
DXFWriter& DXFWriter::endBlock() {
    return pair(0, "ENDBLK").pair(8, "0");
}

DXFWriter& DXFWriter::line(const XYZ& a, const XYZ& b, std::string_view layer) {
    pair(0, "LINE").pair(8, layer);
    pair(10, a.x).pair(20, a.y).pair(30, a.z);
    return pair(11, b.x).pair(21, b.y).pair(31, b.z);
}

DXFWriter& DXFWriter::face(const XYZ& q0, const XYZ& q1, const XYZ& q2, const XYZ& q3,
                           std::string_view layer) {
    pair(0, "3DFACE").pair(8, layer);
    pair(10, q0.x).pair(20, q0.y).pair(30, q0.z);
    pair(11, q1.x).pair(21, q1.y).pair(31, q1.z);
    pair(12, q2.x).pair(22, q2.y).pair(32, q2.z);
    return pair(13, q3.x).pair(23, q3.y).pair(33, q3.z);
}

DXFWriter& DXFWriter::insert(std::string_view block, const XYZ& at, std::optional<double> rotation) {
    pair(0, "INSERT").pair(8, "0").pair(2, block);
    pair(10, at.x).pair(20, at.y).pair(30, at.z);
    if (rotation) pair(50, *rotation);
    return *this;
}

std::string DXFWriter::finish() {
    pair(0, "EOF");
    return std::move(text_);
}

void pickupMarker(DXFWriter& w, const XYZ& at, std::string_view layer) {
    w.line(XYZ(at.x, at.y, at.z - 0.05), XYZ(at.x, at.y, at.z + 0.05), layer);
}

namespace {

// The six faces of a hexahedron whose corners are the bottom four, then the top four.
void hexahedron(DXFWriter& w, const XYZ (&c)[8]) {
    w.face(c[0], c[1], c[2], c[3]);
    w.face(c[4], c[5], c[6], c[7]);
    w.face(c[0], c[1], c[5], c[4]);
    w.face(c[1], c[2], c[6], c[5]);
    w.face(c[2], c[3], c[7], c[6]);
    w.face(c[3], c[0], c[4], c[7]);
}

} // namespace

void box(DXFWriter& w, const XYZ& lo, const XYZ& hi) {
    const XYZ c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                      {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    hexahedron(w, c);
}

namespace {

std::string blockName(int s) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, s);
    std::string n(buf, r.ptr);
    return n + "_Array_" + n;
}

} // namespace

std::string arrayExport(int sources, int faces, std::string_view eol) {
    DXFWriter w{std::string(eol)};
    w.beginSection("HEADER").pair(9, "$ACADVER").pair(1, "AC1009").endSection();
    w.beginSection("BLOCKS");
    for (int s = 0; s < sources; ++s) {
        const std::string name = blockName(s);
        w.beginBlock(name);
        pickupMarker(w, XYZ(0, 0.3, 0));
        pickupMarker(w, XYZ(0, -0.3, 0));
        for (int f = 0; f < faces; ++f) {
            // Cabinets of six faces, 0.4 m high, each slightly further back.
            const int cabinet = f / 6;
            const double top = -0.4 * cabinet;
            const double back = 0.02 * cabinet;
            const XYZ lo(-0.6, -0.4 - back, top - 0.4);
            const XYZ hi(0.6, 0.4 - back, top);
            const XYZ c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                              {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
            static const int sides[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                            {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
            const int* q = sides[f % 6];
            w.face(c[q[0]], c[q[1]], c[q[2]], c[q[3]]);
        }
        w.endBlock();
    }
    w.endSection();
    w.beginSection("ENTITIES");
    for (int s = 0; s < sources; ++s) {
        const std::string name = blockName(s);
        w.insert(name, XYZ(3.0 * s, 12.5, 9.25), 15.0 * (s % 24));
    }
    w.endSection();
    return w.finish();
}

namespace {

constexpr double pi = 3.141592653589793;

std::string itos(std::int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool finite(const XYZ& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Cabinets hang from the insert point: each one tilted a little further than the one above,
// its front-top corner on the front-bottom corner of the one above (block +y is the front).
void hangingCabinets(DXFWriter& w, const Source& s) {
    const double width = 1.2, depth = 0.55, height = 0.36;
    const std::size_t n = std::clamp<std::size_t>(s.enclosures.size(), 1, 24);
    // Bumper above the first cabinet.
    box(w, XYZ(-0.6, -0.4, 0), XYZ(0.6, 0.35, 0.08));
    double y = 0.3, z = 0;
    double tilt = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k < s.enclosures.size() && s.enclosures[k].site && std::isfinite(*s.enclosures[k].site)) {
            tilt = -*s.enclosures[k].site * pi / 180;
        } else if (k > 0) {
            tilt += 2 * pi / 180;
        }
        const double fy = std::cos(tilt), fz = -std::sin(tilt);  // forward
        const double dy = -std::sin(tilt), dz = -std::cos(tilt); // down the front face
        auto at = [&](double x, double alongDown, double alongBack) {
            return XYZ(x, y + dy * alongDown - fy * alongBack, z + dz * alongDown - fz * alongBack);
        };
        const XYZ c[8] = {at(-width / 2, 0, 0),         at(width / 2, 0, 0),
                          at(width / 2, height, 0),     at(-width / 2, height, 0),
                          at(-width / 2, 0, depth),     at(width / 2, 0, depth),
                          at(width / 2, height, depth), at(-width / 2, height, depth)};
        hexahedron(w, c);
        y += dy * height;
        z += dz * height;
    }
}

} // namespace

std::string loudspeakerExport(const Report& report) {
    struct Placed {
        std::string block;
        XYZ at;
        double rotation = 0;
    };
    std::vector<Placed> placed;
    DXFWriter w;
    w.beginSection("HEADER").pair(9, "$ACADVER").pair(1, "AC1009").endSection();
    w.beginSection("BLOCKS");
    for (std::size_t i = 0; i < report.sources.size(); ++i) {
        const Source& s = report.sources[i];
        std::string name = s.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        Placed p{itos(std::int64_t(i)) + "_" + name, XYZ(0, 0, 0), 0};
        // At the source position, or amid its pickups just below the highest one.
        double sx = 0, sy = 0, top = -1e9;
        int count = 0;
        for (const Pickup& q : s.pickups) {
            if (!finite(q.position)) continue;
            sx += q.position.x;
            sy += q.position.y;
            top = std::max(top, q.position.z);
            ++count;
        }
        if (s.position && finite(*s.position)) {
            p.at = *s.position;
        } else if (count > 0) {
            p.at = XYZ(sx / count, sy / count, top - 0.1);
        } else {
            p.at = XYZ(double(i) * 3, 0, 0);
        }
        const SideViewBuilder::Axis axis = SideViewBuilder::planAxis(s);
        p.rotation = std::atan2(-axis.dx, axis.dy) * 180 / pi;
        const double c = std::cos(-p.rotation * pi / 180), sn = std::sin(-p.rotation * pi / 180);

        w.beginBlock(p.block);
        if (s.isFlown() || s.configuration == "Flown" || !s.pickups.empty()) {
            hangingCabinets(w, s);
        } else {
            // Ground stacks stand on the insert point.
            const std::size_t n = std::clamp<std::size_t>(s.enclosures.size(), 1, 24);
            for (std::size_t k = 0; k < n; ++k) {
                box(w, XYZ(-0.6, -0.45, 0.55 * double(k)), XYZ(0.6, 0.45, 0.55 * double(k + 1)));
            }
        }
        for (const Pickup& q : s.pickups) {
            if (!finite(q.position)) continue;
            const double bx = q.position.x - p.at.x, by = q.position.y - p.at.y;
            pickupMarker(w, XYZ(bx * c - by * sn, bx * sn + by * c, q.position.z - p.at.z));
        }
        w.endBlock();
        placed.push_back(std::move(p));
    }
    w.endSection();
    w.beginSection("ENTITIES");
    for (const Placed& p : placed) w.insert(p.block, p.at, p.rotation);
    w.endSection();
    return w.finish();
}

std::vector<DamagedDXF> damagedCopies(const std::string& text, std::string_view block) {
    // A line put before the first code line (even index) or value line at or after the middle.
    const auto inserted = [&](bool codeLine, std::string_view line) {
        std::size_t at = 0;
        for (std::size_t i = 0; at < text.size() && (at < text.size() / 2 || (i % 2 == 0) != codeLine); ++i)
            at = text.find('\n', at) + 1;
        return text.substr(0, at) + std::string(line) + "\n" + text.substr(at);
    };
    std::string cr = text;
    const std::size_t name = cr.find("\n2\n" + std::string(block) + "\n");
    if (name != std::string::npos) cr.insert(name + 1 + block.size(), "\r");
    return {
        {"cut to 90 %", text.substr(0, text.size() * 9 / 10)},
        {"a stray line halfway, at a code line", inserted(true, "stray text")},
        {"a stray line halfway, at a value line", inserted(false, "stray text")},
        {"an empty line halfway, at a code line", inserted(true, "")},
        {"an empty line halfway, at a value line", inserted(false, "")},
        {"a lone CR in a block name", cr},
    };
}

} // namespace rig::test

#include "support/TestDXF.h"

#include <charconv>
#include <string>

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

void box(DXFWriter& w, const XYZ& lo, const XYZ& hi) {
    const XYZ c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                      {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    w.face(c[0], c[1], c[2], c[3]);
    w.face(c[4], c[5], c[6], c[7]);
    w.face(c[0], c[1], c[5], c[4]);
    w.face(c[1], c[2], c[6], c[5]);
    w.face(c[2], c[3], c[7], c[6]);
    w.face(c[3], c[0], c[4], c[7]);
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

} // namespace rig::test

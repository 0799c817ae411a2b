#include "support/ShowProjects.h"

#include "import/DXFReader.h"
#include "import/ReportParser.h"
#include "import/SideViewBuilder.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/TestDXF.h"

#include <QTemporaryDir>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace rig::app::testing {

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
void hangingCabinets(test::DXFWriter& w, const Source& s) {
    const double width = 1.2, depth = 0.55, height = 0.36;
    const std::size_t n = std::clamp<std::size_t>(s.enclosures.size(), 1, 24);
    // Bumper above the first cabinet.
    test::box(w, XYZ(-0.6, -0.4, 0), XYZ(0.6, 0.35, 0.08));
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
        w.face(c[0], c[1], c[2], c[3]);
        w.face(c[4], c[5], c[6], c[7]);
        w.face(c[0], c[1], c[5], c[4]);
        w.face(c[1], c[2], c[6], c[5]);
        w.face(c[2], c[3], c[7], c[6]);
        w.face(c[3], c[0], c[4], c[7]);
        y += dy * height;
        z += dz * height;
    }
}

} // namespace

std::string loudspeakerDXF(const Report& report) {
    struct Placed {
        std::string block;
        XYZ at;
        double rotation = 0;
    };
    std::vector<Placed> placed;
    test::DXFWriter w;
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
                test::box(w, XYZ(-0.6, -0.45, 0.55 * double(k)), XYZ(0.6, 0.45, 0.55 * double(k + 1)));
            }
        }
        for (const Pickup& q : s.pickups) {
            if (!finite(q.position)) continue;
            const double bx = q.position.x - p.at.x, by = q.position.y - p.at.y;
            test::pickupMarker(w, XYZ(bx * c - by * sn, bx * sn + by * c, q.position.z - p.at.z));
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

Project generatedShow(int sources, std::uint64_t seed) {
    test::ReportGeneratorOptions options;
    options.sources = sources;
    options.seed = seed;
    const test::GeneratedReport generated = test::generateReport(options);
    QTemporaryDir dir;
    const std::string path = dir.filePath("Arena show report.pdf").toStdString();
    {
        std::ofstream out(path, std::ios::binary);
        out.write(generated.pdf.data(), std::streamsize(generated.pdf.size()));
        if (!out) throw std::runtime_error("cannot write the test report");
    }
    Project project;
    project.importReport(ReportParser::parse(std::filesystem::path(path)), "Arena show report.pdf",
                         fixtures::testDate());
    project.importDXF(DXFReader::parseText(loudspeakerDXF(project.report)), "Arena show.dxf");
    return project;
}

Project arenaShow() {
    using namespace fixtures;
    Source mainL = flownArray("Main L", {"ALL", "Main", "Left"}, 12, 2, "K2");
    mainL.warnings.push_back(ReportWarning{ReportWarning::Level::warning,
                                           "The rear motor load exceeds 80 % of the bumper limit."});
    mainL.warnings.push_back(ReportWarning{ReportWarning::Level::caution, "Check the pullback strap."});
    Source mainR = flownArray("Main R", {"ALL", "Main", "Right"}, 12, 2, "K2");
    mainR.position = XYZ(-4.5, -2.0, 11.2);
    for (std::size_t i = 0; i < mainR.pickups.size(); ++i) {
        mainR.pickups.mut(i).position.x = -mainR.pickups[i].position.x;
    }
    auto& panflex = mainR.enclosures.edit();
    for (std::size_t i = 0; i < panflex.size(); ++i) panflex[i].panflex = i < 4 ? "110|55/55" : "70|70";
    Source outL = flownArray("Out L", {"ALL", "Outfill"}, 6, 3, "KARA II");
    outL.position = XYZ(9.0, 1.5, 8.4);
    for (std::size_t i = 0; i < outL.pickups.size(); ++i) {
        Pickup& p = outL.pickups.mut(i);
        p.position = XYZ(9.0 + (i == 0 ? 0.2 : -0.3 - 0.15 * double(i - 1)), 1.5, 8.5);
    }
    auto& noAngles = outL.enclosures.edit();
    for (Enclosure& e : noAngles) {
        e.angle.reset();
        e.panflex.reset();
    }
    outL.hasAngles = false;
    Source subs = groundStack("Subs", {"ALL", "Subs"}, 3);
    subs.warnings.push_back(
        ReportWarning{ReportWarning::Level::error, "Stack is taller than the stage edge."});

    Project project = projectWith({mainL, mainR, outL, subs});
    project.importDXF(DXFReader::parseText(loudspeakerDXF(project.report)), "Arena show.dxf");
    project.setExtra(mainL.id(), "Front", PointExtra{testMotor("CM Lodestar 1t", 62, 3), true});
    project.setExtra(mainL.id(), "Rear", PointExtra{testMotor("CM Lodestar 1t", 62, 3), false});
    return project;
}

} // namespace rig::app::testing

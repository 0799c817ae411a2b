// Writes the inputs of bench/compare into a folder: "report.pdf", a generated report of 300
// sources, and "arrays.dxf", a loudspeaker DXF of 500 arrays in the form R12 writers give
// it: right-aligned group codes, CR LF line ends, a layer table, every array a block of
// 3DFACE cabinets with pickup markers, all inserted from one whole-system block.
#include "support/ReportGenerator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <string_view>

namespace {

class R12 {
public:
    void pair(int code, std::string_view value) {
        // Codes right-aligned in three columns.
        const std::string c = std::to_string(code);
        text_.append(c.size() < 3 ? 3 - c.size() : 0, ' ').append(c).append("\r\n");
        text_.append(value).append("\r\n");
    }
    // As libdxflib writes a real: sixteen decimals, trailing zeros cut after the first.
    void real(int code, double v) {
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, v + 0.0, std::chars_format::fixed, 16);
        std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
        while (text.ends_with('0') && !text.ends_with(".0")) text.remove_suffix(1);
        pair(code, text);
    }
    void point(int code, double x, double y, double z) {
        real(code, x);
        real(code + 10, y);
        real(code + 20, z);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// One array: cabinets hanging below the block origin, each turned down a little more, with
// a box of six faces and ten faces of rigging detail per cabinet.
void arrayBlock(R12& w, int index) {
    const std::string name = std::to_string(index) + "_Array_" + std::to_string(index);
    w.pair(0, "BLOCK");
    w.pair(8, "0");
    w.pair(2, name);
    w.pair(70, "0");
    w.point(10, 0, 0, 0);
    w.pair(3, name);
    for (int pickup = 0; pickup < 2; ++pickup) {
        const double y = pickup == 0 ? 0.35 : -0.35;
        w.pair(0, "LINE");
        w.pair(8, "Speakers_PickupPoints");
        w.point(10, 0, y, -0.05);
        w.point(11, 0, y, 0.05);
    }
    double top = 0;
    for (int cabinet = 0; cabinet < 12; ++cabinet) {
        const double tilt = (cabinet * 1.5 + index % 7) * std::numbers::pi / 180;
        const double h = 0.36, d = 0.5, halfW = 0.67;
        auto at = [&](double x, double y, double z) {
            // Tilted about the x axis at the cabinet's top front edge.
            return std::array<double, 3>{x, y * std::cos(tilt) - z * std::sin(tilt),
                                         top + y * std::sin(tilt) + z * std::cos(tilt)};
        };
        for (int f = 0; f < 16; ++f) {
            const double u = (f % 5) / 5.0, v = (f / 5) / 4.0;
            std::array<double, 3> q[4];
            if (f < 6) {
                const double s = f % 2 == 0 ? -1 : 1;
                q[0] = at(s * halfW, 0, 0);
                q[1] = at(s * halfW, -d, 0);
                q[2] = at(s * halfW * (f < 2 ? 1 : 0.9), -d, -h);
                q[3] = at(s * halfW * (f < 4 ? 1 : 0.8), 0, -h);
            } else {
                q[0] = at(-halfW + 2 * halfW * u, -d * v, -h * 0.1);
                q[1] = at(-halfW + 2 * halfW * (u + 0.2), -d * v, -h * 0.1);
                q[2] = at(-halfW + 2 * halfW * (u + 0.2), -d * (v + 0.25), -h * 0.9);
                q[3] = at(-halfW + 2 * halfW * u, -d * (v + 0.25), -h * 0.9);
            }
            w.pair(0, "3DFACE");
            w.pair(8, "Speakers");
            w.pair(62, "7");
            for (int k = 0; k < 4; ++k) w.point(10 + k, q[k][0], q[k][1], q[k][2]);
        }
        top -= h;
    }
    w.pair(0, "ENDBLK");
    w.pair(8, "0");
}

std::string loudspeakerDXF(int arrays) {
    R12 w;
    w.pair(0, "SECTION");
    w.pair(2, "HEADER");
    w.pair(9, "$ACADVER");
    w.pair(1, "AC1009");
    w.pair(9, "$INSBASE");
    w.point(10, 0, 0, 0);
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "TABLES");
    w.pair(0, "TABLE");
    w.pair(2, "LAYER");
    w.pair(70, "3");
    for (const char* layer : {"0", "Speakers", "Speakers_PickupPoints"}) {
        w.pair(0, "LAYER");
        w.pair(2, layer);
        w.pair(70, "0");
        w.pair(62, "7");
        w.pair(6, "CONTINUOUS");
    }
    w.pair(0, "ENDTAB");
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "BLOCKS");
    for (int i = 1; i <= arrays; ++i) arrayBlock(w, i);
    w.pair(0, "BLOCK");
    w.pair(8, "0");
    w.pair(2, "L_Acoustics_FullSystem");
    w.pair(70, "0");
    w.point(10, 0, 0, 0);
    w.pair(3, "L_Acoustics_FullSystem");
    for (int i = 1; i <= arrays; ++i) {
        w.pair(0, "INSERT");
        w.pair(8, "0");
        w.pair(2, std::to_string(i) + "_Array_" + std::to_string(i));
        w.point(10, (i % 25) * 2.5 - 30, (i / 25) * 4.0 - 40, 9 + (i % 5) * 0.25);
        w.real(41, 1);
        w.real(42, 1);
        w.real(43, 1);
        w.real(50, (i * 7) % 360);
    }
    w.pair(0, "ENDBLK");
    w.pair(8, "0");
    w.pair(0, "ENDSEC");
    w.pair(0, "SECTION");
    w.pair(2, "ENTITIES");
    w.pair(0, "INSERT");
    w.pair(8, "0");
    w.pair(2, "L_Acoustics_FullSystem");
    w.point(10, 0, 0, 0);
    w.pair(0, "ENDSEC");
    w.pair(0, "EOF");
    return w.text();
}

void write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_inputs FOLDER\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    rig::test::ReportGeneratorOptions o;
    o.sources = 300;
    o.seed = 42;
    const rig::test::GeneratedReport report = rig::test::generateReport(o);
    write(dir / "report.pdf", report.pdf);
    write(dir / "arrays.dxf", loudspeakerDXF(500));
    std::printf("report.pdf: %d pages\n", report.pages);
    return 0;
}

// Writes loudspeaker DXF text for tests, benchmarks and fuzz seeds.
#pragma once

#include "model/Report.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::test {

class DXFWriter {
public:
    // `eol` ends every line: "\n", "\r\n" or "\r".
    explicit DXFWriter(std::string eol = "\n") : eol_(std::move(eol)) {}

    DXFWriter& pair(std::int64_t code, std::string_view value);
    DXFWriter& pair(std::int64_t code, double value);

    DXFWriter& beginSection(std::string_view name);
    DXFWriter& endSection();
    DXFWriter& beginBlock(std::string_view name);
    DXFWriter& endBlock();
    DXFWriter& line(const XYZ& a, const XYZ& b, std::string_view layer = "0");
    DXFWriter& face(const XYZ& q0, const XYZ& q1, const XYZ& q2, const XYZ& q3, std::string_view layer = "0");
    DXFWriter& insert(std::string_view block, const XYZ& at, std::optional<double> rotation = std::nullopt);

    const std::string& text() const { return text_; }
    // Ends the file and hands over the text.
    std::string finish();

private:
    std::string eol_;
    std::string text_;
};

// A pickup marker: a short vertical line whose midpoint is `at`.
void pickupMarker(DXFWriter& w, const XYZ& at, std::string_view layer = "Speakers_PickupPoints");

// A box of 6 faces from `lo` to `hi`, axis-aligned.
void box(DXFWriter& w, const XYZ& lo, const XYZ& hi);

// An export of `sources` arrays, each a block of `faces` faces (boxes stacked downwards) with
// two pickup markers, inserted along the x axis.
std::string arrayExport(int sources, int faces, std::string_view eol = "\n");

// A loudspeaker export for the sources of `report`: one block per source, named by its report
// position and name, with hanging cabinets along the source's plan axis (or a stack on the
// floor) and a pickup marker at each pickup that has coordinates.
std::string loudspeakerExport(const Report& report);

// Damaged copies of a DXF text of LF lines: cut to 90 %, a stray or empty line halfway (at a
// code line and at a value line), a lone CR in the name of the block `block`.
struct DamagedDXF {
    std::string kind;
    std::string text;
};
std::vector<DamagedDXF> damagedCopies(const std::string& text, std::string_view block);

} // namespace rig::test

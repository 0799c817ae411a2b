// DXF reader and the outlines built from what it reads, on arbitrary bytes. Valid UTF-8 is
// also read from a file, which must give the same sources and notes as the text.
#include "import/DXFReader.h"
#include "import/SideViewBuilder.h"

#include "base/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

bool sameSources(const std::vector<rig::DXFSource>& a, const std::vector<rig::DXFSource>& b) {
    if (a.size() != b.size()) return false;
    auto same = [](const rig::XYZ& p, const rig::XYZ& q) {
        return (p.x == q.x || (p.x != p.x && q.x != q.x)) && (p.y == q.y || (p.y != p.y && q.y != q.y)) &&
               (p.z == q.z || (p.z != p.z && q.z != q.z));
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].index != b[i].index || a[i].name != b[i].name ||
            a[i].segments.size() != b[i].segments.size() || a[i].pickups.size() != b[i].pickups.size() ||
            !same(a[i].insert, b[i].insert))
            return false;
        for (std::size_t k = 0; k < a[i].segments.size(); ++k) {
            if (!same(a[i].segments[k].first, b[i].segments[k].first) ||
                !same(a[i].segments[k].second, b[i].segments[k].second))
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    rig::ImportNotes notes;
    const auto sources = rig::DXFReader::parseText(text, {}, &notes);
    // The notes are few, whole lines of well-formed text.
    const std::vector<std::string> lines = notes.lines();
    if (lines.size() > 11) std::abort();
    for (const std::string& line : lines) {
        if (!rig::isValidUtf8(line) || line.find_first_of("\n\r") != std::string::npos) std::abort();
    }
    if (rig::isValidUtf8(text)) {
        static const std::filesystem::path file =
            std::filesystem::temp_directory_path() / ("fuzz_dxf_" + std::to_string(::getpid()) + ".dxf");
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(text.data(), static_cast<std::streamsize>(size));
        rig::ImportNotes fromFile;
        if (!sameSources(sources, rig::DXFReader::parse(file, {}, &fromFile))) std::abort();
        if (fromFile.lines() != lines) std::abort();
    }
    for (const auto& s : sources) {
        // A report source whose pickups are the DXF's own, so the axis and the projected
        // points come from the input as well.
        rig::Source report(s.name, {"ALL"});
        report.azimuth = s.rotation;
        const char* roles[] = {"Front", "Rear", "Pullback", "Mid"};
        for (std::size_t i = 0; i < s.pickups.size() && i < 8; ++i) {
            rig::Pickup p;
            p.role = roles[i % 4];
            p.position = s.pickups[i];
            report.pickups.push_back(p);
        }
        const auto side = rig::SideViewBuilder::sideView(report, s);
        const auto top = rig::SideViewBuilder::topView(s);
        const auto both = rig::SideViewBuilder::views(report, s);
        if (both.side != side || both.top != top) std::abort();
    }
    return 0;
}

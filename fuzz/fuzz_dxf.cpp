// DXF reader and the outlines built from what it reads, on arbitrary bytes.
#include "import/DXFReader.h"
#include "import/SideViewBuilder.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto sources = rig::DXFReader::parseText(text);
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
        rig::SideViewBuilder::sideView(report, s);
        rig::SideViewBuilder::topView(s);
    }
    return 0;
}

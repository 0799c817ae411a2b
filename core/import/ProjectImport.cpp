// Bringing the inventory and the loudspeaker DXF into a project.
#include "model/Project.h"

#include "base/Text.h"
#include "import/DXFReader.h"
#include "import/SideViewBuilder.h"

#include <algorithm>
#include <set>

namespace rig {

void Project::importInventory(const List<InventoryItem>& items, const std::string& file) {
    inventory = items;
    inventoryFile = file;
}

void Project::importDXF(const std::vector<DXFSource>& sources, const std::string& file) {
    dxfFile = file;
    dxf.clear();
    // Names compare canonically: compose each once.
    std::vector<std::string> names;
    names.reserve(sources.size());
    for (const DXFSource& d : sources) names.push_back(nfc(d.name));

    std::set<std::int64_t> taken;
    for (std::size_t i = 0; i < report.sources.size(); ++i) {
        const Source& source = report.sources[i];
        std::string key = source.name;
        std::replace(key.begin(), key.end(), '_', ' ');
        key = nfc(key);

        auto pick = [&](bool samePosition) -> const DXFSource* {
            for (std::size_t k = 0; k < sources.size(); ++k) {
                const DXFSource& d = sources[k];
                if (samePosition && d.index != static_cast<std::int64_t>(i)) continue;
                if (names[k] == key && !taken.contains(d.index)) return &d;
            }
            return nullptr;
        };
        const DXFSource* chosen = pick(true);
        if (!chosen) chosen = pick(false);
        if (!chosen) continue;

        taken.insert(chosen->index);
        DXFInfo info;
        info.pickups = List<XYZ>(chosen->pickups);
        info.side = SideViewBuilder::sideView(source, *chosen);
        info.top = SideViewBuilder::topView(*chosen);
        dxf.set(source.id(), std::move(info));
    }
    matchDXFPickups();
}

} // namespace rig

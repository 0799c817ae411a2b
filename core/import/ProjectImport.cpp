// Bringing the inventory and the loudspeaker DXF into a project.
#include "model/Project.h"

#include "base/Number.h"
#include "base/Text.h"
#include "import/DXFReader.h"
#include "import/ImportNotes.h"
#include "import/SideViewBuilder.h"
#include "model/RigError.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace rig {

namespace {

// The DXF sources by composed name, each list in drawing order. A report source takes the
// first one with its name and its own position in the report, else the first one with its
// name; a DXF index is taken once.
class DXFPicker {
public:
    explicit DXFPicker(const std::vector<DXFSource>& sources) : sources_(sources) {
        for (std::size_t k = 0; k < sources.size(); ++k) {
            std::string name = nfc(sources[k].name);
            atPosition_.try_emplace(PositionKey{name, sources[k].index}, k);
            byName_[std::move(name)].ks.push_back(k);
        }
    }

    // `name` is the report source's name, composed, "_" read as " ".
    const DXFSource* pick(const std::string& name, std::int64_t position) {
        const DXFSource* chosen = nullptr;
        if (!taken_.contains(position)) {
            auto at = atPosition_.find(PositionKey{name, position});
            if (at != atPosition_.end()) chosen = &sources_[at->second];
        }
        if (!chosen) {
            auto named = byName_.find(name);
            if (named == byName_.end()) return nullptr;
            Candidates& c = named->second;
            // Sources whose index is taken stay taken: the next call starts after them.
            while (c.next < c.ks.size() && taken_.contains(sources_[c.ks[c.next]].index)) ++c.next;
            if (c.next == c.ks.size()) return nullptr;
            chosen = &sources_[c.ks[c.next]];
        }
        taken_.insert(chosen->index);
        chosen_.insert(chosen);
        return chosen;
    }

    bool wasChosen(const DXFSource& source) const { return chosen_.contains(&source); }

private:
    struct Candidates {
        std::vector<std::size_t> ks;
        std::size_t next = 0;
    };
    struct PositionKey {
        std::string name;
        std::int64_t index;
        bool operator==(const PositionKey&) const = default;
    };
    struct PositionHash {
        std::size_t operator()(const PositionKey& k) const noexcept {
            return std::hash<std::string>()(k.name) * 1000003u ^ std::hash<std::int64_t>()(k.index);
        }
    };

    const std::vector<DXFSource>& sources_;
    std::unordered_map<std::string, Candidates> byName_;
    std::unordered_map<PositionKey, std::size_t, PositionHash> atPosition_; // the first of each
    std::unordered_set<std::int64_t> taken_;
    std::unordered_set<const DXFSource*> chosen_;
};

} // namespace

void Project::importInventory(const List<InventoryItem>& items, const std::string& file) {
    inventory = items;
    inventoryFile = file;
}

void Project::importDXF(const std::vector<DXFSource>& sources, const std::string& file, std::stop_token stop,
                        ImportNotes* notes) {
    TextMap<DXFInfo> paired;
    DXFPicker picker(sources);
    for (std::size_t i = 0; i < report.sources.size(); ++i) {
        throwIfCancelled(stop);
        const Source& source = report.sources[i];
        std::string name = source.name;
        std::replace(name.begin(), name.end(), '_', ' ');
        const DXFSource* chosen = picker.pick(nfc(name), static_cast<std::int64_t>(i));
        if (!chosen) continue;

        DXFInfo info;
        info.pickups = List<XYZ>(chosen->pickups);
        auto [side, top] = SideViewBuilder::views(source, *chosen);
        info.side = std::move(side);
        info.top = std::move(top);
        if (notes && !info.top) {
            // A source array without an outline: nothing in the file to draw its shape from.
            notes->addMade([&] {
                return "no speaker shape for " + ImportNotes::quoted(source.name) +
                       ": its drawing in the file is empty or damaged.";
            });
        }
        paired.set(source.id(), std::move(info));
    }
    if (notes) {
        for (const DXFSource& s : sources) {
            if (picker.wasChosen(s)) continue;
            notes->addMade([&] {
                return "left out the array " + integerText(s.index) + " " + ImportNotes::quoted(s.name) +
                       ": it matches no source of the report.";
            });
        }
    }
    dxfFile = file;
    dxf = std::move(paired);
    matchDXFPickups();
}

} // namespace rig

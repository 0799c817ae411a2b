#include "support/DxfTesting.h"

#include "shell/QtText.h"

#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include <algorithm>

namespace rig::app::testing {
namespace {

struct Collector : DL_CreationAdapter {
    DxfSeen& seen;
    explicit Collector(DxfSeen& s) : seen(s) {}
    void addLayer(const DL_LayerData& d) override { seen.layers.push_back(d.name); }
    void addLine(const DL_LineData& d) override { seen.lines.emplace_back(getAttributes().getLayer(), d); }
    void addText(const DL_TextData& d) override {
        seen.texts.emplace_back(getAttributes().getLayer(), d.text);
    }
};

template <typename T>
auto on(const std::vector<std::pair<std::string, T>>& all, const std::string& layer) {
    std::vector<T> out;
    for (const auto& [l, item] : all)
        if (l == layer) out.push_back(item);
    return out;
}

} // namespace

std::vector<DL_LineData> DxfSeen::linesOn(const std::string& layer) const {
    return on(lines, layer);
}

std::vector<std::string> DxfSeen::textsOn(const std::string& layer) const {
    return on(texts, layer);
}

bool DxfSeen::hasLayer(const std::string& layer) const {
    return std::find(layers.begin(), layers.end(), layer) != layers.end();
}

DxfSeen readDxf(const QString& path) {
    DxfSeen seen;
    Collector collector(seen);
    seen.read = DL_Dxf().in(toStd(path), &collector);
    return seen;
}

} // namespace rig::app::testing

// Reads a DXF file with an independent library (dxflib) for checking what the program wrote.
#pragma once

#include "QtText.h"

#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace rig::app::testing {

struct DxfSeen : DL_CreationAdapter {
    bool read = false; // false when the library could not open the file
    std::vector<std::string> layers;
    std::vector<std::pair<std::string, DL_LineData>> lines;
    std::vector<std::pair<std::string, std::string>> texts;

    void addLayer(const DL_LayerData& d) override { layers.push_back(d.name); }
    void addLine(const DL_LineData& d) override { lines.emplace_back(getAttributes().getLayer(), d); }
    void addText(const DL_TextData& d) override { texts.emplace_back(getAttributes().getLayer(), d.text); }

    bool hasLayer(const std::string& layer) const { return std::ranges::count(layers, layer) > 0; }
    template <typename T>
    static auto on(const std::vector<std::pair<std::string, T>>& all, const std::string& layer) {
        std::vector<T> out;
        for (const auto& [l, item] : all)
            if (l == layer) out.push_back(item);
        return out;
    }
    auto linesOn(const std::string& layer) const { return on(lines, layer); }
    auto textsOn(const std::string& layer) const { return on(texts, layer); }
};

inline DxfSeen readDxf(const QString& path) {
    DxfSeen seen;
    seen.read = DL_Dxf().in(toStd(path), &seen);
    return seen;
}

} // namespace rig::app::testing

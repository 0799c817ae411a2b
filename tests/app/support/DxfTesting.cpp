#include "support/DxfTesting.h"

#include "shell/QtText.h"

#include <dl_creationadapter.h>
#include <dl_dxf.h>

#include <algorithm>

namespace rig::app::testing {

namespace {

class Collector : public DL_CreationAdapter {
public:
    explicit Collector(DxfSeen& seen) : seen_(seen) {}
    void addLayer(const DL_LayerData& d) override { seen_.layers.push_back(d.name); }
    void addLine(const DL_LineData& d) override { seen_.lines.emplace_back(getAttributes().getLayer(), d); }
    void addCircle(const DL_CircleData& d) override {
        seen_.circles.emplace_back(getAttributes().getLayer(), d);
    }
    void addText(const DL_TextData& d) override { seen_.texts.emplace_back(getAttributes().getLayer(), d); }

private:
    DxfSeen& seen_;
};

} // namespace

std::vector<DL_LineData> DxfSeen::linesOn(const std::string& layer) const {
    std::vector<DL_LineData> out;
    for (const auto& [l, line] : lines) {
        if (l == layer) out.push_back(line);
    }
    return out;
}

std::vector<std::string> DxfSeen::textsOn(const std::string& layer) const {
    std::vector<std::string> out;
    for (const auto& [l, text] : texts) {
        if (l == layer) out.push_back(text.text);
    }
    return out;
}

bool DxfSeen::hasLayer(const std::string& layer) const {
    return std::find(layers.begin(), layers.end(), layer) != layers.end();
}

DxfSeen readDxf(const QString& path) {
    DxfSeen seen;
    Collector collector(seen);
    DL_Dxf reader;
    seen.read = reader.in(toStd(path), &collector);
    return seen;
}

} // namespace rig::app::testing

// Reads a DXF file with an independent library (dxflib) for checking what the program wrote.
#pragma once

#include <QString>

#include <dl_entities.h>

#include <string>
#include <utility>
#include <vector>

namespace rig::app::testing {

struct DxfSeen {
    bool read = false; // false when the library could not open the file
    std::vector<std::string> layers;
    std::vector<std::pair<std::string, DL_LineData>> lines;
    std::vector<std::pair<std::string, std::string>> texts;

    std::vector<DL_LineData> linesOn(const std::string& layer) const;
    std::vector<std::string> textsOn(const std::string& layer) const;
    bool hasLayer(const std::string& layer) const;
};

DxfSeen readDxf(const QString& path);

} // namespace rig::app::testing

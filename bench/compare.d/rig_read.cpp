// The project's readers as a whole process: "rig_read pdf FILE" reads a report into a
// Report, "rig_read dxf FILE" reads a loudspeaker DXF and pairs it with a report of the same
// sources (outlines included). Prints what it read.
#include "import/DXFReader.h"
#include "import/ReportParser.h"
#include "model/Project.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: rig_read pdf|dxf FILE\n");
        return 2;
    }
    try {
        if (std::strcmp(argv[1], "pdf") == 0) {
            const rig::Report report = rig::ReportParser::parse(std::filesystem::path(argv[2]));
            std::size_t pickups = 0;
            for (const rig::Source& s : report.sources) pickups += s.pickups.size();
            std::printf("%zu sources, %zu pickups\n", report.sources.size(), pickups);
            return 0;
        }
        const std::vector<rig::DXFSource> sources = rig::DXFReader::parse(std::filesystem::path(argv[2]));
        rig::Project project;
        auto& list = project.report.sources.edit();
        for (const rig::DXFSource& d : sources) {
            rig::Source s(d.name, {"ALL"});
            s.azimuth = d.rotation;
            list.push_back(std::move(s));
        }
        project.importDXF(sources, "bench.dxf");
        std::size_t segments = 0, outlines = 0;
        for (const rig::DXFSource& d : sources) segments += d.segments.size();
        for (const auto& [id, info] : project.dxf) outlines += info.side.has_value() + info.top.has_value();
        std::printf("%zu sources, %zu segments, %zu outlines\n", sources.size(), segments, outlines);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
